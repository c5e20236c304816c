// Runs the real entry point in-process on an in-memory hive, capturing stdout.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/driver.h"
#include "support/hive_builder.h"

namespace keyscout::test {

// Hands the driver an exact-size heap copy of a file, so a read one byte past
// its end is caught by AddressSanitizer (a mapping would read zeros there).
class MemoryHiveSource : public HiveSource {
 public:
  explicit MemoryHiveSource(Bytes bytes, MapStatus status = MapStatus::kOk)
      : bytes_(std::move(bytes)), status_(status) {}
  MapStatus Open(const std::u16string& path, HiveImage* image) override;
  void Close() override { closed = true; }
  const Bytes& bytes() const { return bytes_; }
  std::u16string opened_path;
  bool closed = false;

 private:
  Bytes bytes_;
  MapStatus status_;
};

struct RunResult {
  int code = -1;
  std::string out;
};

// Runs the entry point on an exact-size copy of `hive` with `words` (the
// program's name first), and checks that the run left the copy as it was.
RunResult RunInMemory(Bytes hive, const std::vector<std::u16string>& words);
// The same with `args`, the words after the program's name, as UTF-8. "-f"
// is not added.
RunResult RunWith(const Bytes& hive, const std::vector<std::string>& args);
// Runs with the real platform layer (files on disk) with `words` (the
// program's name first), and checks that the hive that "-f" names and the
// logs beside it are as they were.
RunResult RunOnDisk(const std::vector<std::u16string>& words);

// The banner and the "KEY PATH" line the driver prints before any report, as
// literal text: every expectation of a run compares the program's banner with
// it.
std::string Banner();
std::string Preamble(const std::string& key_path = "ROOT");

// Writes `bytes` to a fresh file in a temporary folder and returns its path.
std::string WriteTempFile(const Bytes& bytes, const std::string& name = "hive");
std::string TempDir();
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Test paths are UTF-8 text; this is the file system's own form of one (on
// POSIX the same bytes, on Windows UTF-16 units).
std::filesystem::path PathFromUtf8(const std::string& path);

}  // namespace keyscout::test
