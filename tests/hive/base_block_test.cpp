#include "hive/base_block.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"
#include "support/log_builder.h"

namespace keyscout {
namespace {

using test::Bytes;

ByteReader Reader(const Bytes& bytes) { return ByteReader(bytes.data(), bytes.size()); }

TEST(BaseBlockChecksumTest, XorOfTheWordsWithItsTwoSubstitutions) {
  Bytes block(0x200, 0);
  EXPECT_EQ(ComputeBaseBlockChecksum(Reader(block)), 1u);  // 0 is kept as 1
  block[0x10] = block[0x11] = block[0x12] = block[0x13] = 0xFF;
  EXPECT_EQ(ComputeBaseBlockChecksum(Reader(block)), 0xFFFFFFFEu);
  block[0x1F9] = 0x01;  // the last word summed
  EXPECT_EQ(ComputeBaseBlockChecksum(Reader(block)), 0xFFFFFEFFu);
  EXPECT_FALSE(ComputeBaseBlockChecksum(ByteReader(block.data(), 0x1FB)));

  Bytes hive = test::HiveBuilder().Finish();
  EXPECT_TRUE(BaseBlockChecksumValid(Reader(hive)));
  hive[0x30] ^= 1;
  EXPECT_FALSE(BaseBlockChecksumValid(Reader(hive)));
}

TEST(IsHiveDirtyTest, SequenceNumbersApartOrABaseBlockThatCannotBeTrusted) {
  const Bytes clean = test::HiveBuilder().Finish();
  EXPECT_FALSE(IsHiveDirty(Reader(clean)));
  Bytes apart = clean;
  test::SetBaseU32(apart, BASE_PRIMARY_SEQUENCE, 2);  // checksum set again
  EXPECT_TRUE(IsHiveDirty(Reader(apart)));
  Bytes wrong_sum = clean;
  wrong_sum[BASE_CHECKSUM] ^= 1;
  EXPECT_TRUE(IsHiveDirty(Reader(wrong_sum)));
  EXPECT_TRUE(IsHiveDirty(ByteReader(clean.data(), BASE_CHECKSUM + 3))) << "the checksum cannot be read";
  EXPECT_FALSE(IsHiveDirty(ByteReader(clean.data(), BASE_CHECKSUM + 4)));
}

}  // namespace
}  // namespace keyscout
