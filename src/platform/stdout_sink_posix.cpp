#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/stdout_sink.h"
#include "platform/posix_api.h"

namespace keyscout {

bool StdoutSink::Write(const char* data, size_t length) {
  // write() may take less than asked (pipes, signals); go on until all is out
  // or the descriptor refuses (a full disk, an I/O error, a closed pipe when
  // SIGPIPE is ignored).
  while (length > 0) {
    const ssize_t n = ::write(STDOUT_FILENO, data, length);
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

bool StdoutSink::IsFile() const {
  struct stat st {};
  return ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode);
}

bool StdoutSink::Protect(const EvidenceFiles& evidence) {
  struct stat st {};
  if (::fstat(STDOUT_FILENO, &st) != 0) return true;  // no standard output: writes fail on their own
  if (!IsEvidence(evidence, IdentityOfStat(st))) return true;
  failure_ = "it is a file being read";
  return false;
}

}  // namespace keyscout
