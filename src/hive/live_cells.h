// The cells the live key tree uses, as one walk from the root marks them:
// what the search for deleted records must never take for one.
#pragma once

#include <cstdint>

#include "hive/cell_set.h"
#include "hive/image.h"

namespace keyscout {

struct LiveCells {
  explicit LiveCells(uint64_t file_size) : records(file_size), keys(file_size) {}
  // The bytes of every record the walk reads: key nodes, class names,
  // security cells, subkey lists, value lists, value keys and the cells of
  // their data, each from its size field to the end of what it holds (the
  // rest of the cell is its slack).
  CellSet records;
  // Key nodes reached through a list of the very key their parent field
  // names (and the root): a parent link that can be followed up the tree.
  CellSet keys;
  // The latest last-written time of a key reached (FILETIME), 0 without one.
  uint64_t latest_written = 0;
};

// Walks the tree from the root key as the reports read it (every subkey
// list, value list, value and data cell that passes the readers' checks) and
// marks what it reads in `live`. A key met again, or a list leading back
// into the tree, is not walked twice; the walk meets at most as many list
// entries as the file has room for. Prints nothing.
void MarkLiveCells(const HiveImage& image, LiveCells* live);

}  // namespace keyscout
