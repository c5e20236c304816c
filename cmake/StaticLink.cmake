# How the keyscout executable links its runtimes; included once the target
# exists. (The Windows builds link every program statically through their
# toolchain file.)
#
# Choice: the executable is linked statically, as a static PIE where the
# toolchain can make one, so that it keeps address randomisation. Loading the
# shared C++ runtime takes longer than a whole key lookup. The sanitizer and
# fuzz builds need the shared runtimes and keep them.
option(KEYSCOUT_STATIC "Link the keyscout executable statically" ON)
# Where the executable is not linked statically, the package's binary still
# carries the C++ runtime, so that it depends on the C library alone and
# installs on any release that has it. Off for ordinary builds, where the
# sanitizers want the shared runtime.
option(KEYSCOUT_STATIC_RUNTIME "Link libstdc++ and libgcc into the keyscout binary" OFF)

if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()
if(KEYSCOUT_STATIC AND NOT KEYSCOUT_SANITIZE AND NOT KEYSCOUT_FUZZ)
  include(CheckLinkerFlag)
  check_linker_flag(CXX -static-pie KEYSCOUT_LINKS_STATIC_PIE)
  check_linker_flag(CXX -static KEYSCOUT_LINKS_STATIC)
  # A static link carries the C++ runtime anyway; -static-libstdc++ beside
  # -static-pie would even make GCC link a dynamic executable.
  if(KEYSCOUT_LINKS_STATIC_PIE)
    target_link_options(keyscout PRIVATE -static-pie)
    return()
  elseif(KEYSCOUT_LINKS_STATIC)
    target_link_options(keyscout PRIVATE -static)
    return()
  endif()
endif()
if(KEYSCOUT_STATIC_RUNTIME)
  target_link_options(keyscout PRIVATE -static-libstdc++ -static-libgcc)
endif()
