// The rule that keeps a run from writing what it reads. A hive and its logs
// are evidence: the files a run on a hive must never write are the hive and
// every transaction log beside it, whether the run reads the logs or not,
// opened or not, by whatever name or link leads to them. The hive source
// gathers them once (HiveSource::GatherEvidence), and every writer asks before
// its first byte: the standard streams (OutputSink::Protect) and the dump file
// (DumpFile::Create).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file_identity.h"

namespace keyscout {

// What a file of the evidence is to the run: the hive, or one of its logs.
enum class EvidenceRole : uint8_t { kNone, kHive, kLog };

class Evidence {
 public:
  // Adds `file` as the hive or one of its logs; an identity the system could
  // not tell is left out, since it would match nothing.
  void Add(const FileIdentity& file, EvidenceRole role) {
    if (file.known()) files_.push_back(Entry{file, role});
  }
  // True when `file` is one of the files added. Prints nothing.
  bool Includes(const FileIdentity& file) const { return RoleOf(file) != EvidenceRole::kNone; }
  // What `file` was added as (the hive first, should it also be a log), or
  // kNone. Prints nothing.
  EvidenceRole RoleOf(const FileIdentity& file) const {
    EvidenceRole role = EvidenceRole::kNone;
    for (const Entry& entry : files_) {
      if (entry.file == file && role != EvidenceRole::kHive) role = entry.role;
    }
    return role;
  }

 private:
  struct Entry {
    FileIdentity file;
    EvidenceRole role;
  };
  std::vector<Entry> files_;
};

}  // namespace keyscout
