#include <cstddef>
#include <limits>

#include "platform/mapped_file.h"
#include "platform/windows_api.h"

namespace keyscout {

MapStatus MappedFile::Open(const std::u16string& path) {
  Close();
  // Share mode 0: while the tool holds the file nobody else may open it, so
  // the view cannot change under the reports; a file someone else holds open
  // (a live hive among others) cannot be opened at all.
  const std::wstring name = ConvertToWindowsText(path);
  HANDLE file = ::CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return MapStatus::kCannotOpen;
  file_ = CastFromHandle(file);
  BY_HANDLE_FILE_INFORMATION info{};
  if (::GetFileInformationByHandle(file, &info)) {
    identity_ = FileIdentity{info.dwVolumeSerialNumber,
                             (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  }

  // The reader needs the length to keep every read inside the view; a file too
  // long for the address space could not be viewed whole anyway.
  LARGE_INTEGER length{};
  if (!::GetFileSizeEx(file, &length) || length.QuadPart <= 0 ||
      static_cast<uint64_t>(length.QuadPart) > std::numeric_limits<size_t>::max()) {
    Close();
    return MapStatus::kCannotMapTarget;
  }

  HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_WRITECOPY, 0, 0, nullptr);
  if (mapping == nullptr) {
    Close();
    return MapStatus::kCannotMapTarget;
  }
  mapping_ = CastFromHandle(mapping);

  void* view = ::MapViewOfFile(mapping, FILE_MAP_COPY, 0, 0, 0);
  if (view == nullptr) {
    Close();
    return MapStatus::kCannotMapMemory;
  }
  view_ = view;
  size_ = static_cast<uint64_t>(length.QuadPart);
  return MapStatus::kOk;
}

void MappedFile::Close() {
  // Reverse order of acquisition: view, mapping, file.
  if (view_ != nullptr) ::UnmapViewOfFile(view_);
  view_ = nullptr;
  size_ = 0;
  identity_ = FileIdentity{};
  if (mapping_ != -1) ::CloseHandle(CastToHandle(mapping_));
  mapping_ = -1;
  if (file_ != -1) ::CloseHandle(CastToHandle(file_));
  file_ = -1;
}

}  // namespace keyscout
