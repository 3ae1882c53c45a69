# Warnings, module libraries and module test executables.
# Warnings for every target of the project.
function(ov_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wnon-virtual-dtor
                         -Wno-missing-field-initializers)
  # clang (the fuzz build) knows no -Wshadow=local.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wshadow=local)
  endif()
  if(OV_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# A module library from every .cpp file of the calling folder:
#   ov_module(ov_jobs PUBLIC_LIBS ov_app ov_engine LIBS ... PKG ...)
# PUBLIC_LIBS are the modules the module's own headers include; LIBS and PKG
# are used by its sources only and stay private, so a module that includes a
# header of a module it does not link itself fails to build.
function(ov_module name)
  cmake_parse_arguments(M "" "" "LIBS;PUBLIC_LIBS;PKG" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${M_PUBLIC_LIBS} PRIVATE ${M_LIBS} Threads::Threads)
  foreach(pkg ${M_PKG})
    pkg_check_modules(OVPKG_${pkg} REQUIRED IMPORTED_TARGET ${pkg})
    target_link_libraries(${name} PRIVATE PkgConfig::OVPKG_${pkg})
  endforeach()
  ov_target_defaults(${name})
endfunction()

# The test executable of a module from every .cpp file of the calling folder:
#   ov_module_tests(engine_tests LIBS ov_engine LABELS tsan)
function(ov_module_tests name)
  cmake_parse_arguments(M "" "" "LIBS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  foreach(lib ${M_LIBS})
    if(NOT TARGET ${lib})
      return()
    endif()
  endforeach()
  ov_add_test(${name} SOURCES ${sources} LIBS ${M_LIBS} LABELS ${M_LABELS})
endfunction()
