#include "hive/value_cells.h"

namespace keyscout {

namespace {

// The verdict on `cell` as a search result, or nothing when it is usable.
bool Passes(CellVerdict verdict, ValueCells* result) {
  if (verdict == CellVerdict::kUsable) return true;
  *result = verdict == CellVerdict::kTaken ? ValueCells::kTaken : ValueCells::kUnusable;
  return false;
}

}  // namespace

ValueCells FindValueDataCells(const HiveImage& image, Cell value, CellTest test, const void* context,
                              std::vector<ValueDataCell>* cells) {
  cells->clear();
  uint32_t size = 0;
  uint32_t offset = 0;
  if (!image.CellU32(value, VK_DATA_SIZE, &size) || !image.CellU32(value, VK_DATA_OFFSET, &offset)) {
    return ValueCells::kUnusable;
  }
  const uint32_t length = size & ~VALUE_DATA_RESIDENT;
  if ((size & VALUE_DATA_RESIDENT) != 0) {
    return length <= VALUE_RESIDENT_MAX ? ValueCells::kResident : ValueCells::kUnusable;
  }
  ValueCells result = ValueCells::kFound;
  const Cell data = CellAt(offset);
  // A plain data cell: up to one segment's worth, or any length in a cell
  // that is not a big-data record (hives in format 1.3 have none).
  if (length <= BIG_DATA_SEGMENT || image.Signature(data) != SIG_DB) {
    if (!Passes(test(context, image, data, uint64_t{DATA_BYTES} + length), &result)) return result;
    cells->push_back({data, uint64_t{DATA_BYTES} + length, length});
    return result;
  }
  if (!Passes(test(context, image, data, DB_RECORD_END), &result)) return result;
  cells->push_back({data, DB_RECORD_END, 0});
  uint16_t segments = 0;
  uint32_t list_index = 0;
  if (!image.CellU16(data, DB_SEGMENT_COUNT, &segments) || !image.CellU32(data, DB_SEGMENT_LIST, &list_index)) {
    return ValueCells::kUnusable;
  }
  const uint64_t needed = (uint64_t{length} + BIG_DATA_SEGMENT - 1) / BIG_DATA_SEGMENT;
  if (segments < needed) return ValueCells::kUnusable;
  const Cell list = CellAt(list_index);
  const uint64_t list_extent = SEGMENT_LIST_ENTRIES + SEGMENT_LIST_ENTRY_SIZE * needed;
  if (!Passes(test(context, image, list, list_extent), &result)) return result;
  cells->push_back({list, list_extent, 0});
  uint64_t remaining = length;
  for (uint64_t i = 0; i < needed; ++i) {
    uint32_t segment = 0;
    if (!image.reader().U32(list.FileOffset() + SEGMENT_LIST_ENTRIES + SEGMENT_LIST_ENTRY_SIZE * i, &segment)) {
      return ValueCells::kUnusable;
    }
    const uint32_t share = static_cast<uint32_t>(remaining < BIG_DATA_SEGMENT ? remaining : BIG_DATA_SEGMENT);
    if (!Passes(test(context, image, CellAt(segment), uint64_t{DATA_BYTES} + share), &result)) return result;
    cells->push_back({CellAt(segment), uint64_t{DATA_BYTES} + share, share});
    remaining -= share;
  }
  return ValueCells::kFound;
}

}  // namespace keyscout
