# Warnings for every target of the project.
function(ov_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow=local -Wnon-virtual-dtor
                         -Wno-missing-field-initializers)
  if(OV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
