if(OV_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(OV_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(OV_SANITIZE STREQUAL "fuzzer")
  # libFuzzer's coverage in every module, with address and undefined checks;
  # only the fuzz targets link the fuzzer's main (tests/fuzz).
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(OV_SANITIZE STREQUAL "")
  # The hardening Debian builds its packages with: checked C library calls
  # (they need the optimiser), stack guards and a read-only GOT.
  add_compile_definitions($<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
  add_compile_options(-fstack-protector-strong)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
else()
  message(FATAL_ERROR "Unknown OV_SANITIZE value '${OV_SANITIZE}'")
endif()
