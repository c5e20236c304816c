// The command line: option words, their arguments and the three verdicts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace keyscout {

inline constexpr uint32_t OPT_KEY = 0x01;
inline constexpr uint32_t OPT_VALUE = 0x02;
inline constexpr uint32_t OPT_LIST_VALUES = 0x04;
inline constexpr uint32_t OPT_LIST_SUBKEYS = 0x08;
inline constexpr uint32_t OPT_DUMP = 0x10;
inline constexpr uint32_t OPT_SECURITY = 0x20;
inline constexpr uint32_t OPT_INFO = 0x40;        // -i: key and hive information
inline constexpr uint32_t OPT_DECODE = 0x80;      // -d: a value's data decoded by its type
inline constexpr uint32_t OPT_UNNAMED = 0x100;    // -u: the key's unnamed value
inline constexpr uint32_t OPT_LOGS = 0x200;       // -t: transaction logs applied in memory
inline constexpr uint32_t OPT_EXPORT = 0x400;     // -x: the key and every key below it as records
inline constexpr uint32_t OPT_RECOVER = 0x800;    // -r: with -x, deleted keys and values too
inline constexpr uint32_t OPT_FILE = 0x80000000u;

struct RunOptions {
  uint32_t flags = 0;
  std::u16string hive_path;
  std::u16string key_path;
  std::u16string value_name;
  std::u16string output_file;
  std::u16string export_format;
};

enum class ParseVerdict { kRun, kUsageRequested, kNoHiveFile };

// Scans `words` (the program's own name first; it matches nothing and is
// skipped like any other stray word). Option words are exact and
// case-sensitive; "-f", "-k", "-v", "-w" and "-x" take the next word whatever it
// looks like; the last repeat wins; "-h" ends the scan at once.
ParseVerdict ParseCommandLine(const std::vector<std::u16string>& words, RunOptions* options);

}  // namespace keyscout
