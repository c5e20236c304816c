// The one gate to untrusted bytes: boundary pairs of every read and of every
// copy and put into a buffer, and the eight-bytes-per-step widening of stored
// names checked against the plain rule at every position of texts that end
// inside a step, on its boundary and after it. Sources are exact-size heap
// blocks, so the sanitizer build sees any read past them; the destinations
// carry sentinels.
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

// A copy is checked at both ends before a byte moves: the source inside the
// reader and the destination inside its span.
TEST(ByteReaderTest, CopiesAndPutsCheckTheirDestination) {
  const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const ByteReader r(bytes, sizeof bytes);
  std::vector<uint8_t> out(6, 0xEE);
  EXPECT_TRUE(r.Copy(4, 4, out, 2));
  EXPECT_EQ(out, (std::vector<uint8_t>{0xEE, 0xEE, 5, 6, 7, 8}));
  EXPECT_FALSE(r.Copy(0, 4, out, 3)) << "one byte past the destination";
  EXPECT_FALSE(r.Copy(5, 4, out, 0)) << "one byte past the source";
  EXPECT_FALSE(r.Copy(0, 1, out, UINT64_MAX));
  EXPECT_EQ(out, (std::vector<uint8_t>{0xEE, 0xEE, 5, 6, 7, 8})) << "a refused copy writes nothing";
  EXPECT_TRUE(r.Copy(8, 0, out, 6));

  EXPECT_TRUE(PutU32(out, 2, 0x0A0B0C0Du));
  EXPECT_TRUE(PutU16(out, 0, 0x0102));
  EXPECT_EQ(out, (std::vector<uint8_t>{2, 1, 0x0D, 0x0C, 0x0B, 0x0A}));
  EXPECT_FALSE(PutU32(out, 3, 0));
  EXPECT_FALSE(PutU16(out, 5, 0));
  EXPECT_FALSE(PutU32(out, UINT64_MAX - 1, 0));
  EXPECT_EQ(out, (std::vector<uint8_t>{2, 1, 0x0D, 0x0C, 0x0B, 0x0A})) << "a refused put writes nothing";
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
