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

}  // namespace keyscout
