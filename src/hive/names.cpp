#include "hive/names.h"

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
  size_t n = 0;
  if (compressed) {
    // SAFETY: Span checked that all `units` bytes lie inside the image.
    for (; n < units; ++n) buffer[n] = p[n];
  } else {
    for (; n < units; ++n) {
      const char16_t unit = static_cast<char16_t>(ByteReader::LoadU16(p + 2 * n));
      if (unit == 0) break;
      buffer[n] = unit;
    }
  }
  buffer[n] = 0;
  // An 8-bit name may itself hold a zero byte; the decoded name ends there.
  size_t end = 0;
  while (end < n && buffer[end] != 0) ++end;
  return static_cast<int>(end);
}

bool NamesEqualFolded(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    if (FoldUpper(*a) != FoldUpper(*b)) return false;
    if (*a == 0) return true;
  }
}

}  // namespace keyscout
