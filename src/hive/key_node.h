// Fields of a key node that reports read beyond its name and lists.
#pragma once

#include <optional>

#include "hive/image.h"

namespace keyscout {

// The security descriptor stored for `key`: the bytes of the security cell
// its security field names, from +0x18 to the end of that cell by its size
// field, cut at the end of the file. Nothing when the key's field or the
// cell's size field cannot be read, or no byte of the descriptor lies in the
// file. Prints nothing.
//
// Choice: the cell's length is the magnitude of its size field, whether it is
// marked allocated or not; the security cell is otherwise taken as the key
// names it, without the cell test, and only its length bounds what is read.
std::optional<ByteReader> StoredKeyDescriptor(const HiveImage& image, Cell key);

}  // namespace keyscout
