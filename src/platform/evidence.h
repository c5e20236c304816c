// The rule that keeps a run from writing what it reads. A hive and its logs
// are evidence: the files a run on a hive must never write are the hive and
// every transaction log beside it, whether the run reads the logs or not,
// opened or not, by whatever name or link leads to them. The hive source
// gathers them once (HiveSource::GatherEvidence), and every writer asks before
// its first byte: the standard streams (OutputSink::Protect) and the dump file
// (DumpFile::Create).
#pragma once

#include <algorithm>
#include <vector>

#include "platform/file_identity.h"

namespace keyscout {

class Evidence {
 public:
  // Adds `file`; an identity the system could not tell is left out, since it
  // would match nothing.
  void Add(const FileIdentity& file) {
    if (file.known()) files_.push_back(file);
  }
  // True when `file` is one of the files added. Prints nothing.
  bool Includes(const FileIdentity& file) const {
    return std::find(files_.begin(), files_.end(), file) != files_.end();
  }

 private:
  std::vector<FileIdentity> files_;
};

}  // namespace keyscout
