#include "hive/names.h"

#include <span>

namespace keyscout {

namespace {

// Where a cell keeps its name: the fields of its length and flags, the flag
// bit that marks an 8-bit name, and the name's first byte.
struct NameFields {
  uint32_t length;
  uint32_t flags;
  uint16_t compressed;
  uint32_t name;
};
constexpr NameFields KEY_NAME_FIELDS{NK_NAME_LENGTH, NK_FLAGS, NK_FLAG_COMPRESSED_NAME, NK_NAME};
constexpr NameFields VALUE_NAME_FIELDS{VK_NAME_LENGTH, VK_FLAGS, VALUE_NAME_COMPRESSED, VK_NAME};

int DecodeName(const HiveImage& image, Cell cell, const NameFields& fields, NameBuffer& buffer) {
  buffer[0] = 0;
  uint16_t length = 0;
  uint16_t flags = 0;
  if (!image.CellU16(cell, fields.length, &length) || !image.CellU16(cell, fields.flags, &flags)) return -1;
  const bool compressed = (flags & fields.compressed) != 0;
  // The length field counts bytes in both forms: a 16-bit name of k bytes is
  // k / 2 units. Reading k units would run past the name into whatever
  // follows it in the cell.
  size_t units = compressed ? length : length / 2u;
  if (units > NAME_MAX_CHARS) units = NAME_MAX_CHARS;
  // In both forms the name ends early at a zero unit; an 8-bit name may hold
  // a zero byte too.
  const uint64_t at = cell.FileOffset() + fields.name;
  size_t n = 0;
  const bool read = compressed ? image.reader().WidenToZero(at, units, buffer, &n)
                               : image.reader().UnitsToZero(at, units, buffer, &n);
  if (!read) return -1;
  buffer[n] = 0;
  return static_cast<int>(n);
}

bool AppendWholeName(const HiveImage& image, Cell cell, const NameFields& fields, std::u16string* out,
                     std::vector<uint8_t>* scratch) {
  uint16_t length = 0;
  uint16_t flags = 0;
  if (!image.CellU16(cell, fields.length, &length) || !image.CellU16(cell, fields.flags, &flags)) return false;
  const bool compressed = (flags & fields.compressed) != 0;
  const size_t bytes = compressed ? length : length & ~size_t{1};
  if (scratch->size() < bytes) scratch->resize(bytes);
  if (!image.reader().Copy(cell.FileOffset() + fields.name, bytes, std::span<uint8_t>(scratch->data(), bytes))) {
    return false;
  }
  const uint8_t* b = scratch->data();
  const size_t start = out->size();
  if (compressed) {
    out->append(b, b + bytes);  // byte for unit
  } else {
    out->resize(start + bytes / 2);
    for (size_t i = 0; i < bytes / 2; ++i) (*out)[start + i] = static_cast<char16_t>(b[2 * i] | (b[2 * i + 1] << 8));
  }
  return true;
}

}  // namespace

bool AppendWholeKeyName(const HiveImage& image, Cell key, std::u16string* out, std::vector<uint8_t>* scratch) {
  return AppendWholeName(image, key, KEY_NAME_FIELDS, out, scratch);
}

bool AppendWholeValueName(const HiveImage& image, Cell value, std::u16string* out, std::vector<uint8_t>* scratch) {
  return AppendWholeName(image, value, VALUE_NAME_FIELDS, out, scratch);
}

int DecodeKeyName(const HiveImage& image, Cell key, NameBuffer& buffer) {
  return DecodeName(image, key, KEY_NAME_FIELDS, buffer);
}

int DecodeValueName(const HiveImage& image, Cell value, NameBuffer& buffer) {
  return DecodeName(image, value, VALUE_NAME_FIELDS, buffer);
}

}  // namespace keyscout
