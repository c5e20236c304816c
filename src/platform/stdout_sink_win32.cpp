#include <cerrno>
#include <cstdio>
#include <cstring>
#include <io.h>

#include "platform/stdout_sink.h"
#include "platform/windows_api.h"

namespace keyscout {

bool StdoutSink::Write(const char* data, size_t length) {
  // The C runtime's stdout stays in its default text mode, so each "\n" goes
  // out as CR LF, as a Windows console program writes its lines. The bytes
  // themselves are the same as on every other platform.
  errno = 0;
  if (std::fwrite(data, 1, length, stdout) != length || std::fflush(stdout) != 0) {
    failure_ = errno != 0 ? std::strerror(errno) : "nothing was written";
    return false;
  }
  return true;
}

bool StdoutSink::IsFile() const {
  const intptr_t handle = _get_osfhandle(_fileno(stdout));
  return handle != -1 && ::GetFileType(CastToHandle(handle)) == FILE_TYPE_DISK;
}

bool StdoutSink::Protect(const EvidenceFiles& evidence) {
  const intptr_t handle = _get_osfhandle(_fileno(stdout));
  if (handle == -1) return true;
  // A console or a pipe has no identity, and is never evidence.
  if (!IsEvidence(evidence, IdentityOfHandle(CastToHandle(handle)))) return true;
  failure_ = "it is a file being read";
  return false;
}

}  // namespace keyscout
