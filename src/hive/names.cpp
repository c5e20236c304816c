#include "hive/names.h"

#include <bit>
#include <cstring>

namespace keyscout {

int DecodeStoredName(const HiveImage& image, uint64_t at, uint16_t length_field, bool compressed,
                     NameBuffer& buffer) {
  size_t units = compressed ? length_field : length_field / 2u;
  if (units > NAME_MAX_CHARS) units = NAME_MAX_CHARS;
  const uint64_t width = compressed ? 1 : 2;
  const uint8_t* p = image.reader().Span(at, units * width);
  if (p == nullptr) {
    buffer[0] = 0;
    return -1;
  }
  // In both forms the name ends early at a zero unit; an 8-bit name may hold
  // a zero byte too.
  size_t n = 0;
  if (compressed) {
    // SAFETY: Span checked that all `units` bytes lie inside the image.
    if constexpr (std::endian::native == std::endian::little) {
      // Four bytes per step while none is zero, widened in a register and
      // stored as one word: a listing decodes a million names.
      for (; units - n >= 4; n += 4) {
        uint32_t four = 0;
        std::memcpy(&four, p + n, sizeof four);
        if (((four - 0x01010101u) & ~four & 0x80808080u) != 0) break;  // a zero byte
        uint64_t wide = four;
        wide = (wide | (wide << 16)) & 0x0000FFFF0000FFFFu;
        wide = (wide | (wide << 8)) & 0x00FF00FF00FF00FFu;
        std::memcpy(buffer + n, &wide, sizeof wide);
      }
    }
    for (; n < units && p[n] != 0; ++n) buffer[n] = p[n];
  } else {
    for (; n < units; ++n) {
      const char16_t unit = static_cast<char16_t>(ByteReader::LoadU16(p + 2 * n));
      if (unit == 0) break;
      buffer[n] = unit;
    }
  }
  buffer[n] = 0;
  return static_cast<int>(n);
}

bool NamesEqualFolded(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    if (FoldUpper(*a) != FoldUpper(*b)) return false;
    if (*a == 0) return true;
  }
}

}  // namespace keyscout
