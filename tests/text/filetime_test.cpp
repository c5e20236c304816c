#include "text/filetime.h"

#include <gtest/gtest.h>

namespace keyscout {
namespace {

TEST(FileTimeTest, DatesFromTheEpochToTheLastMomentOfYear9999) {
  EXPECT_EQ(FormatFileTime(0), "1601-01-01 00:00:00.0000000 UTC");
  EXPECT_EQ(FormatFileTime(1), "1601-01-01 00:00:00.0000001 UTC");
  EXPECT_EQ(FormatFileTime(0x019DB1DED53E8000), "1970-01-01 00:00:00.0000000 UTC");
  EXPECT_EQ(FormatFileTime(0x01D34268A4B50307), "2017-10-11 08:12:13.1234567 UTC");
  EXPECT_EQ(FormatFileTime(0x24C85A5ED1C03FFF), "9999-12-31 23:59:59.9999999 UTC");
}

TEST(FileTimeTest, LeapDaysOfTheGregorianCalendar) {
  EXPECT_EQ(FormatFileTime(0x01BF82B162646E87), "2000-02-29 12:34:56.1234567 UTC");
  // 2100 is not a leap year: 28 February is followed by 1 March.
  EXPECT_EQ(FormatFileTime(0x022F9FC03DC33FFF), "2100-02-28 23:59:59.9999999 UTC");
  EXPECT_EQ(FormatFileTime(0x022F9FC03DC34000), "2100-03-01 00:00:00.0000000 UTC");
}

TEST(FileTimeTest, YearsPast9999AsTheStoredNumber) {
  EXPECT_EQ(FormatFileTime(0x24C85A5ED1C04000), "0x24C85A5ED1C04000");
  EXPECT_EQ(FormatFileTime(0xFFFFFFFFFFFFFFFF), "0xFFFFFFFFFFFFFFFF");
}

}  // namespace
}  // namespace keyscout
