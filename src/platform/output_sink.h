// A stream a run writes its lines to: standard output or standard error in
// the product (StandardStreamSink, platform/stdout_sink.h), a string in tests.
// Besides taking the bytes, it says what the system knows of where they go,
// so that no run writes into a file it reads.
#pragma once

#include <string>

#include "platform/evidence.h"
#include "text/console.h"

namespace keyscout {

class OutputSink : public ByteSink {
 public:
  // True when the bytes go to a file (a regular one, or a device a file name
  // may lead to), and so could reach a file the run must not write.
  virtual bool IsFile() const = 0;
  // False when the stream leads into one of `evidence` (a shell's ">>" onto
  // the hive): it then takes no byte more, and Write fails.
  [[nodiscard]] virtual bool Protect(const Evidence& evidence) = 0;
  // Why bytes were lost or refused, for the one line on the error stream;
  // empty while none were.
  virtual const std::string& failure() const = 0;
  // From here on writes the bytes as they are, where the system would
  // otherwise change line ends (Windows' text mode turns "\n" into CR LF):
  // records whose line ends belong to their format (CSV ends each row in
  // CR LF, and a text inside it may hold a bare line feed). Nothing by
  // default.
  virtual void KeepLineEnds() {}
};

}  // namespace keyscout
