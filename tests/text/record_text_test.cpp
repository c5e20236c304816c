#include "text/record_text.h"

#include <gtest/gtest.h>

#include <string>

#include "text/record_time.h"

namespace keyscout {
namespace {

// `parts` escaped one after the other, as one text.
std::string Escaped(TextStyle style, std::initializer_list<std::u16string_view> parts) {
  std::string out;
  char16_t pending = 0;
  for (const std::u16string_view part : parts) {
    std::string room(ESCAPED_UNIT_MOST * (part.size() + 1), '\0');
    room.resize(EscapeUnits(style, part, &pending, room.data()));
    out += room;
  }
  char end[ESCAPED_UNIT_MOST];
  out.append(end, EscapeEnd(style, &pending, end));
  return out;
}

TEST(EscapeUnitsTest, JsonKeepsEveryUnitAndEscapesWhatItMust) {
  // Long enough runs that the eight-unit steps meet each special unit in
  // every position.
  EXPECT_EQ(Escaped(TextStyle::kJson, {u"abcdefgh\"ijklmnop\\qrstuvw\x01xyz"}),
            "abcdefgh\\\"ijklmnop\\\\qrstuvw\\u0001xyz");
  EXPECT_EQ(Escaped(TextStyle::kJson, {u"\x7F\x85\xA0\xFF|"}), "\\u007f\\u0085\xC2\xA0\xC3\xBF|");
  EXPECT_EQ(Escaped(TextStyle::kJson, {u"\x1b\n\t"}), "\\u001b\\u000a\\u0009");
  // A pair, a pair cut between two parts, and unpaired units, the last at
  // the very end.
  EXPECT_EQ(Escaped(TextStyle::kJson, {u"\xD83D\xDE00", u"x\xD83D", u"\xDE00\xDC00y\xD800", u"z\xDBFF"}),
            "\xF0\x9F\x98\x80x\xF0\x9F\x98\x80\\udc00y\\ud800z\\udbff");
  EXPECT_EQ(Escaped(TextStyle::kJson, {u"\x0100\x0800\xFFFF"}), "\xC4\x80\xE0\xA0\x80\xEF\xBF\xBF");
}

TEST(EscapeUnitsTest, CsvDoublesQuotesAndBodyfileHidesItsSeparators) {
  EXPECT_EQ(Escaped(TextStyle::kCsv, {u"a\"b,c\n\\|\x01"}), "a\"\"b,c\n\\|\x01");
  EXPECT_EQ(Escaped(TextStyle::kBodyfile, {u"a|b\nc\rd\"\\\x01"}), "a\\x7Cb\\x0Ac\\x0Dd\"\\\x01");
  // UTF-8 cannot carry an unpaired surrogate: U+FFFD stands for it.
  EXPECT_EQ(Escaped(TextStyle::kCsv, {u"\xDC00", u"\xD800"}), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Escaped(TextStyle::kBodyfile, {u"\xD800x"}), "\xEF\xBF\xBDx");
}

std::string Iso(uint64_t filetime) {
  char out[RECORD_TIME_MOST];
  return std::string(out, PutIsoTime(MakeRecordTime(filetime), out));
}

std::string Timesketch(uint64_t filetime) {
  char out[RECORD_TIME_MOST];
  return std::string(out, PutTimesketchTime(MakeRecordTime(filetime), out));
}

constexpr uint64_t UNIX_EPOCH = 116444736000000000;
// The last 100 nanoseconds of the year 9999.
constexpr uint64_t LAST_SHOWN = 2650467743999999999;

TEST(RecordTimeTest, IsoTimesKeepEveryDigitAndTheCalendarsEdges) {
  EXPECT_EQ(Iso(0), "1601-01-01T00:00:00.0000000Z");
  EXPECT_EQ(Iso(UNIX_EPOCH + 951782400ull * 10000000 + 9), "2000-02-29T00:00:00.0000009Z");
  EXPECT_EQ(Iso(LAST_SHOWN), "9999-12-31T23:59:59.9999999Z");
  EXPECT_EQ(Iso(LAST_SHOWN + 1), "0x24C85A5ED1C04000");
  EXPECT_EQ(Timesketch(LAST_SHOWN), "9999-12-31T23:59:59.999999+00:00");
  EXPECT_EQ(Timesketch(LAST_SHOWN + 1), "");
  EXPECT_EQ(Timesketch(UNIX_EPOCH - 1), "1969-12-31T23:59:59.999999+00:00");
}

TEST(RecordTimeTest, UnixTimesRoundDownAndABodyfileHasNoTimeBefore1970) {
  EXPECT_EQ(FileTimeToUnixMicroseconds(UNIX_EPOCH), 0);
  EXPECT_EQ(FileTimeToUnixMicroseconds(UNIX_EPOCH - 1), -1);
  EXPECT_EQ(FileTimeToUnixMicroseconds(0), -11644473600000000);
  EXPECT_EQ(FileTimeToUnixSeconds(UNIX_EPOCH - 1), 0u);
  EXPECT_EQ(FileTimeToUnixSeconds(UNIX_EPOCH + 19999999), 1u);
  EXPECT_EQ(FileTimeToUnixSeconds(0), 0u);
}

}  // namespace
}  // namespace keyscout
