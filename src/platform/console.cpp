#include "platform/console.h"

#include <cstring>

namespace keyscout {

namespace {
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
}  // namespace

Console::Console(ByteSink& sink, size_t capacity) : sink_(sink), buffer_(capacity < 64 ? 64 : capacity) {}

Console::~Console() { Flush(); }

void Console::Flush() {
  if (used_ != 0) sink_.Write(buffer_.data(), used_);
  used_ = 0;
}

char* Console::Reserve(size_t length) {
  if (buffer_.size() - used_ < length) {
    Flush();
    if (buffer_.size() < length) buffer_.resize(length);
  }
  char* at = buffer_.data() + used_;
  used_ += length;
  return at;
}

void Console::Bytes(const char* data, size_t length) {
  if (length >= buffer_.size()) {
    Flush();
    sink_.Write(data, length);
    return;
  }
  std::memcpy(Reserve(length), data, length);
}

void Console::Wide(std::u16string_view text) {
  size_t n = 0;
  while (n < text.size() && text[n] != 0) ++n;
  char* out = Reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const char16_t unit = text[i];
    out[i] = unit <= 0xFF ? static_cast<char>(unit) : '?';
  }
}

void Console::Hex(uint32_t value, int digits) {
  char tmp[8];
  int n = 0;
  do {
    tmp[n++] = HEX_DIGITS[value & 0xF];
    value >>= 4;
  } while (value != 0 && n < 8);
  const int width = digits > n ? digits : n;
  char* out = Reserve(static_cast<size_t>(width));
  for (int i = 0; i < width - n; ++i) out[i] = '0';
  for (int i = 0; i < n; ++i) out[width - 1 - i] = tmp[i];
}

void Console::Unsigned(uint64_t value) {
  char tmp[20];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  char* out = Reserve(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out[i] = tmp[n - 1 - i];
}

void Console::Format(std::u16string_view format, std::initializer_list<FormatArg> args) {
  const FormatArg* arg = args.begin();
  const FormatArg* end = args.end();
  size_t i = 0;
  while (i < format.size()) {
    // Copy the literal run up to the next conversion in one go.
    size_t j = i;
    while (j < format.size() && format[j] != u'%') ++j;
    if (j > i) Wide(format.substr(i, j - i));
    if (j >= format.size()) break;
    std::u16string_view rest = format.substr(j);
    auto take = [&]() -> const FormatArg* { return arg != end ? arg++ : nullptr; };
    if (rest.starts_with(u"%s")) {
      if (const FormatArg* a = take(); a && a->is_text) Wide(a->text);
      i = j + 2;
    } else if (rest.starts_with(u"%-8s")) {
      if (const FormatArg* a = take(); a && a->is_text) {
        size_t n = 0;
        while (n < a->text.size() && a->text[n] != 0) ++n;
        Wide(a->text.substr(0, n));
        for (size_t pad = n; pad < 8; ++pad) Bytes(" ", 1);
      }
      i = j + 4;
    } else if (rest.starts_with(u"%08X")) {
      if (const FormatArg* a = take(); a && !a->is_text) Hex(a->number, 8);
      i = j + 4;
    } else if (rest.starts_with(u"%02X")) {
      if (const FormatArg* a = take(); a && !a->is_text) Hex(a->number, 2);
      i = j + 4;
    } else if (rest.starts_with(u"%u")) {
      if (const FormatArg* a = take(); a && !a->is_text) Unsigned(a->number);
      i = j + 2;
    } else if (rest.starts_with(u"%%")) {
      Bytes("%", 1);
      i = j + 2;
    } else {
      Bytes("%", 1);
      i = j + 1;
    }
  }
}

}  // namespace keyscout
