// The eight-units-per-step narrowing and escaping of 16-bit text, in both
// encodings, checked against a plain unit-by-unit rule with special values
// at every position of texts that end inside a step, on its boundary and
// after it. Sources are exact-size heap blocks, so the sanitizer build sees
// any read past them; the destinations carry sentinels.
#include "text/narrowing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "text/utf8.h"

namespace keyscout {
namespace {

constexpr size_t LONGEST = 40;
constexpr char SENTINEL_BYTE = '#';
constexpr char16_t HIGH = 0xD83D;  // the halves of U+1F600
constexpr char16_t LOW = 0xDE00;

// The rule, one unit at a time.
std::string Expected(const char16_t* units, size_t count, TextEncoding encoding, bool escape) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    const char16_t unit = units[i];
    if (!escape && unit == 0) break;
    if (escape && IsControlUnit(unit)) {
      char text[8];  // room the compiler can see for any unit
      std::snprintf(text, sizeof(text), "\\x%02X", unsigned{unit});
      out += text;
    } else if (encoding == TextEncoding::kLatin1) {
      out.push_back(unit <= 0xFF ? static_cast<char>(unit) : '?');
    } else {
      uint32_t point = unit;
      if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
        point = 0x10000 + ((unit - 0xD800u) << 10) + (units[++i] - 0xDC00u);
      } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
        point = 0xFFFD;
      }
      char bytes[4];
      out.append(bytes, PutUtf8(point, bytes));
    }
  }
  return out;
}

TEST(NarrowingTest, EveryEncodingAndEscapeAtEveryPositionOfEveryLength) {
  // A zero unit, the edges of the control ranges and of one-byte output, a
  // wide unit with a zero low byte, both halves of a surrogate (a pair when
  // the high half precedes the text's low half), and a plain U+00FF.
  for (const char16_t special : {u'\0', u'\x1F', u'\x7F', u'\x80', u'\x9F', u'\xA0', u'\u00FF', u'\u0100',
                                 u'\uFF00', u'\u8000', HIGH, LOW}) {
    for (size_t count = 1; count <= LONGEST; ++count) {
      for (size_t at = 0; at < count; ++at) {
        const std::unique_ptr<char16_t[]> units(new char16_t[count]);
        for (size_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(u'A' + i);
        units[at] = special;
        if (special == HIGH && at + 1 < count) units[at + 1] = LOW;
        for (const TextEncoding encoding : {TextEncoding::kLatin1, TextEncoding::kUtf8}) {
          for (const bool escape : {false, true}) {
            std::vector<char> out(count * UNIT_BYTES_MOST + 1, SENTINEL_BYTE);
            const size_t written = escape ? EscapeText(units.get(), count, encoding, out.data())
                                          : NarrowToZero(units.get(), count, encoding, out.data());
            ASSERT_EQ(std::string(out.data(), written), Expected(units.get(), count, encoding, escape))
                << count << "/" << at << "/" << +special << "/" << escape;
            for (size_t i = written; i < out.size(); ++i) ASSERT_EQ(out[i], SENTINEL_BYTE) << count << "/" << at;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace keyscout
