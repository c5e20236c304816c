#include "platform/log_files.h"

#include <algorithm>
#include <optional>

#include "text/case_fold.h"

namespace keyscout {

namespace {

// The length of `candidate` without its log ending (".LOG1", ".LOG2" or
// ".LOG", any case), or nothing when it has none.
std::optional<size_t> StemLength(std::u16string_view candidate) {
  for (const std::u16string_view log : {u".LOG1", u".LOG2", u".LOG"}) {
    if (candidate.size() >= log.size() && EqualFolded(candidate.substr(candidate.size() - log.size()), log)) {
      return candidate.size() - log.size();
    }
  }
  return std::nullopt;
}

}  // namespace

bool IsLogNameOf(std::u16string_view hive_name, std::u16string_view candidate) {
  const std::optional<size_t> stem = StemLength(candidate);
  return !hive_name.empty() && stem == hive_name.size() && EqualFolded(candidate.substr(0, *stem), hive_name);
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

std::vector<std::u16string> FindOtherLogNames(const std::u16string& hive_path) {
  std::vector<std::u16string> found;
  const std::u16string folder = hive_path.substr(0, FolderPartLength(hive_path));
  const std::u16string_view hive_name = std::u16string_view(hive_path).substr(folder.size());
  ForEachFolderEntry(folder, [&](std::u16string name) {
    const std::optional<size_t> stem = StemLength(name);
    if (stem && *stem > 0 && !IsLogNameOf(hive_name, name)) found.push_back(std::move(name));
  });
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace keyscout
