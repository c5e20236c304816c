#include "hive/deleted_records.h"

#include <gtest/gtest.h>

#include "hive/names.h"
#include "support/free_space.h"
#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::FreeCell;
using test::HiveBuilder;
using test::KeySpec;
using test::NO_CELL;
using test::Pattern;
using test::TreeValue;
using test::Utf16Le;
using test::ValueSpec;

constexpr uint64_t T = 0x01D6000000000000;  // a FILETIME in 2020
constexpr uint32_t REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4;
const Bytes PATH_DATA = Utf16Le(u"C:\\evil.exe");

// A live tree ROOT\Software, and deleted records built among its cells.
struct Scene {
  HiveBuilder b{0x8000};
  uint32_t software = 0;
  uint32_t root = 0;
  uint32_t root_list = NO_CELL;       // ROOT's subkey list, when a test builds it
  std::vector<uint32_t> root_values;  // ROOT's live values, built by a test
  Bytes hive;

  Scene() { software = b.Key(KeySpec{.name = u"Software", .last_written = T}); }

  // A key with its values, every cell linked as Windows leaves them when it
  // deletes the key.
  uint32_t Key(const std::u16string& name, uint32_t parent, const std::vector<TreeValue>& values = {},
               uint64_t time = T) {
    std::vector<uint32_t> cells;
    for (const TreeValue& v : values) cells.push_back(b.Value(v.name, v.type, v.data));
    return b.Key(KeySpec{.name = name,
                         .parent = parent,
                         .value_count = static_cast<uint32_t>(cells.size()),
                         .value_list = cells.empty() ? NO_CELL : b.ValueList(cells),
                         .last_written = time});
  }

  void BuildLive() {
    if (root_list == NO_CELL) root_list = b.LeafList("lh", {software});
    root = b.Key(KeySpec{.name = u"ROOT",
                         .extra_flags = 0x0C,
                         .stable_count = 1,
                         .stable_list = root_list,
                         .value_count = static_cast<uint32_t>(root_values.size()),
                         .value_list = root_values.empty() ? NO_CELL : b.ValueList(root_values),
                         .last_written = T});
    b.PatchCellU32(software, NK_PARENT, root);
    b.SetRoot(root);
  }

  void Finish() {
    BuildLive();
    hive = b.Finish();
  }

  HiveImage Image() const { return HiveImage(hive.data(), hive.size()); }

  DeletedRecords Find() const {
    LiveCells live(hive.size());
    MarkLiveCells(Image(), &live);
    return FindDeletedRecords(Image(), live);
  }

  uint32_t U32(uint32_t cell, uint32_t field) const {
    uint32_t v = 0;
    EXPECT_TRUE(Image().CellU32(Cell{cell}, field, &v));
    return v;
  }

  std::u16string NameOf(const DeletedValue& v) const {
    NameBuffer name;
    DecodeValueName(Image(), v.cell, name);
    return name;
  }

  Bytes DataOf(const DeletedValue& v) const {
    ValueDataPlace place;
    if (!LocateDeletedValueData(Image(), v, &place)) return {};
    std::vector<uint8_t> scratch;
    const ByteReader data = GatherValueData(Image(), place, &scratch);
    Bytes out(data.size());
    if (data.IsNull() || !data.Copy(0, out.size(), out)) return {};
    return out;
  }
};

const DeletedKey* KeyAt(const DeletedRecords& r, uint32_t cell) {
  for (const DeletedKey& k : r.keys) {
    if (k.cell.index == cell) return &k;
  }
  return nullptr;
}

const DeletedValue* ValueAt(const DeletedRecords& r, uint32_t cell) {
  for (const DeletedValue& v : r.values) {
    if (v.cell.index == cell) return &v;
  }
  return nullptr;
}

TEST(DeletedRecordsTest, SubtreeInMergedFreeCellsComesBackWithPathsTimesAndValues) {
  Scene s;
  const uint32_t start = s.b.cursor();
  const uint32_t run = s.Key(u"Run", s.software, {{u"Updater", REG_SZ, PATH_DATA}, {u"Flag", REG_DWORD, {7, 0, 0, 0}}});
  const uint32_t old = s.Key(u"Old", run, {{u"", REG_BINARY, Pattern(20)}});
  const uint32_t end = s.b.cursor();
  s.Finish();
  test::MergeFreeCells(s.hive, start, end);

  const DeletedRecords r = s.Find();
  ASSERT_EQ(r.keys.size(), 2u);
  ASSERT_EQ(r.values.size(), 3u);
  const DeletedKey* k = KeyAt(r, run);
  ASSERT_NE(k, nullptr) << "a key node inside a merged free cell, not at its start";
  EXPECT_EQ(k->path, u"Software\\Run");
  EXPECT_TRUE(k->path_complete);
  EXPECT_EQ(k->found_in, FoundIn::kFreeCell);
  ASSERT_EQ(k->values.size(), 2u);
  EXPECT_EQ(s.NameOf(r.values[k->values[0]]), u"Updater");
  EXPECT_EQ(s.DataOf(r.values[k->values[0]]), PATH_DATA) << "the data cell heads the merged cell";
  EXPECT_EQ(s.DataOf(r.values[k->values[1]]), (Bytes{7, 0, 0, 0}));
  const DeletedKey* child = KeyAt(r, old);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->path, u"Software\\Run\\Old") << "through its deleted parent to a live key";
  ASSERT_EQ(child->values.size(), 1u);
  EXPECT_EQ(s.DataOf(r.values[child->values[0]]), Pattern(20));
}

TEST(DeletedRecordsTest, CellsAllocatedAgainAreNotTakenForTheDeletedOnes) {
  Scene s;
  const uint32_t a_data = s.b.DataCell(PATH_DATA);
  const uint32_t a = s.b.Value(ValueSpec{.name = u"A", .type = REG_SZ, .data_size = 22, .data_offset = a_data});
  const uint32_t b = s.b.Value(u"B", REG_DWORD, {1, 0, 0, 0});
  const uint32_t c = s.b.Value(u"C", REG_DWORD, {2, 0, 0, 0});
  const uint32_t list = s.b.ValueList({a, b, c});
  const uint32_t run =
      s.b.Key(KeySpec{.name = u"Run", .parent = s.software, .value_count = 3, .value_list = list, .last_written = T});
  // Since the delete, A's data cell holds a live value's data, and C's key
  // cell is a live value of ROOT.
  s.root_values = {s.b.Value(ValueSpec{.name = u"New", .type = REG_BINARY, .data_size = 8, .data_offset = a_data}), c};
  s.Finish();
  for (uint32_t cell : {a, b, list, run}) FreeCell(s.hive, cell);

  const DeletedRecords r = s.Find();
  ASSERT_EQ(r.keys.size(), 1u);
  ASSERT_EQ(r.keys[0].values.size(), 2u) << "C is live, not a deleted value of Run";
  const DeletedValue* va = ValueAt(r, a);
  ASSERT_NE(va, nullptr);
  EXPECT_EQ(va->data, DeletedData::kReused);
  EXPECT_TRUE(s.DataOf(*va).empty()) << "no data is given for a reused cell";
  EXPECT_EQ(ValueAt(r, c), nullptr);
  EXPECT_EQ(s.DataOf(r.values[r.keys[0].values[1]]), (Bytes{1, 0, 0, 0}));
}

TEST(DeletedRecordsTest, KeyInTheSlackOfALiveListCell) {
  Scene s;
  // ROOT's subkey list cell is longer than its one entry; a deleted key
  // lies in its tail, as when a free cell holding it was allocated whole.
  Bytes lh = {'l', 'h', 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (size_t i = 0; i < 4; ++i) lh[4 + i] = static_cast<uint8_t>(s.software >> (8 * i));
  s.root_list = s.b.AddCell(lh, 0x100);
  s.b.MoveTo(s.root_list + 0x20);
  const uint32_t gone = s.Key(u"Gone", s.software);
  s.b.MoveTo(s.root_list + 0x100);
  s.Finish();
  FreeCell(s.hive, gone);

  const DeletedRecords r = s.Find();
  ASSERT_EQ(r.keys.size(), 1u);
  EXPECT_EQ(r.keys[0].cell.index, gone);
  EXPECT_EQ(r.keys[0].found_in, FoundIn::kSlack);
  EXPECT_EQ(r.keys[0].path, u"Software\\Gone");
}

TEST(DeletedRecordsTest, BigDataIsReassembledWhileItsCellsLast) {
  Scene s;
  const uint32_t start = s.b.cursor();
  const uint32_t freed = s.b.Value(u"Freed", REG_BINARY, Pattern(20000, 1));
  const uint32_t end = s.b.cursor();
  const uint32_t left = s.b.Value(u"Left", REG_BINARY, Pattern(20000, 2));
  // Big data whose last segment a live value took since.
  const Bytes big = Pattern(20000, 3);
  const uint32_t seg0 = s.b.DataCell(Bytes(big.begin(), big.begin() + 16344));
  const uint32_t seg1 = s.b.DataCell(Bytes(big.begin() + 16344, big.end()));
  const uint32_t segments = s.b.ValueList({seg0, seg1});
  Bytes db = {'d', 'b', 2, 0, 0, 0, 0, 0};
  for (size_t i = 0; i < 4; ++i) db[4 + i] = static_cast<uint8_t>(segments >> (8 * i));
  const uint32_t record = s.b.AddCell(db);
  const uint32_t reused =
      s.b.Value(ValueSpec{.name = u"Reused", .type = REG_BINARY, .data_size = 20000, .data_offset = record});
  s.root_values.push_back(
      s.b.Value(ValueSpec{.name = u"Now", .type = REG_BINARY, .data_size = 3656, .data_offset = seg1}));
  s.Finish();
  test::MergeFreeCells(s.hive, start, end);
  // A writer that freed only the value key and its "db" record, leaving the
  // segment list and segments allocated (hivex does so).
  FreeCell(s.hive, left);
  FreeCell(s.hive, s.U32(left, VK_DATA_OFFSET));
  for (uint32_t cell : {seg0, segments, record, reused}) FreeCell(s.hive, cell);

  const DeletedRecords r = s.Find();
  ASSERT_EQ(r.values.size(), 3u);
  EXPECT_EQ(s.DataOf(*ValueAt(r, freed)), Pattern(20000, 1));
  EXPECT_EQ(s.DataOf(*ValueAt(r, left)), Pattern(20000, 2));
  EXPECT_EQ(ValueAt(r, reused)->data, DeletedData::kReused);
  EXPECT_EQ(ValueAt(r, freed)->key, NO_DELETED_KEY) << "a value no deleted key holds";
}

TEST(DeletedRecordsTest, BrokenParentChainsGiveThePathBelowTheHighestKeyReached) {
  Scene s;
  const uint32_t data = s.b.DataCell(Pattern(16));
  s.root_values.push_back(s.b.Value(ValueSpec{.name = u"V", .type = REG_BINARY, .data_size = 16, .data_offset = data}));
  // Upper's parent cell has been reused for a live value's data since.
  const uint32_t upper = s.Key(u"Upper", data);
  const uint32_t lower = s.Key(u"Lower", upper);
  // Two deleted keys that name each other as parent.
  const uint32_t a = s.Key(u"A", 0);
  const uint32_t b = s.Key(u"B", a);
  s.b.PatchCellU32(a, NK_PARENT, b);
  s.Finish();
  for (uint32_t cell : {upper, lower, a, b}) FreeCell(s.hive, cell);

  const DeletedRecords r = s.Find();
  ASSERT_EQ(r.keys.size(), 4u);
  EXPECT_EQ(KeyAt(r, lower)->path, u"Upper\\Lower");
  EXPECT_FALSE(KeyAt(r, lower)->path_complete);
  EXPECT_EQ(KeyAt(r, lower)->parent_cell, data);
  EXPECT_EQ(KeyAt(r, upper)->path, u"Upper");
  EXPECT_FALSE(KeyAt(r, a)->path_complete);
  EXPECT_EQ(KeyAt(r, a)->path, u"B\\A") << "the loop ends at the key that closes it";
  EXPECT_EQ(KeyAt(r, b)->parent_cell, a);
}

TEST(DeletedRecordsTest, NothingAllocatedOrLiveIsReported) {
  // The bytes of a deleted key node, to be stored as a live value's data.
  HiveBuilder other;
  const uint32_t copy = other.Key(KeySpec{.name = u"Copy", .parent = 0x20, .last_written = T});
  Bytes other_hive = other.Finish();
  FreeCell(other_hive, copy);
  const Bytes image(other_hive.begin() + 0x1000 + copy, other_hive.begin() + 0x1000 + copy + 0x58);

  Scene s;
  // An allocated key that no list names (it looks deleted but was not freed).
  s.Key(u"Orphan", s.software, {{u"Name", REG_SZ, PATH_DATA}});
  s.root_values.push_back(s.b.Value(u"Blob", REG_BINARY, image));
  s.Finish();

  const DeletedRecords r = s.Find();
  EXPECT_TRUE(r.keys.empty());
  EXPECT_TRUE(r.values.empty());
}

TEST(DeletedRecordsTest, RecordsPastTheHiveBinsFollowLinksOnlyThere) {
  Scene s;
  s.BuildLive();
  // An hbin the base block no longer counts: left from a larger layout.
  s.b.AddHbin(0x1000);
  const uint32_t parent = s.Key(u"OldParent", s.software);
  const uint32_t child = s.Key(u"OldChild", parent);
  s.hive = s.b.Finish();
  const uint32_t declared = 0x8000;
  for (size_t i = 0; i < 4; ++i) s.hive[BASE_HIVE_BINS_SIZE + i] = static_cast<uint8_t>(declared >> (8 * i));
  FreeCell(s.hive, parent);
  FreeCell(s.hive, child);

  const DeletedRecords r = s.Find();
  ASSERT_EQ(r.keys.size(), 2u);
  EXPECT_EQ(KeyAt(r, parent)->found_in, FoundIn::kSlack);
  EXPECT_FALSE(KeyAt(r, parent)->path_complete) << "Software sits there now, not in the old layout";
  EXPECT_EQ(KeyAt(r, parent)->parent_cell, s.software);
  EXPECT_EQ(KeyAt(r, child)->path, u"OldParent\\OldChild");
}

TEST(DeletedRecordsTest, FreeListLinksHideTheFirstWordOfAFreeCell) {
  Scene s;
  const uint32_t linkish = s.b.DataCell({0, 0, 0, 0, 1, 2, 3, 4});
  const uint32_t v1 = s.b.Value(ValueSpec{.name = u"Link", .type = REG_BINARY, .data_size = 8, .data_offset = linkish});
  const uint32_t text = s.b.Value(u"Text", REG_SZ, Utf16Le(u"text"));
  std::vector<uint32_t> free = {linkish, v1, text};
  for (int i = 0; i < 4; ++i) free.push_back(s.b.DataCell({0xFF, 0xFF, 0xFF, 0xFF}));
  s.Finish();
  for (uint32_t cell : free) FreeCell(s.hive, cell);
  FreeCell(s.hive, s.U32(text, VK_DATA_OFFSET));
  // The first free cell links to the next, as in hives of Windows NT 4.0.
  for (size_t i = 0; i < 4; ++i) s.hive[HIVE_BASE + linkish + 4 + i] = static_cast<uint8_t>(v1 >> (8 * i));

  const DeletedRecords r = s.Find();
  ASSERT_EQ(r.values.size(), 2u);
  EXPECT_EQ(ValueAt(r, v1)->data, DeletedData::kLost) << "its first four bytes may be a link";
  EXPECT_EQ(s.DataOf(*ValueAt(r, text)), Utf16Le(u"text")) << "a word that cannot be a link";
}

// One record in a free cell, each check met just and missed just.
class RecordChecksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    key_ = b_.Key(KeySpec{.name = std::u16string(255, u'k'), .parent = 0x20, .last_written = T});
    value_ = b_.Value(u"v", REG_DWORD, {1, 2, 3, 4});
    b_.SetRoot(key_);
    hive_ = b_.Finish();
    FreeCell(hive_, key_);
    FreeCell(hive_, value_);
  }
  RecordCheck Key(uint64_t space_end = UINT64_MAX) const {
    const HiveImage image(hive_.data(), hive_.size());
    return CheckDeletedKey(image, Cell{key_}, space_end, RecordLimits{hive_.size(), T, taken_});
  }
  RecordCheck Value() const {
    const HiveImage image(hive_.data(), hive_.size());
    return CheckDeletedValue(image, Cell{value_}, UINT64_MAX, RecordLimits{hive_.size(), T, nullptr});
  }
  void Put16(uint32_t cell, uint32_t field, uint16_t v) {
    for (size_t i = 0; i < 2; ++i) hive_[HIVE_BASE + cell + field + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void Put32(uint32_t cell, uint32_t field, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) hive_[HIVE_BASE + cell + field + i] = static_cast<uint8_t>(v >> (8 * i));
  }
  void Put64(uint32_t cell, uint32_t field, uint64_t v) {
    Put32(cell, field, static_cast<uint32_t>(v));
    Put32(cell, field + 4, static_cast<uint32_t>(v >> 32));
  }

  HiveBuilder b_;
  Bytes hive_;
  uint32_t key_ = 0, value_ = 0;
  const CellSet* taken_ = nullptr;
};

TEST_F(RecordChecksTest, KeyNode) {
  const uint64_t end = HIVE_BASE + key_ + NK_NAME + 255;
  EXPECT_EQ(Key(end), RecordCheck::kPlausible) << "a name of 255 characters, ending the space";
  EXPECT_EQ(Key(end - 1), RecordCheck::kOutsideSpace);
  CellSet taken(hive_.size());
  taken.Mark(Cell{key_ + NK_NAME + 248}, 1);
  taken_ = &taken;
  EXPECT_EQ(Key(), RecordCheck::kOutsideSpace) << "over a live record";
  taken_ = nullptr;

  Put16(key_, NK_NAME_LENGTH, 256);
  EXPECT_EQ(Key(), RecordCheck::kName);
  Put16(key_, NK_FLAGS, 0);
  EXPECT_EQ(Key(), RecordCheck::kPlausible) << "128 units of 16 bits";
  Put16(key_, NK_NAME_LENGTH, 255);
  EXPECT_EQ(Key(), RecordCheck::kName) << "an odd number of bytes";
  Put16(key_, NK_NAME_LENGTH, 0);
  EXPECT_EQ(Key(), RecordCheck::kName);
  Put16(key_, NK_NAME_LENGTH, 254);

  Put64(key_, NK_LAST_WRITTEN, 0x01B41E2A18D64000);  // 1990-01-01
  EXPECT_EQ(Key(), RecordCheck::kPlausible);
  Put64(key_, NK_LAST_WRITTEN, 0x01B41E2A18D64000 - 1);
  EXPECT_EQ(Key(), RecordCheck::kTime);
  const uint64_t year = 366ull * 864000000000ull;
  Put64(key_, NK_LAST_WRITTEN, T + year);
  EXPECT_EQ(Key(), RecordCheck::kPlausible);
  Put64(key_, NK_LAST_WRITTEN, T + year + 1);
  EXPECT_EQ(Key(), RecordCheck::kTime);
  Put64(key_, NK_LAST_WRITTEN, T);

  Put32(key_, NK_VALUE_COUNT, static_cast<uint32_t>(hive_.size() / 4 + 1));
  EXPECT_EQ(Key(), RecordCheck::kCounts);
  Put32(key_, NK_VALUE_COUNT, 0);
  Put32(key_, NK_VOLATILE_LIST, 0x80000120);
  EXPECT_EQ(Key(), RecordCheck::kPlausible) << "a volatile list names memory, not the file";
  Put32(key_, NK_PARENT, 0x24);
  EXPECT_EQ(Key(), RecordCheck::kLinks);
  Put32(key_, NK_PARENT, 0x20);

  Put32(key_, CELL_SIZE, static_cast<uint32_t>(-0x150));
  EXPECT_EQ(Key(), RecordCheck::kCellSize) << "allocated";
  Put32(key_, CELL_SIZE, 0x14C);
  EXPECT_EQ(Key(), RecordCheck::kCellSize) << "not a multiple of 8";
  Put32(key_, CELL_SIZE, 0x148);
  EXPECT_EQ(Key(), RecordCheck::kCellSize) << "shorter than the record";
}

TEST_F(RecordChecksTest, ValueKey) {
  EXPECT_EQ(Value(), RecordCheck::kPlausible);
  Put32(value_, VK_DATA_SIZE, 0x80000005);
  EXPECT_EQ(Value(), RecordCheck::kData) << "resident data longer than the field";
  Put32(value_, VK_DATA_SIZE, 5);
  Put32(value_, VK_DATA_OFFSET, 0x21);
  EXPECT_EQ(Value(), RecordCheck::kLinks);
  Put32(value_, VK_DATA_SIZE, 0x80000004);
  Put16(value_, VK_FLAGS, 0x0003);
  EXPECT_EQ(Value(), RecordCheck::kPlausible);
  Put16(value_, VK_FLAGS, 0x0005);
  EXPECT_EQ(Value(), RecordCheck::kFlags);
  Put16(value_, VK_FLAGS, 1);
  Put16(value_, VK_NAME_LENGTH, 0);
  EXPECT_EQ(Value(), RecordCheck::kPlausible) << "the unnamed value";
}

}  // namespace
}  // namespace keyscout
