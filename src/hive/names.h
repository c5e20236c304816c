// Decoding of stored key and value names into fixed name buffers, and the
// case folding the hive's own name comparisons use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hive/image.h"
#include "hive/layout.h"

namespace keyscout {

using NameBuffer = char16_t[NAME_BUFFER_CHARS];

// Decodes the name whose bytes start at file offset `at` into `buffer` and
// zero-terminates it. `length_field` is the stored length, which counts bytes
// in both forms. An 8-bit name is widened byte for unit; a 16-bit name is
// length_field / 2 little-endian units (an odd count drops its last byte) and
// ends early after a zero unit. Names longer than NAME_MAX_CHARS units are cut
// there. Returns the number of units before the terminator, or -1 when the
// name's bytes do not lie inside the image (nothing useful is in the buffer).
// Prints nothing.
int DecodeStoredName(const HiveImage& image, uint64_t at, uint16_t length_field, bool compressed,
                     NameBuffer& buffer);

// Appends the whole stored name whose bytes start at file offset `at` to
// `out`, exactly: an 8-bit name byte for unit (as ISO 8859-1), a 16-bit name
// as length_field / 2 little-endian units (an odd count drops its last byte),
// zero units and all, uncut. `scratch` holds the bytes on their way (kept for
// the next call). False, with `out` as it was, when the bytes do not lie
// inside the image. Prints nothing.
//
// Choice: DecodeStoredName ends a name at a zero unit and at NAME_MAX_CHARS,
// as the listings print it; a record of the hive's contents keeps every unit,
// since a name that hides text behind a zero unit is itself worth seeing.
[[nodiscard]] bool AppendWholeName(const HiveImage& image, uint64_t at, uint16_t length_field, bool compressed,
                                   std::u16string* out, std::vector<uint8_t>* scratch);

// Folds "a".."z" onto "A".."Z"; every other unit stays as it is.
inline char16_t FoldUpper(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 0x20) : unit;
}

// Equality without regard to the case of A to Z (and of no other letter), up
// to the first zero unit of each side.
bool NamesEqualFolded(const char16_t* a, const char16_t* b);

}  // namespace keyscout
