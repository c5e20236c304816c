#include "app/options.h"

namespace keyscout {

namespace {

struct OptionWord {
  const char16_t* word;
  uint32_t bit;
  std::u16string RunOptions::*argument;  // null for options without one
};

// Compared in this order; "-h" comes last and is handled on its own.
constexpr OptionWord OPTION_WORDS[] = {
    {u"-f", OPT_FILE, &RunOptions::hive_path},
    {u"-k", OPT_KEY, &RunOptions::key_path},
    {u"-v", OPT_VALUE, &RunOptions::value_name},
    {u"-l", OPT_LIST_SUBKEYS, nullptr},
    {u"-e", OPT_LIST_VALUES, nullptr},
    {u"-s", OPT_SECURITY, nullptr},
    {u"-w", OPT_DUMP, &RunOptions::output_file},
    {u"-i", OPT_INFO, nullptr},
    {u"-d", OPT_DECODE, nullptr},
    {u"-u", OPT_UNNAMED, nullptr},
    {u"-t", OPT_LOGS, nullptr},
    {u"-x", OPT_EXPORT, &RunOptions::export_format},
    {u"-r", OPT_RECOVER, nullptr},
};

}  // namespace

ParseVerdict ParseCommandLine(const std::vector<std::u16string>& words, RunOptions* options) {
  *options = RunOptions{};
  for (size_t i = 0; i < words.size(); ++i) {
    const std::u16string& word = words[i];
    const bool has_next = i + 1 < words.size();
    bool matched = false;
    for (const OptionWord& option : OPTION_WORDS) {
      if (word != option.word) continue;
      // An option that needs an argument but ends the line matches nothing.
      if (option.argument != nullptr && !has_next) break;
      if (option.argument != nullptr) options->*option.argument = words[++i];
      options->flags |= option.bit;
      matched = true;
      break;
    }
    if (!matched && word == u"-h") return ParseVerdict::kUsageRequested;
  }
  return (options->flags & OPT_FILE) != 0 ? ParseVerdict::kRun : ParseVerdict::kNoHiveFile;
}

}  // namespace keyscout
