// Narrowing of 16-bit text into output bytes, eight units per step where the
// processor has 128-bit vector instructions. A listing prints a million names;
// unit-by-unit loops were most of its time. (Widening stored names is the byte
// reader's: the bytes it widens are the hive's.)
#pragma once

#include <cstddef>

namespace keyscout {

// Narrows `units` into `out` by the output encoding (a unit up to U+00FF is
// that byte, any other unit "?"), up to the first zero unit or `count` units.
// Reads no unit at or past `count`. Returns the number of bytes written.
size_t NarrowToZero(const char16_t* units, size_t count, char* out);

}  // namespace keyscout
