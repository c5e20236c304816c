#include "hive/key_lookup.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;
using test::NO_CELL;

// A hive under construction plus the lookups run on it.
struct Hive {
  HiveBuilder b;
  Bytes bytes;

  uint32_t Key(const std::u16string& name) { return b.Key(KeySpec{.name = name}); }
  uint32_t Root(uint32_t stable_list, uint32_t volatile_list = NO_CELL) {
    const uint32_t root = b.Key(KeySpec{.name = u"ROOT", .stable_count = 1, .volatile_count = 1,
                                        .stable_list = stable_list, .volatile_list = volatile_list});
    b.SetRoot(root);
    bytes = b.Finish();
    return root;
  }
  HiveImage image() const { return HiveImage(bytes.data(), bytes.size()); }
  std::optional<uint32_t> Find(const std::u16string& path) const {
    const std::optional<Cell> found = FindKeyByPath(image(), path);
    if (!found) return std::nullopt;
    return found->index;
  }
};

TEST(SplitKeyPathTest, BackslashRunsAddNoComponents) {
  std::vector<std::u16string_view> parts;
  EXPECT_TRUE(SplitKeyPath(u"", &parts));
  EXPECT_TRUE(parts.empty());
  EXPECT_TRUE(SplitKeyPath(u"\\\\\\", &parts));
  EXPECT_TRUE(parts.empty());
  EXPECT_TRUE(SplitKeyPath(u"\\A\\\\b c\\./\\", &parts));
  EXPECT_EQ(parts, (std::vector<std::u16string_view>{u"A", u"b c", u"./"}));
}

TEST(SplitKeyPathTest, LongPathsAreFineButLongComponentsAreNot) {
  std::vector<std::u16string_view> parts;
  std::u16string long_path;
  for (int i = 0; i < 100; ++i) long_path += u"ab\\";  // 300 units
  EXPECT_TRUE(SplitKeyPath(long_path, &parts));
  EXPECT_EQ(parts.size(), 100u);
  EXPECT_TRUE(SplitKeyPath(std::u16string(259, u'x'), &parts));
  EXPECT_FALSE(SplitKeyPath(u"a\\" + std::u16string(260, u'x'), &parts));
}

TEST(FindKeyByPathTest, EmptyAndBackslashPathsGiveTheRoot) {
  Hive h;
  const uint32_t a = h.Key(u"A");
  const uint32_t root = h.Root(h.b.LeafList("lh", {a}));
  for (const char16_t* path : {u"", u"\\", u"\\\\\\"}) EXPECT_EQ(h.Find(path), root);
  for (const char16_t* path : {u"A", u"\\A", u"A\\", u"\\\\A\\\\"}) EXPECT_EQ(h.Find(path), a);
}

TEST(FindKeyByPathTest, DeepPathsOfManyShortComponents) {
  HiveBuilder b;
  // 149 levels named "k" above "leaf": a path of 302 units, longer than a name
  // buffer.
  uint32_t child = b.Key(KeySpec{.name = u"leaf"});
  const uint32_t deepest = child;
  std::u16string path = u"leaf";
  for (int i = 0; i < 149; ++i) {
    child = b.Key(KeySpec{.name = u"k", .stable_count = 1, .stable_list = b.LeafList("lf", {child})});
    path = u"k\\" + path;
  }
  b.SetRoot(b.Key(KeySpec{.name = u"R", .stable_count = 1, .stable_list = b.LeafList("lf", {child})}));
  const Bytes bytes = b.Finish();
  ASSERT_GE(path.size(), 300u);
  const auto found = FindKeyByPath(HiveImage(bytes.data(), bytes.size()), path);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->index, deepest);
  EXPECT_FALSE(FindKeyByPath(HiveImage(bytes.data(), bytes.size()), u"k\\" + std::u16string(260, u'k')));
}

TEST(FindKeyByPathTest, CaseFoldingCoversOnlyAToZ) {
  Hive h;
  const uint32_t software = h.Key(u"SoftWare");
  const uint32_t accent = h.Key(u"\u00C9t\u00E9");
  h.Root(h.b.LeafList("lh", {software, accent}));
  for (const char16_t* path : {u"software", u"SOFTWARE", u"SoftWare"}) EXPECT_EQ(h.Find(path), software);
  EXPECT_EQ(h.Find(u"\u00C9T\u00E9"), accent);
  EXPECT_FALSE(h.Find(u"\u00E9t\u00E9")) << "an accented capital does not fold";
}

TEST(FindKeyByPathTest, WindowsOrderPutsUnderscoreAfterLetters) {
  // Windows keeps lists sorted by the upper-cased name, so "_" (0x5F) sorts
  // after every letter and "Fs_Rec" after "FSA".
  Hive h;
  std::vector<uint32_t> keys;
  for (const char16_t* name : {u"A", u"Fs", u"FSA", u"Fs_Rec", u"gpsvc", u"Zed", u"_X", u"~tilde"}) {
    keys.push_back(h.Key(name));
  }
  h.Root(h.b.LeafList("lh", keys));
  bool readable = true;
  EXPECT_GT(CompareKeyName(h.image(), Cell{keys[0]}, u"_X", &readable), 0) << "\"_X\" sorts after \"A\"";
  EXPECT_TRUE(readable);
  for (size_t i = 0; i < keys.size(); ++i) {
    const char16_t* names[] = {u"a", u"fs", u"fsa", u"FS_REC", u"GPSVC", u"zed", u"_x", u"~TILDE"};
    EXPECT_EQ(h.Find(names[i]), keys[i]) << i;
  }
}

TEST(FindKeyByPathTest, ListInAnotherOrderIsSettledByTheLinearPass) {
  Hive h;
  std::vector<uint32_t> keys;
  for (const char16_t* name : {u"Zulu", u"alpha", u"Mike", u"bravo", u"Yankee", u"charlie"}) {
    keys.push_back(h.Key(name));
  }
  h.Root(h.b.LeafList("lf", keys));
  EXPECT_EQ(h.Find(u"ALPHA"), keys[1]);
  EXPECT_EQ(h.Find(u"charlie"), keys[5]);
  EXPECT_EQ(h.Find(u"zulu"), keys[0]);
  EXPECT_FALSE(h.Find(u"delta"));

  // An empty volatile list after the miss does not end the search before
  // the pass.
  Hive with_volatile;
  const uint32_t zulu = with_volatile.Key(u"Zulu");
  const uint32_t alpha = with_volatile.Key(u"alpha");
  with_volatile.Root(with_volatile.b.LeafList("lh", {zulu, alpha}), with_volatile.b.LeafList("lh", {}));
  EXPECT_EQ(with_volatile.Find(u"Alpha"), alpha);
}

TEST(FindKeyByPathTest, EmptyNameIsNeverMatchedAndTheSearchMovesOn) {
  Hive h;
  const uint32_t unnamed = h.b.Key(KeySpec{.name = u"", .name_length = 0});
  const uint32_t b = h.Key(u"B");
  h.Root(h.b.LeafList("lh", {unnamed, b}));
  EXPECT_EQ(h.Find(u"B"), b);
}

TEST(FindKeyByPathTest, LiListsAsOwnListAndUnderRi) {
  Hive h;
  std::vector<uint32_t> keys;
  const std::u16string names[] = {u"K0", u"K1", u"K2", u"K3", u"K4", u"K5", u"K6", u"K7", u"K8"};
  for (const std::u16string& name : names) keys.push_back(h.Key(name));
  const uint32_t l1 = h.b.LeafList("li", {keys[0], keys[1], keys[2]});
  const uint32_t l2 = h.b.LeafList("li", {keys[3], keys[4], keys[5]});
  const uint32_t l3 = h.b.LeafList("lh", {keys[6], keys[7], keys[8]});
  h.Root(h.b.IndexRoot({l1, l2, l3}));
  for (size_t i = 0; i < 9; ++i) EXPECT_EQ(h.Find(u"k" + names[i].substr(1)), keys[i]) << i;

  Hive own;
  const uint32_t x = own.Key(u"X");
  const uint32_t y = own.Key(u"Y");
  own.Root(own.b.LeafList("li", {x, y}));
  EXPECT_EQ(own.Find(u"y"), y);
}

TEST(FindKeyByPathTest, RiWithEmptyOrUnknownSubListsStillFindsTheRest) {
  Hive h;
  const uint32_t a = h.Key(u"A");
  const uint32_t m = h.Key(u"M");
  const uint32_t empty = h.b.LeafList("lh", {});
  const uint32_t unknown = h.b.AddCell({'x', 'y', 1, 0, 0, 0, 0, 0});
  h.Root(h.b.IndexRoot({h.b.LeafList("lh", {a}), empty, unknown, h.b.LeafList("lh", {m})}));
  EXPECT_EQ(h.Find(u"A"), a);
  EXPECT_EQ(h.Find(u"M"), m);
  EXPECT_FALSE(h.Find(u"B"));

  Hive none;
  none.Root(none.b.IndexRoot({}));
  EXPECT_FALSE(none.Find(u"A"));
}

TEST(FindKeyByPathTest, StableThenVolatileRules) {
  {  // a miss in the stable list, a hit in the volatile list
    Hive h;
    const uint32_t s = h.Key(u"Stable");
    const uint32_t v = h.Key(u"Volatile");
    h.Root(h.b.LeafList("lh", {s}), h.b.LeafList("lh", {v}));
    EXPECT_EQ(h.Find(u"volatile"), v);
  }
  {  // no stable list: the volatile list is never consulted
    Hive h;
    const uint32_t v = h.Key(u"Volatile");
    h.Root(NO_CELL, h.b.LeafList("lh", {v}));
    EXPECT_FALSE(h.Find(u"volatile"));
  }
  {  // an empty stable list ends the search
    Hive h;
    const uint32_t v = h.Key(u"Volatile");
    h.Root(h.b.LeafList("lh", {}), h.b.LeafList("lh", {v}));
    EXPECT_FALSE(h.Find(u"volatile"));
  }
  {  // a stable "ri": the volatile list is not consulted whatever the outcome
    Hive h;
    const uint32_t s = h.Key(u"Stable");
    const uint32_t v = h.Key(u"Volatile");
    h.Root(h.b.IndexRoot({h.b.LeafList("lh", {s})}), h.b.LeafList("lh", {v}));
    EXPECT_EQ(h.Find(u"stable"), s);
    EXPECT_FALSE(h.Find(u"volatile"));
  }
}

TEST(FindKeyByPathTest, MissingMiddleComponentEndsTheWalk) {
  Hive h;
  const uint32_t c = h.Key(u"C");
  const uint32_t a = h.b.Key(KeySpec{.name = u"A", .stable_count = 1, .stable_list = h.b.LeafList("lh", {c})});
  h.Root(h.b.LeafList("lh", {a}));
  EXPECT_EQ(h.Find(u"A\\C"), c);
  EXPECT_FALSE(h.Find(u"A\\B\\C"));
}

TEST(FindKeyByPathTest, KeysSearchedUnderMustBeValidNodes) {
  Hive h;
  const uint32_t c = h.Key(u"C");
  const uint32_t a = h.b.Key(KeySpec{.name = u"A", .stable_count = 1, .stable_list = h.b.LeafList("lh", {c})});
  h.Root(h.b.LeafList("lh", {a}));
  Bytes bad_sig = h.bytes;
  bad_sig[HiveBuilder::FileOffset(a) + 4] = 'x';
  EXPECT_TRUE(FindKeyByPath(HiveImage(bad_sig.data(), bad_sig.size()), u"A"));
  EXPECT_FALSE(FindKeyByPath(HiveImage(bad_sig.data(), bad_sig.size()), u"A\\C"));
}

TEST(FindKeyByPathTest, NamesUpToTheLongestAreFoundAndNamesPastTheFileAreNot) {
  HiveBuilder b;
  const std::u16string longest = std::u16string(NAME_MAX_CHARS - 1, u'b') + u'c';
  const uint32_t k_longest = b.Key(KeySpec{.name = longest});
  const uint32_t list = b.LeafList("lh", {k_longest, 0});
  b.SetRoot(b.Key(KeySpec{.name = u"R", .stable_count = 2, .stable_list = list}));
  // The last cell of the file, so that cutting its name cuts nothing else.
  const uint32_t tail = b.Key(KeySpec{.name = u"Name"});
  b.PatchCellU32(list, LIST_ENTRIES + LEAF_ENTRY_SIZE, tail);
  Bytes bytes = b.Finish();
  const HiveImage image(bytes.data(), bytes.size());
  EXPECT_EQ(FindKeyByPath(image, longest)->index, k_longest);
  EXPECT_FALSE(FindKeyByPath(image, longest + u"c")) << "one unit longer than any stored name";
  EXPECT_EQ(FindKeyByPath(image, u"name")->index, tail);
  bytes.resize(HiveBuilder::FileOffset(tail) + NK_NAME + 2);  // the name's third byte is gone
  EXPECT_FALSE(FindKeyByPath(HiveImage(bytes.data(), bytes.size()), u"Name"));
}

}  // namespace
}  // namespace keyscout
