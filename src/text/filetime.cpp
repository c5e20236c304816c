#include "text/filetime.h"

#include <cstdio>

#include "text/numbers.h"

namespace keyscout {

namespace {

constexpr uint64_t TICKS_PER_SECOND = 10000000;
constexpr uint64_t SECONDS_PER_DAY = 86400;
// Days from 0000-03-01 to 1601-01-01 in the proleptic Gregorian calendar:
// the civil date is worked out in years that begin in March, so that a leap
// day is the last day of its year.
constexpr uint64_t DAYS_MARCH_0000_TO_1601 = 584694;
constexpr uint64_t DAYS_PER_ERA = 146097;  // 400 years

struct CivilDate {
  uint64_t year;
  unsigned month;
  unsigned day;
};

// The date of a count of days since 0000-03-01 (the count of days algorithm
// of the proleptic Gregorian calendar, in unsigned arithmetic).
CivilDate DateOf(uint64_t days) {
  const uint64_t era = days / DAYS_PER_ERA;
  const uint64_t day_of_era = days % DAYS_PER_ERA;
  const uint64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / (DAYS_PER_ERA - 1)) / 365;
  const uint64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const uint64_t month_from_march = (5 * day_of_year + 2) / 153;
  const unsigned day = static_cast<unsigned>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  const unsigned month = static_cast<unsigned>(month_from_march < 10 ? month_from_march + 3 : month_from_march - 9);
  const uint64_t year = era * 400 + year_of_era + (month <= 2 ? 1 : 0);
  return {year, month, day};
}

}  // namespace

bool SplitFileTime(uint64_t filetime, FileTimeFields* fields) {
  const uint64_t seconds = filetime / TICKS_PER_SECOND;
  const CivilDate date = DateOf(seconds / SECONDS_PER_DAY + DAYS_MARCH_0000_TO_1601);
  if (date.year > FILETIME_LAST_YEAR_SHOWN) return false;
  const unsigned second_of_day = static_cast<unsigned>(seconds % SECONDS_PER_DAY);
  *fields = FileTimeFields{static_cast<unsigned>(date.year), date.month,          date.day,
                           second_of_day / 3600,             second_of_day / 60 % 60, second_of_day % 60,
                           static_cast<unsigned>(filetime % TICKS_PER_SECOND)};
  return true;
}

std::string FormatFileTime(uint64_t filetime) {
  FileTimeFields t{};
  if (!SplitFileTime(filetime, &t)) {
    char digits[NUMBER_DIGITS_MOST];
    return "0x" + std::string(digits, PutHex(filetime, 16, digits));
  }
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u.%07u UTC", t.year, t.month, t.day, t.hour,
                t.minute, t.second, t.ticks);
  return text;
}

}  // namespace keyscout
