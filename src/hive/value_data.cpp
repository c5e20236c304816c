#include "hive/value_data.h"

#include <span>

namespace keyscout {

namespace {

// True when `cell` passes ValidateCell and its own size covers `end` bytes
// counted from its size field.
bool CellReaches(const HiveImage& image, Cell cell, uint64_t end) {
  return ValidateCell(image, cell) && CellLength(image, cell) >= end;
}

// True when `cell` passes ValidateCell and holds `length` data bytes after its
// size field, all of them inside the file.
bool CellHolds(const HiveImage& image, Cell cell, uint64_t length) {
  return CellReaches(image, cell, DATA_BYTES + length) &&
         image.reader().Contains(cell.FileOffset() + DATA_BYTES, length);
}

// The file offset of big-data segment list entry `i`.
uint64_t SegmentEntry(Cell list, uint64_t i) {
  return list.FileOffset() + SEGMENT_LIST_ENTRIES + SEGMENT_LIST_ENTRY_SIZE * i;
}

// The data bytes segment `i` of `length` holds.
uint64_t SegmentShare(uint32_t length, uint64_t i) {
  const uint64_t remaining = length - BIG_DATA_SEGMENT * i;
  return remaining < BIG_DATA_SEGMENT ? remaining : BIG_DATA_SEGMENT;
}

// Big data: the record names a segment list, and segment i holds data bytes
// BIG_DATA_SEGMENT * i onward.
bool LocateBigData(const HiveImage& image, Cell record, ValueDataPlace* place) {
  // The record's fields must lie inside its own cell.
  if (!CellReaches(image, record, DB_RECORD_END)) return false;
  uint16_t segments = 0;
  uint32_t list_index = 0;
  if (!image.CellU16(record, DB_SEGMENT_COUNT, &segments)) return false;
  if (!image.CellU32(record, DB_SEGMENT_LIST, &list_index)) return false;
  const uint64_t needed = (uint64_t{place->length} + BIG_DATA_SEGMENT - 1) / BIG_DATA_SEGMENT;
  // Segments that cannot cover the length would leave part of the data
  // unread while the read reports success: refuse the value instead. Entries
  // beyond those needed are never read.
  if (segments < needed) return false;
  const Cell list = CellAt(list_index);
  if (!CellReaches(image, list, SEGMENT_LIST_ENTRIES + SEGMENT_LIST_ENTRY_SIZE * needed)) return false;
  for (uint64_t i = 0; i < needed; ++i) {
    uint32_t segment_index = 0;
    if (!image.reader().U32(SegmentEntry(list, i), &segment_index)) return false;
    if (!CellHolds(image, CellAt(segment_index), SegmentShare(place->length, i))) return false;
  }
  place->segment_list = list;
  place->segments = static_cast<uint32_t>(needed);
  return true;
}

}  // namespace

uint32_t GetValueDataLength(const HiveImage& image, Cell value) {
  if (!CheckValueKey(image, value)) return 0;
  uint32_t size = 0;
  if (!image.CellU32(value, VK_DATA_SIZE, &size)) return 0;
  return size & ~VALUE_DATA_RESIDENT;
}

bool LocateValueData(const HiveImage& image, Cell value, ValueDataPlace* place) {
  *place = ValueDataPlace{};
  if (!CheckValueKey(image, value)) return false;
  uint32_t size = 0;
  uint32_t type = 0;
  if (!image.CellU32(value, VK_DATA_SIZE, &size) || !image.CellU32(value, VK_TYPE, &type)) return false;
  place->typed = true;
  place->type = type;
  place->length = size & ~VALUE_DATA_RESIDENT;

  if ((size & VALUE_DATA_RESIDENT) != 0) {
    // Choice: a resident length above the 4 bytes of the data offset field is
    // refused rather than cut to 4: the value cannot be what it claims, and a
    // silently shortened copy would be reported as the whole data.
    if (place->length > VALUE_RESIDENT_MAX) return false;
    place->at = value.FileOffset() + VK_DATA_OFFSET;
    return image.reader().Contains(place->at, place->length);
  }

  uint32_t data_index = 0;
  if (!image.CellU32(value, VK_DATA_OFFSET, &data_index)) return false;
  const Cell data = CellAt(data_index);
  // Checked for every value that is not resident, a length of 0 included.
  if (!ValidateCell(image, data)) return false;
  // Choice: above BIG_DATA_SEGMENT the data cell is read as big data only when
  // it says "db". Hives in format 1.3 (Windows 2000 and XP) have no big-data
  // records and keep large values in one plain cell; reading such a cell as a
  // record would take data bytes for a segment count and a list. A plain cell
  // must hold the whole length, else the value is refused.
  if (place->length > BIG_DATA_SEGMENT && image.Signature(data) == SIG_DB) return LocateBigData(image, data, place);
  place->at = data.FileOffset() + DATA_BYTES;
  return CellHolds(image, data, place->length);
}

ByteReader ValueDataPiece(const HiveImage& image, const ValueDataPlace& place, uint32_t i) {
  if (place.segments == 0) return i == 0 ? image.reader().Sub(place.at, place.length) : ByteReader();
  uint32_t segment_index = 0;
  if (i >= place.segments || !image.reader().U32(SegmentEntry(place.segment_list, i), &segment_index)) {
    return ByteReader();
  }
  return image.reader().Sub(CellAt(segment_index).FileOffset() + DATA_BYTES, SegmentShare(place.length, i));
}

namespace {

// Copies the pieces of `place` one after the other into `out`, which is the
// data's length.
bool CopyPieces(const HiveImage& image, const ValueDataPlace& place, std::span<uint8_t> out) {
  uint64_t at = 0;
  for (uint32_t i = 0; i < ValueDataPieceCount(place); ++i) {
    const ByteReader piece = ValueDataPiece(image, place, i);
    if (piece.IsNull() || !piece.Copy(0, piece.size(), out, at)) return false;
    at += piece.size();
  }
  return at == out.size();
}

}  // namespace

ByteReader GatherValueData(const HiveImage& image, const ValueDataPlace& place, std::vector<uint8_t>* scratch) {
  if (place.segments == 0) return ValueDataPiece(image, place, 0);
  if (scratch->size() < place.length) scratch->resize(place.length);
  const std::span<uint8_t> out(scratch->data(), place.length);
  if (!CopyPieces(image, place, out)) return ByteReader();
  return ByteReader(out.data(), out.size());
}

bool ReadValueData(const HiveImage& image, Cell value, uint32_t* type_out, uint8_t* buffer,
                   uint64_t buffer_size) {
  ValueDataPlace place;
  const bool located = LocateValueData(image, value, &place);
  if (type_out != nullptr && place.typed) *type_out = place.type;
  if (!located || buffer == nullptr || buffer_size < place.length) return false;
  // Exactly the data's length: no copy below can write past it.
  return CopyPieces(image, place, std::span<uint8_t>(buffer, place.length));
}

}  // namespace keyscout
