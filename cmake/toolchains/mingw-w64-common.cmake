# What both MinGW-w64 toolchain files share; they set KEYSCOUT_MINGW_TRIPLE
# and the processor first.

# The posix-thread flavour of the compilers, where installed: its C++ runtime
# has every thread and time facility GoogleTest and the standard library use.
find_program(KEYSCOUT_MINGW_CXX NAMES ${KEYSCOUT_MINGW_TRIPLE}-g++-posix ${KEYSCOUT_MINGW_TRIPLE}-g++)
find_program(KEYSCOUT_MINGW_CC NAMES ${KEYSCOUT_MINGW_TRIPLE}-gcc-posix ${KEYSCOUT_MINGW_TRIPLE}-gcc)
if(NOT KEYSCOUT_MINGW_CXX OR NOT KEYSCOUT_MINGW_CC)
  message(FATAL_ERROR "No ${KEYSCOUT_MINGW_TRIPLE} compiler: install g++-mingw-w64-*-posix")
endif()
set(CMAKE_CXX_COMPILER ${KEYSCOUT_MINGW_CXX})
# GoogleTest's own project also enables C.
set(CMAKE_C_COMPILER ${KEYSCOUT_MINGW_CC})

set(CMAKE_FIND_ROOT_PATH /usr/${KEYSCOUT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every executable carries its C and C++ runtime, so the .exe runs alone on a
# Windows that has nothing but itself (no MinGW DLLs beside it).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Programs built here run at build and test time (the sample hive, the tests)
# through Wine: wine64 runs 64-bit programs. Debian's 32-bit Wine needs a
# foreign architecture, so 32-bit builds have no runner and build no tests.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${CMAKE_BINARY_DIR}/wine-prefix)
endif()
