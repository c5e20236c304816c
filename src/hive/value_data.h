// The length and the bytes of one value's data: resident in the value key,
// in one data cell, or in big-data segments.
#pragma once

#include <cstdint>

#include "hive/image.h"

namespace keyscout {

// The value's data length in bytes (the data size field without its resident
// bit), or 0 when the cell fails ValidateCell or is not a "vk". A 0 does not
// tell an empty value from a bad cell. Prints nothing.
uint32_t GetValueDataLength(const HiveImage& image, Cell value);

// Copies the value's whole data into `buffer`, which holds `buffer_size`
// bytes, and returns true. When `type_out` is given it receives the value's
// type code as soon as the "vk" cell has passed its checks, so it is set also
// when a later step fails. Fails (false) when the value key is bad, the buffer
// is null or too small, or any cell the data lies in is bad, shorter than what
// would be taken from it, or (for big data) does not cover the whole length.
// Never writes more than the data length into the buffer, and never copies a
// byte of any cell but the value's own data cells. Prints nothing.
[[nodiscard]] bool ReadValueData(const HiveImage& image, Cell value, uint32_t* type_out, uint8_t* buffer,
                                 uint64_t buffer_size);

}  // namespace keyscout
