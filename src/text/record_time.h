// A FILETIME as the records of an export write it: ISO 8601 to the
// 100 nanoseconds, Timesketch's date and time to the microsecond, and Unix
// times. Hand-written into a caller's buffer: an export writes one per key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/filetime.h"

namespace keyscout {

// The most bytes PutIsoTime and PutTimesketchTime write.
inline constexpr size_t RECORD_TIME_MOST = 32;

// A FILETIME with its calendar fields, split once for every format a record
// writes it in.
struct RecordTime {
  uint64_t filetime = 0;
  // False for a time after the year 9999 (FILETIME_LAST_YEAR_SHOWN).
  bool dated = false;
  FileTimeFields fields{};
};

RecordTime MakeRecordTime(uint64_t filetime);

// "YYYY-MM-DDThh:mm:ss.fffffffZ" (28 bytes) for a dated time, as exact as
// the stored time; else "0x" and the 16 upper-case hexadecimal digits of the
// FILETIME (18 bytes), as the key information report writes it. Returns the
// bytes written.
size_t PutIsoTime(const RecordTime& time, char* out);

// "YYYY-MM-DDThh:mm:ss.ffffff+00:00" (32 bytes), the time cut to the
// microsecond; 0, with nothing written, for a time that is not dated.
size_t PutTimesketchTime(const RecordTime& time, char* out);

// Microseconds since 1970-01-01 00:00:00 UTC, rounded down (negative before
// it).
int64_t FileTimeToUnixMicroseconds(uint64_t filetime);

// Seconds since 1970-01-01 00:00:00 UTC, rounded down; 0 for a time before.
uint64_t FileTimeToUnixSeconds(uint64_t filetime);

}  // namespace keyscout
