#include "hive/subkey_walk.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hive/key_lookup.h"
#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;

int CountUntil(void* context, Cell, const char16_t*, size_t) {
  int* left = static_cast<int*>(context);
  return --*left > 0 ? VISIT_CONTINUE : VISIT_STOP;
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
  EXPECT_TRUE(WalkSubkeys(HiveImage(bytes.data(), bytes.size()), Cell{key}, CountUntil, &left));
  EXPECT_EQ(left, 7) << "stable list walked in full, then the zero volatile count ends the walk";
}

TEST(WalkSubkeysTest, DamageCutsTheWalkShort) {
  HiveBuilder b;
  const uint32_t a = b.Key(KeySpec{.name = u"A"});
  const uint32_t no_list = b.Key(KeySpec{.name = u"K", .stable_count = 1});
  const uint32_t no_volatile_list =
      b.Key(KeySpec{.name = u"K", .stable_count = 1, .volatile_count = 1, .stable_list = b.LeafList("lh", {a})});
  const Bytes bytes = b.Finish();
  const HiveImage image(bytes.data(), bytes.size());
  int left = 10;
  EXPECT_FALSE(WalkSubkeys(image, Cell{no_list}, CountUntil, &left));
  EXPECT_FALSE(WalkSubkeys(image, Cell{no_volatile_list}, CountUntil, &left));
  EXPECT_EQ(left, 9) << "the stable list's row came before the damage";
  EXPECT_FALSE(WalkSubkeys(image, Cell{a + 8}, CountUntil, &left)) << "not a key node";
}

int CollectNames(void* context, Cell, const char16_t* name, size_t length) {
  static_cast<std::vector<std::u16string>*>(context)->emplace_back(name, length);
  return VISIT_CONTINUE;
}

// The walk and the lookup read an "ri" by one rule: a sub-list of another
// form (here a nested "ri" and a cell that is no list) holds no keys and the
// sub-lists after it are still read, so a key is found exactly when it is
// listed.
TEST(WalkSubkeysTest, AnIndexRootIsReadAsTheLookupReadsIt) {
  HiveBuilder b;
  std::vector<uint32_t> keys;
  for (const char16_t* name : {u"A", u"B", u"M", u"N", u"Z"}) keys.push_back(b.Key(KeySpec{.name = name}));
  const uint32_t hidden = b.Key(KeySpec{.name = u"H"});
  const uint32_t nested = b.IndexRoot({b.LeafList("lh", {hidden})});
  const uint32_t not_a_list = b.AddCell({'x', 'y', 1, 0, 0, 0, 0, 0});
  const uint32_t ri = b.IndexRoot({b.LeafList("lh", {keys[0], keys[1]}), nested, b.LeafList("lf", {keys[2]}),
                                   not_a_list, b.LeafList("li", {keys[3], keys[4]})});
  const uint32_t key = b.Key(KeySpec{.name = u"K", .stable_count = 6, .stable_list = ri});
  const Bytes bytes = b.Finish();
  const HiveImage image(bytes.data(), bytes.size());
  std::vector<std::u16string> listed;
  EXPECT_TRUE(WalkSubkeys(image, Cell{key}, CollectNames, &listed));
  EXPECT_EQ(listed, (std::vector<std::u16string>{u"A", u"B", u"M", u"N", u"Z"}));
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(FindSubkey(image, Cell{key}, listed[i].c_str()), Cell{keys[i]}) << i;
  }
  EXPECT_EQ(FindSubkey(image, Cell{key}, u"H"), std::nullopt) << "a key under a nested ri is not listed either";
}

}  // namespace
}  // namespace keyscout
