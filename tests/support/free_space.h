// Deleting what a built hive holds, the way Windows and other writers do:
// cells turned free but not wiped, merged with free neighbours, and free
// space allocated again. They work on the finished file (HiveBuilder::Finish).
#pragma once

#include <cstdint>

#include "support/hive_builder.h"

namespace keyscout::test {

// The cell's size field, read from the file.
int32_t CellSizeField(const Bytes& hive, uint32_t cell);

// Frees the cell as a delete does: its size field turns positive, its bytes
// stay as they were.
void FreeCell(Bytes& hive, uint32_t cell);

// Frees every cell from `first` up to `end` (cells that follow one another)
// and merges them into one free cell at `first`, as Windows merges a freed
// cell with free neighbours: the cells inside keep their own (now positive)
// size fields.
void MergeFreeCells(Bytes& hive, uint32_t first, uint32_t end);

// Allocates the start of the free cell at `cell` again: an allocated cell of
// 4 + payload bytes (rounded up to 8) holding `payload`, and the rest of the
// free cell a free cell of its own, with a size field written where the
// allocated cell ends.
void ReuseFreeCell(Bytes& hive, uint32_t cell, const Bytes& payload);

}  // namespace keyscout::test
