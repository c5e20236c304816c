// Turning 16-bit text into output bytes, eight units per step where the
// processor has 128-bit vector instructions. A listing prints a million names;
// unit-by-unit loops were most of its time. (Widening stored names is the byte
// reader's: the bytes it widens are the hive's.)
//
// Two encodings: ISO 8859-1, the default (a unit up to U+00FF is that byte,
// any other unit "?"), and UTF-8 (-U: surrogate pairs joined into one
// character, a surrogate without its partner written as U+FFFD, so the output
// is always valid UTF-8). Text from a hive is written with its control
// characters escaped, so that no name can start a line, move the cursor or
// send a terminal a command.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keyscout {

enum class TextEncoding : uint8_t { kLatin1, kUtf8 };

// The most bytes one unit takes: "\xNN" for an escaped one, three for a
// UTF-8 character of the Basic Multilingual Plane (a pair of units takes four).
inline constexpr size_t UNIT_BYTES_MOST = 4;

// True for the control characters escaped in text from a hive: U+0000 to
// U+001F, U+007F and U+0080 to U+009F.
constexpr bool IsControlUnit(char16_t unit) { return unit < 0x20 || (unit >= 0x7F && unit <= 0x9F); }

// Writes `units` at `out` by `encoding`, up to the first zero unit or `count`
// units; reads no unit at or past `count`. At most one byte per unit in
// ISO 8859-1 and three in UTF-8. Returns the number of bytes written.
size_t NarrowToZero(const char16_t* units, size_t count, TextEncoding encoding, char* out);

// Writes all `count` units of text read from a hive at `out`: each control
// character (IsControlUnit, a zero unit among them) as "\x" and its two
// upper-case hexadecimal digits, every other unit by `encoding`. At most
// UNIT_BYTES_MOST bytes per unit. Returns the number of bytes written.
size_t EscapeText(const char16_t* units, size_t count, TextEncoding encoding, char* out);

}  // namespace keyscout
