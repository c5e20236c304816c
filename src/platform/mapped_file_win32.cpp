#include <cstddef>
#include <cstring>
#include <limits>

#include "platform/mapped_file.h"
#include "platform/windows_api.h"

namespace keyscout {

MapStatus MappedFile::Open(const std::u16string& path, FileIdentity* opened) {
  Close();
  problem_ = FileProblem{};
  // Share mode 0: while the tool holds the file nobody else may open it, so
  // the view cannot change under the reports; a file someone else holds open
  // (a live hive among others) cannot be opened at all.
  const std::wstring name = ConvertToWindowsText(path);
  HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    problem_ = ProblemOfLastError(::GetLastError(), path);
    return MapStatus::kCannotOpen;
  }
  file_ = CastFromHandle(file);
  identity_ = IdentityOfHandle(file);
  if (opened != nullptr) *opened = identity_;

  // The reader needs the length to keep every read inside the view; a file too
  // long for the address space could not be viewed whole anyway.
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(file, &length)) {
    problem_ = ProblemOfLastError(::GetLastError(), path);
    Close();
    return MapStatus::kCannotMapTarget;
  }
  if (length.QuadPart <= 0 || static_cast<uint64_t>(length.QuadPart) > std::numeric_limits<size_t>::max()) {
    problem_.kind = length.QuadPart <= 0 ? FileProblemKind::kEmpty : FileProblemKind::kTooLarge;
    Close();
    return MapStatus::kCannotMapTarget;
  }

  HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
  if (mapping == nullptr) {
    problem_ = ProblemOfLastError(::GetLastError(), path);
    Close();
    return MapStatus::kCannotMapTarget;
  }
  mapping_ = CastFromHandle(mapping);

  void* view = ::MapViewOfFile(mapping, FILE_MAP_COPY, 0, 0, 0);
  if (view == nullptr) {
    problem_ = ProblemOfLastError(::GetLastError(), path);
    Close();
    return MapStatus::kCannotMapMemory;
  }
  view_ = view;
  size_ = static_cast<uint64_t>(length.QuadPart);
  return MapStatus::kOk;
}

uint8_t* MappedFile::MakePrivateWritable(uint64_t length) {
  if (view_ == nullptr) return nullptr;
  // The view is a copy-on-write one (FILE_MAP_COPY) already: a write copies
  // its page into private memory and never reaches the file.
  if (length <= size_) return static_cast<uint8_t*>(view_);
  // Choice: a mapping of a file opened for reading cannot be longer than the
  // file, and fresh memory cannot be placed right after a view for sure
  // (views start on 64 KiB boundaries, and Windows 7 has no way to reserve
  // the whole range first), so a hive that grows is copied whole into zeroed
  // memory of the new length. That costs the hive, not only the pages
  // changed: on Windows, and only for a hive its logs make longer. The
  // length committed is never one a log merely declares: the replay asks for
  // at most the hive plus the bytes of its logs (PlanLogRecovery refuses a
  // log that declares more), so it is backed by bytes that exist.
  if (length > std::numeric_limits<size_t>::max()) return nullptr;
  void* copy = ::VirtualAlloc(nullptr, static_cast<size_t>(length), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (copy == nullptr) return nullptr;
  // SAFETY: the view holds size_ bytes and the copy length > size_ bytes.
  std::memcpy(copy, view_, static_cast<size_t>(size_));
  ::UnmapViewOfFile(view_);
  view_ = copy;
  view_is_copy_ = true;
  size_ = length;
  return static_cast<uint8_t*>(copy);
}

void MappedFile::Close() {
  // Reverse order of acquisition: view, mapping, file.
  if (view_ != nullptr) {
    if (view_is_copy_) {
      ::VirtualFree(view_, 0, MEM_RELEASE);
    } else {
      ::UnmapViewOfFile(view_);
    }
  }
  view_ = nullptr;
  view_is_copy_ = false;
  size_ = 0;
  identity_ = FileIdentity{};
  if (mapping_ != -1) ::CloseHandle(CastToHandle(mapping_));
  mapping_ = -1;
  if (file_ != -1) ::CloseHandle(CastToHandle(file_));
  file_ = -1;
}

}  // namespace keyscout
