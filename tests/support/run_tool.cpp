#include "support/run_tool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "support/string_sink.h"
#include "text/utf8.h"
#include "support/evidence_check.h"

namespace keyscout::test {

MapStatus MemoryHiveSource::Open(const std::u16string& path, FileBytes* hive) {
  opened_path = path;
  if (status_ != MapStatus::kOk) return status_;
  if (bytes_.empty()) return MapStatus::kCannotMapTarget;  // as an empty file maps
  *hive = FileBytes{bytes_.data(), bytes_.size()};
  return MapStatus::kOk;
}

std::vector<OpenedLog> MemoryHiveSource::OpenLogs() {
  ++logs_opened;
  std::vector<OpenedLog> logs;
  const auto add = [&logs](const std::u16string& name, const Bytes* bytes) {
    OpenedLog log{name, {}, {}};
    if (bytes == nullptr) {
      log.problem.kind = FileProblemKind::kMissing;
    } else if (bytes->empty()) {
      log.problem.kind = FileProblemKind::kEmpty;  // as an empty file maps
    } else {
      log.bytes = FileBytes{bytes->data(), bytes->size()};
    }
    logs.push_back(std::move(log));
  };
  if (named_logs.empty()) {
    for (const auto& [name, bytes] : logs_) add(name, &bytes);
    return logs;
  }
  for (const std::u16string& path : named_logs) {
    const auto given = std::find_if(logs_.begin(), logs_.end(), [&path](const auto& log) { return log.first == path; });
    add(path, given != logs_.end() ? &given->second : nullptr);
  }
  return logs;
}

LogNames MemoryHiveSource::NameLogsBeside() {
  LogNames names{{}, other_log_names};
  for (const auto& log : logs_) names.own.push_back(log.first);
  return names;
}

uint8_t* MemoryHiveSource::MakePrivateWritable(uint64_t length, uint64_t* view_length) {
  if (refuse_private_view) return nullptr;
  view_ = bytes_;
  view_.resize(std::max<uint64_t>(length, bytes_.size()));
  *view_length = view_.size();
  return view_.data();
}

namespace {

uint64_t DigestOf(const Bytes& bytes) { return QuickDigest(bytes.data(), bytes.size()); }

std::vector<std::u16string> Words(const std::vector<std::string>& args) {
  std::vector<std::u16string> words{u"keyscout"};
  for (const std::string& a : args) words.push_back(DecodeCommandWord(a));
  return words;
}

}  // namespace

MemoryRunner::MemoryRunner(Bytes hive, LogBytes logs)
    : source_(std::move(hive), MapStatus::kOk, std::move(logs)), digests_(Digests()) {}

std::vector<std::pair<size_t, uint64_t>> MemoryRunner::Digests() const {
  std::vector<std::pair<size_t, uint64_t>> digests{{source_.bytes().size(), DigestOf(source_.bytes())}};
  for (const auto& log : source_.logs()) digests.emplace_back(log.second.size(), DigestOf(log.second));
  return digests;
}

RunResult RunCapturing(const std::vector<std::u16string>& words, HiveSource* source) {
  StringSink out;
  StringSink err;
  MappedHiveSource files;
  RunResult result;
  result.code = RunTool(words, out, err, source != nullptr ? *source : files);
  result.out = std::move(out.text);
  result.err = std::move(err.text);
  return result;
}

RunResult MemoryRunner::Run(const std::vector<std::u16string>& words) {
  RunResult result = RunCapturing(words, &source_);
  if (Digests() != digests_) ADD_FAILURE() << "a run changed the bytes of the hive or a log it read";
  return result;
}

RunResult MemoryRunner::Run(const std::vector<std::string>& args) { return Run(Words(args)); }

RunResult RunInMemory(Bytes hive, const std::vector<std::u16string>& words, LogBytes logs) {
  return MemoryRunner(std::move(hive), std::move(logs)).Run(words);
}

RunResult RunWith(const Bytes& hive, const std::vector<std::string>& args, const LogBytes& logs) {
  return RunInMemory(hive, Words(args), logs);
}

RunResult RunOnDisk(const std::vector<std::u16string>& words) {
  std::vector<std::string> args;
  std::string run;
  for (const std::u16string& w : words) {
    args.push_back(EncodeFileName(w));
    run += (run.empty() ? "" : " ") + ("'" + args.back() + "'");
  }
  const EvidenceWatch watch(args);
  RunResult result = RunCapturing(words, nullptr);
  watch.ExpectUnchanged(run);
  return result;
}

std::string Banner() {
  return "\n"
         "keyscout v1.0 - read-only viewer of offline Windows registry hive files\n"
         "Written by the keyscout developers\n"
         "Contact: the keyscout issue tracker\n"
         "\n";
}

std::string Preamble(const std::string& key_path) { return Banner() + "KEY PATH : " + key_path + "\n"; }

std::filesystem::path PathFromUtf8(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

std::string TempDir() {
  static const std::string dir = [] {
    namespace fs = std::filesystem;
    // A folder of our own that did not exist before (create_directory fails
    // on an existing one), readable by us alone.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / ("keyscout-test-" + std::to_string(random()));
      std::error_code error;
      if (fs::create_directory(candidate, error)) {
        fs::permissions(candidate, fs::perms::owner_all, error);
        const std::u8string text = candidate.u8string();
        return std::string(text.begin(), text.end());
      }
    }
    std::abort();
  }();
  return dir;
}

std::string WriteTempFile(const Bytes& bytes, const std::string& name) {
  static std::atomic<int> counter{0};
  const std::string path = TempDir() + "/" + name + "-" + std::to_string(counter++);
  std::ofstream f(PathFromUtf8(path), std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string WriteTempFolder(const std::string& name, const std::vector<std::pair<std::string, Bytes>>& files) {
  static std::atomic<int> counter{0};
  const std::string folder = TempDir() + "/" + name + "-" + std::to_string(counter++);
  std::filesystem::create_directory(PathFromUtf8(folder));
  for (const auto& [file, bytes] : files) {
    std::ofstream f(PathFromUtf8(folder + "/" + file), std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  return folder;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(PathFromUtf8(path), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(PathFromUtf8(path), error);
}

}  // namespace keyscout::test
