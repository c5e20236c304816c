// The -i block of the real entry point, to the byte.
#include <gtest/gtest.h>

#include "hive/layout.h"
#include "support/hive_builder.h"
#include "support/run_tool.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;

constexpr uint64_t OCTOBER_2017 = 0x01D34268A4B50307;  // 2017-10-11 08:12:13.1234567
constexpr uint64_t YEAR_10000 = 0x24C85A5ED1C04000;    // the first moment of the year 10000

// ROOT (0x20) with two subkeys: Lsa (0x90), every named flag and one more,
// a class name, stored counts without lists, written at FILETIME 0; Future
// (0xE8), a 16-bit name and only an unnamed flag, written in the year 10000,
// with a class name longer than its cell. `dirty` sets the sequence numbers
// apart and the base block's time.
Bytes InfoHive(bool dirty) {
  HiveBuilder b;
  const uint32_t root = b.Key(KeySpec{.name = u"ROOT", .extra_flags = 0x0C, .stable_count = 2,
                                      .security = 0x1A28, .last_written = OCTOBER_2017});
  const uint32_t class_cell = b.AddCell(test::Utf16Le(u"Lsa\u00E9\u4E2D"));   // 0x78
  const uint32_t short_cell = b.AddCell(test::Utf16Le(u"Ab"));                 // 0x88
  const uint32_t lsa = b.Key(KeySpec{.name = u"Lsa", .extra_flags = 0x105F, .parent = root, .stable_count = 15,
                                     .volatile_count = 2, .value_count = 14, .security = 0x1A28,
                                     .class_name = class_cell, .class_length = 10});
  const uint32_t future = b.Key(KeySpec{.name = u"Future", .compressed = false, .extra_flags = 0x4000,
                                        .parent = root, .last_written = YEAR_10000, .class_name = short_cell,
                                        .class_length = 6});
  b.PatchCellU32(root, NK_STABLE_LIST, b.LeafList("lh", {future, lsa}));
  b.SetRoot(root);
  if (dirty) {
    b.SetSequence(4317, 4316);
    b.SetLastWritten(OCTOBER_2017);
  }
  return b.Finish();
}

const char* const HIVE_LINES_CLEAN =
    "Hive version    : 1.5\n"
    "Hive sequence   : 1 / 1 (clean)\n"
    "Hive written    : 1601-01-01 00:00:00.0000000 UTC\n";

TEST(InfoEndToEndTest, EveryNamedFlagAClassNameAndStoredCounts) {
  const test::RunResult r = test::RunWith(InfoHive(true), {"-f", "h", "-k", "lsa", "-i", "-l"});
  EXPECT_EQ(r.code, 0);
  // The counts are those stored: the listing that follows finds no subkey.
  EXPECT_EQ(r.out, test::Preamble("lsa") +
                       "=====================\n"
                       "Key information : \n"
                       "Last written    : 1601-01-01 00:00:00.0000000 UTC\n"
                       "Flags           : 107F (VOLATILE|HIVE_EXIT|HIVE_ENTRY|NO_DELETE|SYM_LINK|COMP_NAME|"
                       "PREDEF_HANDLE)\n"
                       "Class name      : Lsa\xE9?\n"
                       "Subkeys         : 15 (volatile 2)\n"
                       "Values          : 14\n"
                       "Security cell   : 00001A28\n"
                       "Parent cell     : 00000020\n"
                       "Hive version    : 1.5\n"
                       "Hive sequence   : 4317 / 4316 (dirty)\n"
                       "Hive written    : 2017-10-11 08:12:13.1234567 UTC\n"
                       "=====================\n"
                       "Subkeys information:\nHCELL_INDEX\tKey name\n----------------\nSubkey count : 0\n");
}

TEST(InfoEndToEndTest, ATimePastYear9999AndAnUnreadableClassName) {
  const test::RunResult r = test::RunWith(InfoHive(false), {"-f", "h", "-i", "-k", "FUTURE"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, test::Preamble("FUTURE") +
                       "=====================\n"
                       "Key information : \n"
                       "Last written    : 0x24C85A5ED1C04000\n"
                       "Flags           : 4000\n"
                       "Class name      : (unreadable)\n"
                       "Subkeys         : 0 (volatile 0)\n"
                       "Values          : 0\n"
                       "Security cell   : FFFFFFFF\n"
                       "Parent cell     : 00000020\n" +
                       HIVE_LINES_CLEAN);
}

TEST(InfoEndToEndTest, TheRootOfACleanHiveAndOfOneWithAWrongChecksum) {
  Bytes hive = InfoHive(false);
  const std::string block = test::Preamble() +
                            "=====================\n"
                            "Key information : \n"
                            "Last written    : 2017-10-11 08:12:13.1234567 UTC\n"
                            "Flags           : 002C (HIVE_ENTRY|NO_DELETE|COMP_NAME)\n"
                            "Class name      : \n"
                            "Subkeys         : 2 (volatile 0)\n"
                            "Values          : 0\n"
                            "Security cell   : 00001A28\n"
                            "Parent cell     : FFFFFFFF\n";
  EXPECT_EQ(test::RunWith(hive, {"-f", "h", "-i"}).out, block + HIVE_LINES_CLEAN);
  hive[BASE_CHECKSUM] ^= 1;
  const test::RunResult r = test::RunWith(hive, {"-f", "h", "-i"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, block +
                       "Hive version    : 1.5\n"
                       "Hive sequence   : 1 / 1 (dirty)\n"
                       "Hive written    : 1601-01-01 00:00:00.0000000 UTC\n");
}

// -i comes first whatever the order of the words: the listing, which would
// print an empty list for this cell, never runs.
TEST(InfoEndToEndTest, AKeyCellThatIsNoKeyNodeEndsTheRunBeforeTheOtherReports) {
  Bytes hive = InfoHive(false);
  // The root names the class name cell: a sound cell, but no "nk".
  hive[BASE_ROOT_CELL] = 0x78;
  const test::RunResult r = test::RunWith(hive, {"-f", "h", "-l", "-i", "-s"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, test::Preamble() + "=====================\nCannot find the key. (ROOT)\n");
}

}  // namespace
}  // namespace keyscout
