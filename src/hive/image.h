// The mapped hive file and the one gate through which its bytes are read.
//
// A hive comes off a seized or damaged disk, so every offset in it is hostile.
// Only ByteReader dereferences raw memory; everything else asks it, and a read
// that would leave the bytes it was given fails instead of happening.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>

#include "hive/layout.h"

namespace keyscout {

// Bounds-checked little-endian reads over one block of bytes. The hive image
// and the private copy of a security descriptor both read through it.
class ByteReader {
 public:
  ByteReader() = default;
  ByteReader(const uint8_t* data, uint64_t size) : data_(data), size_(size) {}

  uint64_t size() const { return size_; }

  // True when [offset, offset + length) lies inside the bytes.
  bool Contains(uint64_t offset, uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  // The address of `length` bytes at `offset`, or null when they do not all
  // lie inside (a zero-length span at the very end is allowed).
  const uint8_t* Span(uint64_t offset, uint64_t length) const {
    if (!Contains(offset, length)) return nullptr;
    // SAFETY: offset + length <= size_ was checked just above.
    return data_ + offset;
  }

  [[nodiscard]] bool U8(uint64_t offset, uint8_t* out) const {
    const uint8_t* p = Span(offset, 1);
    if (p == nullptr) return false;
    *out = p[0];
    return true;
  }
  [[nodiscard]] bool U16(uint64_t offset, uint16_t* out) const {
    const uint8_t* p = Span(offset, 2);
    if (p == nullptr) return false;
    *out = static_cast<uint16_t>(p[0] | (p[1] << 8));
    return true;
  }
  [[nodiscard]] bool U32(uint64_t offset, uint32_t* out) const {
    const uint8_t* p = Span(offset, 4);
    if (p == nullptr) return false;
    *out = LoadU32(p);
    return true;
  }
  [[nodiscard]] bool I32(uint64_t offset, int32_t* out) const {
    uint32_t v;
    if (!U32(offset, &v)) return false;
    *out = static_cast<int32_t>(v);
    return true;
  }
  [[nodiscard]] bool U64(uint64_t offset, uint64_t* out) const {
    uint32_t low = 0;
    uint32_t high = 0;
    if (!Contains(offset, 8) || !U32(offset, &low) || !U32(offset + 4, &high)) return false;
    *out = (uint64_t{high} << 32) | low;
    return true;
  }

  // Asks the processor to start loading the bytes at `offset` into its cache,
  // when they lie inside. A hint only: it reads nothing and cannot fail, so a
  // walk can ask for what it will read a few steps ahead.
  void Prefetch(uint64_t offset) const {
#if defined(__GNUC__)
    // SAFETY: offset < size_ was checked first; a prefetch never faults.
    if (offset < size_) __builtin_prefetch(data_ + offset);
#else
    (void)offset;
#endif
  }

  // Copies `length` bytes at `offset` into `out`; nothing is copied on failure.
  [[nodiscard]] bool Copy(uint64_t offset, uint64_t length, uint8_t* out) const {
    const uint8_t* p = Span(offset, length);
    if (p == nullptr) return false;
    if (length != 0) std::memcpy(out, p, length);
    return true;
  }

  static uint32_t LoadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  }
  static uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }


 private:
  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
};

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

// The whole hive file as one contiguous view, with its length.
class HiveImage {
 public:
  HiveImage() = default;
  HiveImage(const uint8_t* data, uint64_t size) : reader_(data, size) {}

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
  const uint8_t* CellSpan(Cell cell, uint32_t field, uint64_t length) const {
    return reader_.Span(cell.FileOffset() + field, length);
  }

  // The most subkey list entries one walk may meet.
  //
  // Choice: every entry takes at least 4 bytes of the file and, in a sound
  // hive, no two entries share bytes, so a walk that meets more is going
  // round lists that name the same lists again (an "ri" naming one leaf list
  // thousands of times makes a small file cost billions of steps). It stops
  // there as it stops at any other damage, rather than remembering the lists
  // it has seen, which overlapping lists would still defeat.
  uint64_t ListEntryLimit() const { return size() / INDEX_ENTRY_SIZE; }

  // The cell's signature, or 0 when it cannot be read.
  uint16_t Signature(Cell cell) const {
    uint16_t sig = 0;
    return CellU16(cell, CELL_SIGNATURE, &sig) ? sig : 0;
  }

 private:
  ByteReader reader_;
};

// The subkey list entries one walk may still meet (HiveImage::ListEntryLimit).
class ListEntryBudget {
 public:
  explicit ListEntryBudget(const HiveImage& image) : left_(image.ListEntryLimit()) {}
  // Counts one entry; false once the limit is spent.
  [[nodiscard]] bool Take() {
    if (left_ == 0) return false;
    --left_;
    return true;
  }

 private:
  uint64_t left_;
};

// The cell at hive base + index. No check.
inline Cell CellAt(const HiveImage&, uint32_t index) { return Cell{index}; }
// The HCELL_INDEX of a cell.
inline uint32_t IndexOf(const HiveImage&, Cell cell) { return cell.index; }

// The root key cell that the base block names, unchecked. When the file is too
// short to hold that field, the result is a cell far past any hive's end, so
// every read of it is refused and every report treats it as a bad cell.
Cell RootKeyCell(const HiveImage& image);
inline constexpr uint32_t UNREADABLE_CELL_INDEX = 0xFFFFFFFFu;

// True when an allocated cell may be read: its size is negative, it does not
// start in its hbin's header and it ends inside its hbin. Prints nothing.
bool ValidateCell(const HiveImage& image, Cell cell);

// The checksum of a base block (or of the copy at the start of a log): the
// XOR of the 127 little-endian words before the checksum field, with 0 kept
// as 1 and 0xFFFFFFFF as 0xFFFFFFFE. Nothing when the words cannot be read.
std::optional<uint32_t> ComputeBaseBlockChecksum(const ByteReader& reader);

// True when the stored checksum equals the computed one.
bool BaseBlockChecksumValid(const ByteReader& reader);

// True when the base block reads "regf" and the first hbin "hbin": the file
// is a hive at all. Prints nothing.
bool HasHiveSignatures(const HiveImage& image);

// True when the image has both signatures and the root key cell passes
// ValidateCell. Prints nothing.
bool CheckHiveImage(const HiveImage& image);

}  // namespace keyscout
