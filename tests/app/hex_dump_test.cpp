// The hex dump of the value report: lines of 16 bytes with their offset, the
// bytes and a column of the characters that show as themselves.
#include "app/hex_dump.h"

#include <gtest/gtest.h>

#include <string>

#include "support/hive_builder.h"
#include "support/string_sink.h"

namespace keyscout {
namespace {

using test::Bytes;

const std::string BLANK_LINE = std::string(82, ' ') + "\n";

std::string Dump(const Bytes& data) {
  test::StringSink sink;
  {
    Console out(sink);
    PrintHexDump(data.data(), data.size(), out);
  }
  return sink.text;
}

Bytes Range(uint8_t first, size_t count) {
  Bytes out(count);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(first + i);
  return out;
}

TEST(HexDumpTest, EmptyDataIsOneLineOfSpaces) { EXPECT_EQ(Dump({}), BLANK_LINE); }

TEST(HexDumpTest, SixteenBytesAreAFullLineThenSpaces) {
  const Bytes data{0x61, 0x00, 0x75, 0x00, 0x74, 0x00, 0x6F, 0x00, 0x63, 0x00, 0x68, 0x00, 0x65, 0x00, 0x63, 0x00};
  EXPECT_EQ(Dump(data), "00    61 00 75 00 74 00 6F 00 - 63 00 68 00 65 00 63 00   a.u.t.o.c.h.e.c.\n" + BLANK_LINE);
}

TEST(HexDumpTest, TwentyBytesEndWithAShortLine) {
  EXPECT_EQ(Dump(Range(0x30, 20)),
            "00    30 31 32 33 34 35 36 37 - 38 39 3A 3B 3C 3D 3E 3F   0123456789......\n"
            "10    40 41 42 43             -                           .ABC                        \n");
}

TEST(HexDumpTest, SixtyFourBytesAreFourLines) {
  EXPECT_EQ(Dump(Range(0x40, 64)),
            "00    40 41 42 43 44 45 46 47 - 48 49 4A 4B 4C 4D 4E 4F   .ABCDEFGHIJKLMNO\n"
            "10    50 51 52 53 54 55 56 57 - 58 59 5A 5B 5C 5D 5E 5F   PQRSTUVWXYZ.....\n"
            "20    60 61 62 63 64 65 66 67 - 68 69 6A 6B 6C 6D 6E 6F   .abcdefghijklmno\n"
            "30    70 71 72 73 74 75 76 77 - 78 79 7A 7B 7C 7D 7E 7F   pqrstuvwxyz.....\n" +
                BLANK_LINE);
}

TEST(HexDumpTest, LastLineLengthsAndWideOffsets) {
  for (size_t r = 1; r < 16; ++r) {
    const std::string text = Dump(Range(0, 16 + r));
    const size_t last = text.find('\n') + 1;
    EXPECT_EQ(last, 75u);
    EXPECT_EQ(text.size() - last, 90 - r + 1) << r;  // 90 - r characters and the line end
  }
  // Offsets are as wide as they need to be, never less than two digits.
  const std::string text = Dump(Bytes(0x105, 0x20));
  EXPECT_NE(text.find("\nF0    20 "), std::string::npos);
  EXPECT_NE(text.find("\n100    20 20 20 20 20    "), std::string::npos);
}

TEST(HexDumpTest, OnlyDigitsLettersAndSpaceShowAsThemselves) {
  const Bytes data{0x20, 0x21, 0x0A, 0x7E, 0xE9, 0x2F, 0x30, 0x39, 0x3A, 0x40, 0x41, 0x5A, 0x5B, 0x60, 0x61, 0x7A};
  const std::string text = Dump(data);
  EXPECT_EQ(text.substr(58, 17), " .....09..AZ..az\n");
}

}  // namespace
}  // namespace keyscout
