// The stored names of key nodes and value keys, decoded into fixed name
// buffers. Both are kept the same way: a length field that counts bytes, a
// flag that says whether the name is 8-bit, and the name's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hive/image.h"
#include "hive/layout.h"

namespace keyscout {

using NameBuffer = char16_t[NAME_BUFFER_CHARS];

// Decodes the stored name of the key node `key`, or of the value key
// `value`, into `buffer` and zero-terminates it. An 8-bit name is widened
// byte for unit; a 16-bit name is half its byte count of little-endian units
// (an odd count drops its last byte). Either ends early at a zero unit, and a
// name longer than NAME_MAX_CHARS units is cut there. Returns the number of
// units before the terminator, or -1 when the name's fields or bytes cannot
// be read (the buffer then holds the empty name). The cell itself is taken as
// it is (no validity or signature test). Prints nothing.
int DecodeKeyName(const HiveImage& image, Cell key, NameBuffer& buffer);
int DecodeValueName(const HiveImage& image, Cell value, NameBuffer& buffer);

// Appends the whole stored name of the key node `key`, or of the value key
// `value`, to `out`, exactly: an 8-bit name byte for unit (as ISO 8859-1), a
// 16-bit name as half its byte count of little-endian units (an odd count
// drops its last byte), zero units and all, uncut. `scratch` holds the bytes
// on their way (kept for the next call). False, with `out` as it was, when
// the name's fields or bytes cannot be read. The cell itself is taken as it
// is. Prints nothing.
//
// Choice: the decoders above end a name at a zero unit and at
// NAME_MAX_CHARS, as the listings print it; a record of the hive's contents
// keeps every unit, since a name that hides text behind a zero unit is itself
// worth seeing.
[[nodiscard]] bool AppendWholeKeyName(const HiveImage& image, Cell key, std::u16string* out,
                                      std::vector<uint8_t>* scratch);
[[nodiscard]] bool AppendWholeValueName(const HiveImage& image, Cell value, std::u16string* out,
                                        std::vector<uint8_t>* scratch);

}  // namespace keyscout
