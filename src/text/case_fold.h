// The one letter-case rule keyscout compares names by: key and value names
// in a hive, the names of its control sets and services, and the names of
// the log files beside it. "a" to "z" fold onto "A" to "Z"; no other unit
// folds, as Windows orders and matches the names it keeps in a hive. And the
// one rule by which a name typed on the command line names a stored one.
#pragma once

#include <cstddef>
#include <string_view>

#include "text/utf8.h"

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

// True when unit `i` of `text` is a surrogate without its partner: a unit
// that no UTF-8 can spell, printed as U+FFFD with -U.
constexpr bool IsLoneSurrogate(std::u16string_view text, size_t i) {
  if (IsHighSurrogate(text[i])) return i + 1 >= text.size() || !IsLowSurrogate(text[i + 1]);
  if (IsLowSurrogate(text[i])) return i == 0 || !IsHighSurrogate(text[i - 1]);
  return false;
}

// True when unit `i` of a typed name stands for unit `i` of the stored name
// `stored`: the same unit once folded, or a typed U+FFFD for a lone surrogate.
//
// Choice: a typed U+FFFD also matches a lone surrogate, so that a name that
// -U printed (where such a unit shows as U+FFFD) can be typed back; two
// stored names that differ only there are then told apart by their order
// alone, and the first in list order is found.
constexpr bool TypedUnitMatches(char16_t typed, std::u16string_view stored, size_t i) {
  if (i >= stored.size()) return false;
  return FoldUpper(typed) == FoldUpper(stored[i]) || (typed == REPLACEMENT_CHARACTER && IsLoneSurrogate(stored, i));
}

// True when the typed name `typed` names the stored name `stored`, unit by
// unit (TypedUnitMatches).
constexpr bool TypedNameMatches(std::u16string_view typed, std::u16string_view stored) {
  if (typed.size() != stored.size()) return false;
  for (size_t i = 0; i < typed.size(); ++i) {
    if (!TypedUnitMatches(typed[i], stored, i)) return false;
  }
  return true;
}

}  // namespace keyscout
