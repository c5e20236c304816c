// What the POSIX sources of the platform layer share. Only
// src/platform/*_posix.cpp include it.
#pragma once

#include <sys/stat.h>

#include <cstdint>

#include "platform/file_identity.h"

namespace keyscout {

// The identity of the file that `st` (from stat or fstat) describes.
inline FileIdentity IdentityOfStat(const struct stat& st) {
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace keyscout
