// A set of places in a hive, one bit per 8 bytes: cells start on 8-byte
// boundaries, so a bit can stand for "a cell may start here" and a run of
// bits for the bytes a record takes. A hive of n bytes costs n / 64 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "hive/image.h"

namespace keyscout {

class CellSet {
 public:
  CellSet() = default;
  // An empty set over the cells of a file of `file_size` bytes.
  // The file is mapped whole, so its units count fits a size_t.
  explicit CellSet(uint64_t file_size)
      : units_(file_size > HIVE_BASE ? static_cast<size_t>((file_size - HIVE_BASE + UNIT - 1) / UNIT) : 0),
        words_((units_ + 63) / 64, 0) {}

  // Adds the 8-byte units that [cell, cell + length) touches; the part that
  // lies past the file is left out.
  void Mark(Cell cell, uint64_t length) {
    if (length == 0) return;
    const size_t end = EndUnit(cell, length);
    for (size_t u = cell.index / UNIT; u < end;) {
      // Whole words at a time once aligned: a big data cell is thousands of units.
      if (u % 64 == 0 && end - u >= 64) {
        words_[u / 64] = ~uint64_t{0};
        u += 64;
      } else {
        words_[u / 64] |= uint64_t{1} << (u % 64);
        ++u;
      }
    }
  }

  // True when the unit `cell` starts in is in the set.
  bool Contains(Cell cell) const {
    const size_t u = cell.index / UNIT;
    return u < units_ && (words_[u / 64] >> (u % 64) & 1) != 0;
  }

  // True when any unit that [cell, cell + length) touches is in the set.
  bool Overlaps(Cell cell, uint64_t length) const {
    if (length == 0) return false;
    const size_t end = EndUnit(cell, length);
    for (size_t u = cell.index / UNIT; u < end;) {
      if (u % 64 == 0 && end - u >= 64) {
        if (words_[u / 64] != 0) return true;
        u += 64;
      } else {
        if ((words_[u / 64] >> (u % 64) & 1) != 0) return true;
        ++u;
      }
    }
    return false;
  }

 private:
  static constexpr uint32_t UNIT = 8;

  // The unit past the last that [cell, cell + length) touches, at most the
  // file's last.
  size_t EndUnit(Cell cell, uint64_t length) const {
    const uint64_t end = (uint64_t{cell.index} + length + UNIT - 1) / UNIT;
    return end < units_ ? static_cast<size_t>(end) : units_;
  }

  size_t units_ = 0;
  std::vector<uint64_t> words_;
};

}  // namespace keyscout
