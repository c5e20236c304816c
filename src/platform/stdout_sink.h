// Standard output and standard error as a run's output sinks, written with the
// platform's own calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/output_sink.h"

namespace keyscout {

enum class StandardStream : uint8_t { kOutput, kError };

class StandardStreamSink : public OutputSink {
 public:
  explicit StandardStreamSink(StandardStream stream) : stream_(stream) {}
  // Writes all the bytes (a short write is continued). False when the stream
  // refuses them: a full disk, an I/O error, a closed pipe while SIGPIPE is
  // ignored, and every write once Protect refused the stream.
  bool Write(const char* data, size_t length) override;
  // Refuses a stream that is one of `evidence` (a shell's ">>" onto the
  // hive): every write would land in the evidence.
  bool Protect(const Evidence& evidence) override;
  // True when the stream is something a file name can lead to, other than a
  // pipe or a terminal: a regular file, or (POSIX) a device, which a name
  // beside the hive may lead to as well.
  bool IsFile() const override;
  const std::string& failure() const override { return failure_; }
#if defined(_WIN32)
  // Sets the C runtime's stream to binary mode.
  void KeepLineEnds() override;
#endif

 private:
  StandardStream stream_;
  bool refused_ = false;
  std::string failure_;
};

}  // namespace keyscout
