#include <algorithm>
#include <string>

#include "platform/log_files.h"
#include "platform/windows_api.h"

namespace keyscout {

std::vector<FoundLog> FindLogFiles(const std::u16string& hive_path) {
  std::vector<FoundLog> found;
  // The folder ends at the last separator Windows knows: a backslash, a
  // slash, or the colon of a drive-relative path such as "C:SYSTEM".
  const size_t end = hive_path.find_last_of(u"\\/:");
  const std::u16string folder = end == std::u16string::npos ? u"" : hive_path.substr(0, end + 1);
  const std::u16string hive_name = hive_path.substr(folder.size());
  if (hive_name.empty()) return found;
  WIN32_FIND_DATAW entry{};
  const std::wstring pattern = ConvertToWindowsText(folder + u"*");
  HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    std::u16string name;
    for (const wchar_t* unit = entry.cFileName; *unit != 0; ++unit) name.push_back(static_cast<char16_t>(*unit));
    if (IsLogNameOf(hive_name, name)) found.push_back(FoundLog{folder + name, std::move(name)});
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  std::sort(found.begin(), found.end(), [](const FoundLog& a, const FoundLog& b) { return a.name < b.name; });
  return found;
}

FileIdentity IdentityOfFile(const std::u16string& path) {
  // No access asked for: only the file's attributes are read, and a file
  // another program holds without sharing can still be told apart.
  const std::wstring name = ConvertToWindowsText(path);
  HANDLE file = ::CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileIdentity{};
  BY_HANDLE_FILE_INFORMATION info{};
  FileIdentity identity;
  if (::GetFileInformationByHandle(file, &info)) {
    identity = FileIdentity{info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  }
  ::CloseHandle(file);
  return identity;
}

}  // namespace keyscout
