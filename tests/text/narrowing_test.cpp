// The eight-units-per-step narrowing of 16-bit text, checked against the plain
// rule with special values at every position of texts that end inside a step,
// on its boundary and after it. Sources are exact-size heap blocks, so the
// sanitizer build sees any read past them; the destinations carry sentinels.
#include "text/narrowing.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace keyscout {
namespace {

constexpr size_t LONGEST = 40;
constexpr char SENTINEL_BYTE = '#';

TEST(NarrowingTest, ReplacesWideUnitsAndStopsAtTheFirstZeroUnit) {
  // A zero unit, U+0100, U+FF00 (zero low byte), U+8000 and U+00FF (plain).
  for (const char16_t special : {u'\0', u'\u0100', u'\uFF00', u'\u8000', u'\u00FF'}) {
    for (size_t count = 1; count <= LONGEST; ++count) {
      for (size_t at = 0; at < count; ++at) {
        const std::unique_ptr<char16_t[]> units(new char16_t[count]);
        for (size_t i = 0; i < count; ++i) units[i] = static_cast<char16_t>(u'A' + i);
        units[at] = special;
        std::string expected;
        for (size_t i = 0; i < count && units[i] != 0; ++i) {
          expected.push_back(units[i] <= 0xFF ? static_cast<char>(units[i]) : '?');
        }
        std::vector<char> out(count + 1, SENTINEL_BYTE);
        const size_t written = NarrowToZero(units.get(), count, out.data());
        ASSERT_EQ(std::string(out.data(), written), expected) << count << "/" << at << "/" << +special;
        for (size_t i = written; i <= count; ++i) ASSERT_EQ(out[i], SENTINEL_BYTE) << count << "/" << at;
      }
    }
  }
}

}  // namespace
}  // namespace keyscout
