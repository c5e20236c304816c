#include "app/listings.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/hive_builder.h"
#include "support/string_sink.h"
#include "support/value_hive.h"

namespace keyscout {
namespace {

using test::Finish;
using test::Footer;
using test::HEADER;
using test::KeyWithValues;
using test::Listing;
using test::Named;
using test::Row;

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;
using test::NO_CELL;

std::string SubkeyListing(const Bytes& bytes, uint32_t key) {
  test::StringSink sink;
  {
    Console out(sink);
    ListSubkeys(HiveImage(bytes.data(), bytes.size()), Cell{key}, out);
  }
  return sink.text;
}

std::string SubkeyRows(const std::string& rows, unsigned count) {
  return "Subkeys information:\nHCELL_INDEX\tKey name\n" + rows + "----------------\nSubkey count : " +
         std::to_string(count) + "\n";
}

std::string SubkeyRow(uint32_t index, const std::string& name) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", index);
  return std::string(hex) + "\t" + name + "\n";
}

TEST(ListSubkeysTest, RowsInEntryOrderThenTheVolatileListWhenBothCountsAreSet) {
  HiveBuilder b;
  const uint32_t c = b.Key(KeySpec{.name = u"Charlie"});
  const uint32_t a = b.Key(KeySpec{.name = u"alpha"});
  const uint32_t unnamed = b.Key(KeySpec{.name = u"", .name_length = 0});
  const uint32_t v = b.Key(KeySpec{.name = u"Vol\u00E9\u0100"});
  const uint32_t stable = b.LeafList("lh", {c, unnamed, a});
  const uint32_t vol = b.LeafList("lf", {v});
  const uint32_t both = b.Key(KeySpec{.name = u"K", .stable_count = 3, .volatile_count = 1,
                                      .stable_list = stable, .volatile_list = vol});
  const uint32_t stable_only = b.Key(KeySpec{.name = u"K", .stable_count = 3, .stable_list = stable,
                                             .volatile_list = vol});
  const uint32_t volatile_only = b.Key(KeySpec{.name = u"K", .volatile_count = 1, .stable_list = stable,
                                               .volatile_list = vol});
  const Bytes bytes = b.Finish();
  const std::string stable_rows = SubkeyRow(c, "Charlie") + SubkeyRow(a, "alpha");
  EXPECT_EQ(SubkeyListing(bytes, both), SubkeyRows(stable_rows + SubkeyRow(v, "Vol\xE9?"), 3));
  EXPECT_EQ(SubkeyListing(bytes, stable_only), SubkeyRows(stable_rows, 2));
  EXPECT_EQ(SubkeyListing(bytes, volatile_only), SubkeyRows("", 0)) << "a zero stable count ends the walk";
}

TEST(ListSubkeysTest, IndexRootOverLeavesOfEveryFormSkippingUnknownOnes) {
  HiveBuilder b;
  std::vector<uint32_t> k;
  for (const char16_t* name : {u"A", u"B", u"C", u"D", u"E"}) k.push_back(b.Key(KeySpec{.name = name}));
  const uint32_t unknown = b.AddCell({'x', 'x', 2, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  const uint32_t ri = b.IndexRoot({b.LeafList("lh", {k[0], k[1]}), b.LeafList("lh", {}), unknown,
                                   b.LeafList("li", {k[2], k[3]}), b.LeafList("lf", {k[4]})});
  const uint32_t key = b.Key(KeySpec{.name = u"K", .stable_count = 5, .stable_list = ri});
  const Bytes bytes = b.Finish();
  EXPECT_EQ(SubkeyListing(bytes, key),
            SubkeyRows(SubkeyRow(k[0], "A") + SubkeyRow(k[1], "B") + SubkeyRow(k[2], "C") + SubkeyRow(k[3], "D") + SubkeyRow(k[4], "E"), 5));
}

TEST(ListSubkeysTest, StopsLeaveTheRowsAlreadyPrintedAndTheFooter) {
  HiveBuilder b;
  const uint32_t a = b.Key(KeySpec{.name = u"A"});
  const uint32_t li_bad = b.AddCell({'z', 'z', 1, 0, 0, 0, 0, 0});
  const uint32_t bad_sig = b.Key(KeySpec{.name = u"K", .stable_count = 1, .stable_list = li_bad});
  const uint32_t no_list = b.Key(KeySpec{.name = u"K", .stable_count = 1, .stable_list = NO_CELL});
  // A list whose second entry points far outside the file.
  const uint32_t outside = b.LeafList("lh", {a, 0x7FFFFF00u, a});
  const uint32_t cut = b.Key(KeySpec{.name = u"K", .stable_count = 3, .stable_list = outside});
  const uint32_t free_list = b.Key(KeySpec{.name = u"K", .stable_count = 1, .stable_list = a});
  Bytes bytes = b.Finish();
  b.PatchCellU32(a, 0, 0x60);  // "a" is now a free cell: fine as a subkey, not as a list
  bytes = b.Finish();
  EXPECT_EQ(SubkeyListing(bytes, bad_sig), SubkeyRows("", 0));
  EXPECT_EQ(SubkeyListing(bytes, no_list), SubkeyRows("", 0));
  EXPECT_EQ(SubkeyListing(bytes, cut), SubkeyRows(SubkeyRow(a, "A"), 1));
  EXPECT_EQ(SubkeyListing(bytes, free_list), SubkeyRows("", 0));
  EXPECT_EQ(SubkeyListing(bytes, 0x7FFFFF00u), SubkeyRows("", 0));
}

TEST(ListSubkeysTest, SubkeyAt1A0NamedSelect) {
  HiveBuilder b;
  b.MoveTo(0x1A0);
  const uint32_t select = b.Key(KeySpec{.name = u"Select"});
  ASSERT_EQ(select, 0x1A0u);
  const uint32_t key = b.Key(KeySpec{.name = u"R", .stable_count = 1, .stable_list = b.LeafList("lf", {select})});
  EXPECT_EQ(SubkeyListing(b.Finish(), key), SubkeyRows("000001A0\tSelect\n", 1));
}

TEST(ListValuesTest, RowsSkipTheUnnamedValueAndCountOnlyRows) {
  HiveBuilder b;
  const uint32_t first = b.Value(Named(u"Start", 1));  // the first cell: HCELL_INDEX 0x20
  const uint32_t unnamed = b.Value(Named(u""));
  const uint32_t second = b.Value(Named(u"Type", 4));
  ASSERT_EQ(first, 0x20u);
  const KeyWithValues k = Finish(b, {first, unnamed, second});
  EXPECT_EQ(Listing(k), HEADER + std::string("00000020\tREG_SZ  \tStart\n") + Row(second, "REG_DWORD", "Type") +
                            Footer(2));
  EXPECT_EQ(test::Find(k, u"Type"), second);
  EXPECT_EQ(test::Find(k, u""), std::nullopt);  // the unnamed value is never a match
}

TEST(ListValuesTest, TypeColumnIsPaddedToEightAndLongerNamesPrintWhole) {
  HiveBuilder b;
  std::vector<uint32_t> values;
  for (uint32_t type : {0u, 1u, 5u, 11u, 12u, 0xFFFFFFFFu}) values.push_back(b.Value(Named(u"v", type)));
  const KeyWithValues k = Finish(b, values);
  std::string rows;
  const char* shown[] = {"REG_NONE", "REG_SZ  ", "REG_DWORD_BIG_ENDIAN", "REG_QWORD", "REG_NONE", "REG_NONE"};
  for (size_t i = 0; i < values.size(); ++i) rows += Row(values[i], shown[i], "v");
  EXPECT_EQ(Listing(k), HEADER + rows + Footer(6));
}

TEST(ListValuesTest, NoValuesMeansTheValueListIsNeverRead) {
  HiveBuilder b;
  test::KeySpec shape;
  shape.name = u"Key";
  shape.value_count = 0;
  shape.value_list = 0x7FFFFFF0;  // far past the file
  const uint32_t key = b.Key(shape);
  b.SetRoot(key);
  const KeyWithValues k{b.Finish(), key};
  EXPECT_EQ(Listing(k), HEADER + Footer(0));
  EXPECT_EQ(test::Find(k, u"x"), std::nullopt);
}

}  // namespace
}  // namespace keyscout
