// The output file of -w: created or truncated, then written whole.
#pragma once

#include <cstdint>
#include <string>

#include "platform/evidence.h"
#include "platform/file_problem.h"

namespace keyscout {

class DumpFile {
 public:
  DumpFile() = default;
  ~DumpFile() { Close(); }
  DumpFile(const DumpFile&) = delete;
  DumpFile& operator=(const DumpFile&) = delete;

  // Creates `path` for writing (POSIX: mode 0666 less the umask; Windows: no
  // sharing), or truncates it when it exists. False when it cannot be
  // created, and when it is one of `evidence` by whatever path it was named
  // (problem() is then kIsHive or kIsLog): the file is opened without
  // truncating, compared by identity, and only then truncated, so such a
  // file keeps every byte.
  bool Create(const std::u16string& path, const Evidence& evidence);
  // Writes all `length` bytes; a short write is continued until everything is
  // out. False when the system reports an error.
  bool WriteAll(const uint8_t* data, uint64_t length);
  void Close();
  // Why Create or WriteAll last failed.
  const FileProblem& problem() const { return problem_; }

 private:
  intptr_t file_ = -1;
  FileProblem problem_;
};

// The problem of writing into a file that `role` says is evidence.
inline FileProblem EvidenceProblem(EvidenceRole role) {
  return {role == EvidenceRole::kHive ? FileProblemKind::kIsHive : FileProblemKind::kIsLog, {}};
}

}  // namespace keyscout
