// Standard output as the console's sink, written with the platform's own calls.
#pragma once

#include <cstddef>
#include <string>

#include "platform/file_identity.h"
#include "text/console.h"

namespace keyscout {

class StdoutSink : public ByteSink {
 public:
  // Writes all the bytes (a short write is continued). False when standard
  // output refuses them: a full disk, an I/O error, a closed pipe while
  // SIGPIPE is ignored.
  bool Write(const char* data, size_t length) override;
  // Refuses standard output that is one of `evidence` (a shell's ">>" onto
  // the hive): every write would land in the evidence.
  bool Protect(const EvidenceFiles& evidence) override;
  bool IsFile() const override;
  // Why output was lost, for the one line on the error stream; empty while
  // nothing was.
  const std::string& failure() const { return failure_; }

 private:
  std::string failure_;
};

}  // namespace keyscout
