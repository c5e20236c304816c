// Feeds one input to the tool as a hive file. The key path and the value name
// come from the input itself (the base block's file-name area, which the tool
// reads only as words of the checksum), so the fuzzer can steer the lookup as
// well as the bytes.
#include "fuzz_hive.h"

#include <cstdio>
#include <string>
#include <vector>

#include "app/driver.h"
#include "support/string_sink.h"
#include "text/console.h"
#include "support/run_tool.h"

namespace {

// Where the seeds keep the key path and the value name: UTF-16 strings of up
// to 32 units each, ending at the first zero unit.
constexpr size_t KEY_PATH_AT = 0x30;
constexpr size_t VALUE_NAME_AT = 0x70;
constexpr size_t FIELD_UNITS = 32;

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

void Run(const uint8_t* data, size_t size, const std::vector<std::u16string>& words) {
  // An exact-size copy: a read one byte past the end is a sanitizer report.
  keyscout::test::MemoryHiveSource source(keyscout::test::Bytes(data, data + size));
  keyscout::test::StringSink sink;
  keyscout::Console out(sink);
  const int code = keyscout::RunTool(words, out, &source);
  if (code != 0 && code != 1) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string key = TakeString(data, size, KEY_PATH_AT);
  const std::u16string value = TakeString(data, size, VALUE_NAME_AT);
  Run(data, size, {u"keyscout", u"-f", u"hive", u"-s", u"-l", u"-e", u"-v", value, u"-d", u"-w", DumpPath()});
  Run(data, size,
      {u"keyscout", u"-f", u"hive", u"-k", key, u"-s", u"-l", u"-e", u"-v", value, u"-d", u"-w", DumpPath()});
  Run(data, size, {u"keyscout", u"-f", u"hive", u"-k", key, u"-u", u"-d", u"-w", DumpPath()});
  // -i ends a run on a key cell that is no key node, before the reports that
  // read such a cell unchecked: it runs on its own.
  Run(data, size, {u"keyscout", u"-f", u"hive", u"-i"});
  Run(data, size, {u"keyscout", u"-f", u"hive", u"-k", key, u"-i"});
  return 0;
}
