// The hex dump of the -v report: lines of 16 bytes with their offset, the
// bytes in hexadecimal and a column of printable characters.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/console.h"

namespace keyscout {

// Prints `count` bytes from `data` as full lines of 16 and one last line for
// the rest, which is printed also when nothing is left (then it is 82 spaces).
// Written as narrow bytes.
void PrintHexDump(const uint8_t* data, size_t count, Console& out);

}  // namespace keyscout
