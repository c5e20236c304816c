#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "platform/log_files.h"
#include "text/utf8.h"

namespace keyscout {

std::vector<FoundLog> FindLogFiles(const std::u16string& hive_path) {
  std::vector<FoundLog> found;
  const size_t slash = hive_path.rfind(u'/');
  const std::u16string folder = slash == std::u16string::npos ? u"" : hive_path.substr(0, slash + 1);
  const std::u16string hive_name = hive_path.substr(folder.size());
  if (hive_name.empty()) return found;
  DIR* dir = ::opendir(folder.empty() ? "." : EncodeFileName(folder).c_str());
  if (dir == nullptr) return found;
  while (const dirent* entry = ::readdir(dir)) {
    // Names come as bytes; decoded as the command line is, they compare with
    // the hive's name as typed and encode back to the very same bytes.
    std::u16string name = DecodeCommandWord(entry->d_name);
    if (IsLogNameOf(hive_name, name)) found.push_back(FoundLog{folder + name, std::move(name)});
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), [](const FoundLog& a, const FoundLog& b) { return a.name < b.name; });
  return found;
}

FileIdentity IdentityOfFile(const std::u16string& path) {
  struct stat st {};
  if (::stat(EncodeFileName(path).c_str(), &st) != 0) return FileIdentity{};
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace keyscout
