// Runs the real entry point in-process on an in-memory hive, capturing
// standard output and standard error.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/driver.h"
#include "support/hive_builder.h"

namespace keyscout::test {

// Transaction logs beside an in-memory hive: each log's name and bytes.
using LogBytes = std::vector<std::pair<std::u16string, Bytes>>;

// Hands the driver an exact-size heap copy of a file, so a read one byte past
// its end is caught by AddressSanitizer (a mapping would read zeros there),
// and as exact copies the logs beside it.
class MemoryHiveSource : public HiveSource {
 public:
  explicit MemoryHiveSource(Bytes bytes, MapStatus status = MapStatus::kOk, LogBytes logs = {})
      : bytes_(std::move(bytes)), status_(status), logs_(std::move(logs)) {}
  MapStatus Open(const std::u16string& path, FileBytes* hive) override;
  FileProblem OpenProblem() const override { return open_problem; }
  void Close() override { closed = true; }
  // The logs UseLogs named, found among those given by name (one not given
  // is missing), else all those given; an empty one is empty.
  void UseLogs(std::vector<std::u16string> paths) override { named_logs = std::move(paths); }
  std::vector<OpenedLog> OpenLogs() override;
  // The names of the logs given, and `other_log_names`.
  LogNames NameLogsBeside() override;
  // None: copies in memory are no files a run could write into.
  Evidence GatherEvidence() override { return {}; }
  // An exact-size copy of the hive, zero past its end; null when
  // `refuse_private_view` is set. (The replay never asks for more than the
  // hive plus its logs, so the copy stays as small as they are.)
  uint8_t* MakePrivateWritable(uint64_t length, uint64_t* view_length) override;
  const Bytes& bytes() const { return bytes_; }
  const LogBytes& logs() const { return logs_; }
  std::u16string opened_path;
  FileProblem open_problem;  // why Open fails, when it does
  std::vector<std::u16string> named_logs;
  std::vector<std::u16string> other_log_names;
  bool closed = false;
  int logs_opened = 0;
  bool refuse_private_view = false;

 private:
  Bytes bytes_;
  MapStatus status_;
  LogBytes logs_;
  Bytes view_;
};

struct RunResult {
  int code = -1;
  std::string out;
  std::string err;  // what the run wrote to its error stream
};

// Runs the entry point with `words` (the program's name first) on `source`
// (null: the files on disk), capturing what it prints.
RunResult RunCapturing(const std::vector<std::u16string>& words, HiveSource* source);

// Runs the entry point on an exact-size copy of `hive` (and of `logs` beside
// it) with `words` (the program's name first), and checks that the run left
// every copy as it was.
RunResult RunInMemory(Bytes hive, const std::vector<std::u16string>& words, LogBytes logs = {});

// Runs the entry point again and again on one exact-size copy of a hive and
// its logs, checking after each run that they are as they were: RunWith
// without copying a large hive for every run, for walks over every key of a
// real one.
class MemoryRunner {
 public:
  explicit MemoryRunner(Bytes hive, LogBytes logs = {});
  // `args` are the words after the program's name, as UTF-8; "-f" is not
  // added.
  RunResult Run(const std::vector<std::string>& args);
  RunResult Run(const std::vector<std::u16string>& words);
  // The source the runs read, to set up how it answers or see what it was asked.
  MemoryHiveSource& source() { return source_; }

 private:
  std::vector<std::pair<size_t, uint64_t>> Digests() const;
  MemoryHiveSource source_;
  std::vector<std::pair<size_t, uint64_t>> digests_;
};
// The same with `args`, the words after the program's name, as UTF-8. "-f"
// is not added.
RunResult RunWith(const Bytes& hive, const std::vector<std::string>& args, const LogBytes& logs = {});
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
// A fresh folder in the temporary folder holding `files` (name, bytes), for
// a hive with the logs beside it. Returns the folder's path.
std::string WriteTempFolder(const std::string& name, const std::vector<std::pair<std::string, Bytes>>& files);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

// Test paths are UTF-8 text; this is the file system's own form of one (on
// POSIX the same bytes, on Windows UTF-16 units).
std::filesystem::path PathFromUtf8(const std::string& path);

}  // namespace keyscout::test
