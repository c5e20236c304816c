// The cells a value's data lies in, found by the same rules the data reader
// follows, with the test each cell must pass left to the caller: the live
// tree's cells pass ValidateCell, a deleted value's cells must still be free.
#pragma once

#include <cstdint>
#include <vector>

#include "hive/image.h"

namespace keyscout {

// What a caller's cell test says of one cell the data needs.
enum class CellVerdict {
  kUsable,    // the cell may be read for this many bytes
  kTaken,     // the cell holds something else now
  kUnusable,  // the cell cannot be read (outside the file, damaged)
};

// Asked once per cell, with the number of bytes the data needs from it,
// counted from its size field.
using CellTest = CellVerdict (*)(const void* context, const HiveImage& image, Cell cell, uint64_t extent);

// One cell a value's data takes: the data cell, or a big-data record, its
// segment list and its segments.
struct ValueDataCell {
  Cell cell;
  uint64_t extent = 0;  // the bytes the value uses, counted from the size field
  uint32_t data = 0;    // data bytes it holds from +0x04 (0 for a record or a list)
};

// How the search for a value's cells ended.
enum class ValueCells {
  kResident,  // the data lies in the value key itself (at most 4 bytes)
  kFound,     // `cells` lists every cell, the data cells in data order
  kTaken,     // a cell the data needs failed the test with kTaken
  kUnusable,  // a field could not be read, a cell failed the test with
              // kUnusable, or the cells cannot hold the whole length
};

// Finds the cells that hold the data of the value key at `value` (whose own
// checks are the caller's), asking `test` of each before reading it. Above
// BIG_DATA_SEGMENT bytes a data cell that says "db" is big data, as the data
// reader takes it. `cells` is cleared first; on any result but kFound it
// holds the cells that passed before the search ended. Prints nothing.
ValueCells FindValueDataCells(const HiveImage& image, Cell value, CellTest test, const void* context,
                              std::vector<ValueDataCell>* cells);

}  // namespace keyscout
