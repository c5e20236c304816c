// -t on the real hives with their logs (the logs/ folder of the corpus): each
// replay reads as the hive Windows itself recovered from the same logs, the
// damaged logs are refused, and every hive without logs reads as it did.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <string_view>

#include "hive/base_block.h"
#include "hive/log_recovery.h"
#include "support/real_hives.h"
#include "support/run_tool.h"
#include "text/utf8.h"

namespace keyscout {
namespace {

using test::Banner;
using test::Bytes;
using Args = std::vector<std::string>;
// One run of keyscout on a hive chosen beforehand: the words after "-f HIVE".
using Runner = std::function<test::RunResult(const Args& args)>;

const std::string APPLIED = "Transaction logs : applied ";
const std::string NO_USABLE_LOG = "Transaction logs : hive is dirty but no usable log was found, read as stored\n";
const std::string CLEAN = "Transaction logs : hive is clean, no log applied\n";

std::string LogSet(const std::string& folder) {
  const std::string dir = test::RealHiveDir();
  const std::string path = dir + "/logs/" + folder;
  return dir.empty() || !test::FileExists(path) ? "" : path;
}

// The hive's logs as the folder holds them, for in-memory runs: the same
// names the product finds (that it finds them is checked on disk below).
test::LogBytes ReadLogs(const std::string& folder, const std::string& hive) {
  test::LogBytes logs;
  for (const auto& entry : std::filesystem::directory_iterator(test::PathFromUtf8(folder))) {
    const std::u8string name = entry.path().filename().u8string();
    const std::string found(name.begin(), name.end());
    if (found.size() > hive.size() && found.starts_with(hive) && found[hive.size()] == '.') {
      logs.emplace_back(DecodeCommandWord(found), test::ReadFile(folder + "/" + found));
    }
  }
  std::sort(logs.begin(), logs.end());
  return logs;
}

// Runs keyscout in-process on a hive (and its logs) held in memory once for
// all the runs.
Runner InMemory(const Bytes& hive, const test::LogBytes& logs = {}) {
  auto runner = std::make_shared<test::MemoryRunner>(hive, logs);
  return [runner](const Args& args) {
    Args all{"-f", "hive"};
    all.insert(all.end(), args.begin(), args.end());
    return runner->Run(all);
  };
}

// Runs keyscout in-process on the hive file `path`, with the real platform
// layer: the logs are found and mapped beside it.
Runner OnDisk(const std::string& path) {
  return [path](const Args& args) {
    std::vector<std::u16string> words{u"keyscout", u"-f", DecodeCommandWord(path)};
    for (const std::string& a : args) words.push_back(DecodeCommandWord(a));
    return test::RunOnDisk(words);
  };
}

Runner WithLogs(const Runner& run) {
  return [run](Args args) {
    args.push_back("-t");
    return run(args);
  };
}

// `out` with the line right after the banner taken out into `*status`.
std::string TakeStatus(const std::string& out, std::string* status) {
  if (!out.starts_with(Banner())) return out;
  const size_t end = out.find('\n', Banner().size());
  if (end == std::string::npos) return out;
  *status = out.substr(Banner().size(), end + 1 - Banner().size());
  return Banner() + out.substr(end + 1);
}

// A name as printed (one byte per unit, ISO 8859-1) as a command-line word.
std::string WordOf(std::string_view printed) {
  std::u16string units(printed.begin(), printed.end());
  for (char16_t& unit : units) unit &= 0xFF;
  return EncodeFileName(units);
}

// The names in the rows of the subkey and the value listing of `out`, as
// printed.
void ReadListings(const std::string& out, Args* subkeys, Args* values) {
  Args* table = nullptr;
  size_t at = 0;
  for (size_t end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string_view line(out.data() + at, end - at);
    if (line == "Subkeys information:") table = subkeys;
    if (line == "Key values information:") table = values;
    const bool row = line.size() > 9 && line[8] == '\t' &&
                     line.find_first_not_of("0123456789ABCDEF") == 8 && line.substr(9).find('\t') != 0;
    if (table != nullptr && row) table->push_back(std::string(line.substr(line.rfind('\t') + 1)));
  }
}

// Whether a printed key name can be typed back as a path component: not
// when it holds a backslash, or a "?" that stands for a character above
// U+00FF.
bool Typable(const std::string& name) { return name.find_first_of("\\?") == std::string::npos; }

// Visits the keys from the root down `depth` levels, breadth first, and
// returns how many: `visit` gets a key's printed path and its "-k" words
// (none for the root) and returns what its listing printed, which names the
// keys to visit next, or nothing to end the walk.
size_t WalkKeys(const std::function<std::optional<std::string>(const std::string&, const Args&)>& visit,
                size_t depth = SIZE_MAX) {
  size_t visited = 0;
  std::deque<std::pair<std::string, size_t>> keys{{"", 0}};
  for (; !keys.empty(); keys.pop_front()) {
    const auto& [path, level] = keys.front();
    const std::optional<std::string> out = visit(path, path.empty() ? Args{} : Args{"-k", WordOf(path)});
    if (!out) break;
    ++visited;
    Args subkeys;
    Args values;
    ReadListings(*out, &subkeys, &values);
    for (const std::string& name : subkeys) {
      if (level < depth && Typable(name)) keys.emplace_back(path.empty() ? name : path + "\\" + name, level + 1);
    }
  }
  return visited;
}

// Walks the keys `reference` lists, from the root down `depth` levels: each
// key's -s -l -e report and each of its values' -v -w report must print the
// same bytes through `subject`, once the line `status` is taken from after
// its banner, and dump the same data. The first difference ends the walk.
// Returns the number of values compared.
size_t CompareEveryKey(const Runner& subject, const Runner& reference, const std::string& status,
                       size_t depth = SIZE_MAX) {
  const std::string dump = test::TempDir() + "/real-logs-dump";
  size_t compared = 0;
  bool agreed = true;
  const auto same = [&](const Args& args) {
    const test::RunResult expected = reference(args);
    const Bytes expected_dump = test::ReadFile(dump);
    const test::RunResult r = subject(args);
    std::string seen;
    const std::string out = TakeStatus(r.out, &seen);
    agreed = out == expected.out && seen == status && r.code == expected.code && test::ReadFile(dump) == expected_dump;
    EXPECT_EQ(out, expected.out) << testing::PrintToString(args);
    EXPECT_EQ(seen, status) << testing::PrintToString(args);
    EXPECT_EQ(r.code, expected.code) << testing::PrintToString(args);
    EXPECT_EQ(test::ReadFile(dump), expected_dump) << testing::PrintToString(args);
    return expected.out;
  };
  const size_t keys = WalkKeys(
      [&](const std::string&, const Args& at) -> std::optional<std::string> {
        Args args = at;
        args.insert(args.end(), {"-s", "-l", "-e"});
        const std::string out = same(args);
        Args subkeys;
        Args values;
        ReadListings(out, &subkeys, &values);
        for (const std::string& value : values) {
          Args one = at;
          one.insert(one.end(), {"-v", WordOf(value), "-w", dump});
          same(one);
          ++compared;
        }
        if (!agreed) return std::nullopt;
        return out;
      },
      depth);
  EXPECT_GE(keys, 1u);
  return compared;
}

TEST(RealLogsTest, ReplayedHivesReadAsTheHivesWindowsRecoveredFromTheSameLogs) {
  struct Set {
    const char* folder;
    const char* hive;
    const char* recovered;
    std::string status;
  };
  const Set sets[] = {
      {"yarp_NewDirtyHive1", "NewDirtyHive", "RecoveredHive_Windows10",
       APPLIED + "NewDirtyHive.LOG1 (1 entry) and NewDirtyHive.LOG2 (3 entries), sequence 2 to 5\n"},
      {"yarp_OldDirtyHive", "OldDirtyHive", "RecoveredHive_Windows7",
       APPLIED + "OldDirtyHive.LOG1 (old format, 64 pages)\n"},
  };
  size_t values = 0;
  for (const Set& set : sets) {
    SCOPED_TRACE(set.folder);
    const std::string folder = LogSet(set.folder);
    if (folder.empty()) GTEST_SKIP() << "no real log sets";
    const Bytes dirty = test::ReadFile(folder + "/" + set.hive);
    const Bytes recovered = test::ReadFile(folder + "/" + set.recovered);
    const test::LogBytes logs = ReadLogs(folder, set.hive);
    // On disk once, where the platform finds the logs and maps the view;
    // then every key in memory, where a run costs no file reads.
    CompareEveryKey(WithLogs(OnDisk(folder + "/" + set.hive)), InMemory(recovered), set.status, 0);
    values += CompareEveryKey(WithLogs(InMemory(dirty, logs)), InMemory(recovered), set.status);
  }
  EXPECT_GT(values, 0u);
}

TEST(RealLogsTest, OnlyTheLogsThatFollowTheHiveApplyAndDamagedOnesNotAtAll) {
  const std::string dirty2 = LogSet("yarp_NewDirtyHive2");
  const std::string bad_base = LogSet("yarp_BadBaseBlockHive");
  if (dirty2.empty() || bad_base.empty()) GTEST_SKIP() << "no real log sets";
  // LOG1 is older than the hive; LOG2 alone applies, up to sequence 5.
  const test::RunResult r = WithLogs(OnDisk(dirty2 + "/NewDirtyHive"))({"-l", "-e"});
  EXPECT_TRUE(r.out.starts_with(Banner() + APPLIED + "NewDirtyHive.LOG2 (3 entries), sequence 3 to 5\n")) << r.out;
  EXPECT_EQ(r.code, 0);

  // The hive's base block is damaged; its old-format log brings back the
  // base block and every change Windows made from it (a key deleted, one
  // added, a value added).
  const Bytes recovered = test::ReadFile(LogSet("yarp_OldDirtyHive") + "/RecoveredHive_Windows7");
  const Runner replayed = WithLogs(OnDisk(bad_base + "/BadBaseBlockHive"));
  const std::string status = APPLIED + "BadBaseBlockHive.LOG1 (old format, 64 pages)\n";
  for (const Args& args : {Args{"-s", "-l", "-e"}, Args{"-k", "key_with_many_subkeys\\1"},
                           Args{"-k", "key_with_many_subkeys\\5000", "-l"},
                           Args{"-k", "key_with_many_subkeys\\4500", "-e", "-v", "V"}}) {
    std::string seen;
    EXPECT_EQ(TakeStatus(replayed(args).out, &seen), InMemory(recovered)(args).out) << testing::PrintToString(args);
    EXPECT_EQ(seen, status);
  }

  // No log of these is usable: the status says so, and the reports read the
  // hive as stored.
  for (const char* set : {"yarp_BadLogHive1", "yarp_BadLogHive2", "yarp_BadLogHive3"}) {
    SCOPED_TRACE(set);
    const std::string hive = LogSet(set) + "/BadLogHive";
    CompareEveryKey(WithLogs(OnDisk(hive)), OnDisk(hive), NO_USABLE_LOG, 1);
  }
}

// A copy of LOG1 saved under another of the log names changes nothing of the
// recovery. With LOG1 no log at all (here a folder of that name), LOG2 still
// applies, after a gap that the status line and standard error say.
TEST(RealLogsTest, ACopiedLogHidesNothingAndAMissingOneLeavesAGapThatIsSaid) {
  const std::string folder = LogSet("yarp_NewDirtyHive1");
  if (folder.empty()) GTEST_SKIP() << "no real log sets";
  const Bytes dirty = test::ReadFile(folder + "/NewDirtyHive");
  const Bytes recovered = test::ReadFile(folder + "/RecoveredHive_Windows10");
  const test::LogBytes logs = ReadLogs(folder, "NewDirtyHive");
  ASSERT_EQ(logs.size(), 2u);
  test::LogBytes copied = logs;
  copied.insert(copied.begin(), {u"NewDirtyHive.LOG", logs[0].second});
  CompareEveryKey(WithLogs(InMemory(dirty, copied)), InMemory(recovered),
                  APPLIED + "NewDirtyHive.LOG (1 entry) and NewDirtyHive.LOG2 (3 entries), sequence 2 to 5\n");

  const std::string first_missing =
      test::WriteTempFolder("missing-log", {{"NewDirtyHive", dirty}, {"NewDirtyHive.LOG2", logs[1].second}});
  std::filesystem::create_directory(test::PathFromUtf8(first_missing + "/NewDirtyHive.LOG1"));
  const test::RunResult r = OnDisk(first_missing + "/NewDirtyHive")({"-t"});
  EXPECT_EQ(r.out, Banner() + APPLIED + "NewDirtyHive.LOG2 (3 entries), sequence 3 to 5, after a gap from 2\n" +
                       "KEY PATH : ROOT\n");
  EXPECT_EQ(r.err,
            "keyscout: transaction log NewDirtyHive.LOG1 was not applied: it is a folder\n"
            "keyscout: the transaction logs hold no entry from the hive's sequence 2 up to sequence 3, where the "
            "entries applied start: the recovered hive may be incomplete\n");
}

TEST(RealLogsTest, EveryKeyOfTheReplayedNtuserIsFoundByItsPath) {
  const std::string folder = LogSet("regipy_transactions_NTUSER");
  if (folder.empty()) GTEST_SKIP() << "no real log sets";
  const Bytes hive = test::ReadFile(folder + "/transactions_NTUSER.DAT");
  const test::LogBytes logs = ReadLogs(folder, "transactions_NTUSER.DAT");
  ASSERT_EQ(logs.size(), 2u);
  const std::string status = APPLIED + "transactions_NTUSER.DAT.LOG1 (23 entries), sequence 566 to 588\n";
  const Runner replayed = WithLogs(InMemory(hive, logs));
  const size_t keys = WalkKeys([&](const std::string& path, Args at) -> std::optional<std::string> {
    at.push_back("-l");
    const test::RunResult r = replayed(at);
    if (r.out.starts_with(Banner() + status + "KEY PATH : " + (path.empty() ? "ROOT" : path) + "\n")) return r.out;
    ADD_FAILURE() << "not found: " << path << "\n" << r.out;
    return std::nullopt;
  });
  constexpr size_t STORED_KEYS = 2590;  // as the corpus manifest counts them
  EXPECT_GT(keys, STORED_KEYS + STORED_KEYS / 10);
}

// A hive without logs beside it reads under -t as it does without: the clean
// status line, or for a dirty one the line that says no log was usable, and
// otherwise the very same bytes.
TEST(RealLogsTest, EveryHiveOfTheCorpusWithoutLogsReadsAsItDidWithTheStatusLineAdded) {
  const std::vector<std::string> names = test::RealHiveNames();
  if (names.empty()) GTEST_SKIP() << "no real hives";
  size_t clean = 0;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const std::string path = test::RealHivePath(name);
    if (path.empty()) continue;
    const Bytes bytes = test::ReadFile(path);
    const bool dirty = IsHiveDirty(ByteReader(bytes.data(), bytes.size()));
    clean += !dirty;
    CompareEveryKey(WithLogs(OnDisk(path)), OnDisk(path), dirty ? NO_USABLE_LOG : CLEAN, 0);
  }
  EXPECT_GT(clean, 20u);
}

}  // namespace
}  // namespace keyscout
