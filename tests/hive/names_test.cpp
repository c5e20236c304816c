// Stored names decoded into the fixed buffer: an 8-bit name is read eight bytes
// at a time, so the cases put the end of the name, a zero byte and the end of
// the file at every position around those steps.
#include "hive/names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace keyscout {
namespace {

// Decodes `name` placed at the very end of an exact-size image, so that a read
// past it leaves the heap block and the sanitizer build sees it.
int DecodeAtEnd(const std::vector<uint8_t>& name, uint16_t length_field, bool compressed, NameBuffer& buffer) {
  const size_t size = 16 + name.size();
  const std::unique_ptr<uint8_t[]> bytes(new uint8_t[size]);
  std::fill(bytes.get(), bytes.get() + 16, 0xAA);
  std::copy(name.begin(), name.end(), bytes.get() + 16);
  const HiveImage image(bytes.get(), size);
  return DecodeStoredName(image, 16, length_field, compressed, buffer);
}

TEST(DecodeStoredNameTest, EightBitNamesOfEveryLengthAroundTheSteps) {
  for (size_t length = 0; length <= 17; ++length) {
    std::vector<uint8_t> name;
    for (size_t i = 0; i < length; ++i) name.push_back(static_cast<uint8_t>(0xE0 + i));  // above 0x7F
    NameBuffer buffer;
    ASSERT_EQ(DecodeAtEnd(name, static_cast<uint16_t>(length), true, buffer), static_cast<int>(length));
    for (size_t i = 0; i < length; ++i) EXPECT_EQ(buffer[i], 0xE0 + i) << "unit " << i << " of " << length;
    EXPECT_EQ(buffer[length], 0);
  }
}

TEST(DecodeStoredNameTest, EightBitNameEndsAtItsFirstZeroByte) {
  for (size_t length = 1; length <= 17; ++length) {
    for (size_t zero = 0; zero < length; ++zero) {
      std::vector<uint8_t> name(length, 'k');
      name[zero] = 0;
      if (zero + 1 < length) name[zero + 1] = 0x80;  // a byte whose top bit fools a careless test
      NameBuffer buffer;
      EXPECT_EQ(DecodeAtEnd(name, static_cast<uint16_t>(length), true, buffer), static_cast<int>(zero))
          << "zero at " << zero << " of " << length;
      EXPECT_EQ(buffer[zero], 0);
    }
  }
}

TEST(DecodeStoredNameTest, NameOneByteLongerThanTheFileIsRefused) {
  const std::vector<uint8_t> name(9, 'n');
  NameBuffer buffer;
  EXPECT_EQ(DecodeAtEnd(name, 9, true, buffer), 9);
  EXPECT_EQ(DecodeAtEnd(name, 10, true, buffer), -1);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(DecodeAtEnd({'a', 0, 'b', 0, 'c', 0}, 6, false, buffer), 3);
  EXPECT_EQ(DecodeAtEnd({'a', 0, 'b', 0, 'c', 0}, 8, false, buffer), -1);
}

TEST(DecodeStoredNameTest, LongNamesAreCutAtTheLongestName) {
  const std::vector<uint8_t> name(300, 'x');
  NameBuffer buffer;
  EXPECT_EQ(DecodeAtEnd(name, 300, true, buffer), static_cast<int>(NAME_MAX_CHARS));
  EXPECT_EQ(buffer[NAME_MAX_CHARS - 1], u'x');
  EXPECT_EQ(buffer[NAME_MAX_CHARS], 0);
}

}  // namespace
}  // namespace keyscout
