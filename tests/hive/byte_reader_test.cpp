// The one gate to untrusted bytes: boundary pairs of every read, and the
// eight-bytes-per-step widening of stored names checked against the plain rule
// at every position of texts that end inside a step, on its boundary and after
// it. Sources are exact-size heap blocks, so the sanitizer build sees any read
// past them; the destinations carry sentinels.
#include "hive/byte_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace keyscout {
namespace {

constexpr size_t LONGEST = 40;
constexpr char16_t SENTINEL_UNIT = 0xABCD;

TEST(ByteReaderTest, BoundaryPairs) {
  const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const ByteReader r(bytes, sizeof bytes);
  uint32_t v = 0;
  EXPECT_TRUE(r.U32(4, &v));
  EXPECT_EQ(v, 0x08070605u);
  EXPECT_FALSE(r.U32(5, &v));
  EXPECT_EQ(v, 0x08070605u) << "a refused read changes nothing";
  uint64_t wide = 0;
  EXPECT_TRUE(r.U64(0, &wide));
  EXPECT_EQ(wide, 0x0807060504030201u);
  EXPECT_FALSE(r.U64(1, &wide));
  EXPECT_FALSE(r.Sub(8, 0).IsNull());
  EXPECT_EQ(r.Sub(8, 0).size(), 0u);
  EXPECT_TRUE(r.Sub(8, 1).IsNull());
  EXPECT_TRUE(r.Sub(UINT64_MAX, 2).IsNull());
  EXPECT_TRUE(r.Sub(1, UINT64_MAX).IsNull());
  EXPECT_EQ(r.From(3).size(), 5u);
  EXPECT_TRUE(r.From(9).IsNull());
  uint8_t last = 0;
  EXPECT_TRUE(r.Sub(4, 4).U8(3, &last));
  EXPECT_EQ(last, 8);
  EXPECT_FALSE(r.Sub(4, 3).U8(3, &last)) << "a sub-reader ends where it was cut";
  EXPECT_TRUE(ByteReader().IsNull());
  EXPECT_FALSE(ByteReader().U8(0, &last));
}

TEST(ByteReaderTest, WideningStopsAtTheFirstZeroByteAndWritesNothingPastIt) {
  for (size_t count = 0; count <= LONGEST; ++count) {
    for (size_t zero = 0; zero <= count; ++zero) {  // zero == count: no zero byte
      const std::unique_ptr<uint8_t[]> bytes(new uint8_t[count]);
      for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(0x7F + i);  // 0x7F..0xA6
      if (zero < count) bytes[zero] = 0;
      std::vector<char16_t> out(count + 1, SENTINEL_UNIT);
      const ByteReader reader(bytes.get(), count);
      size_t written = 0;
      ASSERT_TRUE(reader.WidenToZero(0, count, out.data(), &written));
      ASSERT_EQ(written, zero) << count << "/" << zero;
      if (count > 0) {
        ASSERT_FALSE(reader.WidenToZero(1, count, out.data(), &written)) << count;
      }
      for (size_t i = 0; i < zero; ++i) ASSERT_EQ(out[i], 0x7F + i) << count << "/" << zero << " at " << i;
      for (size_t i = zero; i <= count; ++i) ASSERT_EQ(out[i], SENTINEL_UNIT) << count << "/" << zero << " at " << i;
    }
  }
}

TEST(ByteReaderTest, SixteenBitUnitsStopAtTheFirstZeroUnit) {
  const uint8_t bytes[6] = {'A', 0, 0x1A, 0x04, 0, 0};
  const ByteReader reader(bytes, sizeof bytes);
  char16_t out[3] = {SENTINEL_UNIT, SENTINEL_UNIT, SENTINEL_UNIT};
  size_t written = 0;
  ASSERT_TRUE(reader.UnitsToZero(0, 3, out, &written));
  EXPECT_EQ(written, 2u);
  EXPECT_EQ(out[1], 0x041A);
  EXPECT_EQ(out[2], SENTINEL_UNIT);
  EXPECT_FALSE(reader.UnitsToZero(1, 3, out, &written));
}

}  // namespace
}  // namespace keyscout
