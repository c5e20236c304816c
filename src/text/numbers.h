// Numbers as text, and the one place their digits are made: upper-case
// hexadecimal and decimal, as bytes for the console and the hex dump, and as
// 16-bit text for the lines that take a number as text (a field that may read
// "(unreadable)" instead, a SID, a decoded value).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace keyscout {

// Room for the digits of any 64-bit number: 20 in decimal, 16 in hexadecimal.
inline constexpr size_t NUMBER_DIGITS_MOST = 20;

// "000102...FF": the two upper-case hexadecimal digits of every byte value.
extern const char HEX_PAIRS[513];

// Writes the eight digits of `value` ("%08X") at `out`, two per table entry:
// a listing writes one per row, a million times.
inline void PutHex8(uint32_t value, char* out) {
  for (int byte = 3; byte >= 0; --byte) {
    std::memcpy(out + 2 * (3 - byte), HEX_PAIRS + 2 * ((value >> (8 * byte)) & 0xFF), 2);
  }
}

// Writes `value` in upper-case hexadecimal at `out`, zero-padded to at least
// `width` digits (at most 16), and as many as it needs beyond them ("%08X" of
// 0x1FFFFFFFF is nine digits). Returns the number of digits written.
size_t PutHex(uint64_t value, int width, char* out);

// Writes the decimal digits of `value` ("%u") at `out`. Returns the number of
// digits written.
size_t PutDecimal(uint64_t value, char* out);

// The same for a signed number, a minus sign first when it is negative (at
// most 20 bytes).
size_t PutSignedDecimal(int64_t value, char* out);

// Writes two lower-case hexadecimal digits per byte of `bytes` (2 * count
// bytes at `out`): the raw data of an export.
void PutLowerHex(const uint8_t* bytes, size_t count, char* out);

// Appends the decimal digits of `value`.
void AppendDecimal(uint64_t value, std::u16string* out);

// The decimal digits of `value` ("%u").
std::u16string DecimalText(uint64_t value);

// `value` as PutHex writes it ("%04X", "%08X", "%016X").
std::u16string HexText(uint64_t value, int width);

}  // namespace keyscout
