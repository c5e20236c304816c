// A set of places in a hive, one bit per 8 bytes: cells start on 8-byte
// boundaries, so a bit can stand for "a cell may start here" and a run of
// bits for the bytes a record takes. A hive of n bytes costs n / 64 bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "hive/image.h"

namespace keyscout {

class CellSet {
 public:
  CellSet() = default;
  // An empty set over the cells of a file of `file_size` bytes.
  explicit CellSet(uint64_t file_size)
      : units_(file_size > HIVE_BASE ? (file_size - HIVE_BASE + UNIT - 1) / UNIT : 0),
        words_((units_ + 63) / 64, 0) {}

  // Adds the 8-byte units that [cell, cell + length) touches; the part that
  // lies past the file is left out.
  void Mark(Cell cell, uint64_t length) {
    if (length == 0) return;
    const uint64_t first = cell.index / UNIT;
    uint64_t end = (uint64_t{cell.index} + length + UNIT - 1) / UNIT;
    if (end > units_) end = units_;
    for (uint64_t u = first; u < end;) {
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
    const uint64_t u = cell.index / UNIT;
    return u < units_ && (words_[u / 64] >> (u % 64) & 1) != 0;
  }

  // True when any unit that [cell, cell + length) touches is in the set.
  bool Overlaps(Cell cell, uint64_t length) const {
    if (length == 0) return false;
    const uint64_t first = cell.index / UNIT;
    uint64_t end = (uint64_t{cell.index} + length + UNIT - 1) / UNIT;
    if (end > units_) end = units_;
    for (uint64_t u = first; u < end;) {
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
  static constexpr uint64_t UNIT = 8;
  uint64_t units_ = 0;
  std::vector<uint64_t> words_;
};

}  // namespace keyscout
