#include "hive/value_data.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::Pattern;
using test::ValueSpec;

constexpr uint32_t TYPE_UNSET = 0xDEADBEEF;

// A hive whose only interesting cell is one value key; tests place its data
// cells by hand before calling Finish.
struct OneValue {
  HiveBuilder builder;
  Bytes bytes;
  uint32_t value = 0;

  void Finish(const ValueSpec& shape) {
    value = builder.Value(shape);
    builder.SetRoot(value);
    bytes = builder.Finish();
  }
  HiveImage image() const { return HiveImage(bytes.data(), bytes.size()); }
};

struct ReadResult {
  bool ok = false;
  uint32_t type = TYPE_UNSET;
  Bytes data;
};

// Reads into a zero-filled buffer of exactly the reported length.
ReadResult Read(const OneValue& v) {
  ReadResult r;
  const uint32_t length = GetValueDataLength(v.image(), Cell{v.value});
  r.data.assign(length, 0);
  uint8_t spare = 0;
  r.ok = ReadValueData(v.image(), Cell{v.value}, &r.type, length == 0 ? &spare : r.data.data(), length);
  return r;
}

ValueSpec Data(uint32_t data_size, uint32_t data_offset, uint32_t type = 3) {
  ValueSpec shape;
  shape.name = u"v";
  shape.type = type;
  shape.data_size = data_size;
  shape.data_offset = data_offset;
  return shape;
}

// A "db" record with `count` in its count field and the given segment list.
uint32_t BigDataRecord(HiveBuilder& b, uint16_t count, uint32_t list) {
  Bytes p{'d', 'b', static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8), 0, 0, 0, 0};
  for (size_t i = 0; i < 4; ++i) p[4 + i] = static_cast<uint8_t>(list >> (8 * i));
  return b.AddCell(p);
}

// Segments of the given sizes filled from `data`, listed in a segment list.
uint32_t Segments(HiveBuilder& b, const Bytes& data, const std::vector<uint32_t>& sizes) {
  std::vector<uint32_t> cells;
  size_t at = 0;
  for (uint32_t size : sizes) {
    const size_t n = std::min<size_t>(size, data.size() - at);
    cells.push_back(b.AddCell(Bytes(data.data() + at, data.data() + at + n)));
    at += n;
  }
  return b.ValueList(cells);
}

TEST(ValueDataTest, ResidentDataComesFromTheOffsetField) {
  OneValue four;
  four.Finish(Data(0x80000004u, 0x00000001u, 4));
  const ReadResult r = Read(four);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.type, 4u);
  EXPECT_EQ(r.data, (Bytes{0x01, 0x00, 0x00, 0x00}));

  // Length 0: nothing written, and the offset field is not taken for a cell.
  OneValue empty;
  empty.Finish(Data(0x80000000u, 0x7FFFFFF0u, 1));
  EXPECT_EQ(GetValueDataLength(empty.image(), Cell{empty.value}), 0u);
  uint8_t untouched = 0xAA;
  uint32_t type = 0;
  EXPECT_TRUE(ReadValueData(empty.image(), Cell{empty.value}, &type, &untouched, 1));
  EXPECT_EQ(untouched, 0xAA);
  EXPECT_EQ(type, 1u);

  OneValue three;
  three.Finish(Data(0x80000003u, 0x44332211u));
  EXPECT_EQ(Read(three).data, (Bytes{0x11, 0x22, 0x33}));
}

TEST(ValueDataTest, ResidentLengthAboveFourFailsButHandsBackTheType) {
  OneValue v;
  v.Finish(Data(0x80000005u, 0x04030201u, 7));
  EXPECT_EQ(GetValueDataLength(v.image(), Cell{v.value}), 5u);
  const ReadResult r = Read(v);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.type, 7u);
  EXPECT_EQ(r.data, Bytes(5, 0));
}

TEST(ValueDataTest, NonResidentEmptyValueStillNeedsAValidDataCell) {
  OneValue good;
  const uint32_t cell = good.builder.AddCell({});
  good.Finish(Data(0, cell));
  EXPECT_TRUE(Read(good).ok);

  OneValue bad;
  bad.Finish(Data(0, 0xFFFFFFFFu));
  const ReadResult r = Read(bad);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.type, 3u);
}

TEST(ValueDataTest, OneDataCellUpToTheSegmentSize) {
  const Bytes data = Pattern(BIG_DATA_SEGMENT, 11);
  OneValue v;
  const uint32_t cell = v.builder.DataCell(data);
  v.Finish(Data(BIG_DATA_SEGMENT, cell));
  const ReadResult r = Read(v);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.data, data);
}

TEST(ValueDataTest, ADataCellShorterThanTheLengthFails) {
  // 20 bytes claimed; the cell holds 12 and the next cell's bytes follow it.
  OneValue v;
  const uint32_t cell = v.builder.AddCell(Pattern(12, 1));
  v.builder.AddCell(Pattern(28, 2));
  v.Finish(Data(20, cell));
  const ReadResult r = Read(v);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.data, Bytes(20, 0));  // nothing of the next cell was copied

  // Exactly filling the cell is fine: 4 + 12 bytes in a 16-byte cell.
  OneValue exact;
  const uint32_t exact_cell = exact.builder.AddCell(Pattern(12, 1));
  exact.Finish(Data(12, exact_cell));
  EXPECT_TRUE(Read(exact).ok);
}

TEST(ValueDataTest, BigDataJustAboveTheSegmentSize) {
  const Bytes data = Pattern(BIG_DATA_SEGMENT + 1, 12);
  OneValue v;
  const uint32_t record = v.builder.BigData(data);
  v.Finish(Data(BIG_DATA_SEGMENT + 1, record));
  const ReadResult r = Read(v);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.data, data);
}

TEST(ValueDataTest, BigDataInThreeSegments) {
  const Bytes data = Pattern(40000, 13);
  OneValue v;
  const uint32_t record = v.builder.BigData(data);
  v.Finish(Data(40000, record));
  const ReadResult r = Read(v);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.data, data);
}

TEST(ValueDataTest, SegmentsBeyondTheLengthAreNeverRead) {
  const Bytes data = Pattern(20000, 14);
  OneValue v;
  const uint32_t s0 = v.builder.AddCell(Bytes(data.begin(), data.begin() + BIG_DATA_SEGMENT));
  const uint32_t s1 = v.builder.AddCell(Bytes(data.begin() + BIG_DATA_SEGMENT, data.end()));
  const uint32_t list = v.builder.ValueList({s0, s1, 0x7FFFFFF0u});
  const uint32_t record = BigDataRecord(v.builder, 3, list);
  v.Finish(Data(20000, record));
  const ReadResult r = Read(v);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.data, data);
}

TEST(ValueDataTest, TooFewSegmentsFailInsteadOfLeavingTheRestUnwritten) {
  const Bytes data = Pattern(20000, 15);
  for (const uint16_t count : {uint16_t{0}, uint16_t{1}}) {
    OneValue v;
    const uint32_t list = Segments(v.builder, data, {BIG_DATA_SEGMENT, BIG_DATA_SEGMENT});
    const uint32_t record = BigDataRecord(v.builder, count, list);
    v.Finish(Data(20000, record));
    EXPECT_FALSE(Read(v).ok) << count;
  }
}

TEST(ValueDataTest, ABadThirdSegmentFailsTheRead) {
  const Bytes data = Pattern(40000, 16);
  OneValue v;
  const uint32_t list = Segments(v.builder, data, {BIG_DATA_SEGMENT, BIG_DATA_SEGMENT, BIG_DATA_SEGMENT});
  const uint32_t record = BigDataRecord(v.builder, 3, list);
  uint32_t third = 0;
  v.Finish(Data(40000, record));
  ASSERT_TRUE(Read(v).ok);
  // Free the third segment (entry 2).
  const HiveImage image = v.image();
  ASSERT_TRUE(image.CellU32(Cell{list}, SEGMENT_LIST_ENTRIES + 8, &third));
  const uint64_t size_at = HiveBuilder::FileOffset(third);
  v.bytes[size_at + 3] = 0x00;  // size field now positive
  EXPECT_FALSE(Read(v).ok);
}

TEST(ValueDataTest, ASegmentShorterThanItsShareFails) {
  const Bytes data = Pattern(40000, 17);
  OneValue v;
  // The second segment's cell holds 16000 bytes, not 16344.
  const uint32_t list = Segments(v.builder, data, {BIG_DATA_SEGMENT, 16000, BIG_DATA_SEGMENT});
  const uint32_t record = BigDataRecord(v.builder, 3, list);
  v.Finish(Data(40000, record));
  EXPECT_FALSE(Read(v).ok);

  // The last segment must hold only the rest: 40000 - 2 * 16344 = 7312.
  OneValue last;
  const uint32_t last_list = Segments(last.builder, data, {BIG_DATA_SEGMENT, BIG_DATA_SEGMENT, 7312});
  last.Finish(Data(40000, BigDataRecord(last.builder, 3, last_list)));
  EXPECT_TRUE(Read(last).ok);
}

TEST(ValueDataTest, BigDataRecordAndSegmentListMustHoldWhatIsReadFromThem) {
  const Bytes data = Pattern(40000, 18);
  // A segment list cell with room for two entries while three are needed.
  OneValue short_list;
  const uint32_t s0 = short_list.builder.AddCell(Bytes(data.begin(), data.begin() + BIG_DATA_SEGMENT));
  const uint32_t list = short_list.builder.AddCell({0, 0, 0, 0, 0, 0, 0, 0}, 12);
  short_list.builder.PatchCellU32(list, SEGMENT_LIST_ENTRIES, s0);
  short_list.builder.PatchCellU32(list, SEGMENT_LIST_ENTRIES + 4, s0);
  short_list.builder.AddCell({0, 0, 0, 0});  // the "third entry" would be this cell's size field
  short_list.Finish(Data(40000, BigDataRecord(short_list.builder, 3, list)));
  EXPECT_FALSE(Read(short_list).ok);

  // A "db" record in an 8-byte cell: its list field lies in the next cell.
  OneValue short_record;
  const uint32_t good_list = Segments(short_record.builder, data, {BIG_DATA_SEGMENT, BIG_DATA_SEGMENT, 7312});
  const uint32_t record = short_record.builder.AddCell({'d', 'b', 3, 0});
  short_record.builder.AddCell({0, 0, 0, 0});
  short_record.builder.PatchCellU32(record + 8, 0, good_list);
  short_record.Finish(Data(40000, record));
  EXPECT_FALSE(Read(short_record).ok);
}

TEST(ValueDataTest, LargeValueInOnePlainCellAsFormatOneThreeHivesKeepIt) {
  const Bytes data = Pattern(73315, 19);
  OneValue v;
  const uint32_t cell = v.builder.DataCell(data);  // no "db": the data itself
  v.Finish(Data(73315, cell));
  const ReadResult r = Read(v);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.data, data);

  // The same length in a plain cell that cannot hold it fails.
  OneValue short_cell;
  const uint32_t small = short_cell.builder.DataCell(Pattern(20000, 19));
  short_cell.Finish(Data(73315, small));
  EXPECT_FALSE(Read(short_cell).ok);
}

TEST(ValueDataTest, BufferNullOrTooSmallFailsAfterTheTypeIsStored) {
  const Bytes data = Pattern(40, 20);
  OneValue v;
  const uint32_t cell = v.builder.DataCell(data);
  v.Finish(Data(40, cell, 2));
  uint32_t type = 0;
  EXPECT_FALSE(ReadValueData(v.image(), Cell{v.value}, &type, nullptr, 40));
  EXPECT_EQ(type, 2u);
  Bytes buffer(39, 0);
  EXPECT_FALSE(ReadValueData(v.image(), Cell{v.value}, nullptr, buffer.data(), buffer.size()));
  EXPECT_EQ(buffer, Bytes(39, 0));
  buffer.resize(40);
  EXPECT_TRUE(ReadValueData(v.image(), Cell{v.value}, nullptr, buffer.data(), buffer.size()));
  EXPECT_EQ(buffer, data);
}

TEST(ValueDataTest, ACellThatIsNotAValueKeyHasNoDataAndNoType) {
  OneValue v;
  const uint32_t cell = v.builder.DataCell(Pattern(8, 21));
  v.Finish(Data(8, cell));
  v.bytes[HiveBuilder::FileOffset(v.value) + CELL_SIGNATURE] = 'n';
  EXPECT_EQ(GetValueDataLength(v.image(), Cell{v.value}), 0u);
  const ReadResult r = Read(v);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.type, TYPE_UNSET);

  OneValue free_cell;
  free_cell.Finish(Data(0x80000004u, 1));
  free_cell.bytes[HiveBuilder::FileOffset(free_cell.value) + 3] = 0x00;
  EXPECT_EQ(GetValueDataLength(free_cell.image(), Cell{free_cell.value}), 0u);
  EXPECT_EQ(Read(free_cell).type, TYPE_UNSET);
}

TEST(ValueDataTest, DataCellCutByTheEndOfTheFileIsRefused) {
  // One 12 KiB hbin: the value key first, its data after it; then the file
  // is cut inside the data while the hbin still claims the whole length.
  HiveBuilder b(0x3000);
  const uint32_t value = b.Value(Data(0x800, 0));
  const uint32_t cell = b.DataCell(Pattern(0x800, 22));
  b.PatchCellU32(value, VK_DATA_OFFSET, cell);
  b.SetRoot(value);
  Bytes bytes = b.Finish();
  Bytes buffer(0x800, 0);
  ASSERT_TRUE(ReadValueData(HiveImage(bytes.data(), bytes.size()), Cell{value}, nullptr, buffer.data(), 0x800));
  bytes.resize(HiveBuilder::FileOffset(cell) + 0x100);
  EXPECT_FALSE(ReadValueData(HiveImage(bytes.data(), bytes.size()), Cell{value}, nullptr, buffer.data(), 0x800));
}

}  // namespace
}  // namespace keyscout
