#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <limits>

#include "platform/mapped_file.h"
#include "platform/posix_api.h"
#include "text/utf8.h"

namespace keyscout {

MapStatus MappedFile::Open(const std::u16string& path, FileIdentity* opened) {
  Close();
  problem_ = FileProblem{};
  const std::string name = EncodeFileName(path);
  // O_NONBLOCK keeps a FIFO from stalling the open; it is refused just below.
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  int fd = -1;
#ifdef O_NOATIME
  // Reading evidence should leave no trace: O_NOATIME keeps its access time.
  // The system grants it only to the file's owner (or a privileged user);
  // anyone else reads it the plain way.
  fd = ::open(name.c_str(), flags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = ::open(name.c_str(), flags);
#else
  fd = ::open(name.c_str(), flags);
#endif
  if (fd < 0) {
    problem_ = ProblemOfErrno(errno);
    return MapStatus::kCannotOpen;
  }
  struct stat st {};
  // The view must not change under us. A shared lock lets other readers in
  // (several runs on one file) but fails when a writer holds the file locked.
  if (::fstat(fd, &st) != 0) {
    problem_ = ProblemOfErrno(errno);
  } else if (S_ISDIR(st.st_mode)) {
    problem_.kind = FileProblemKind::kFolder;
  } else if (!S_ISREG(st.st_mode)) {
    problem_.kind = FileProblemKind::kNotPlainFile;
  } else if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
    problem_ = ProblemOfErrno(errno);
  }
  if (problem_.kind != FileProblemKind::kNone) {
    ::close(fd);
    return MapStatus::kCannotOpen;
  }
  file_ = fd;
  identity_ = IdentityOfStat(st);
  if (opened != nullptr) *opened = identity_;
  if (st.st_size <= 0 ||
      static_cast<uint64_t>(st.st_size) > std::numeric_limits<size_t>::max()) {
    Close();
    problem_.kind = st.st_size <= 0 ? FileProblemKind::kEmpty : FileProblemKind::kTooLarge;
    return MapStatus::kCannotMapTarget;
  }
  void* view = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  if (view == MAP_FAILED) {
    problem_ = ProblemOfErrno(errno);
    Close();
    return MapStatus::kCannotMapMemory;
  }
  view_ = view;
  size_ = static_cast<uint64_t>(st.st_size);
  return MapStatus::kOk;
}

uint8_t* MappedFile::MakePrivateWritable(uint64_t length) {
  if (view_ == nullptr) return nullptr;
  const uint64_t total = std::max(length, size_);
  if (total > std::numeric_limits<size_t>::max()) return nullptr;
  // Room for the whole view, zero-filled, then the file mapped over its
  // start: both private, so a write copies one page and stays in memory.
  // The file takes only the pages it reaches into (the rest of its last page
  // reads zero); the room after them stays anonymous, so no page of the file
  // mapping lies wholly past the file's end, where a read raises SIGBUS.
  void* region = ::mmap(nullptr, static_cast<size_t>(total), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                        -1, 0);
  if (region == MAP_FAILED) return nullptr;
  if (::mmap(region, static_cast<size_t>(size_), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED,
             static_cast<int>(file_), 0) == MAP_FAILED) {
    ::munmap(region, static_cast<size_t>(total));
    return nullptr;
  }
  ::munmap(view_, static_cast<size_t>(size_));
  view_ = region;
  size_ = total;
  return static_cast<uint8_t*>(region);
}

void MappedFile::Close() {
  if (view_ != nullptr) ::munmap(view_, static_cast<size_t>(size_));
  view_ = nullptr;
  size_ = 0;
  identity_ = FileIdentity{};
  if (file_ >= 0) ::close(static_cast<int>(file_));  // also drops the lock
  file_ = -1;
}

}  // namespace keyscout
