#include "platform/log_files.h"

#include <algorithm>

#include "text/case_fold.h"

namespace keyscout {

bool IsLogNameOf(std::u16string_view hive_name, std::u16string_view candidate) {
  if (hive_name.empty() || candidate.size() <= hive_name.size() ||
      !EqualFolded(candidate.substr(0, hive_name.size()), hive_name)) {
    return false;
  }
  const std::u16string_view suffix = candidate.substr(hive_name.size());
  for (const std::u16string_view log : {u".LOG1", u".LOG2", u".LOG"}) {
    if (EqualFolded(suffix, log)) return true;
  }
  return false;
}

std::vector<FoundLog> FindLogFiles(const std::u16string& hive_path) {
  std::vector<FoundLog> found;
  const std::u16string folder = hive_path.substr(0, FolderPartLength(hive_path));
  const std::u16string_view hive_name = std::u16string_view(hive_path).substr(folder.size());
  if (hive_name.empty()) return found;
  ForEachFolderEntry(folder, [&](std::u16string name) {
    if (IsLogNameOf(hive_name, name)) found.push_back(FoundLog{folder + name, std::move(name)});
  });
  std::sort(found.begin(), found.end(), [](const FoundLog& a, const FoundLog& b) { return a.name < b.name; });
  return found;
}

}  // namespace keyscout
