#include <unistd.h>

#include <cerrno>

#include "platform/console.h"

namespace keyscout {

void StdoutSink::Write(const char* data, size_t length) {
  // write() may take less than asked (pipes, signals); go on until all is out
  // or the descriptor refuses, in which case there is nobody left to tell.
  while (length > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
}

}  // namespace keyscout
