#include "hive/marvin32.h"

namespace keyscout {

namespace {

uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One round of the mixing step, on the two state words; unsigned arithmetic
// wraps modulo 2^32 as the hash requires.
void Mix(uint32_t& lo, uint32_t& hi) {
  hi ^= lo;
  lo = RotateLeft(lo, 20) + hi;
  hi = RotateLeft(hi, 9) ^ lo;
  lo = RotateLeft(lo, 27) + hi;
  hi = RotateLeft(hi, 19);
}

}  // namespace

std::optional<uint64_t> HashMarvin32(const ByteReader& reader, uint64_t offset, uint64_t length,
                                     uint64_t seed) {
  if (!reader.Contains(offset, length)) return std::nullopt;
  uint32_t lo = static_cast<uint32_t>(seed);
  uint32_t hi = static_cast<uint32_t>(seed >> 32);
  const uint64_t words = length / 4;
  for (uint64_t i = 0; i < words; ++i) {
    uint32_t word = 0;
    if (!reader.U32(offset + 4 * i, &word)) return std::nullopt;
    lo += word;
    Mix(lo, hi);
  }
  // The last word carries the 0-3 leftover bytes with a 0x80 marker above them.
  const uint64_t tail = offset + 4 * words;
  const uint64_t leftover = length % 4;
  uint32_t last = 0x80;
  for (uint64_t i = leftover; i > 0; --i) {
    uint8_t byte = 0;
    if (!reader.U8(tail + i - 1, &byte)) return std::nullopt;
    last = (last << 8) | byte;
  }
  lo += last;
  Mix(lo, hi);
  Mix(lo, hi);
  return (uint64_t{hi} << 32) | lo;
}

}  // namespace keyscout
