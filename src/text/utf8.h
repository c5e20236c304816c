// Conversions between UTF-8 (the bytes a POSIX system hands over as
// command-line words and file names) and the 16-bit units the tool works in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace keyscout {

// The two halves of a surrogate pair, which together stand for one
// character above U+FFFF.
constexpr bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
// The character a surrogate pair stands for.
constexpr uint32_t JoinSurrogates(char16_t high, char16_t low) {
  return 0x10000 + ((uint32_t{high} - 0xD800) << 10) + (uint32_t{low} - 0xDC00);
}
// What a surrogate without its pair is written as where no text can spell it.
inline constexpr uint32_t REPLACEMENT_CHARACTER = 0xFFFD;

// Decodes UTF-8 into 16-bit units. A byte that is not part of valid UTF-8
// becomes the unit 0xDC00 + byte (0xDC80 to 0xDCFF), so that EncodeFileName
// gives back exactly the bytes the user typed.
std::u16string DecodeCommandWord(std::string_view bytes);

// The inverse of DecodeCommandWord: 16-bit units to UTF-8, with each lone
// 0xDC80..0xDCFF unit turned back into its original byte.
std::string EncodeFileName(std::u16string_view units);

// Writes the code point `point` (at most U+10FFFF) at `out` as UTF-8, one to
// four bytes, and returns how many.
size_t PutUtf8(uint32_t point, char* out);

}  // namespace keyscout
