#include "hive/values.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/hive_builder.h"
#include "support/value_hive.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::ValueSpec;
using test::Find;
using test::Finish;
using test::KeyWithValues;
using test::Named;

// The value cells the walk hands its visitor, in order.
std::vector<uint32_t> Walked(const KeyWithValues& k) {
  std::vector<uint32_t> cells;
  const bool complete = WalkValues(
      k.image(), Cell{k.key},
      [](const HiveImage&, Cell value, void* context) {
        static_cast<std::vector<uint32_t>*>(context)->push_back(value.index);
        return VISIT_CONTINUE;
      },
      &cells);
  EXPECT_TRUE(complete) << "only a visitor can cut the walk short";
  return cells;
}

TEST(WalkValuesTest, AFreeCellEndsTheWalkAndTheSearch) {
  HiveBuilder b;
  const uint32_t first = b.Value(Named(u"One"));
  const uint32_t free_cell = b.AddCell(Bytes(0x1C, 0));
  b.PatchCellU32(free_cell, 0, 0x20);  // size field positive: not allocated
  const uint32_t third = b.Value(Named(u"Three"));
  const KeyWithValues k = Finish(b, {first, free_cell, third});
  EXPECT_EQ(Walked(k), std::vector<uint32_t>{first});
  EXPECT_EQ(Find(k, u"Three"), std::nullopt);
  EXPECT_EQ(Find(k, u"one"), first);
}

TEST(WalkValuesTest, VisitorStopIsTheOnlyFalseResult) {
  HiveBuilder b;
  const uint32_t a = b.Value(Named(u"A"));
  const uint32_t c = b.Value(Named(u"C"));
  const KeyWithValues k = Finish(b, {a, c, 0x7FFFFFF0});  // the last entry points past the file
  struct Seen {
    std::vector<uint32_t> cells;
    size_t stop_after = 99;
  };
  auto record = [](const HiveImage&, Cell v, void* context) {
    Seen& seen = *static_cast<Seen*>(context);
    seen.cells.push_back(v.index);
    return seen.cells.size() >= seen.stop_after ? VISIT_STOP : VISIT_CONTINUE;
  };
  Seen all;
  EXPECT_TRUE(WalkValues(k.image(), Cell{k.key}, record, &all));
  EXPECT_EQ(all.cells, (std::vector<uint32_t>{a, c}));
  Seen one;
  one.stop_after = 1;
  EXPECT_FALSE(WalkValues(k.image(), Cell{k.key}, record, &one));
  EXPECT_EQ(one.cells, (std::vector<uint32_t>{a}));
}

TEST(WalkValuesTest, ValueListRunningPastTheFileEndsTheWalkQuietly) {
  // Five values claimed; the file ends right after the list's first entry.
  HiveBuilder b;
  test::KeySpec shape;
  shape.name = u"Key";
  shape.value_count = 5;
  const uint32_t key = b.Key(shape);
  b.SetRoot(key);
  const uint32_t a = b.Value(Named(u"A"));
  const uint32_t list = b.ValueList({a, a, a, a, a});
  b.PatchCellU32(key, NK_VALUE_LIST, list);
  KeyWithValues k{b.Finish(), key};
  k.bytes.resize(HiveBuilder::FileOffset(list) + VALUE_LIST_ENTRIES + 4);
  EXPECT_EQ(Walked(k), std::vector<uint32_t>{a});
  EXPECT_EQ(Find(k, u"B"), std::nullopt);
}

TEST(FindValueTest, FoldsOnlyAToZAndTheFirstMatchWins) {
  HiveBuilder b;
  const uint32_t boot = b.Value(Named(u"BootExecute"));
  const uint32_t upper = b.Value(Named(u"SAME"));
  const uint32_t lower = b.Value(Named(u"same"));
  const uint32_t accented = b.Value(Named(u"\u00C9t\u00E9"));  // compressed bytes C9 74 E9
  const KeyWithValues k = Finish(b, {boot, upper, lower, accented});
  EXPECT_EQ(Find(k, u"bootexecute"), boot);
  EXPECT_EQ(Find(k, u"BOOTEXECUTE"), boot);
  EXPECT_EQ(Find(k, u"Same"), upper);
  EXPECT_EQ(Find(k, u"\u00C9t\u00E9"), accented);
  EXPECT_EQ(Find(k, u"\u00E9t\u00E9"), std::nullopt);  // 0xC9 and 0xE9 are not folded together
  EXPECT_EQ(Find(k, u"\u00C9T\u00E9"), accented);
  EXPECT_EQ(Find(k, u"BootExecut"), std::nullopt);
  EXPECT_EQ(Find(k, u"BootExecutee"), std::nullopt);
  // The request ends at its first zero unit, as the command line would end it.
  EXPECT_EQ(Find(k, std::u16string_view(u"same\0zzz", 8)), upper);
}

TEST(FindValueTest, TheSignatureOfAListedCellIsNotTested) {
  HiveBuilder b;
  const uint32_t value = b.Value(Named(u"Data"));
  b.PatchCellU16(value, CELL_SIGNATURE, SIG_NK);
  const KeyWithValues k = Finish(b, {value});
  EXPECT_EQ(Find(k, u"data"), value);
}

TEST(FindValueTest, SixteenBitNamesAreMatchedAsDecoded) {
  HiveBuilder b;
  // "Ab" (4 bytes) with more units after it inside the cell.
  ValueSpec wide = Named(u"");
  wide.compressed = false;
  wide.raw_name = test::Utf16Le(u"AbXY");
  wide.name_length = 4;
  const uint32_t ab = b.Value(wide);
  const uint32_t kl = b.Value(Named(u"\u041A\u043B\u044E\u0447"));
  const KeyWithValues k = Finish(b, {ab, kl});
  EXPECT_EQ(Find(k, u"ab"), ab);
  EXPECT_EQ(Find(k, u"AbXY"), std::nullopt);
  EXPECT_EQ(Find(k, u"\u041A\u043B\u044E\u0447"), kl);
  EXPECT_EQ(Find(k, u"\u043A\u043B\u044E\u0447"), std::nullopt) << "only A to Z fold";
}

TEST(FindValueTest, LongNamesAreFoundAndLongRequestsFindNothing) {
  const std::u16string n130(130, u'a');
  const std::u16string n200 = std::u16string(199, u'b') + u'B';
  const std::u16string n300(300, u'c');
  HiveBuilder b;
  const uint32_t v130 = b.Value(Named(n130));
  const uint32_t v200 = b.Value(Named(n200));
  ValueSpec wide = Named(n300);
  wide.compressed = false;
  const uint32_t v300 = b.Value(wide);
  const KeyWithValues k = Finish(b, {v130, v200, v300});
  EXPECT_EQ(Find(k, n130), v130);
  EXPECT_EQ(Find(k, std::u16string(200, u'B')), v200);
  // The stored name is cut to 259 units; a request of 260 matches nothing
  // rather than being cut to match it.
  EXPECT_EQ(Find(k, std::u16string(259, u'c')), v300);
  EXPECT_EQ(Find(k, std::u16string(260, u'c')), std::nullopt);
  EXPECT_EQ(Find(k, n300), std::nullopt);
}

TEST(FindValueTest, ANameRunningPastTheFileStopsTheWalk) {
  HiveBuilder b;
  test::KeySpec shape;
  shape.name = u"Key";
  shape.value_count = 2;
  const uint32_t key = b.Key(shape);
  b.SetRoot(key);
  const uint32_t a = b.Value(Named(u"A"));
  const uint32_t list = b.ValueList({a, 0});
  const uint32_t tail = b.Value(Named(u"Tail"));
  b.PatchCellU32(list, VALUE_LIST_ENTRIES + 4, tail);
  b.PatchCellU32(key, NK_VALUE_LIST, list);
  KeyWithValues k{b.Finish(), key};
  // The file ends two bytes into the last value's name.
  k.bytes.resize(HiveBuilder::FileOffset(tail) + VK_NAME + 2);
  EXPECT_EQ(Find(k, u"Tail"), std::nullopt);
  EXPECT_EQ(Find(k, u"a"), a);
}

}  // namespace
}  // namespace keyscout
