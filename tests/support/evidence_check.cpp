#include "support/evidence_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/process.h"
#include "support/run_tool.h"

namespace keyscout::test {

namespace fs = std::filesystem;

namespace {

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

uint64_t QuickDigest(const uint8_t* data, size_t size) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  for (; i < size; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
  return h;
}

EvidenceWatch::Watched EvidenceWatch::Look(const std::string& path) {
  Watched w;
  w.path = path;
  const std::vector<uint8_t> bytes = ReadFileQuietly(path, &w.present);
  if (!w.present) return w;
  w.size = bytes.size();
  w.digest = QuickDigest(bytes.data(), bytes.size());
  return w;
}

EvidenceWatch::EvidenceWatch(const std::vector<std::string>& args) {
  std::string hive;
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "-f") hive = args[++i];
  }
  if (hive.empty()) return;
  files_.push_back(Look(hive));
  if (!files_.back().present) {
    files_.clear();
    return;
  }
  const fs::path path = PathFromUtf8(hive);
  const std::string base = path.filename().string();
  std::error_code ec;
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    for (const char* suffix : {".LOG", ".LOG1", ".LOG2"}) {
      if (SameIgnoringAsciiCase(name, base + suffix)) {
        const std::u8string text = entry.path().u8string();
        files_.push_back(Look(std::string(text.begin(), text.end())));
      }
    }
  }
}

void EvidenceWatch::ExpectUnchanged(const std::string& run) const {
  for (const Watched& before : files_) {
    const Watched after = Look(before.path);
    // A log name that leads to no regular file (a folder, a device) holds
    // nothing to compare.
    if (!before.present) continue;
    if (!after.present) {
      ADD_FAILURE() << run << " removed " << before.path;
    } else if (after.size != before.size || after.digest != before.digest) {
      ADD_FAILURE() << run << " changed " << before.path << " (" << before.size << " bytes before, " << after.size
                    << " after)";
    }
  }
}

}  // namespace keyscout::test
