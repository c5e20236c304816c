// Copies between 8-bit and 16-bit text, eight units per step where the
// processor has 128-bit vector instructions. A listing decodes and prints a
// million names; byte-by-byte loops were most of its time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keyscout {

// Widens `bytes` into `out`, byte for unit, up to the first zero byte or
// `count` bytes, whichever comes first. Reads no byte at or past `count` and
// writes no unit past the ones returned. Returns the number of units written.
size_t WidenToZero(const uint8_t* bytes, size_t count, char16_t* out);

// Narrows `units` into `out` by the output encoding (a unit up to U+00FF is
// that byte, any other unit "?"), up to the first zero unit or `count` units.
// Reads no unit at or past `count`. Returns the number of bytes written.
size_t NarrowToZero(const char16_t* units, size_t count, char* out);

}  // namespace keyscout
