#include "hive/image.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;

struct Fixture {
  Bytes bytes;
  HiveImage image() const { return HiveImage(bytes.data(), bytes.size()); }
};

// A 4 KiB hbin with one raw cell at `index`.
Fixture OneCell(uint32_t index, int32_t size_field, uint32_t hbin_size = 0x1000) {
  HiveBuilder b(hbin_size);
  b.RawCell(index, size_field, {'n', 'k'});
  b.SetRoot(index);
  return {b.Finish()};
}

TEST(ValidateCellTest, PageBoundariesOfAFourKilobyteHbin) {
  EXPECT_TRUE(ValidateCell(OneCell(0x20, -8).image(), Cell{0x20}));
  EXPECT_FALSE(ValidateCell(OneCell(0x1F, -8).image(), Cell{0x1F}));
  EXPECT_TRUE(ValidateCell(OneCell(0x20, -0xFE0).image(), Cell{0x20}));   // ends exactly at the end
  EXPECT_FALSE(ValidateCell(OneCell(0x20, -0xFE8).image(), Cell{0x20}));  // one past it
}

TEST(ValidateCellTest, FreeAndHugeCellsFail) {
  EXPECT_FALSE(ValidateCell(OneCell(0x20, 0).image(), Cell{0x20}));
  EXPECT_FALSE(ValidateCell(OneCell(0x20, 8).image(), Cell{0x20}));
  EXPECT_FALSE(ValidateCell(OneCell(0x20, INT32_MIN).image(), Cell{0x20}));
}

TEST(ValidateCellTest, CellsBeyondTheFirstPageOfALongHbinAreMeasuredAgainstTheHbin) {
  // A 16 KiB hbin: pages 2..4 hold no header of their own.
  HiveBuilder b(0x4000);
  b.RawCell(0x1000, -0x10, {});   // first byte of the second page
  b.RawCell(0x2FF0, -0x20, {});   // straddles the third and fourth pages
  b.RawCell(0x3FE0, -0x20, {});   // ends exactly at the hbin's end
  b.RawCell(0x3FF0, -0x20, {});   // runs past it
  // The word 8 bytes into page 2 says 0: the page test alone would refuse.
  b.PatchU32(HiveBuilder::FileOffset(0x1008), 0);
  const Bytes bytes = b.Finish();
  const HiveImage image(bytes.data(), bytes.size());
  EXPECT_TRUE(ValidateCell(image, Cell{0x1000}));
  EXPECT_TRUE(ValidateCell(image, Cell{0x2FF0}));
  EXPECT_TRUE(ValidateCell(image, Cell{0x3FE0}));
  EXPECT_FALSE(ValidateCell(image, Cell{0x3FF0}));
}

TEST(ValidateCellTest, SecondHbinIsFoundByItsOwnHeader) {
  HiveBuilder b(0x1000);
  const uint32_t second = b.AddHbin(0x2000);
  b.RawCell(second + 0x20, -0x20, {});
  b.RawCell(second + 0x1000, -0x20, {});
  b.RawCell(second + 0x10, -0x8, {});  // inside the second hbin's header
  const Bytes bytes = b.Finish();
  const HiveImage image(bytes.data(), bytes.size());
  EXPECT_TRUE(ValidateCell(image, Cell{second + 0x20}));
  EXPECT_TRUE(ValidateCell(image, Cell{second + 0x1000}));
  EXPECT_FALSE(ValidateCell(image, Cell{second + 0x10}));
}

TEST(ValidateCellTest, HeaderWhoseOffsetFieldNamesAnotherPageIsNotAnHbin) {
  HiveBuilder b(0x2000);
  // A cell whose bytes look like an hbin header for some other offset sits at
  // the start of page 2; the cell after it belongs to the first hbin.
  b.RawCell(0x1000 - 8, -0x10, {});
  b.PatchU32(HiveBuilder::FileOffset(0x1000), 0x6e696268);  // "hbin"
  b.PatchU32(HiveBuilder::FileOffset(0x1004), 0x5000);
  b.RawCell(0x1020, -0x20, {});
  const Bytes bytes = b.Finish();
  EXPECT_TRUE(ValidateCell(HiveImage(bytes.data(), bytes.size()), Cell{0x1020}));
}

TEST(ValidateCellTest, ReadsOutsideTheFileFail) {
  Fixture f = OneCell(0x20, -0xFE0);
  f.bytes.resize(0x1000 + 0x22);  // the size field itself is cut
  EXPECT_FALSE(ValidateCell(f.image(), Cell{0x20}));
  const Fixture g = OneCell(0x20, -8);
  EXPECT_FALSE(ValidateCell(g.image(), Cell{0xFFFFFFF0u}));
  EXPECT_FALSE(ValidateCell(g.image(), Cell{0x7FFFF020u}));  // no page, no hbin
}

TEST(CheckHiveImageTest, SignaturesAndRootCell) {
  Fixture good = OneCell(0x20, -0x58);
  EXPECT_TRUE(CheckHiveImage(good.image()));
  Fixture bad_regf = good;
  bad_regf.bytes[0] = 'R';
  EXPECT_FALSE(CheckHiveImage(bad_regf.image()));
  Fixture bad_hbin = good;
  bad_hbin.bytes[0x1000] = 'H';
  EXPECT_FALSE(CheckHiveImage(bad_hbin.image()));
  EXPECT_FALSE(CheckHiveImage(OneCell(0x20, 0x58).image()));  // free root cell
}

TEST(CheckCellTest, KeyNodesAndValueKeysAreToldApart) {
  HiveBuilder b;
  const uint32_t key = b.Key(test::KeySpec{.name = u"K"});
  const uint32_t value = b.Value(test::ValueSpec{.name = u"V"});
  b.SetRoot(key);
  Bytes bytes = b.Finish();
  const auto image = [&] { return HiveImage(bytes.data(), bytes.size()); };
  EXPECT_TRUE(CheckKeyNode(image(), Cell{key}));
  EXPECT_FALSE(CheckValueKey(image(), Cell{key}));
  EXPECT_TRUE(CheckValueKey(image(), Cell{value}));
  EXPECT_FALSE(CheckKeyNode(image(), Cell{value}));
  // The right signature in a cell that is not allocated passes neither.
  b.PatchCellU32(value, CELL_SIZE, 0x20);
  bytes = b.Finish();
  EXPECT_FALSE(CheckValueKey(image(), Cell{value}));
}

TEST(HiveImageTest, TruncatedFilesOfEveryLengthAreRefusedSafely) {
  const Fixture full = OneCell(0x20, -0x58);
  for (size_t length = 0; length <= 0x1000 + 0x60; ++length) {
    // An exact-size heap copy, so AddressSanitizer sees any read past its end.
    Bytes cut(full.bytes.begin(), full.bytes.begin() + static_cast<ptrdiff_t>(length));
    const HiveImage image(cut.data(), cut.size());
    const bool ok = CheckHiveImage(image);
    EXPECT_EQ(ok, length >= 0x1000 + 0x24) << length;
    const Cell root = RootKeyCell(image);
    EXPECT_EQ(root.index, length >= 0x28 ? 0x20u : UNREADABLE_CELL_INDEX) << length;
  }
}

}  // namespace
}  // namespace keyscout
