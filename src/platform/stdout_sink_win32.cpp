#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>

#include "platform/stdout_sink.h"
#include "platform/windows_api.h"

namespace keyscout {

namespace {

std::FILE* StreamOf(StandardStream stream) { return stream == StandardStream::kOutput ? stdout : stderr; }

}  // namespace

bool StandardStreamSink::Write(const char* data, size_t length) {
  if (refused_) return false;
  // The C runtime's streams stay in their default text mode, so each "\n"
  // goes out as CR LF, as a Windows console program writes its lines. The
  // bytes themselves are the same as on every other platform.
  std::FILE* file = StreamOf(stream_);
  errno = 0;
  if (std::fwrite(data, 1, length, file) != length || std::fflush(file) != 0) {
    failure_ = errno != 0 ? std::strerror(errno) : "nothing was written";
    return false;
  }
  return true;
}

void StandardStreamSink::KeepLineEnds() {
  std::FILE* file = StreamOf(stream_);
  std::fflush(file);
  _setmode(_fileno(file), _O_BINARY);
}

bool StandardStreamSink::IsFile() const {
  const intptr_t handle = _get_osfhandle(_fileno(StreamOf(stream_)));
  return handle != -1 && ::GetFileType(CastToHandle(handle)) == FILE_TYPE_DISK;
}

bool StandardStreamSink::Protect(const Evidence& evidence) {
  const intptr_t handle = _get_osfhandle(_fileno(StreamOf(stream_)));
  if (handle == -1) return true;
  // A console or a pipe has no identity, and is never evidence.
  if (!evidence.Includes(IdentityOfHandle(CastToHandle(handle)))) return true;
  refused_ = true;
  failure_ = "it is a file being read";
  return false;
}

}  // namespace keyscout
