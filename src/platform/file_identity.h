// Which file an open descriptor or handle refers to, whatever path reached it.
// A hive (and later its logs) is evidence: the tool compares every file it is
// about to write with the files it reads, by identity, so that no hard link,
// symbolic link or /proc path can lead a write into them.
#pragma once

#include <cstdint>
#include <vector>

namespace keyscout {

// All zero when the system could not say; such an identity matches nothing.
struct FileIdentity {
  uint64_t volume = 0;  // POSIX: st_dev; Windows: the volume serial number
  uint64_t file = 0;    // POSIX: st_ino; Windows: the file index
  bool known() const { return volume != 0 || file != 0; }
  bool operator==(const FileIdentity&) const = default;
};

// The files a run reads and must never write.
using EvidenceFiles = std::vector<FileIdentity>;

inline bool IsEvidence(const EvidenceFiles& evidence, const FileIdentity& file) {
  for (const FileIdentity& e : evidence) {
    if (e.known() && e == file) return true;
  }
  return false;
}

}  // namespace keyscout
