// The text of a FILETIME: a count of 100-nanosecond intervals since
// 1601-01-01 00:00:00 UTC, as the hive stores its times.
#pragma once

#include <cstdint>
#include <string>

namespace keyscout {

// The calendar fields of a FILETIME, in UTC.
struct FileTimeFields {
  unsigned year;
  unsigned month;   // 1 to 12
  unsigned day;     // 1 to 31
  unsigned hour;
  unsigned minute;
  unsigned second;
  unsigned ticks;   // 100-nanosecond intervals within the second
};

// The last year a time is written as a date; later ones are written as
// their number.
inline constexpr unsigned FILETIME_LAST_YEAR_SHOWN = 9999;

// Splits `filetime` into its calendar fields (the proleptic Gregorian
// calendar). False, with `fields` untouched, for a time after the year
// FILETIME_LAST_YEAR_SHOWN.
bool SplitFileTime(uint64_t filetime, FileTimeFields* fields);

// "YYYY-MM-DD hh:mm:ss.fffffff UTC" for a time in the years 1601 to 9999,
// with the seven digits of the 100-nanosecond intervals; for a later time,
// "0x" and the 16 upper-case hexadecimal digits of `filetime`. Prints nothing.
std::string FormatFileTime(uint64_t filetime);

}  // namespace keyscout
