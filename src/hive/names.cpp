#include "hive/names.h"

#include "platform/unit_copy.h"

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
    n = WidenToZero(p, units, buffer);
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
