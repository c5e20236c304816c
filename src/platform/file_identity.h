// Which file an open descriptor or handle refers to, whatever path reached it.
// The files a run reads are compared by identity with every file it is about
// to write (platform/evidence.h), so that no hard link, symbolic link or /proc
// path can lead a write into them.
#pragma once

#include <cstdint>

namespace keyscout {

// All zero when the system could not say; such an identity matches nothing.
struct FileIdentity {
  uint64_t volume = 0;  // POSIX: st_dev; Windows: the volume serial number
  uint64_t file = 0;    // POSIX: st_ino; Windows: the file index
  bool known() const { return volume != 0 || file != 0; }
  bool operator==(const FileIdentity&) const = default;
};

}  // namespace keyscout
