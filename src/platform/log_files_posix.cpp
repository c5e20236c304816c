#include <dirent.h>
#include <sys/stat.h>

#include <string>

#include "platform/log_files.h"
#include "platform/posix_api.h"
#include "text/utf8.h"

namespace keyscout {

size_t FolderPartLength(std::u16string_view path) {
  const size_t slash = path.rfind(u'/');
  return slash == std::u16string_view::npos ? 0 : slash + 1;
}

void ForEachFolderEntry(const std::u16string& folder, const std::function<void(std::u16string)>& visit) {
  DIR* dir = ::opendir(folder.empty() ? "." : EncodeFileName(folder).c_str());
  if (dir == nullptr) return;
  // Names come as bytes; decoded as the command line is, they compare with
  // the hive's name as typed and encode back to the very same bytes.
  while (const dirent* entry = ::readdir(dir)) visit(DecodeCommandWord(entry->d_name));
  ::closedir(dir);
}

FileIdentity IdentityOfFile(const std::u16string& path) {
  struct stat st {};
  if (::stat(EncodeFileName(path).c_str(), &st) != 0) return FileIdentity{};
  return IdentityOfStat(st);
}

}  // namespace keyscout
