#include "text/record_time.h"

#include "text/numbers.h"

namespace keyscout {

namespace {

constexpr uint64_t TICKS_PER_SECOND = 10000000;
constexpr uint64_t TICKS_PER_MICROSECOND = 10;
// FILETIME of 1970-01-01 00:00:00 UTC.
constexpr uint64_t UNIX_EPOCH_TICKS = 116444736000000000;

// `value` as `digits` decimal digits, zero-padded.
char* PutDigits(unsigned value, int digits, char* out) {
  for (int i = digits - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + digits;
}

// "YYYY-MM-DDThh:mm:ss." of `t`.
char* PutDateAndTime(const FileTimeFields& t, char* out) {
  out = PutDigits(t.year, 4, out);
  *out++ = '-';
  out = PutDigits(t.month, 2, out);
  *out++ = '-';
  out = PutDigits(t.day, 2, out);
  *out++ = 'T';
  out = PutDigits(t.hour, 2, out);
  *out++ = ':';
  out = PutDigits(t.minute, 2, out);
  *out++ = ':';
  out = PutDigits(t.second, 2, out);
  *out++ = '.';
  return out;
}

}  // namespace

RecordTime MakeRecordTime(uint64_t filetime) {
  RecordTime time;
  time.filetime = filetime;
  time.dated = SplitFileTime(filetime, &time.fields);
  return time;
}

size_t PutIsoTime(const RecordTime& time, char* out) {
  if (!time.dated) {
    out[0] = '0';
    out[1] = 'x';
    PutHex8(static_cast<uint32_t>(time.filetime >> 32), out + 2);
    PutHex8(static_cast<uint32_t>(time.filetime), out + 10);
    return 18;
  }
  char* end = PutDigits(time.fields.ticks, 7, PutDateAndTime(time.fields, out));
  *end++ = 'Z';
  return static_cast<size_t>(end - out);
}

size_t PutTimesketchTime(const RecordTime& time, char* out) {
  if (!time.dated) return 0;
  char* end = PutDigits(time.fields.ticks / TICKS_PER_MICROSECOND, 6, PutDateAndTime(time.fields, out));
  for (const char c : {'+', '0', '0', ':', '0', '0'}) *end++ = c;
  return static_cast<size_t>(end - out);
}

int64_t FileTimeToUnixMicroseconds(uint64_t filetime) {
  return static_cast<int64_t>(filetime / TICKS_PER_MICROSECOND) -
         static_cast<int64_t>(UNIX_EPOCH_TICKS / TICKS_PER_MICROSECOND);
}

uint64_t FileTimeToUnixSeconds(uint64_t filetime) {
  return filetime < UNIX_EPOCH_TICKS ? 0 : (filetime - UNIX_EPOCH_TICKS) / TICKS_PER_SECOND;
}

}  // namespace keyscout
