#include "text/numbers.h"

namespace keyscout {

void AppendDecimal(uint64_t value, std::u16string* out) {
  char16_t digits[20];
  int n = 0;
  do {
    digits[n++] = static_cast<char16_t>(u'0' + value % 10);
    value /= 10;
  } while (value != 0);
  while (n > 0) out->push_back(digits[--n]);
}

std::u16string DecimalText(uint64_t value) {
  std::u16string text;
  AppendDecimal(value, &text);
  return text;
}

std::u16string HexText(uint64_t value, int width) {
  static constexpr char16_t HEX_DIGITS[] = u"0123456789ABCDEF";
  char16_t digits[16];
  int n = 0;
  do {
    digits[n++] = HEX_DIGITS[value & 0xF];
    value >>= 4;
  } while (value != 0);
  std::u16string text(width > n ? static_cast<size_t>(width - n) : 0, u'0');
  while (n > 0) text.push_back(digits[--n]);
  return text;
}

}  // namespace keyscout
