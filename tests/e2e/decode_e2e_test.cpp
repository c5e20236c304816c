// -d (a value's data decoded by its type) and -u (the key's unnamed value)
// through the real entry point, to the byte.
#include <gtest/gtest.h>

#include "support/hive_builder.h"
#include "support/run_tool.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::TreeKey;
using test::TreeValue;
using test::Utf16Le;

Bytes Le(std::initializer_list<uint8_t> bytes) { return Bytes(bytes); }

Bytes Text(std::u16string_view text) { return Utf16Le(std::u16string(text)); }

Bytes WithOddByte(Bytes bytes) {
  bytes.push_back('!');
  return bytes;
}

// The unnamed text of the "Big" key: 10,000 units in big data, so that it is
// decoded in more than one part, with a control character on each side of
// the first part's end. Its -d block comes before the dump file's lines.
std::u16string BigText() {
  std::u16string text(10000, u'x');
  text[8191] = u'\t';
  text[8192] = u'\n';
  return text;
}

const Bytes& Hive() {
  static const Bytes hive = [] {
    TreeKey values{.name = u"Values"};
    values.values = {
        {u"Sz", 1, Text(std::u16string_view(u"C:\\dir\0tail", 11))},
        {u"Ctl", 2, Text(u"a\tb\x1F \u00E9\u0416")},
        {u"Link", 6, WithOddByte(Text(u"\\Registry"))},
        {u"Empty", 1, {}},
        {u"Multi", 7, Text(std::u16string_view(u"one\0two", 7))},
        {u"Ended", 7, Text(std::u16string_view(u"a\0\0b\0\0", 6))},
        {u"Dword", 4, Le({0x2A, 0, 0, 0x80})},
        {u"Short", 4, Le({1, 2, 3})},
        {u"Be", 5, Le({0, 0, 1, 2})},
        {u"Qword", 11, Le({8, 7, 6, 5, 4, 3, 2, 1})},
        {u"Qword9", 11, Le({1, 0, 0, 0, 0, 0, 0, 0, 0})},
        {u"Bin", 3, Le({1, 2, 3, 4, 5})},
    };
    TreeKey small{.name = u"Small"};
    small.values = {{u"First", 4, Le({1, 0, 0, 0})}, {u"", 4, Le({7, 0, 0, 0})}, {u"", 4, Le({9, 0, 0, 0})}};
    TreeKey big{.name = u"Big"};
    big.values = {{u"", 1, Utf16Le(BigText())}};
    TreeKey root{.name = u"ROOT"};
    root.children = {big, small, values};
    return test::BuildHive(root);
  }();
  return hive;
}

// What follows the hex dump of `-k key` and `args`: everything from the -d
// block's title on, or "" when there is none.
std::string AfterDump(const std::string& key, std::vector<std::string> args, int code = 0) {
  args.insert(args.begin(), {"-f", "h", "-k", key});
  const test::RunResult r = test::RunWith(Hive(), args);
  EXPECT_EQ(r.code, code) << r.out;
  const size_t title = r.out.find("Value data : \n");
  return title == std::string::npos ? "" : r.out.substr(title);
}

std::string Decoded(const std::string& value) { return AfterDump("Values", {"-v", value, "-d"}); }

TEST(DecodedDataTest, TextsEndAtAZeroUnitAndShowControlCharactersAsEscapes) {
  EXPECT_EQ(Decoded("Sz"), "Value data : \n\tC:\\dir\n");
  EXPECT_EQ(Decoded("Ctl"), "Value data : \n\ta\\x09b\\x1F \xE9?\n");
  EXPECT_EQ(Decoded("Link"), "Value data : \n\t\\Registry\n");
  EXPECT_EQ(Decoded("Empty"), "Value data : \n\t\n");
}

TEST(DecodedDataTest, ListsEndAtTheirFirstEmptyStringOrTheData) {
  EXPECT_EQ(Decoded("Multi"), "Value data : \n\tone\n\ttwo\n");
  EXPECT_EQ(Decoded("Ended"), "Value data : \n\ta\n");
}

TEST(DecodedDataTest, NumbersByTheirTypeAndLength) {
  EXPECT_EQ(Decoded("Dword"), "Value data : \n\t2147483690 (0x8000002A)\n");
  EXPECT_EQ(Decoded("Be"), "Value data : \n\t258 (0x00000102)\n");
  EXPECT_EQ(Decoded("Qword"), "Value data : \n\t72623859790382856 (0x0102030405060708)\n");
  EXPECT_EQ(Decoded("Short"), "Value data : \n\t(length does not fit the type)\n");
  EXPECT_EQ(Decoded("Qword9"), "Value data : \n\t(length does not fit the type)\n");
}

TEST(DecodedDataTest, OtherTypesAndRunsWithoutDecodeGetNoBlock) {
  EXPECT_EQ(Decoded("Bin"), "");
  EXPECT_EQ(AfterDump("Values", {"-v", "Dword"}), "");
}

TEST(UnnamedValueTest, TheFirstUnnamedValueResidentAndVWinsOverU) {
  const test::RunResult r = test::RunWith(Hive(), {"-f", "h", "-k", "Small", "-u", "-d"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, test::Preamble("Small") +
                       "=====================\n"
                       "Value name   = (unnamed)\nValue length = 00000004\nValue type   = REG_DWORD\n"
                       "Value hex data : \n-----------------\n"
                       "00    07 00 00 00             -                           ....                        \n"
                       "Value data : \n\t7 (0x00000007)\n");
  EXPECT_NE(test::RunWith(Hive(), {"-f", "h", "-k", "Small", "-u", "-v", "first"}).out.find("Value name   = first\n"),
            std::string::npos);
}

TEST(UnnamedValueTest, InBigDataItIsDumpedAndDecodedWhole) {
  const std::string path = test::TempDir() + "/unnamed.bin";
  std::string line;
  for (const char16_t unit : BigText()) line += unit == u'\t' ? "\\x09" : unit == u'\n' ? "\\x0A" : "x";
  EXPECT_EQ(AfterDump("Big", {"-u", "-d", "-w", path}),
            "Value data : \n\t" + line + "\nStart dump value [(unnamed)] to file [" + path +
                "] : \nDump file succeed.\n");
  EXPECT_EQ(test::ReadFile(path), Utf16Le(BigText()));
}

TEST(UnnamedValueTest, AKeyWithoutOne) {
  const test::RunResult r = test::RunWith(Hive(), {"-f", "h", "-k", "Values", "-u", "-d"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, test::Preamble("Values") + "=====================\nCannot find the value. ((unnamed))\n");
}

}  // namespace
}  // namespace keyscout
