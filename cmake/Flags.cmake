# The compile and link flags of keyscout's own targets. They are set target by
# target (keyscout_set_flags), never for the whole directory tree, so code
# built from elsewhere (GoogleTest, compiled from its sources in a cross
# build) keeps its own.

option(KEYSCOUT_WERROR "Treat warnings in keyscout's own code as errors (CI builds with it)" OFF)
option(KEYSCOUT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
# A libFuzzer build: every target is instrumented for coverage and runs under
# AddressSanitizer + UndefinedBehaviorSanitizer; the fuzz target adds
# libFuzzer's own main (tests/fuzz).
option(KEYSCOUT_FUZZ "Build the libFuzzer target (needs clang)" OFF)
if(KEYSCOUT_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "KEYSCOUT_FUZZ needs clang, whose libFuzzer it links (this build uses "
    "${CMAKE_CXX_COMPILER_ID}): configure a new build folder with `cmake --preset fuzz`.")
endif()

# Our warnings, -Werror when KEYSCOUT_WERROR is on, and the instrumentation
# the build asks for (KEYSCOUT_SANITIZE, KEYSCOUT_FUZZ), on one target.
function(keyscout_set_flags target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${KEYSCOUT_WERROR}>:/WX>)
    return()
  endif()
  # Offsets, lengths and counts from the file pass between 16-, 32- and
  # 64-bit, signed and unsigned types everywhere: every such conversion is
  # written out, so that none narrows or changes sign unseen.
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
  if(KEYSCOUT_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  set(sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  if(KEYSCOUT_FUZZ)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link ${sanitizers})
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  elseif(KEYSCOUT_SANITIZE)
    target_compile_options(${target} PRIVATE ${sanitizers})
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()
