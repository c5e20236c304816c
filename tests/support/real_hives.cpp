#include "support/real_hives.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/run_tool.h"

namespace keyscout::test {

namespace fs = std::filesystem;

namespace {

bool HaveXz() { return std::system("command -v xz >/dev/null 2>&1") == 0; }

}  // namespace

std::string RealHiveDir() {
  std::string dir;
  if (const char* env = std::getenv("KEYSCOUT_HIVES"); env != nullptr && *env != 0) {
    dir = env;
  } else {
#ifdef KEYSCOUT_SHARED_HIVES
    dir = KEYSCOUT_SHARED_HIVES;
#endif
  }
  std::error_code ec;
  return !dir.empty() && fs::is_directory(dir, ec) ? dir : std::string();
}

std::vector<std::string> RealHiveNames() {
  std::vector<std::string> names;
  const std::string dir = RealHiveDir();
  if (dir.empty()) return names;
  const bool xz = HaveXz();
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    if (name.ends_with(".md")) continue;
    if (name.ends_with(".xz") && !xz && UnpackedHivePath(name).empty()) continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string UnpackedHivePath(const std::string& name) {
  const char* dir = std::getenv("KEYSCOUT_UNPACKED_HIVES");
  if (dir == nullptr || *dir == 0 || !name.ends_with(".xz")) return "";
  const std::string path = std::string(dir) + "/" + name.substr(0, name.size() - 3);
  return FileExists(path) ? path : "";
}

std::string RealHivePath(const std::string& name) {
  const std::string stored = RealHiveDir() + "/" + name;
  if (!name.ends_with(".xz")) return FileExists(stored) ? stored : "";
  if (const std::string unpacked = UnpackedHivePath(name); !unpacked.empty()) return unpacked;
  const std::string plain = TempDir() + "/" + name.substr(0, name.size() - 3);
  if (FileExists(plain)) return plain;
  if (!FileExists(stored) || !HaveXz()) return "";
  // Decompressed under another name first, so that a failure never leaves a
  // partial file where a later call would take it for the hive.
  const std::string partial = plain + ".partial";
  if (std::system(("xz -dc '" + stored + "' > '" + partial + "'").c_str()) != 0) {
    fs::remove(partial);
    return "";
  }
  fs::rename(partial, plain);
  return plain;
}

std::vector<std::vector<std::string>> ReadTestData(const std::string& name) {
  std::ifstream in(fs::path(__FILE__).parent_path().parent_path() / "data" / name);
  std::vector<std::vector<std::string>> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::stringstream split(line);
    std::string field;
    while (std::getline(split, field, '\t')) fields.push_back(field);
    lines.push_back(std::move(fields));
  }
  return lines;
}

Bytes LoadRealHive(const std::string& name) {
  const std::string path = RealHivePath(name);
  return path.empty() ? Bytes() : ReadFile(path);
}

}  // namespace keyscout::test
