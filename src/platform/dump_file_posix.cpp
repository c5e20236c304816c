#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/dump_file.h"
#include "platform/posix_api.h"
#include "text/utf8.h"

namespace keyscout {

bool DumpFile::Create(const std::u16string& path, const Evidence& evidence) {
  Close();
  const std::string name = EncodeFileName(path);
  // No O_TRUNC here: opening the hive itself this way (through any link)
  // changes nothing, and the identity test below then refuses it.
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  if (fd < 0) {
    problem_ = ProblemOfErrno(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    problem_ = ProblemOfErrno(errno);
    ::close(fd);
    return false;
  }
  if (const EvidenceRole role = evidence.RoleOf(IdentityOfStat(st)); role != EvidenceRole::kNone) {
    problem_ = EvidenceProblem(role);
    ::close(fd);
    return false;
  }
  // A device or a pipe cannot be truncated and need not be.
  if (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    problem_ = ProblemOfErrno(errno);
    ::close(fd);
    return false;
  }
  file_ = fd;
  return true;
}

bool DumpFile::WriteAll(const uint8_t* data, uint64_t length) {
  if (file_ < 0) return false;
  const int fd = static_cast<int>(file_);
  while (length > 0) {
    // Some systems refuse single writes above 2 GiB; keep each call below it.
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(length, 1u << 30));
    const ssize_t n = ::write(fd, data, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      problem_ = ProblemOfErrno(errno);
      return false;
    }
    if (n == 0) {
      problem_ = {FileProblemKind::kSystem, "nothing was written"};
      return false;
    }
    data += n;
    length -= static_cast<uint64_t>(n);
  }
  return true;
}

void DumpFile::Close() {
  if (file_ >= 0) ::close(static_cast<int>(file_));
  file_ = -1;
}

}  // namespace keyscout
