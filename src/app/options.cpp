#include "app/options.h"

#include "text/case_fold.h"

namespace keyscout {

namespace {

struct OptionWord {
  const char16_t* word;
  uint32_t bit;
  std::u16string RunOptions::*argument;  // null for options without one
};

// Compared in this order; "-h" comes last and is handled on its own, and
// "-L", which gathers its arguments, after the table.
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
    {u"-U", OPT_UTF8, nullptr},
    {u"-r", OPT_RECOVER, nullptr},
};
constexpr char16_t LOG_FILE_WORD[] = u"-L";

// Takes the argument of the option `word` at `words[*i]`, when there is one.
// False, noted, when the option is the last word.
bool TakeArgument(const std::vector<std::u16string>& words, size_t* i, std::u16string* argument,
                  RunOptions* options) {
  if (*i + 1 >= words.size()) {
    options->notes.push_back({CommandLineNote::Kind::kNoArgument, words[*i], {}});
    return false;
  }
  *argument = words[++*i];
  return true;
}

}  // namespace

ParseVerdict ParseCommandLine(const std::vector<std::u16string>& words, RunOptions* options) {
  *options = RunOptions{};
  for (size_t i = 0; i < words.size(); ++i) {
    const std::u16string& word = words[i];
    bool matched = false;
    for (const OptionWord& option : OPTION_WORDS) {
      if (word != option.word) continue;
      matched = true;
      std::u16string argument;
      // An option that needs an argument but ends the line sets nothing.
      if (option.argument != nullptr && !TakeArgument(words, &i, &argument, options)) break;
      if (option.argument != nullptr) {
        std::u16string& field = options->*option.argument;
        if ((options->flags & option.bit) != 0) {
          options->notes.push_back({CommandLineNote::Kind::kReplaced, word, field});
        }
        field = std::move(argument);
      }
      options->flags |= option.bit;
      break;
    }
    if (matched) continue;
    if (word == LOG_FILE_WORD) {
      std::u16string path;
      if (!TakeArgument(words, &i, &path, options)) continue;
      // Choice: past three, later -L paths are left out and noted, rather
      // than the run refused: the three first are the logs a hive can have.
      if (options->log_paths.size() == LOG_PATHS_MOST) {
        options->notes.push_back({CommandLineNote::Kind::kTooManyLogs, word, std::move(path)});
        continue;
      }
      options->log_paths.push_back(std::move(path));
      options->flags |= OPT_LOG_FILE;
      continue;
    }
    if (word == u"-h") return ParseVerdict::kUsageRequested;
    if (i > 0) options->notes.push_back({CommandLineNote::Kind::kNotAnOption, word, {}});
  }
  return (options->flags & OPT_FILE) != 0 ? ParseVerdict::kRun : ParseVerdict::kNoHiveFile;
}

const char16_t* OptionInOtherCase(const std::u16string& word) {
  for (const OptionWord& option : OPTION_WORDS) {
    if (EqualFolded(word, option.word)) return option.word;
  }
  for (const char16_t* option : {LOG_FILE_WORD, u"-h"}) {
    if (EqualFolded(word, option)) return option;
  }
  return nullptr;
}

std::u16string SplitJoinedOptions(const std::u16string& word) {
  if (word.size() < 3 || word[0] != u'-') return {};
  std::u16string options;
  for (size_t i = 1; i < word.size(); ++i) {
    const char16_t option[] = {u'-', word[i], 0};
    bool known = std::u16string_view(option) == LOG_FILE_WORD || std::u16string_view(option) == u"-h";
    for (const OptionWord& known_word : OPTION_WORDS) known = known || std::u16string_view(option) == known_word.word;
    if (!known) return {};
    if (!options.empty()) options += u' ';
    options += option;
  }
  return options;
}

}  // namespace keyscout
