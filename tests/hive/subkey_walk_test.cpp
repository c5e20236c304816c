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

}  // namespace
}  // namespace keyscout
