#include "hive/key_node.h"

namespace keyscout {

std::optional<ByteReader> StoredKeyDescriptor(const HiveImage& image, Cell key) {
  uint32_t security_index = 0;
  if (!image.CellU32(key, NK_SECURITY, &security_index)) return std::nullopt;
  const Cell cell = CellAt(security_index);
  // 0 when the size field cannot be read.
  const uint64_t cell_length = CellLength(image, cell);
  if (cell_length <= SK_DESCRIPTOR) return std::nullopt;
  const uint64_t start = cell.FileOffset() + SK_DESCRIPTOR;
  // A cell that runs past the end of the file gives what lies inside it.
  const ByteReader descriptor = image.reader().From(start);
  if (descriptor.IsNull() || descriptor.size() == 0) return std::nullopt;
  const uint64_t length = cell_length - SK_DESCRIPTOR;
  return descriptor.size() > length ? descriptor.Sub(0, length) : descriptor;
}

namespace {

// One field of a key node, or nothing when its bytes cannot be read.
std::optional<uint16_t> KeyU16(const HiveImage& image, Cell key, uint32_t field) {
  uint16_t v = 0;
  return image.CellU16(key, field, &v) ? std::optional<uint16_t>(v) : std::nullopt;
}

std::optional<uint32_t> KeyU32(const HiveImage& image, Cell key, uint32_t field) {
  uint32_t v = 0;
  return image.CellU32(key, field, &v) ? std::optional<uint32_t>(v) : std::nullopt;
}

std::optional<uint64_t> KeyU64(const HiveImage& image, Cell key, uint32_t field) {
  uint64_t v = 0;
  return image.reader().U64(key.FileOffset() + field, &v) ? std::optional<uint64_t>(v) : std::nullopt;
}

}  // namespace

KeyNodeFields ReadKeyNodeFields(const HiveImage& image, Cell key) {
  KeyNodeFields fields;
  fields.last_written = KeyU64(image, key, NK_LAST_WRITTEN);
  fields.flags = KeyU16(image, key, NK_FLAGS);
  fields.stable_subkeys = KeyU32(image, key, NK_STABLE_COUNT);
  fields.volatile_subkeys = KeyU32(image, key, NK_VOLATILE_COUNT);
  fields.values = KeyU32(image, key, NK_VALUE_COUNT);
  fields.security = KeyU32(image, key, NK_SECURITY);
  fields.parent = KeyU32(image, key, NK_PARENT);
  fields.class_name = ReadClassName(image, key);
  return fields;
}

std::optional<std::u16string> ReadClassName(const HiveImage& image, Cell key) {
  uint16_t length = 0;
  if (!image.CellU16(key, NK_CLASS_LENGTH, &length)) return std::nullopt;
  if (length == 0) return std::u16string();
  uint32_t index = 0;
  if (!image.CellU32(key, NK_CLASS_NAME, &index)) return std::nullopt;
  const Cell cell = CellAt(index);
  // The cell must hold every byte the key says the name has.
  if (!ValidateCell(image, cell) || CellLength(image, cell) < uint64_t{DATA_BYTES} + length) return std::nullopt;
  return DecodeClassName(image, cell, length);
}

std::optional<std::u16string> DecodeClassName(const HiveImage& image, Cell cell, uint16_t length) {
  std::u16string text(length / 2u, u'\0');
  size_t units = 0;
  if (!image.reader().UnitsToZero(cell.FileOffset() + DATA_BYTES, text.size(), text.data(), &units)) {
    return std::nullopt;
  }
  text.resize(units);
  return text;
}

}  // namespace keyscout
