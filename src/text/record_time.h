// A FILETIME as the records of an export write it: ISO 8601 to the
// 100 nanoseconds, Timesketch's date and time to the microsecond, and Unix
// times. Hand-written into a caller's buffer: an export writes one per key.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keyscout {

// The most bytes PutIsoFileTime and PutTimesketchTime write.
inline constexpr size_t RECORD_TIME_MOST = 32;

// "YYYY-MM-DDThh:mm:ss.fffffffZ" (28 bytes) for a time in the years 1601 to
// 9999, as exact as the stored time; for a later time "0x" and the 16
// upper-case hexadecimal digits of `filetime` (18 bytes), as the key
// information report writes it. Returns the bytes written.
size_t PutIsoFileTime(uint64_t filetime, char* out);

// "YYYY-MM-DDThh:mm:ss.ffffff+00:00" (32 bytes), the time cut to the
// microsecond; 0, with nothing written, for a time after the year 9999.
size_t PutTimesketchTime(uint64_t filetime, char* out);

// Microseconds since 1970-01-01 00:00:00 UTC, rounded down (negative before
// it).
int64_t FileTimeToUnixMicroseconds(uint64_t filetime);

// Seconds since 1970-01-01 00:00:00 UTC, rounded down; 0 for a time before.
uint64_t FileTimeToUnixSeconds(uint64_t filetime);

}  // namespace keyscout
