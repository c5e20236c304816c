#include "hive/names.h"

namespace keyscout {

int DecodeStoredName(const HiveImage& image, uint64_t at, uint16_t length_field, bool compressed,
                     NameBuffer& buffer) {
  size_t units = compressed ? length_field : length_field / 2u;
  if (units > NAME_MAX_CHARS) units = NAME_MAX_CHARS;
  // In both forms the name ends early at a zero unit; an 8-bit name may hold
  // a zero byte too.
  size_t n = 0;
  const bool read = compressed ? image.reader().WidenToZero(at, units, buffer, &n)
                               : image.reader().UnitsToZero(at, units, buffer, &n);
  if (!read) {
    buffer[0] = 0;
    return -1;
  }
  buffer[n] = 0;
  return static_cast<int>(n);
}

bool AppendWholeName(const HiveImage& image, uint64_t at, uint16_t length_field, bool compressed,
                     std::u16string* out, std::vector<uint8_t>* scratch) {
  const size_t bytes = compressed ? length_field : length_field & ~size_t{1};
  if (scratch->size() < bytes) scratch->resize(bytes);
  if (!image.reader().Copy(at, bytes, scratch->data())) return false;
  const uint8_t* b = scratch->data();
  const size_t start = out->size();
  if (compressed) {
    out->resize(start + bytes);
    for (size_t i = 0; i < bytes; ++i) (*out)[start + i] = b[i];
  } else {
    out->resize(start + bytes / 2);
    for (size_t i = 0; i < bytes / 2; ++i) (*out)[start + i] = static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  }
  return true;
}

bool NamesEqualFolded(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    if (FoldUpper(*a) != FoldUpper(*b)) return false;
    if (*a == 0) return true;
  }
}

}  // namespace keyscout
