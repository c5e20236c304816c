// Stored names of key nodes and value keys decoded into the fixed buffer:
// both forms, a length field that counts bytes, the cut at the longest name,
// and names that end at or run past the end of the file. (Widening eight
// bytes per step is the byte reader's, tested there.)
#include "hive/names.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;
using test::ValueSpec;

// Decodes a key node at HCELL_INDEX 0 whose name bytes `name` end the file,
// which is an exact-size heap block: a read past them is seen by the
// sanitizer build.
int DecodeAtEnd(const Bytes& name, uint16_t length_field, bool compressed, NameBuffer& buffer) {
  Bytes bytes(HIVE_BASE + NK_NAME + name.size(), 0xAA);
  std::copy(name.begin(), name.end(), bytes.begin() + HIVE_BASE + NK_NAME);
  const uint16_t flags = compressed ? NK_FLAG_COMPRESSED_NAME : 0;
  EXPECT_TRUE(PutU16(bytes, HIVE_BASE + NK_FLAGS, flags) && PutU16(bytes, HIVE_BASE + NK_NAME_LENGTH, length_field));
  return DecodeKeyName(HiveImage(bytes.data(), bytes.size()), Cell{0}, buffer);
}

// The decoded name, or "<unreadable>".
template <typename Decode>
std::u16string Decoded(const Bytes& bytes, uint32_t cell, Decode decode) {
  NameBuffer buffer;
  const int n = decode(HiveImage(bytes.data(), bytes.size()), Cell{cell}, buffer);
  if (n < 0) {
    EXPECT_EQ(buffer[0], 0) << "a name that cannot be read leaves the empty name";
    return u"<unreadable>";
  }
  EXPECT_EQ(buffer[n], 0);
  return std::u16string(buffer, static_cast<size_t>(n));
}

std::u16string KeyName(const Bytes& bytes, uint32_t key) { return Decoded(bytes, key, DecodeKeyName); }
std::u16string ValueName(const Bytes& bytes, uint32_t value) { return Decoded(bytes, value, DecodeValueName); }

ValueSpec Wide(const std::u16string& raw, std::optional<uint16_t> length = std::nullopt) {
  return ValueSpec{.compressed = false, .raw_name = test::Utf16Le(raw), .name_length = length};
}

TEST(DecodeNameTest, EightBitNameEndsAtItsFirstZeroByte) {
  for (size_t length = 1; length <= 17; ++length) {
    for (size_t zero = 0; zero < length; ++zero) {
      Bytes name(length, 'k');
      name[zero] = 0;
      if (zero + 1 < length) name[zero + 1] = 0x80;  // a byte whose top bit fools a careless test
      NameBuffer buffer;
      EXPECT_EQ(DecodeAtEnd(name, static_cast<uint16_t>(length), true, buffer), static_cast<int>(zero))
          << "zero at " << zero << " of " << length;
      EXPECT_EQ(buffer[zero], 0);
    }
  }
}

TEST(DecodeNameTest, NameOneByteLongerThanTheFileIsRefused) {
  const Bytes name(9, 'n');
  NameBuffer buffer;
  EXPECT_EQ(DecodeAtEnd(name, 9, true, buffer), 9);
  EXPECT_EQ(DecodeAtEnd(name, 10, true, buffer), -1);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(DecodeAtEnd({'a', 0, 'b', 0, 'c', 0}, 6, false, buffer), 3);
  EXPECT_EQ(DecodeAtEnd({'a', 0, 'b', 0, 'c', 0}, 8, false, buffer), -1);
}

// Keys and values keep their 8-bit flag in different bits of different
// fields: each decoder must read its own.
TEST(DecodeNameTest, SixteenBitNamesCountBytesAndStopAtZero) {
  HiveBuilder b;
  const uint32_t cyrillic = b.Key(KeySpec{.name = u"\u041A\u043B\u044E\u0447"});
  const uint32_t early = b.Key(KeySpec{.name = std::u16string(u"ab\0cd", 5), .compressed = false});
  const uint32_t odd = b.Key(KeySpec{.compressed = false, .raw_name = test::Utf16Le(u"xyz"), .name_length = 5});
  const uint32_t latin = b.Key(KeySpec{.name = u"Caf\u00E9"});
  // "Ab" (4 bytes) with more units after it inside the cell: reading the
  // length as a count of units would take "AbXY".
  const uint32_t value_ab = b.Value(Wide(u"AbXY", 4));
  const uint32_t value_early = b.Value(Wide(std::u16string(u"Q\0R", 3)));
  const uint32_t value_odd = b.Value(Wide(u"Zz", 3));
  const uint32_t value_latin = b.Value(ValueSpec{.name = u"\u00C9t\u00E9"});
  const Bytes bytes = b.Finish();
  EXPECT_EQ(KeyName(bytes, cyrillic), u"\u041A\u043B\u044E\u0447");
  EXPECT_EQ(KeyName(bytes, early), u"ab");
  EXPECT_EQ(KeyName(bytes, odd), u"xy") << "an odd byte count drops its last byte";
  EXPECT_EQ(KeyName(bytes, latin), u"Caf\u00E9");
  EXPECT_EQ(ValueName(bytes, value_ab), u"Ab");
  EXPECT_EQ(ValueName(bytes, value_early), u"Q");
  EXPECT_EQ(ValueName(bytes, value_odd), u"Z");
  EXPECT_EQ(ValueName(bytes, value_latin), u"\u00C9t\u00E9");
}

TEST(DecodeNameTest, LongNamesAreDecodedWholeUpToTheLongestAndCutThere) {
  HiveBuilder b;
  const std::u16string n130(130, u'a');
  const std::u16string n258 = std::u16string(257, u'b') + u'c';
  const uint32_t k130 = b.Key(KeySpec{.name = n130});
  const uint32_t k258 = b.Key(KeySpec{.name = n258});
  const uint32_t k300 = b.Key(KeySpec{.name = std::u16string(300, u'd')});
  const uint32_t w300 = b.Key(KeySpec{.name = std::u16string(300, u'\u0100')});
  const uint32_t v259 = b.Value(ValueSpec{.name = std::u16string(259, u'e')});
  const uint32_t v300 = b.Value(ValueSpec{.name = std::u16string(300, u'f'), .compressed = false});
  const Bytes bytes = b.Finish();
  EXPECT_EQ(KeyName(bytes, k130), n130);
  EXPECT_EQ(KeyName(bytes, k258), n258);
  EXPECT_EQ(KeyName(bytes, k300), std::u16string(NAME_MAX_CHARS, u'd'));
  EXPECT_EQ(KeyName(bytes, w300), std::u16string(NAME_MAX_CHARS, u'\u0100'));
  EXPECT_EQ(ValueName(bytes, v259), std::u16string(NAME_MAX_CHARS, u'e'));
  EXPECT_EQ(ValueName(bytes, v300), std::u16string(NAME_MAX_CHARS, u'f'));
}

TEST(DecodeNameTest, NamesRunningPastTheFileAreUnreadable) {
  HiveBuilder b;
  const uint32_t key = b.Key(KeySpec{.name = u"Name", .name_length = 4000});
  const uint32_t value = b.Value(ValueSpec{.name = u"Tail"});
  Bytes bytes = b.Finish();
  // While the file holds 259 bytes from the name on, the name is read, cut at
  // the buffer (or at a zero byte of whatever follows it in the file).
  const std::u16string whole = KeyName(bytes, key);
  EXPECT_EQ(whole.substr(0, 4), u"Name");
  EXPECT_LE(whole.size(), NAME_MAX_CHARS);
  bytes.resize(HiveBuilder::FileOffset(value) + VK_NAME + 2);  // the value's name's third byte is gone
  EXPECT_EQ(ValueName(bytes, value), u"<unreadable>");
  bytes.resize(HiveBuilder::FileOffset(value) + VK_NAME_LENGTH + 1);  // its length field is cut
  EXPECT_EQ(ValueName(bytes, value), u"<unreadable>");
  bytes.resize(HiveBuilder::FileOffset(key) + NK_NAME + 2);
  EXPECT_EQ(KeyName(bytes, key), u"<unreadable>");
}

}  // namespace
}  // namespace keyscout
