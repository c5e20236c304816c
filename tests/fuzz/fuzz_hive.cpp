// Feeds one input to the tool as a hive file and, with -t, as the hive with
// transaction logs beside it. The key path and the value name come from the
// input itself (the base block's file-name area, which the reports read only
// as words of the checksum), so the fuzzer can steer the lookup as well as the
// bytes.
//
// Choice: one input carries the hive and up to two logs, cut apart by
// LOG_MARK: "hive", or "hive MARK log1", or "hive MARK log1 MARK log2" (the
// logs are named hive.LOG1 and hive.LOG2). An input without the mark is a
// hive alone, so every saved input keeps its meaning; the mark is in the
// dictionary, so the fuzzer finds it.
#include "fuzz_hive.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/driver.h"
#include "support/json_lines.h"
#include "support/run_tool.h"
#include "support/string_sink.h"

namespace {

// Where the seeds keep the key path and the value name: UTF-16 strings of up
// to 32 units each, ending at the first zero unit.
constexpr size_t KEY_PATH_AT = 0x30;
constexpr size_t VALUE_NAME_AT = 0x70;
constexpr size_t FIELD_UNITS = 32;
constexpr char LOG_MARK[] = "\x00\xFFKSLOG\xFF\x00";
constexpr size_t LOG_MARK_SIZE = sizeof LOG_MARK - 1;
constexpr size_t MOST_LOGS = 2;

std::u16string TakeString(const uint8_t* data, size_t size, size_t at) {
  std::u16string out;
  for (size_t i = 0; i < FIELD_UNITS && at + 2 * i + 1 < size; ++i) {
    const char16_t unit = static_cast<char16_t>(data[at + 2 * i] | (data[at + 2 * i + 1] << 8));
    if (unit == 0) break;
    out.push_back(unit);
  }
  return out;
}

const std::u16string& DumpPath() {
  static const std::u16string path = [] {
    std::string p = keyscout::test::TempDir() + "/fuzz-dump";
    return std::u16string(p.begin(), p.end());
  }();
  return path;
}

// The input cut at each LOG_MARK: the hive, then the logs.
std::vector<keyscout::test::Bytes> CutAtMarks(const uint8_t* data, size_t size) {
  std::vector<keyscout::test::Bytes> parts;
  const uint8_t* const end = data + size;
  const uint8_t* at = data;
  while (parts.size() < MOST_LOGS) {
    const uint8_t* mark = std::search(at, end, LOG_MARK, LOG_MARK + LOG_MARK_SIZE);
    if (mark == end) break;
    parts.emplace_back(at, mark);
    at = mark + LOG_MARK_SIZE;
  }
  parts.emplace_back(at, end);
  return parts;
}

// Returns what the run wrote to standard output.
std::string Run(const keyscout::test::Bytes& hive, const keyscout::test::LogBytes& logs,
                const std::vector<std::u16string>& words) {
  // Exact-size copies: a read one byte past the end is a sanitizer report.
  keyscout::test::MemoryHiveSource source(hive, keyscout::MapStatus::kOk, logs);
  keyscout::test::StringSink out;
  keyscout::test::StringSink err;
  const int code = keyscout::RunTool(words, out, err, source);
  if (code != 0 && code != 1) __builtin_trap();
  return out.text;
}

// An export whose output is not JSON Lines, whatever the hive held, is a
// finding.
void RunExport(const keyscout::test::Bytes& hive, const keyscout::test::LogBytes& logs,
               const std::vector<std::u16string>& words) {
  if (!keyscout::test::JsonLinesFault(Run(hive, logs, words)).empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<keyscout::test::Bytes> parts = CutAtMarks(data, size);
  const keyscout::test::Bytes& hive = parts.front();
  keyscout::test::LogBytes logs;
  for (size_t i = 1; i < parts.size(); ++i) logs.emplace_back(i == 1 ? u"hive.LOG1" : u"hive.LOG2", parts[i]);
  const std::u16string key = TakeString(hive.data(), hive.size(), KEY_PATH_AT);
  const std::u16string value = TakeString(hive.data(), hive.size(), VALUE_NAME_AT);
  Run(hive, {}, {u"keyscout", u"-f", u"hive", u"-s", u"-l", u"-e", u"-v", value, u"-d", u"-w", DumpPath()});
  Run(hive, {},
      {u"keyscout", u"-f", u"hive", u"-k", key, u"-s", u"-l", u"-e", u"-v", value, u"-d", u"-w", DumpPath()});
  Run(hive, {}, {u"keyscout", u"-f", u"hive", u"-k", key, u"-u", u"-d", u"-w", DumpPath()});
  // -i ends a run on a key cell that is no key node, before the reports that
  // read such a cell unchecked: it runs on its own.
  Run(hive, {}, {u"keyscout", u"-f", u"hive", u"-i"});
  Run(hive, {}, {u"keyscout", u"-f", u"hive", u"-k", key, u"-i"});
  Run(hive, logs,
      {u"keyscout", u"-f", u"hive", u"-t", u"-k", key, u"-i", u"-s", u"-l", u"-e", u"-v", value, u"-d", u"-w",
       DumpPath()});
  // With -r the export holds what the plain one does, and the deleted
  // records the search of free space finds besides.
  RunExport(hive, {}, {u"keyscout", u"-f", u"hive", u"-x", u"jsonl", u"-r"});
  RunExport(hive, logs, {u"keyscout", u"-f", u"hive", u"-t", u"-k", key, u"-x", u"jsonl", u"-r"});
  return 0;
}
