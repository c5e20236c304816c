#include "text/console.h"

#include <cstring>

namespace keyscout {

namespace {
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
constexpr size_t CONSOLE_MIN_CAPACITY = 64;
}  // namespace

constexpr char Console::HEX_PAIRS[513] =
    "000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F"
    "202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F"
    "404142434445464748494A4B4C4D4E4F505152535455565758595A5B5C5D5E5F"
    "606162636465666768696A6B6C6D6E6F707172737475767778797A7B7C7D7E7F"
    "808182838485868788898A8B8C8D8E8F909192939495969798999A9B9C9D9E9F"
    "A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF"
    "C0C1C2C3C4C5C6C7C8C9CACBCCCDCECFD0D1D2D3D4D5D6D7D8D9DADBDCDDDEDF"
    "E0E1E2E3E4E5E6E7E8E9EAEBECEDEEEFF0F1F2F3F4F5F6F7F8F9FAFBFCFDFEFF";

Console::Console(ByteSink& sink, size_t capacity)
    : sink_(sink),
      capacity_(capacity < CONSOLE_MIN_CAPACITY ? CONSOLE_MIN_CAPACITY : capacity),
      buffer_(new char[capacity_]) {}

Console::~Console() { Flush(); }

void Console::Flush() {
  // Once the sink failed, what follows is dropped: the output is incomplete
  // already, and the run ends with exit code 1.
  if (used_ != 0 && !failed_ && !sink_.Write(buffer_.get(), used_)) failed_ = true;
  used_ = 0;
}

void Console::MakeRoom(size_t length) {
  Flush();
  if (capacity_ < length) {
    // One piece of text larger than the whole buffer: grow to hold it.
    buffer_.reset(new char[length]);
    capacity_ = length;
  }
}

void Console::WriteThrough(const char* data, size_t length) {
  if (length >= capacity_) {
    // Too large to be worth copying: out it goes, after what is buffered.
    Flush();
    if (!failed_ && !sink_.Write(data, length)) failed_ = true;
    return;
  }
  std::memcpy(Reserve(length), data, length);
}

void Console::HexAnyWidth(uint32_t value, int digits) {
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
