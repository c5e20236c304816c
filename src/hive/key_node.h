// Fields of a key node that reports read beyond its name and lists.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// The fields of a key node that the key information report shows, each as
// stored, or nothing when its bytes cannot be read.
struct KeyNodeFields {
  std::optional<uint64_t> last_written;  // FILETIME
  std::optional<uint16_t> flags;
  std::optional<uint32_t> stable_subkeys;
  std::optional<uint32_t> volatile_subkeys;
  std::optional<uint32_t> values;
  std::optional<uint32_t> security;  // HCELL_INDEX
  std::optional<uint32_t> parent;    // HCELL_INDEX
  // Empty when the key has none; nothing when it cannot be read.
  std::optional<std::u16string> class_name;
};

// Reads the fields of `key` as they stand, each on its own: a field that
// cannot be read leaves the others as read. The key cell is taken as it is;
// CheckKeyNode is the caller's. Prints nothing.
//
// Choice: the fields are read at their offsets in the file, as every other
// reader of a key node reads them, and not cut at the key cell's size.
KeyNodeFields ReadKeyNodeFields(const HiveImage& image, Cell key);

// The class name of `key`, decoded from the UTF-16LE units of its class name
// cell up to the first zero unit (an odd length drops its last byte). Empty
// when the key's class name length is 0. Nothing when the length or the cell
// index cannot be read, the cell fails ValidateCell, or the cell is too short
// for the length the key gives. Prints nothing.
//
// Choice: the key's class name length alone says whether it has a class name,
// as Windows reads the class cell only for a non-zero length; a length with
// the index -1 names no cell that can be read, and is unreadable.
std::optional<std::u16string> ReadClassName(const HiveImage& image, Cell key);

// The class name held in `cell` (from its data bytes on), `length` bytes
// long, decoded as ReadClassName decodes it; the tests of the cell are the
// caller's. Nothing when the bytes lie outside the file. Prints nothing.
std::optional<std::u16string> DecodeClassName(const HiveImage& image, Cell cell, uint16_t length);

}  // namespace keyscout
