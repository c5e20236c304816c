// The length and the bytes of one value's data: resident in the value key,
// in one data cell, or in big-data segments.
#pragma once

#include <cstdint>
#include <vector>

#include "hive/image.h"

namespace keyscout {

// The value's data length in bytes (the data size field without its resident
// bit), or 0 when the cell fails ValidateCell or is not a "vk". A 0 does not
// tell an empty value from a bad cell. Prints nothing.
uint32_t GetValueDataLength(const HiveImage& image, Cell value);

// Where a value's whole data lies in the file, every byte of it checked: in
// one piece (resident in the value key, or in one data cell) or in the
// segments of a big-data record, in order.
struct ValueDataPlace {
  // Set, with `type`, as soon as the value key has passed its checks, so
  // also when a later step fails.
  bool typed = false;
  uint32_t type = 0;
  uint32_t length = 0;
  // One piece: the file offset of its first byte.
  uint64_t at = 0;
  // Big data: the segment list, and how many of its segments the length
  // takes (0 for data in one piece).
  Cell segment_list{};
  uint32_t segments = 0;
};

// Finds the value's data and checks every cell it lies in, as ReadValueData
// reads it. True when the whole length can be read; false when the value key
// is bad, or any cell the data lies in is bad, shorter than what would be
// taken from it, or (for big data) does not cover the whole length. Prints
// nothing.
[[nodiscard]] bool LocateValueData(const HiveImage& image, Cell value, ValueDataPlace* place);

// The number of pieces the data comes in: 1, or the big-data segments.
inline uint32_t ValueDataPieceCount(const ValueDataPlace& place) {
  return place.segments == 0 ? 1 : place.segments;
}

// Piece `i` of a place LocateValueData found, as a reader over the bytes in
// the file; the pieces in order are the whole data. The null reader when `i`
// is past the last piece. Prints nothing.
ByteReader ValueDataPiece(const HiveImage& image, const ValueDataPlace& place, uint32_t i);

// The whole data of a place LocateValueData found, in one reader: the bytes
// in the file when they are one piece, else the segments copied into
// `scratch` (grown as needed, kept for the next call). The null reader when
// the copy fails. Prints nothing.
ByteReader GatherValueData(const HiveImage& image, const ValueDataPlace& place, std::vector<uint8_t>* scratch);

// Copies the value's whole data into `buffer`, which holds `buffer_size`
// bytes, and returns true. When `type_out` is given it receives the value's
// type code as soon as the "vk" cell has passed its checks, so it is set also
// when a later step fails. Fails (false) when LocateValueData does, or the
// buffer is null or too small. Never writes more than the data length into
// the buffer, and never copies a byte of any cell but the value's own data
// cells. Prints nothing.
[[nodiscard]] bool ReadValueData(const HiveImage& image, Cell value, uint32_t* type_out, uint8_t* buffer,
                                 uint64_t buffer_size);

}  // namespace keyscout
