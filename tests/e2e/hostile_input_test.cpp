// Small hostile hives that cost a careless reader far more than their size:
// lists that name the same lists over and over, and stored lengths far beyond
// the file. Each must be answered in time and memory in proportion to the file.
#include <gtest/gtest.h>

#include "app/value_report.h"
#include "hive/key_lookup.h"
#include "hive/subkey_walk.h"
#include "support/hive_builder.h"
#include "support/run_tool.h"
#include "support/string_sink.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;

// An "ri" of `roots` entries that all name one leaf list of `leaves` entries,
// which all name one key "Same", and then one more leaf list with the key
// "Aaa": a file of a few tens of KiB whose listing, if every entry were
// followed, would print roots x leaves rows before reaching "Aaa".
Bytes RepeatedLists(uint32_t roots, uint32_t leaves, const char* leaf_signature = "lf") {
  HiveBuilder b;
  const uint32_t same = b.Key(KeySpec{.name = u"Same"});
  const uint32_t leaf = b.LeafList(leaf_signature, std::vector<uint32_t>(leaves, same));
  std::vector<uint32_t> leaf_lists(roots, leaf);
  leaf_lists.push_back(b.LeafList(leaf_signature, {b.Key(KeySpec{.name = u"Aaa"})}));
  const uint32_t ri = b.IndexRoot(leaf_lists);
  b.SetRoot(b.Key(KeySpec{.name = u"ROOT", .stable_count = 1, .stable_list = ri}));
  return b.Finish();
}

int CountRows(void* context, Cell, const char16_t*, size_t) {
  ++*static_cast<uint64_t*>(context);
  return VISIT_CONTINUE;
}

TEST(HostileInputTest, AWalkOverListsNamedAgainAndAgainStopsWithinTheFilesRoomForEntries) {
  for (const char* signature : {"lf", "li"}) {
    const Bytes hive = RepeatedLists(4000, 4000, signature);
    const HiveImage image(hive.data(), hive.size());
    uint64_t rows = 0;
    // A sound hive cannot hold more entries than its bytes have room for, so
    // the walk ends there, as it ends at any other damage.
    EXPECT_FALSE(WalkSubkeys(image, RootKeyCell(image), CountRows, &rows)) << signature;
    EXPECT_GE(rows, 4000u) << signature;  // the first pass over the leaf list is whole
    EXPECT_LE(rows, hive.size() / 4) << signature;
  }
}

TEST(HostileInputTest, ALookupThroughListsNamedAgainAndAgainEndsWithinTheFilesRoomForEntries) {
  const Bytes hive = RepeatedLists(4000, 4000);
  const HiveImage image(hive.data(), hive.size());
  EXPECT_TRUE(FindSubkey(image, RootKeyCell(image), u"same").has_value());
  // "Aaa" sorts before "Same", so the binary search never probes the last
  // leaf list, and the equality scan after it gives up where the listing does
  // instead of comparing sixteen million names: the key the listing cannot
  // reach is not found either.
  EXPECT_FALSE(FindSubkey(image, RootKeyCell(image), u"Aaa").has_value());
  const test::RunResult r = test::RunWith(hive, {"-f", "h", "-k", "Aaa", "-l"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, test::Banner() + "Cannot find the key. (Aaa)\n");
}

// Records what the value report asks of its allocator.
struct RecordingAllocator {
  static inline size_t calls = 0;
  static void* Allocate(size_t size) {
    ++calls;
    return DefaultValueBufferAllocator().allocate(size);
  }
  static void Release(void* block) { DefaultValueBufferAllocator().release(block); }
};

TEST(HostileInputTest, AValueLongerThanTheWholeFileIsRefusedBeforeAnyBufferIsAllocated) {
  HiveBuilder b;
  const uint32_t data = b.DataCell(test::Pattern(16));
  const uint32_t value = b.Value(test::ValueSpec{.name = u"V", .type = 3, .data_size = 16, .data_offset = data});
  b.SetRoot(b.Key(KeySpec{.name = u"ROOT", .value_count = 1, .value_list = b.ValueList({value})}));
  const Bytes intact = b.Finish();
  const ValueBufferAllocator recording{RecordingAllocator::Allocate, RecordingAllocator::Release};

  for (const uint32_t size : {0x7FFFFFFFu, 0xFFFFFFFFu, static_cast<uint32_t>(intact.size()) + 1}) {
    Bytes hive = intact;
    const uint64_t at = HiveBuilder::FileOffset(value) + VK_DATA_SIZE;
    for (size_t i = 0; i < 4; ++i) hive[at + i] = static_cast<uint8_t>(size >> (8 * i));
    const HiveImage image(hive.data(), hive.size());
    test::StringSink sink;
    {
      Console out(sink);
      RecordingAllocator::calls = 0;
      EXPECT_FALSE(ShowValue(image, RootKeyCell(image), ValueRequest{.name = u"V"}, {}, out, out, recording));
    }
    EXPECT_EQ(RecordingAllocator::calls, 0u) << size;
    EXPECT_EQ(sink.text, "Cannot read the value data. (V)\n") << size;
  }
}

}  // namespace
}  // namespace keyscout
