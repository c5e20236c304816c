#include "platform/log_files.h"

namespace keyscout {

namespace {

char16_t FoldAsciiCase(char16_t unit) { return (unit >= u'a' && unit <= u'z') ? unit - (u'a' - u'A') : unit; }

bool SameIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
  }
  return true;
}

}  // namespace

bool IsLogNameOf(std::u16string_view hive_name, std::u16string_view candidate) {
  if (hive_name.empty() || candidate.size() <= hive_name.size() ||
      !SameIgnoringAsciiCase(candidate.substr(0, hive_name.size()), hive_name)) {
    return false;
  }
  const std::u16string_view suffix = candidate.substr(hive_name.size());
  for (const std::u16string_view log : {u".LOG1", u".LOG2", u".LOG"}) {
    if (SameIgnoringAsciiCase(suffix, log)) return true;
  }
  return false;
}

}  // namespace keyscout
