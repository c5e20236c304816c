// The stored names of key nodes and value keys, decoded into fixed name
// buffers. Both are kept the same way: a length field that counts bytes, a
// flag that says whether the name is 8-bit, and the name's bytes.
#pragma once

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

}  // namespace keyscout
