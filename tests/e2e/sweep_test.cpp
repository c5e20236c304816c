// Damaged copies of a small complete hive through every report: each
// truncation length, and single-byte and single-word damage to every field
// that a reader follows or trusts. Each run must end with exit code 0 or 1 and
// write nothing to the error stream; in the sanitizer build a read outside
// the file aborts the run. A hang fails the test through its CTest timeout.
// The damage sweeps (SanitizerSweepTest) are there for what the sanitizers
// find, so only the sanitizer build runs them; a cut file must also print
// only what the intact file says, which every build checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_set>

#include "hive/layout.h"
#include "support/compact_hive.h"
#include "support/json_lines.h"
#include "support/log_builder.h"
#include "support/run_tool.h"
#include "text/utf8.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::CompactHive;
using test::HiveField;

const CompactHive& Hive() {
  static const CompactHive hive = test::BuildCompactHive();
  return hive;
}

const std::string& DumpPath() {
  static const std::string path = test::TempDir() + "/sweep-dump";
  return path;
}

// The dump file's bytes, read in one piece (thousands of reads per sweep).
Bytes ReadDump() {
  std::ifstream in(test::PathFromUtf8(DumpPath()), std::ios::binary | std::ios::ate);
  Bytes bytes(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)));
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED_BUILD = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool SANITIZED_BUILD = true;
#else
constexpr bool SANITIZED_BUILD = false;
#endif
#else
constexpr bool SANITIZED_BUILD = false;
#endif

// Collects what the runs write to the error stream, which must be nothing.
// A sanitizer build leaves the stream alone, so that a report (which ends
// the process) stays in sight.
class ErrorStreamWatch {
 public:
  ErrorStreamWatch() {
    if (!SANITIZED_BUILD) testing::internal::CaptureStderr();
  }
  std::string Written() { return SANITIZED_BUILD ? std::string() : testing::internal::GetCapturedStderr(); }
};

// The words of one run: every report, on the root or on `key_path`, asking
// for `value` (or, when `value` is null, for the unnamed value), decoding
// and dumping it; with `logs`, read through the logs.
std::vector<std::u16string> ReportWords(const std::string* key_path, const std::string* value, bool logs = false) {
  std::vector<std::string> args{"-f", "hive"};
  if (logs) args.push_back("-t");
  if (key_path != nullptr) args.insert(args.end(), {"-k", *key_path});
  args.insert(args.end(), {"-s", "-l", "-e", "-d", "-w", DumpPath()});
  if (value != nullptr) {
    args.insert(args.end(), {"-v", *value});
  } else {
    args.push_back("-u");
  }
  std::vector<std::u16string> words{u"keyscout"};
  for (const std::string& a : args) words.push_back(DecodeCommandWord(a));
  return words;
}

// The words of a run of the key information report alone, on the root or on
// `key_path`.
//
// Choice: -i runs apart from the other reports. It ends the run on a key cell
// that fails the key node checks, and the others, run after it, would then
// never meet the damaged key cells that they read without that check.
std::vector<std::u16string> InfoWords(const std::string* key_path) {
  std::vector<std::u16string> words{u"keyscout", u"-f", u"hive", u"-i"};
  if (key_path != nullptr) words.insert(words.end(), {u"-k", DecodeCommandWord(*key_path)});
  return words;
}

// The words of an export of the root, or of `key_path`, as JSON Lines, with
// the deleted records of -r: what the plain export holds, and the search of
// the free space that damage turns into, besides.
std::vector<std::u16string> ExportWords(const std::string* key_path) {
  std::vector<std::u16string> words{u"keyscout", u"-f", u"hive", u"-x", u"jsonl", u"-r"};
  if (key_path != nullptr) words.insert(words.end(), {u"-k", DecodeCommandWord(*key_path)});
  return words;
}

std::string Describe(const std::vector<std::u16string>& words) {
  std::string text;
  for (const std::u16string& w : words) text += " '" + EncodeFileName(w) + "'";
  return text;
}

// Runs the real entry point in-process on exactly these bytes (moved into
// the source, which hands the driver an exact-size copy of nothing more).
test::RunResult Run(Bytes hive, const std::vector<std::u16string>& words) {
  return test::RunInMemory(std::move(hive), words);
}

// Calls `each` with every line of `text`, without its line end.
template <typename Each>
void ForEachLine(std::string_view text, Each each) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    each(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// One set of words, with what the intact hive prints for them.
struct Reference {
  std::vector<std::u16string> words;
  std::string out;
  std::unordered_set<std::string_view> lines;  // views into `out`
  Bytes dump;
};

std::unique_ptr<Reference> MakeReference(std::vector<std::u16string> words) {
  auto ref = std::make_unique<Reference>();
  ref->words = std::move(words);
  const test::RunResult r = Run(Hive().bytes, ref->words);
  EXPECT_EQ(r.code, 0) << Describe(ref->words) << "\n" << r.out;
  ref->out = r.out;
  ForEachLine(ref->out, [&](std::string_view line) { ref->lines.insert(line); });
  ref->dump = ReadDump();
  return ref;
}

// A cut file holds a prefix of the intact bytes, so whatever it still reads
// is what the intact file says: every line must be a line of the intact
// output, a failure message, a count footer (a listing may end early) or a
// key information line with a field the cut took away, and a dump file that
// is reported written must hold the intact value's data.
std::string CheckCut(size_t length, const Reference& ref) {
  const Bytes& intact = Hive().bytes;
  const test::RunResult r = Run(Bytes(intact.begin(), intact.begin() + static_cast<ptrdiff_t>(length)), ref.words);
  const auto where = [&] { return "cut at " + std::to_string(length) + ":" + Describe(ref.words); };
  if (r.code != 0 && r.code != 1) return where() + ": exit code " + std::to_string(r.code);
  std::string stray;
  ForEachLine(r.out, [&](std::string_view line) {
    // Every cut is shorter than its base block declares, and -i says so.
    constexpr std::string_view cut_mark = " (truncated)";
    if (StartsWith(line, "Hive sequence")) {
      if (line.ends_with(cut_mark) != (length < intact.size()) && stray.empty()) stray = line;
      if (line.ends_with(cut_mark)) line.remove_suffix(cut_mark.size());
    }
    if (stray.empty() && ref.lines.count(line) == 0 && !StartsWith(line, "Cannot ") &&
        !StartsWith(line, "Subkey count : ") && !StartsWith(line, "Key values count : ") &&
        line.find("(unreadable)") == std::string_view::npos) {
      stray = line;
    }
  });
  if (!stray.empty()) return where() + ": printed a line the intact file does not: " + stray;
  if (r.out.find("Dump file succeed.") != std::string::npos && ReadDump() != ref.dump) {
    return where() + ": dump file differs from the intact value's data";
  }
  return {};
}

// Runs every cut of the hive through `ref`'s words. Returns the faults seen
// (at most ten).
std::vector<std::string> SweepCuts(const Reference& ref) {
  ErrorStreamWatch error_stream;
  std::vector<std::string> faults;
  for (size_t length = 0; length <= Hive().bytes.size() && faults.size() < 10; ++length) {
    std::string fault = CheckCut(length, ref);
    if (!fault.empty()) faults.push_back(std::move(fault));
  }
  const std::string written = error_stream.Written();
  if (!written.empty()) faults.push_back("written to the error stream: " + written);
  return faults;
}

// The root's reports (taken without -k) and those of a key found by path are
// two tests, so that CTest can run them side by side.
TEST(SweepTest, EveryTruncationLengthOfTheRootsReportsPrintsOnlyWhatTheIntactFileSays) {
  const std::string big = test::COMPACT_BIG_VALUE;
  const std::unique_ptr<Reference> root = MakeReference(ReportWords(nullptr, &big));
  // The sweep proves something only if the intact file reaches every report.
  ASSERT_EQ(root->lines.count("Subkey count : 5"), 1u);
  ASSERT_EQ(root->lines.count("Key values count : 6"), 1u);
  ASSERT_EQ(root->lines.count("Dump file succeed."), 1u);
  ASSERT_EQ(root->dump.size(), BIG_DATA_SEGMENT + 8);
  const std::unique_ptr<Reference> info = MakeReference(InfoWords(nullptr));
  ASSERT_EQ(info->lines.count("Class name      : RootClass"), 1u);
  std::vector<std::string> faults = SweepCuts(*root);
  const std::vector<std::string> info_faults = SweepCuts(*info);
  faults.insert(faults.end(), info_faults.begin(), info_faults.end());
  EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
}

TEST(SweepTest, EveryTruncationLengthOfAKeyFoundByPathPrintsOnlyWhatTheIntactFileSays) {
  const std::string deep = test::COMPACT_DEEP_KEY;
  const std::string value = test::COMPACT_DEEP_VALUE;
  const std::unique_ptr<Reference> by_path = MakeReference(ReportWords(&deep, &value));
  ASSERT_EQ(by_path->lines.count("Key values count : 2"), 1u);
  ASSERT_EQ(by_path->lines.count("Dump file succeed."), 1u);
  const std::unique_ptr<Reference> info = MakeReference(InfoWords(&deep));
  ASSERT_EQ(info->lines.count("Class name      : Deep\xE9"), 1u);
  std::vector<std::string> faults = SweepCuts(*by_path);
  const std::vector<std::string> info_faults = SweepCuts(*info);
  faults.insert(faults.end(), info_faults.begin(), info_faults.end());
  EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
}

TEST(SweepTest, EveryTruncationLengthOfTheUnnamedValuePrintsOnlyWhatTheIntactFileSays) {
  const std::unique_ptr<Reference> unnamed = MakeReference(ReportWords(nullptr, nullptr));
  ASSERT_EQ(unnamed->lines.count("\tdefault"), 1u);
  ASSERT_EQ(unnamed->lines.count("Dump file succeed."), 1u);
  const std::vector<std::string> faults = SweepCuts(*unnamed);
  EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
}

// An export of a damaged or cut hive ends in 0 or 1 and writes JSON Lines,
// whatever the bytes say. Returns what is wrong, or nothing.
std::string CheckExport(const Bytes& hive, const std::vector<std::u16string>& words, const std::string& what) {
  const test::RunResult r = Run(hive, words);
  if (r.code != 0 && r.code != 1) return what + ":" + Describe(words) + ": exit code " + std::to_string(r.code);
  const std::string fault = test::JsonLinesFault(r.out);
  return fault.empty() ? std::string() : what + ":" + Describe(words) + ": " + fault;
}

TEST(SweepTest, EveryTruncationLengthOfTheExportEndsInZeroOrOneAndWritesJsonLines) {
  const Bytes& intact = Hive().bytes;
  const std::string deep = test::COMPACT_DEEP_KEY;
  // The sweep proves something only if the intact file exports whole.
  const test::RunResult whole = test::RunInMemory(intact, ExportWords(nullptr));
  ASSERT_EQ(whole.code, 0) << whole.err;
  ASSERT_GT(std::count(whole.out.begin(), whole.out.end(), '\n'), 5);
  std::vector<std::string> faults;
  for (size_t length = 0; length <= intact.size() && faults.size() < 10; ++length) {
    const Bytes cut(intact.begin(), intact.begin() + static_cast<ptrdiff_t>(length));
    for (const std::string* key : {static_cast<const std::string*>(nullptr), &deep}) {
      std::string fault = CheckExport(cut, ExportWords(key), "cut at " + std::to_string(length));
      if (!fault.empty()) faults.push_back(std::move(fault));
    }
  }
  EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
}

// The values a damaged word is set to: the edges of signed and unsigned
// ranges, small offsets a cell could start at, and near misses of the
// original.
std::vector<uint32_t> WordValues(uint32_t original, uint32_t width) {
  const uint32_t mask = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
  std::vector<uint32_t> values = {0,    1,    0x20, 0x7F, 0x80,   0xFF,  0x1000, 0x7FFF, 0x8000, 0xFFFF,
                                  0x3FD8, 0x3FD9, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFF8u, 0xFFFFFFFFu,
                                  original + 1, original - 1, original + 8, original - 8, original + 0x1000,
                                  original ^ 0x80000000u};
  std::set<uint32_t> distinct;
  for (uint32_t& v : values) {
    v &= mask;
    if (v != original) distinct.insert(v);
  }
  return {distinct.begin(), distinct.end()};
}

void Put(Bytes& bytes, uint64_t offset, uint32_t width, uint32_t value) {
  for (uint32_t i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t Get(const Bytes& bytes, uint64_t offset, uint32_t width) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < width; ++i) value |= uint32_t{bytes[offset + i]} << (8 * i);
  return value;
}

// Runs every report, and the key information report alone, on the damaged
// copy for the root and for the key whose lookup reaches the field, asking
// for the value whose read reaches it, and for the root's unnamed value; and
// exports the root and that key.
std::string CheckDamage(const Bytes& damaged, const HiveField& field, const std::string& change) {
  const std::string key = field.key_path.empty() ? test::COMPACT_DEEP_KEY : field.key_path;
  const std::string value = !field.value_name.empty() ? field.value_name
                            : field.key_path.empty()  ? test::COMPACT_BIG_VALUE
                                                      : test::COMPACT_DEEP_VALUE;
  for (const std::vector<std::u16string>& words :
       {ReportWords(nullptr, &value), ReportWords(&key, &value), ReportWords(nullptr, nullptr), InfoWords(nullptr),
        InfoWords(&key)}) {
    const test::RunResult r = Run(damaged, words);
    if (r.code != 0 && r.code != 1) {
      return field.what + " " + change + ":" + Describe(words) + ": exit code " + std::to_string(r.code);
    }
  }
  for (const std::string* root_or_key : {static_cast<const std::string*>(nullptr), &key}) {
    std::string fault = CheckExport(damaged, ExportWords(root_or_key), field.what + " " + change);
    if (!fault.empty()) return fault;
  }
  return {};
}

TEST(SanitizerSweepTest, SingleByteAndWordDamageToEveryFieldEndsInZeroOrOne) {
  const CompactHive& hive = Hive();
  ASSERT_GT(hive.fields.size(), 150u);
  ErrorStreamWatch error_stream;
  std::vector<std::string> faults;
  size_t runs = 0;
  for (const HiveField& field : hive.fields) {
    ASSERT_LE(field.offset + field.width, hive.bytes.size()) << field.what;
    const uint32_t original = Get(hive.bytes, field.offset, field.width);
    // Each byte on its own: cleared, all ones, top bit flipped, low bit flipped.
    for (uint32_t i = 0; i < field.width; ++i) {
      const uint8_t byte = hive.bytes[field.offset + i];
      for (const uint8_t v : std::set<uint8_t>{0x00, 0xFF, static_cast<uint8_t>(byte ^ 0x80),
                                              static_cast<uint8_t>(byte ^ 0x01)}) {
        if (v == byte) continue;
        Bytes damaged = hive.bytes;
        damaged[field.offset + i] = v;
        const std::string fault = CheckDamage(damaged, field, "byte " + std::to_string(i) + "=" + std::to_string(v));
        if (!fault.empty()) faults.push_back(fault);
        ++runs;
      }
    }
    for (const uint32_t v : WordValues(original, field.width)) {
      Bytes damaged = hive.bytes;
      Put(damaged, field.offset, field.width, v);
      const std::string fault = CheckDamage(damaged, field, "word=" + std::to_string(v));
      if (!fault.empty()) faults.push_back(fault);
      ++runs;
    }
  }
  EXPECT_EQ(error_stream.Written(), "");
  EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
  EXPECT_GT(runs, 3000u);
}

// The hive and its logs of one damaged copy, as the runner takes them.
test::RunResult RunWithLogs(const std::vector<Bytes>& files, const std::vector<std::u16string>& words) {
  test::LogBytes logs;
  for (size_t i = 1; i < files.size(); ++i) logs.emplace_back(u"hive.LOG" + test::U16(std::to_string(i)), files[i]);
  return test::RunInMemory(files[0], words, logs);
}

// Runs every report with -t, on the root and on the deep key, over the
// damaged files: exit code 0 or 1, and after the banner a status line (or,
// for a log that claims a hive longer than the test source maps, the
// message that the view cannot be made).
std::string CheckLogDamage(const std::vector<Bytes>& files, const std::string& change) {
  const std::string deep = test::COMPACT_DEEP_KEY;
  for (const bool by_path : {false, true}) {
    const std::string value = by_path ? test::COMPACT_DEEP_VALUE : test::COMPACT_BIG_VALUE;
    const std::vector<std::u16string> words = ReportWords(by_path ? &deep : nullptr, &value, true);
    const test::RunResult r = RunWithLogs(files, words);
    if (r.code != 0 && r.code != 1) return change + ":" + Describe(words) + ": exit code " + std::to_string(r.code);
    if (!r.out.starts_with(test::Banner() + "Transaction logs : ") &&
        r.out != test::Banner() + "Cannot map file to memory. (hive)\n") {
      return change + ": no status line\n" + r.out;
    }
  }
  return {};
}

// Every field that replaying the logs reads, in the hive's base block and in
// the logs, damaged byte by byte and word by word: as stored, and once more
// with the base block checksum or the entry's hashes made to fit the damage,
// so that replay goes on to use the damaged value.
TEST(SanitizerSweepTest, SingleByteAndWordDamageToEveryLogFieldEndsInZeroOrOne) {
  const std::vector<test::CompactLogSet> sets = test::BuildCompactLogSets();
  ASSERT_EQ(sets.size(), 2u);
  ErrorStreamWatch error_stream;
  std::vector<std::string> faults;
  size_t runs = 0;
  for (const test::CompactLogSet& set : sets) {
    // The sweep proves something only if the intact logs apply.
    const std::string big = test::COMPACT_BIG_VALUE;
    const test::RunResult intact = RunWithLogs(set.files, ReportWords(nullptr, &big, true));
    ASSERT_TRUE(intact.out.starts_with(test::Banner() + "Transaction logs : applied ")) << set.name << intact.out;
    ASSERT_EQ(intact.code, 0) << set.name;
    ASSERT_GT(set.fields.size(), 25u) << set.name;
    for (const test::LogField& field : set.fields) {
      const Bytes& file = set.files.at(field.file);
      ASSERT_LE(field.offset + field.width, file.size()) << field.what;
      const uint32_t original = Get(file, field.offset, field.width);
      std::set<uint32_t> values;
      for (uint32_t i = 0; i < field.width; ++i) {
        const uint32_t byte = (original >> (8 * i)) & 0xFF;
        for (const uint32_t v : {0x00u, 0xFFu, byte ^ 0x80u, byte ^ 0x01u}) {
          values.insert((original & ~(0xFFu << (8 * i))) | (v << (8 * i)));
        }
      }
      for (const uint32_t v : WordValues(original, field.width)) values.insert(v);
      values.erase(original);
      for (const uint32_t v : values) {
        for (const bool fit : {false, true}) {
          if (fit && !field.checksummed && !field.entry) continue;
          std::vector<Bytes> damaged = set.files;
          Put(damaged[field.file], field.offset, field.width, v);
          if (fit && field.checksummed) test::FixBaseChecksum(damaged[field.file]);
          if (fit && field.entry) test::RehashEntry(damaged[field.file], *field.entry);
          const std::string fault = CheckLogDamage(
              damaged, set.name + ", " + field.what + "=" + std::to_string(v) + (fit ? " (fitted)" : ""));
          if (!fault.empty() && faults.size() < 10) faults.push_back(fault);
          ++runs;
        }
      }
    }
  }
  EXPECT_EQ(error_stream.Written(), "");
  EXPECT_TRUE(faults.empty()) << testing::PrintToString(faults);
  EXPECT_GT(runs, 5000u);
}

}  // namespace
}  // namespace keyscout
