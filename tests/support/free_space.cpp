#include "support/free_space.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace keyscout::test {

namespace {

void PutSize(Bytes& hive, uint32_t cell, int32_t size) {
  const uint32_t v = static_cast<uint32_t>(size);
  for (size_t i = 0; i < 4; ++i) hive.at(HiveBuilder::FileOffset(cell) + i) = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t CellLength(const Bytes& hive, uint32_t cell) {
  const int32_t size = CellSizeField(hive, cell);
  return static_cast<uint32_t>(size < 0 ? -int64_t{size} : int64_t{size});
}

}  // namespace

int32_t CellSizeField(const Bytes& hive, uint32_t cell) {
  const uint64_t at = HiveBuilder::FileOffset(cell);
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t{hive.at(at + i)} << (8 * i);
  return static_cast<int32_t>(v);
}

void FreeCell(Bytes& hive, uint32_t cell) { PutSize(hive, cell, static_cast<int32_t>(CellLength(hive, cell))); }

void MergeFreeCells(Bytes& hive, uint32_t first, uint32_t end) {
  for (uint32_t at = first; at < end;) {
    const uint32_t length = CellLength(hive, at);
    if (length == 0) throw std::invalid_argument("not a chain of cells");
    FreeCell(hive, at);
    at += length;
  }
  PutSize(hive, first, static_cast<int32_t>(end - first));
}

void ReuseFreeCell(Bytes& hive, uint32_t cell, const Bytes& payload) {
  const uint32_t free_length = CellLength(hive, cell);
  const uint32_t length = static_cast<uint32_t>((4 + payload.size() + 7) & ~size_t{7});
  if (length > free_length) throw std::invalid_argument("payload larger than the free cell");
  PutSize(hive, cell, -static_cast<int32_t>(length));
  std::copy(payload.begin(), payload.end(), hive.begin() + static_cast<std::ptrdiff_t>(HiveBuilder::FileOffset(cell) + 4));
  if (length < free_length) PutSize(hive, cell + length, static_cast<int32_t>(free_length - length));
}

}  // namespace keyscout::test
