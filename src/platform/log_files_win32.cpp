#include <string>

#include "platform/log_files.h"
#include "platform/windows_api.h"

namespace keyscout {

size_t FolderPartLength(std::u16string_view path) {
  // The folder ends at the last separator Windows knows: a backslash, a
  // slash, or the colon of a drive-relative path such as "C:SYSTEM".
  const size_t end = path.find_last_of(u"\\/:");
  return end == std::u16string_view::npos ? 0 : end + 1;
}

void ForEachFolderEntry(const std::u16string& folder, const std::function<void(std::u16string)>& visit) {
  WIN32_FIND_DATAW entry{};
  const std::wstring pattern = ConvertToWindowsText(folder + u"*");
  HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::u16string name;
    for (const wchar_t* unit = entry.cFileName; *unit != 0; ++unit) name.push_back(static_cast<char16_t>(*unit));
    visit(std::move(name));
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
}

FileIdentity IdentityOfFile(const std::u16string& path) {
  // No access asked for: only the file's attributes are read, and a file
  // another program holds without sharing can still be told apart.
  const std::wstring name = ConvertToWindowsText(path);
  HANDLE file = ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileIdentity{};
  const FileIdentity identity = IdentityOfHandle(file);
  ::CloseHandle(file);
  return identity;
}

}  // namespace keyscout
