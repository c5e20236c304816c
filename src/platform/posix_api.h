// What the POSIX sources of the platform layer share. Only
// src/platform/*_posix.cpp include it.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/file_identity.h"
#include "platform/file_problem.h"

namespace keyscout {

// The identity of the file that `st` (from stat or fstat) describes.
inline FileIdentity IdentityOfStat(const struct stat& st) {
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

// Why a call on a file failed, from the `error` it left in errno.
inline FileProblem ProblemOfErrno(int error) {
  switch (error) {
    case ENOENT:
      return {FileProblemKind::kMissing, {}};
    case EISDIR:
      return {FileProblemKind::kFolder, {}};
    case EACCES:
    case EPERM:
    case EROFS:
      return {FileProblemKind::kNoPermission, {}};
    case EWOULDBLOCK:  // a lock another process holds
      return {FileProblemKind::kLocked, {}};
    default:
      return {FileProblemKind::kSystem, std::strerror(error)};
  }
}

}  // namespace keyscout
