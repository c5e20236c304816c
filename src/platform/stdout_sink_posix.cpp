#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/stdout_sink.h"
#include "platform/posix_api.h"

namespace keyscout {

namespace {

int Descriptor(StandardStream stream) { return stream == StandardStream::kOutput ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

bool StandardStreamSink::Write(const char* data, size_t length) {
  if (refused_) return false;
  // write() may take less than asked (pipes, signals); go on until all is out
  // or the descriptor refuses (a full disk, an I/O error, a closed pipe when
  // SIGPIPE is ignored).
  while (length > 0) {
    const ssize_t n = ::write(Descriptor(stream_), data, length);
    if (n < 0) {
      if (errno == EINTR) continue;
      failure_ = std::strerror(errno);
      return false;
    }
    if (n == 0) {
      failure_ = "nothing was written";
      return false;
    }
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool StandardStreamSink::IsFile() const {
  struct stat st {};
  const int fd = Descriptor(stream_);
  // A pipe, a socket or a terminal holds nothing a run could damage.
  return ::fstat(fd, &st) == 0 && !S_ISFIFO(st.st_mode) && !S_ISSOCK(st.st_mode) && ::isatty(fd) == 0;
}

bool StandardStreamSink::Protect(const Evidence& evidence) {
  struct stat st {};
  if (::fstat(Descriptor(stream_), &st) != 0) return true;  // no such stream: writes fail on their own
  if (!evidence.Includes(IdentityOfStat(st))) return true;
  refused_ = true;
  failure_ = "it is a file being read";
  return false;
}

}  // namespace keyscout
