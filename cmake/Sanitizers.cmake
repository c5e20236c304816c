if(KEYSCOUT_SANITIZE)
  set(KEYSCOUT_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${KEYSCOUT_SANITIZER_FLAGS})
  add_link_options(${KEYSCOUT_SANITIZER_FLAGS})
endif()

# A libFuzzer build (clang): everything is instrumented for coverage and runs
# under AddressSanitizer + UndefinedBehaviorSanitizer; the fuzz target adds
# libFuzzer's own main.
option(KEYSCOUT_FUZZ "Build the libFuzzer target (needs clang)" OFF)
if(KEYSCOUT_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
