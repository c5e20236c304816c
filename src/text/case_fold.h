// The one letter-case rule keyscout compares names by: key and value names
// in a hive, the names of its control sets and services, and the names of
// the log files beside it. "a" to "z" fold onto "A" to "Z"; no other unit
// folds, as Windows orders and matches the names it keeps in a hive.
#pragma once

#include <string_view>

namespace keyscout {

// Folds "a".."z" onto "A".."Z"; every other unit stays as it is.
constexpr char16_t FoldUpper(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - (u'a' - u'A')) : unit;
}

// True when `a` and `b` are the same units once folded.
constexpr bool EqualFolded(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldUpper(a[i]) != FoldUpper(b[i])) return false;
  }
  return true;
}

}  // namespace keyscout
