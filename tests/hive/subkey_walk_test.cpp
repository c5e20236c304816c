#include "hive/subkey_walk.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace keyscout
