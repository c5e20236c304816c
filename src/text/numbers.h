// Numbers as 16-bit text, for the lines that take a number as text: a field
// that may read "(unreadable)" instead, a SID, a status line built whole.
#pragma once

#include <cstdint>
#include <string>

namespace keyscout {

// Appends the decimal digits of `value`.
void AppendDecimal(uint64_t value, std::u16string* out);

// The decimal digits of `value` ("%u").
std::u16string DecimalText(uint64_t value);

// `value` in upper-case hexadecimal, zero-padded to at least `width` digits
// ("%04X", "%08X", "%016X").
std::u16string HexText(uint64_t value, int width);

}  // namespace keyscout
