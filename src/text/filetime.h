// The text of a FILETIME: a count of 100-nanosecond intervals since
// 1601-01-01 00:00:00 UTC, as the hive stores its times.
#pragma once

#include <cstdint>
#include <string>

namespace keyscout {

// "YYYY-MM-DD hh:mm:ss.fffffff UTC" for a time in the years 1601 to 9999,
// with the seven digits of the 100-nanosecond intervals; for a later time,
// "0x" and the 16 upper-case hexadecimal digits of `filetime`. Prints nothing.
std::string FormatFileTime(uint64_t filetime);

}  // namespace keyscout
