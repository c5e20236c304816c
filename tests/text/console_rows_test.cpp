// The paths a listing row takes through the console: text larger than the
// buffer, eight-digit numbers across flushes, and the one-call row. (The
// narrowing itself, position by position, is narrowing_test.cpp's.)
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/string_sink.h"
#include "text/console.h"

namespace keyscout {
namespace {

// The output rule, one unit at a time: stop at a zero unit, "?" above U+00FF.
std::string Expected(const std::u16string& text) {
  std::string out;
  for (char16_t unit : text) {
    if (unit == 0) break;
    out.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
  }
  return out;
}

// Wide text from an exact-size heap block, so a read past its end is caught
// by the sanitizer build.
std::string Narrowed(const std::u16string& text, size_t capacity = 1 << 18) {
  const std::unique_ptr<char16_t[]> exact(new char16_t[text.size()]);
  std::copy(text.begin(), text.end(), exact.get());
  test::StringSink sink;
  {
    Console out(sink, capacity);
    out.Wide(std::u16string_view(exact.get(), text.size()));
    out.Ascii("|");
  }
  return sink.text;
}

TEST(ConsoleRowsTest, TextLargerThanTheBufferKeepsItsOrder) {
  std::u16string text;
  for (int i = 0; i < 1000; ++i) text.push_back(static_cast<char16_t>(i % 3 == 0 ? u'\u4E2D' : u'A' + i % 26));
  EXPECT_EQ(Narrowed(text, 64), Expected(text) + "|");

  test::StringSink sink;
  {
    Console out(sink, 64);
    out.Ascii("head ");
    out.Ascii(std::string(200, 'z'));  // written through, after what is buffered
    out.Wide(u" tail");
  }
  EXPECT_EQ(sink.text, "head " + std::string(200, 'z') + " tail");
}

TEST(ConsoleRowsTest, EightDigitNumbersAcrossFlushes) {
  test::StringSink sink;
  {
    Console out(sink, 64);  // every few numbers the buffer fills
    for (uint32_t value : {0u, 0x1A2B3C4Du, 0xFFFFFFFFu, 0x000000F0u, 0x80000000u}) {
      for (int i = 0; i < 10; ++i) out.Hex(value, 8);
    }
  }
  std::string expected;
  for (const char* text : {"00000000", "1A2B3C4D", "FFFFFFFF", "000000F0", "80000000"}) {
    for (int i = 0; i < 10; ++i) expected += text;
  }
  EXPECT_EQ(sink.text, expected);
}

TEST(ConsoleRowsTest, IndexRowWritesWhatItsFourPartsWrite) {
  const std::u16string names[] = {u"", u"k", u"Key0000123", std::u16string(u"ab\0c\r\nd", 7),
                                  u"caf\u00E9\u4E2D long name"};
  test::StringSink rows;
  test::StringSink parts;
  {
    Console by_row(rows, 64);  // small, so that rows meet full buffers
    Console by_part(parts, 1 << 16);
    for (uint32_t i = 0; i < 40; ++i) {
      const std::u16string& name = names[i % 5];
      const std::string columns = i % 2 == 0 ? "\t" : "\tREG_SZ  \t";
      by_row.IndexRow(0x1000u * i + 0x20, columns, name);
      by_part.Hex(0x1000u * i + 0x20, 8);
      by_part.Ascii(columns);
      by_part.HiveText(name);
      by_part.Ascii("\n");
    }
  }
  EXPECT_EQ(rows.text, parts.text);
}

}  // namespace
}  // namespace keyscout
