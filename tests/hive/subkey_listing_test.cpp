#include "hive/subkey_listing.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;
using test::NO_CELL;

std::string Listing(const Bytes& bytes, uint32_t key) {
  StringSink sink;
  {
    Console out(sink);
    ListSubkeys(HiveImage(bytes.data(), bytes.size()), Cell{key}, out);
  }
  return sink.text;
}

std::string Rows(const std::string& rows, unsigned count) {
  return "Subkeys information:\nHCELL_INDEX\tKey name\n" + rows + "----------------\nSubkey count : " +
         std::to_string(count) + "\n";
}

std::string Row(uint32_t index, const std::string& name) {
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
  const std::string stable_rows = Row(c, "Charlie") + Row(a, "alpha");
  EXPECT_EQ(Listing(bytes, both), Rows(stable_rows + Row(v, "Vol\xE9?"), 3));
  EXPECT_EQ(Listing(bytes, stable_only), Rows(stable_rows, 2));
  EXPECT_EQ(Listing(bytes, volatile_only), Rows("", 0)) << "a zero stable count ends the walk";
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
  EXPECT_EQ(Listing(bytes, key),
            Rows(Row(k[0], "A") + Row(k[1], "B") + Row(k[2], "C") + Row(k[3], "D") + Row(k[4], "E"), 5));
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
  EXPECT_EQ(Listing(bytes, bad_sig), Rows("", 0));
  EXPECT_EQ(Listing(bytes, no_list), Rows("", 0));
  EXPECT_EQ(Listing(bytes, cut), Rows(Row(a, "A"), 1));
  EXPECT_EQ(Listing(bytes, free_list), Rows("", 0));
  EXPECT_EQ(Listing(bytes, 0x7FFFFF00u), Rows("", 0));
}

TEST(ListSubkeysTest, SubkeyAt1A0NamedSelect) {
  HiveBuilder b;
  b.MoveTo(0x1A0);
  const uint32_t select = b.Key(KeySpec{.name = u"Select"});
  ASSERT_EQ(select, 0x1A0u);
  const uint32_t key = b.Key(KeySpec{.name = u"R", .stable_count = 1, .stable_list = b.LeafList("lf", {select})});
  EXPECT_EQ(Listing(b.Finish(), key), Rows("000001A0\tSelect\n", 1));
}

int CountUntil(void* context, Cell, const char16_t*, size_t) {
  int* left = static_cast<int*>(context);
  return --*left > 0 ? WALK_CONTINUE : WALK_STOP;
}

TEST(WalkSubkeysTest, VisitorCanStopTheWalk) {
  HiveBuilder b;
  std::vector<uint32_t> k;
  for (const char16_t* name : {u"A", u"B", u"C"}) k.push_back(b.Key(KeySpec{.name = name}));
  const uint32_t key = b.Key(KeySpec{.name = u"K", .stable_count = 3, .stable_list = b.LeafList("lh", k)});
  const Bytes bytes = b.Finish();
  int left = 2;
  EXPECT_FALSE(WalkSubkeys(HiveImage(bytes.data(), bytes.size()), Cell{key}, CountUntil, &left));
  EXPECT_EQ(left, 0);
  left = 10;
  EXPECT_TRUE(WalkSubkeys(HiveImage(bytes.data(), bytes.size()), Cell{key}, CountUntil, &left) == false);
  EXPECT_EQ(left, 7) << "stable list walked in full, then the zero volatile count ends the walk";
}

}  // namespace
}  // namespace keyscout
