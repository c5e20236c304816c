#include "hive/value_data.h"

#include <algorithm>
#include <span>

namespace keyscout {

namespace {

// True when `cell` passes ValidateCell and its own size covers `end` bytes
// counted from its size field.
bool CellReaches(const HiveImage& image, Cell cell, uint64_t end) {
  return ValidateCell(image, cell) && CellLength(image, cell) >= end;
}

// True when `cell` passes ValidateCell and holds `length` data bytes after its
// size field.
bool CellHolds(const HiveImage& image, Cell cell, uint64_t length) {
  return CellReaches(image, cell, DATA_BYTES + length);
}

// Copies `length` bytes from after the cell's size field, which must lie
// inside the cell, into `out` from its byte `at` on.
bool CopyCellData(const HiveImage& image, Cell cell, uint64_t length, std::span<uint8_t> out, uint64_t at = 0) {
  if (!CellHolds(image, cell, length)) return false;
  return image.reader().Copy(cell.FileOffset() + DATA_BYTES, length, out, at);
}

// Big data: the record names a segment list, and segment i holds data bytes
// BIG_DATA_SEGMENT * i onward.
bool CopyBigData(const HiveImage& image, Cell record, std::span<uint8_t> out) {
  // The record's fields must lie inside its own cell.
  if (!CellReaches(image, record, DB_RECORD_END)) return false;
  uint16_t segments = 0;
  uint32_t list_index = 0;
  if (!image.CellU16(record, DB_SEGMENT_COUNT, &segments)) return false;
  if (!image.CellU32(record, DB_SEGMENT_LIST, &list_index)) return false;
  const uint64_t needed = (uint64_t{out.size()} + BIG_DATA_SEGMENT - 1) / BIG_DATA_SEGMENT;
  // Segments that cannot cover the length would leave part of the data
  // unread while the read reports success: refuse the value instead. Entries
  // beyond those needed are never read.
  if (segments < needed) return false;
  const Cell list = CellAt(list_index);
  if (!CellReaches(image, list, SEGMENT_LIST_ENTRIES + SEGMENT_LIST_ENTRY_SIZE * needed)) return false;
  for (uint64_t i = 0; i < needed; ++i) {
    uint32_t segment_index = 0;
    if (!image.reader().U32(list.FileOffset() + SEGMENT_LIST_ENTRIES + SEGMENT_LIST_ENTRY_SIZE * i,
                            &segment_index)) {
      return false;
    }
    const uint64_t at = BIG_DATA_SEGMENT * i;
    const uint64_t share = std::min<uint64_t>(out.size() - at, BIG_DATA_SEGMENT);
    if (!CopyCellData(image, CellAt(segment_index), share, out, at)) return false;
  }
  return true;
}

}  // namespace

uint32_t GetValueDataLength(const HiveImage& image, Cell value) {
  if (!CheckValueKey(image, value)) return 0;
  uint32_t size = 0;
  if (!image.CellU32(value, VK_DATA_SIZE, &size)) return 0;
  return size & ~VALUE_DATA_RESIDENT;
}

bool ReadValueData(const HiveImage& image, Cell value, uint32_t* type_out, uint8_t* buffer,
                   uint64_t buffer_size) {
  if (!CheckValueKey(image, value)) return false;
  uint32_t size = 0;
  uint32_t type = 0;
  if (!image.CellU32(value, VK_DATA_SIZE, &size) || !image.CellU32(value, VK_TYPE, &type)) return false;
  if (type_out != nullptr) *type_out = type;
  const bool resident = (size & VALUE_DATA_RESIDENT) != 0;
  const uint32_t length = size & ~VALUE_DATA_RESIDENT;
  if (buffer == nullptr || buffer_size < length) return false;
  // Exactly the data's length: no copy below can write past it.
  const std::span<uint8_t> out(buffer, length);

  if (resident) {
    // Choice: a resident length above the 4 bytes of the data offset field is
    // refused rather than cut to 4: the value cannot be what it claims, and a
    // silently shortened copy would be reported as the whole data.
    if (length > VALUE_RESIDENT_MAX) return false;
    return image.reader().Copy(value.FileOffset() + VK_DATA_OFFSET, length, out);
  }

  uint32_t data_index = 0;
  if (!image.CellU32(value, VK_DATA_OFFSET, &data_index)) return false;
  const Cell data = CellAt(data_index);
  // Checked for every value that is not resident, a length of 0 included.
  if (!ValidateCell(image, data)) return false;
  if (length <= BIG_DATA_SEGMENT) return CopyCellData(image, data, length, out);

  // Choice: above BIG_DATA_SEGMENT the data cell is read as big data only when
  // it says "db". Hives in format 1.3 (Windows 2000 and XP) have no big-data
  // records and keep large values in one plain cell; reading such a cell as a
  // record would take data bytes for a segment count and a list. A plain cell
  // must hold the whole length, else the value is refused.
  if (image.Signature(data) == SIG_DB) return CopyBigData(image, data, out);
  return CopyCellData(image, data, length, out);
}

}  // namespace keyscout
