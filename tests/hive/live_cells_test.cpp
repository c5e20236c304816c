#include "hive/live_cells.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;

TEST(CellSetTest, MarksAndFindsRunsAcrossWords) {
  CellSet set(HIVE_BASE + 8 * 200);
  set.Mark(Cell{8 * 60}, 8 * 70);  // units 60 to 129: a whole word in the middle
  EXPECT_FALSE(set.Contains(Cell{8 * 59 + 7}));
  EXPECT_TRUE(set.Contains(Cell{8 * 60}));
  EXPECT_TRUE(set.Contains(Cell{8 * 129 + 7}));
  EXPECT_FALSE(set.Contains(Cell{8 * 130}));
  EXPECT_FALSE(set.Overlaps(Cell{0}, 8 * 60));
  EXPECT_TRUE(set.Overlaps(Cell{0}, 8 * 60 + 1));
  EXPECT_FALSE(set.Overlaps(Cell{8 * 130}, 8 * 70)) << "and past the end of the set";
  set.Mark(Cell{8 * 199}, 1000);
  EXPECT_TRUE(set.Contains(Cell{8 * 199}));
  EXPECT_FALSE(set.Contains(Cell{8 * 200})) << "outside the file";
}

TEST(MarkLiveCellsTest, MarksRecordsNotSlackAndKeysWhoseParentLinkHolds) {
  HiveBuilder b;
  const uint32_t good = b.Key(KeySpec{.name = u"Good", .last_written = 5});
  const uint32_t stray = b.Key(KeySpec{.name = u"Stray", .parent = 0x20, .last_written = 9});
  // A list cell twice as long as its entries, naming the root again.
  const uint32_t list = b.AddCell({'l', 'h', 3, 0}, 0x40);
  const uint32_t root = b.Key(KeySpec{.name = u"R", .stable_count = 3, .stable_list = list, .last_written = 7});
  b.PatchCellU32(good, NK_PARENT, root);
  for (uint32_t i = 0; i < 3; ++i) b.PatchCellU32(list, LIST_ENTRIES + 8 * i, std::vector<uint32_t>{good, stray, root}[i]);
  b.SetRoot(root);
  const Bytes hive = b.Finish();
  LiveCells live(hive.size());
  MarkLiveCells(HiveImage(hive.data(), hive.size()), &live);

  EXPECT_TRUE(live.records.Contains(Cell{good + NK_NAME + 3})) << "the last byte of the name";
  EXPECT_TRUE(live.records.Contains(Cell{list + LIST_ENTRIES + 8 * 3 - 1}));
  EXPECT_FALSE(live.records.Contains(Cell{list + LIST_ENTRIES + 8 * 3}));
  EXPECT_TRUE(live.keys.Contains(Cell{root}));
  EXPECT_TRUE(live.keys.Contains(Cell{good}));
  EXPECT_FALSE(live.keys.Contains(Cell{stray})) << "its parent field names another cell";
  EXPECT_TRUE(live.records.Contains(Cell{stray}));
  EXPECT_EQ(live.latest_written, 9u);
}

}  // namespace
}  // namespace keyscout
