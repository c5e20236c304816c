// A hive file as one view of its bytes (the mapped file, or the private copy
// its logs were applied to), and its cells: where a cell lies, how long it
// is, and the tests a cell passes before it is read. Every byte is read
// through the view's ByteReader. The base block that opens the file has a
// header of its own, included here: a hive's readers ask both, and
// CheckHiveImage rests on the base block's signatures.
#pragma once

#include <cstdint>

#include "hive/base_block.h"
#include "hive/byte_reader.h"
#include "hive/layout.h"

namespace keyscout {

// A cell, named by its HCELL_INDEX. Its size field lies at file offset
// HIVE_BASE + index.
//
// Choice: the index is added to the hive base in 64 bits rather than wrapped
// at 32 bits as an address would be on a 32-bit system. A wrapped index could
// only land in the base block, which holds no cells; unwrapped it lands past
// the end of the file and every read of it is refused.
struct Cell {
  uint32_t index = 0;
  uint64_t FileOffset() const { return HIVE_BASE + index; }
  bool operator==(const Cell&) const = default;
};

// What a visitor of a walk returns: go on with the next item, or end the walk.
inline constexpr int VISIT_CONTINUE = 1;
inline constexpr int VISIT_STOP = 0;

// The whole hive file as one contiguous view, with its length.
class HiveImage {
 public:
  HiveImage() = default;
  HiveImage(const uint8_t* data, uint64_t size) : reader_(data, size), budget_basis_(size) {}
  // A view of which only `budget_basis` bytes hold data (a hive its logs
  // grew: the rest reads zero): the walks' budget follows those bytes.
  HiveImage(const uint8_t* data, uint64_t size, uint64_t budget_basis)
      : reader_(data, size), budget_basis_(budget_basis < size ? budget_basis : size) {}

  const ByteReader& reader() const { return reader_; }
  uint64_t size() const { return reader_.size(); }

  // Field reads relative to a cell's size field.
  [[nodiscard]] bool CellU16(Cell cell, uint32_t field, uint16_t* out) const {
    return reader_.U16(cell.FileOffset() + field, out);
  }
  [[nodiscard]] bool CellU32(Cell cell, uint32_t field, uint32_t* out) const {
    return reader_.U32(cell.FileOffset() + field, out);
  }
  [[nodiscard]] bool CellI32(Cell cell, uint32_t field, int32_t* out) const {
    return reader_.I32(cell.FileOffset() + field, out);
  }
  void PrefetchCell(Cell cell, uint32_t field) const { reader_.Prefetch(cell.FileOffset() + field); }

  // The most subkey list entries one walk may meet.
  //
  // Choice: every entry takes at least 4 bytes of the file and, in a sound
  // hive, no two entries share bytes, so a walk that meets more is going
  // round lists that name the same lists again (an "ri" naming one leaf list
  // thousands of times makes a small file cost billions of steps). It stops
  // there as it stops at any other damage, rather than remembering the lists
  // it has seen, which overlapping lists would still defeat. Only bytes that
  // hold data count: zero-filled space that a log merely declares holds no
  // cell, so no entry either.
  uint64_t ListEntryLimit() const { return budget_basis_ / INDEX_ENTRY_SIZE; }

  // The cell's signature, or 0 when it cannot be read.
  uint16_t Signature(Cell cell) const {
    uint16_t sig = 0;
    return CellU16(cell, CELL_SIGNATURE, &sig) ? sig : 0;
  }

 private:
  ByteReader reader_;
  uint64_t budget_basis_ = 0;
};

// The cell at hive base + index. No check.
inline Cell CellAt(uint32_t index) { return Cell{index}; }
// The HCELL_INDEX of a cell.
inline uint32_t IndexOf(Cell cell) { return cell.index; }

// The number of bytes the cell's size field gives it: the magnitude of the
// field, whether it marks the cell allocated (negative) or free, in 64 bits
// so that -0x80000000 is 0x80000000. 0 when the field cannot be read.
uint64_t CellLength(const HiveImage& image, Cell cell);

// The root key cell that the base block names, unchecked. When the file is too
// short to hold that field, the result is a cell far past any hive's end, so
// every read of it is refused and every report treats it as a bad cell.
Cell RootKeyCell(const HiveImage& image);
inline constexpr uint32_t UNREADABLE_CELL_INDEX = 0xFFFFFFFFu;

// True when an allocated cell may be read: its size is negative, it does not
// start in its hbin's header and it ends inside its hbin. Prints nothing.
bool ValidateCell(const HiveImage& image, Cell cell);

// True when `key` passes ValidateCell and reads "nk": the test a key lookup,
// the subkey walk and the reports make of a key node. Prints nothing.
bool CheckKeyNode(const HiveImage& image, Cell key);

// True when `value` passes ValidateCell and reads "vk": the test made of a
// value key before its data is read. Prints nothing.
bool CheckValueKey(const HiveImage& image, Cell value);

// True when the image has both signatures (HasHiveSignatures) and the root
// key cell passes ValidateCell. Prints nothing.
bool CheckHiveImage(const HiveImage& image);

}  // namespace keyscout
