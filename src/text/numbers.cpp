#include "text/numbers.h"

#include <array>
#include <bit>

namespace keyscout {

const char HEX_PAIRS[513] =
    "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"
    "202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F"
    "404142434445464748494A4B4C4D4E4F505152535455565758595A5B5C5D5E5F"
    "606162636465666768696A6B6C6D6E6F707172737475767778797A7B7C7D7E7F"
    "808182838485868788898A8B8C8D8E8F909192939495969798999A9B9C9D9E9F"
    "A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF"
    "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECFD0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF"
    "E0E1E2E3E4E5E6E7E8E9EAEBECEDEEEFF0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF";

namespace {

std::u16string Widen(const char* digits, size_t count) { return std::u16string(digits, digits + count); }

}  // namespace

size_t PutHex(uint64_t value, int width, char* out) {
  size_t count = value == 0 ? 1 : (static_cast<size_t>(std::bit_width(value)) + 3) / 4;
  if (width > 0 && count < static_cast<size_t>(width)) count = static_cast<size_t>(width);
  // From the last digits back, two at a time; the padding zeros are those of
  // the shifted value.
  size_t left = count;
  for (; left >= 2; left -= 2, value >>= 8) std::memcpy(out + left - 2, HEX_PAIRS + 2 * (value & 0xFF), 2);
  if (left == 1) out[0] = HEX_PAIRS[2 * (value & 0xF) + 1];
  return count;
}

size_t PutDecimal(uint64_t value, char* out) {
  // Two digits per division, from the last ones back: an export writes a few
  // numbers per record, and a hive holds a hundred thousand records.
  static constexpr char PAIRS[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  char digits[NUMBER_DIGITS_MOST];
  char* const end = digits + sizeof digits;
  char* at = end;
  while (value >= 100) {
    at -= 2;
    std::memcpy(at, PAIRS + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    at -= 2;
    std::memcpy(at, PAIRS + 2 * value, 2);
  } else {
    *--at = static_cast<char>('0' + value);
  }
  const size_t count = static_cast<size_t>(end - at);
  std::memcpy(out, at, count);
  return count;
}

size_t PutSignedDecimal(int64_t value, char* out) {
  if (value >= 0) return PutDecimal(static_cast<uint64_t>(value), out);
  out[0] = '-';
  // The magnitude in unsigned arithmetic, which INT64_MIN also has.
  return 1 + PutDecimal(0 - static_cast<uint64_t>(value), out + 1);
}

void PutLowerHex(const uint8_t* bytes, size_t count, char* out) {
  // The two digits of every byte value, made once: an export writes every
  // byte of every value without a decoded form this way.
  static const auto pairs = [] {
    static constexpr char LOWER_DIGITS[] = "0123456789abcdef";
    std::array<char, 512> table{};
    for (size_t b = 0; b < 256; ++b) {
      table[2 * b] = LOWER_DIGITS[b >> 4];
      table[2 * b + 1] = LOWER_DIGITS[b & 0xF];
    }
    return table;
  }();
  for (size_t i = 0; i < count; ++i) std::memcpy(out + 2 * i, pairs.data() + 2 * size_t{bytes[i]}, 2);
}

void AppendDecimal(uint64_t value, std::u16string* out) {
  char digits[NUMBER_DIGITS_MOST];
  const size_t count = PutDecimal(value, digits);
  out->append(digits, digits + count);
}

std::u16string DecimalText(uint64_t value) {
  char digits[NUMBER_DIGITS_MOST];
  return Widen(digits, PutDecimal(value, digits));
}

std::u16string HexText(uint64_t value, int width) {
  char digits[NUMBER_DIGITS_MOST];
  return Widen(digits, PutHex(value, width, digits));
}

}  // namespace keyscout
