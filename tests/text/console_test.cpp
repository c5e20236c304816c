#include "text/console.h"

#include <gtest/gtest.h>

#include "support/string_sink.h"

namespace keyscout {
namespace {

std::string Render(void (*body)(Console&), size_t capacity = 1 << 18) {
  test::StringSink sink;
  {
    Console out(sink, capacity);
    body(out);
  }
  return sink.text;
}

TEST(ConsoleTest, WideTextKeepsLatin1BytesAndReplacesTheRest) {
  EXPECT_EQ(Render([](Console& out) { out.Wide(u"caf\u00E9 \u0100x\u00FF\u4E2D!"); }),
            "caf\xE9 ?x\xFF?!");
}

TEST(ConsoleTest, WideTextStopsAtFirstZeroUnit) {
  EXPECT_EQ(Render([](Console& out) { out.Wide(std::u16string_view(u"ab\0cd", 5)); }), "ab");
}

TEST(ConsoleTest, FormatsEveryConversionTheMessagesUse) {
  EXPECT_EQ(Render([](Console& out) {
              out.Format(u"[%08X|%02X|%u|%s|%-8s|%-8s|%%]",
                         {0x1A8u, 0xCu, 4294967295u, u"x\u00E9", u"REG_SZ", u"REG_DWORD"});
            }),
            "[000001A8|0C|4294967295|x\xE9|REG_SZ  |REG_DWORD|%]");
  EXPECT_EQ(Render([](Console& out) { out.Format(u"%08X %02X %u", {0u, 0x1FFu, 0u}); }), "00000000 1FF 0");
}

// Text from a hive has its control characters escaped, whether written alone
// or as a message argument, and -U turns every text into UTF-8; the
// program's own text and what the user typed are written as they are.
TEST(ConsoleTest, HiveTextIsEscapedAndUtf8IsTheOtherEncoding) {
  const auto lines = [](Console& out) {
    out.Format(u"%s|%s|%-8s\n", {u"t\x01\u00E9", FromHive{u"t\x01\u00E9\x9B\x7F"}, FromHive{u"\x1B["}});
    out.HiveText(std::u16string_view(u"a\0\U0001F600\xD800" u"b", 6));
  };
  EXPECT_EQ(Render(lines), "t\x01\xE9|t\\x01\xE9\\x9B\\x7F|\\x1B[      \na\\x00???b");
  EXPECT_EQ(Render([](Console& out) {
              out.SetEncoding(TextEncoding::kUtf8);
              out.Wide(u"caf\u00E9 \u4E2D\U0001F600\xDC00.");
              out.HiveText(std::u16string_view(u"\xD83D\x0A", 2));
            }),
            "caf\xC3\xA9 \xE4\xB8\xAD\xF0\x9F\x98\x80\xEF\xBF\xBD.\xEF\xBF\xBD\\x0A");
}

TEST(ConsoleTest, NarrowAndWideOutputKeepProgramOrderAcrossFlushes) {
  // A tiny buffer forces many flushes; the bytes must still come out in order.
  EXPECT_EQ(Render(
                [](Console& out) {
                  for (int i = 0; i < 50; ++i) {
                    out.Wide(u"w\u0101");
                    out.Ascii("n");
                  }
                  out.Ascii(std::string(200, 'z'));
                },
                64),
            [] {
              std::string s;
              for (int i = 0; i < 50; ++i) s += "w?n";
              return s + std::string(200, 'z');
            }());
}

}  // namespace
}  // namespace keyscout
