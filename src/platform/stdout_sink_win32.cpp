#include <cstdio>

#include "platform/console.h"

namespace keyscout {

void StdoutSink::Write(const char* data, size_t length) {
  // The C runtime's stdout stays in its default text mode, so each "\n" goes
  // out as CR LF, as a Windows console program writes its lines. The bytes
  // themselves are the same as on every other platform.
  std::fwrite(data, 1, length, stdout);
  std::fflush(stdout);
}

}  // namespace keyscout
