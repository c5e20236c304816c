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
inline constexpr uint32_t OPT_UTF8 = 0x400;       // -U: names and texts printed as UTF-8
inline constexpr uint32_t OPT_LOG_FILE = 0x800;   // -L: these logs applied (implies -t)
inline constexpr uint32_t OPT_EXPORT = 0x1000;    // -x: the key and every key below it as records
inline constexpr uint32_t OPT_RECOVER = 0x2000;   // -r: with -x, deleted keys and values too
inline constexpr uint32_t OPT_FILE = 0x80000000u;

// -L may be given this many times: a hive has at most three logs.
inline constexpr size_t LOG_PATHS_MOST = 3;

// A word of the command line that did nothing, for the line standard error
// gets about it.
struct CommandLineNote {
  enum class Kind : uint8_t {
    kNotAnOption,  // `word` matched no option and was skipped
    kNoArgument,   // `word`, an option that takes an argument, was the last word
    kReplaced,     // option `word` came again: its earlier `argument` is not used
    kTooManyLogs,  // a fourth -L: its `argument` is not used
  };
  Kind kind;
  std::u16string word;
  std::u16string argument;
};

struct RunOptions {
  uint32_t flags = 0;
  std::u16string hive_path;
  std::u16string key_path;
  std::u16string value_name;
  std::u16string output_file;
  std::u16string export_format;
  std::vector<std::u16string> log_paths;  // -L, in the order given
  std::vector<CommandLineNote> notes;     // in the order met
};

enum class ParseVerdict { kRun, kUsageRequested, kNoHiveFile };

// Scans `words` (the program's own name first; it matches nothing and is
// skipped like any other stray word, but gets no note). Option words are
// exact and case-sensitive; "-f", "-k", "-v", "-w", "-x" and "-L" take the
// next word whatever it looks like; the last repeat wins, but -L gathers up
// to LOG_PATHS_MOST paths; "-h" ends the scan at once. Every word that does
// nothing is noted.
ParseVerdict ParseCommandLine(const std::vector<std::u16string>& words, RunOptions* options);

// Hints for a word that is no option: the option it is in another letter
// case ("-v" for "-V"), or null; the options it joins, as separate words
// ("-l -e" for "-le"), or empty.
const char16_t* OptionInOtherCase(const std::u16string& word);
std::u16string SplitJoinedOptions(const std::u16string& word);

}  // namespace keyscout
