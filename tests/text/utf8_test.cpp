#include "text/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace keyscout {
namespace {

TEST(CommandWordTest, ValidUtf8DecodesToUnits) {
  EXPECT_EQ(DecodeCommandWord("Caf\xC3\xA9"), u"Caf\u00E9");
  EXPECT_EQ(DecodeCommandWord("\xE4\xB8\xAD"), u"\u4E2D");
  EXPECT_EQ(DecodeCommandWord("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(CommandWordTest, InvalidBytesAreEscapedAndRoundTrip) {
  for (const std::string& raw : {std::string("a\xE9z"), std::string("\xC0\xAF"), std::string("\xED\xA0\x80"),
                                std::string("\xF0\x9F\x98"), std::string("\xFF\xFE"), std::string("x\x80")}) {
    const std::u16string units = DecodeCommandWord(raw);
    for (char16_t u : units) EXPECT_FALSE(u >= 0xD800 && u < 0xDC80) << "unexpected surrogate";
    EXPECT_EQ(EncodeFileName(units), raw);
  }
  EXPECT_EQ(DecodeCommandWord("a\xE9z"), std::u16string(u"a\xDCE9z"));
}

TEST(CommandWordTest, ValidTextRoundTrips) {
  for (const char* s : {"plain", "Caf\xC3\xA9/\xE4\xB8\xAD", "\xF0\x9F\x98\x80 x"}) {
    EXPECT_EQ(EncodeFileName(DecodeCommandWord(s)), s);
  }
}

}  // namespace
}  // namespace keyscout
