#include "hive/marvin32.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

std::optional<uint64_t> Hash(const test::Bytes& bytes) {
  return HashMarvin32(ByteReader(bytes.data(), bytes.size()), 0, bytes.size());
}

TEST(Marvin32Test, PublishedVectorsLeftoverBytesAndRangesOutsideTheBytes) {
  test::Bytes counting(32);
  for (uint8_t i = 0; i < 32; ++i) counting[i] = i;
  EXPECT_EQ(Hash(test::Bytes(32, 0)), 0xDA91A06AC5359223ull);
  EXPECT_EQ(Hash(counting), 0xC64FEEE425C2E24Cull);
  EXPECT_EQ(Hash({}), 0xB39EFCA403966E08ull);
  // Three bytes past the last full word go into the final word under the
  // 0x80 marker (value from a separate implementation of the same rules).
  EXPECT_EQ(Hash({0, 1, 2, 3, 4, 5, 6}), 0x48C4F4D47D17EB8Bull);
  const ByteReader reader(counting.data(), counting.size());
  EXPECT_EQ(HashMarvin32(reader, 28, 4), Hash({28, 29, 30, 31}));
  EXPECT_FALSE(HashMarvin32(reader, 28, 5));
  EXPECT_FALSE(HashMarvin32(reader, UINT64_MAX, 2));
}

}  // namespace
}  // namespace keyscout
