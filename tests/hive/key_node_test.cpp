#include "hive/key_node.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;
using test::NO_CELL;

// One key per class name shape, all naming cells of this one hive.
struct ClassHive {
  Bytes bytes;
  std::vector<uint32_t> keys;
  HiveImage image() const { return HiveImage(bytes.data(), bytes.size()); }
};

ClassHive BuildClassHive(const std::vector<std::pair<uint32_t, uint16_t>>& shapes, HiveBuilder& b) {
  ClassHive hive;
  for (const auto& [cell, length] : shapes) {
    hive.keys.push_back(b.Key(KeySpec{.name = u"K", .class_name = cell, .class_length = length}));
  }
  b.SetRoot(hive.keys.front());
  hive.bytes = b.Finish();
  return hive;
}

TEST(ClassNameTest, TheCellMustHoldTheLengthTheKeyGives) {
  HiveBuilder b;
  // 12 bytes of units in a 16-byte cell: exactly full.
  const uint32_t full = b.AddCell(test::Utf16Le(u"9e3626"));
  const uint32_t zero_inside = b.AddCell(test::Utf16Le(std::u16string(u"JD\0x", 4)));
  const uint32_t free_cell = b.AddCell(test::Utf16Le(u"Lsa"));
  b.PatchCellU32(free_cell, CELL_SIZE, 16);
  const ClassHive hive = BuildClassHive(
      {{full, 12}, {full, 13}, {full, 11}, {full, 0}, {NO_CELL, 0}, {NO_CELL, 2}, {zero_inside, 8}, {free_cell, 6}},
      b);
  const HiveImage image = hive.image();
  const auto class_of = [&](size_t i) { return ReadClassName(image, Cell{hive.keys[i]}); };
  EXPECT_EQ(class_of(0), u"9e3626");
  EXPECT_EQ(class_of(1), std::nullopt);  // one byte more than the cell holds
  EXPECT_EQ(class_of(2), u"9e362");      // an odd length drops its last byte
  EXPECT_EQ(class_of(3), u"");           // no length: no class name, whatever the index
  EXPECT_EQ(class_of(4), u"");
  EXPECT_EQ(class_of(5), std::nullopt);  // a length without a cell
  EXPECT_EQ(class_of(6), u"JD");         // ends at its first zero unit
  EXPECT_EQ(class_of(7), std::nullopt);  // the cell is free
}

// The e2e tests read whole key nodes; here the file ends inside one.
TEST(KeyNodeFieldsTest, EachFieldIsReadOnItsOwn) {
  HiveBuilder b;
  const uint32_t key = b.Key(KeySpec{.name = u"K", .parent = 0x1234, .security = 0x5678});
  b.SetRoot(key);
  const Bytes bytes = b.Finish();
  // The file ends with the security field: what lies before it reads, the
  // class name length after it does not.
  const uint64_t end = HiveBuilder::FileOffset(key) + NK_SECURITY + 4;
  const KeyNodeFields cut = ReadKeyNodeFields(HiveImage(bytes.data(), end), Cell{key});
  EXPECT_EQ(cut.parent, 0x1234u);
  EXPECT_EQ(cut.security, 0x5678u);
  EXPECT_EQ(cut.class_name, std::nullopt);
  EXPECT_EQ(ReadKeyNodeFields(HiveImage(bytes.data(), end - 1), Cell{key}).security, std::nullopt);
}

}  // namespace
}  // namespace keyscout
