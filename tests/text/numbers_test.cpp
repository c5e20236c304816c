#include "text/numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/string_sink.h"
#include "text/console.h"

namespace keyscout {
namespace {

std::string Hex(uint64_t value, int width) {
  char digits[NUMBER_DIGITS_MOST];
  return std::string(digits, PutHex(value, width, digits));
}

std::string Decimal(uint64_t value) {
  char digits[NUMBER_DIGITS_MOST];
  return std::string(digits, PutDecimal(value, digits));
}

TEST(NumbersTest, HexIsPaddedToTheWidthAndNeverCutToIt) {
  EXPECT_EQ(Hex(0, 0), "0");
  EXPECT_EQ(Hex(0, 2), "00");
  EXPECT_EQ(Hex(0xC, 2), "0C");
  EXPECT_EQ(Hex(0xABC, 0), "ABC");  // an odd count of digits
  EXPECT_EQ(Hex(0x1FF, 2), "1FF");
  EXPECT_EQ(Hex(0xFFFFFFFF, 8), "FFFFFFFF");
  EXPECT_EQ(Hex(0x100000000, 8), "100000000");
  EXPECT_EQ(Hex(0x20, 16), "0000000000000020");
  EXPECT_EQ(Hex(UINT64_MAX, 2), "FFFFFFFFFFFFFFFF");
  char row[8];
  PutHex8(0x00A1B2C3, row);
  EXPECT_EQ(std::string(row, 8), "00A1B2C3");
}

TEST(NumbersTest, DecimalFromZeroToTheLargest64BitNumber) {
  EXPECT_EQ(Decimal(0), "0");
  EXPECT_EQ(Decimal(9), "9");
  EXPECT_EQ(Decimal(10), "10");
  EXPECT_EQ(Decimal(UINT64_MAX), "18446744073709551615");
  EXPECT_EQ(DecimalText(4294967296), u"4294967296");
  std::u16string sid = u"S-";
  AppendDecimal(1, &sid);
  EXPECT_EQ(sid, u"S-1");
  EXPECT_EQ(HexText(0x20, 4), u"0020");
}

TEST(NumbersTest, SignedDecimalAndLowerCaseBytes) {
  char out[NUMBER_DIGITS_MOST + 1];
  EXPECT_EQ(std::string(out, PutSignedDecimal(INT64_MIN, out)), "-9223372036854775808");
  EXPECT_EQ(std::string(out, PutSignedDecimal(-1, out)), "-1");
  EXPECT_EQ(std::string(out, PutSignedDecimal(99, out)), "99");
  const uint8_t bytes[] = {0x00, 0x9F, 0xFF};
  PutLowerHex(bytes, 3, out);
  EXPECT_EQ(std::string(out, 6), "009fff");
}

TEST(NumbersTest, TheConsoleFormatterTakes64BitNumbers) {
  test::StringSink sink;
  {
    Console out(sink);
    out.Format(u"%u %08X %02X", {UINT64_MAX, uint64_t{0x123456789}, uint8_t{7}});
  }
  EXPECT_EQ(sink.text, "18446744073709551615 123456789 07");
}

}  // namespace
}  // namespace keyscout
