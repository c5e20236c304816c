#include "text/console.h"

#include <cstring>

namespace keyscout {

namespace {
constexpr size_t CONSOLE_MIN_CAPACITY = 64;
}  // namespace

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
    // A template's own text and what the user typed is written as it is;
    // text from a hive with its control characters escaped.
    const auto text = [this](const FormatArg& a, std::u16string_view part) {
      if (a.from_hive) {
        HiveText(part);
      } else {
        Wide(part);
      }
    };
    if (rest.starts_with(u"%s")) {
      if (const FormatArg* a = take(); a && a->is_text) text(*a, a->text);
      i = j + 2;
    } else if (rest.starts_with(u"%-8s")) {
      if (const FormatArg* a = take(); a && a->is_text) {
        size_t n = 0;
        while (n < a->text.size() && a->text[n] != 0) ++n;
        text(*a, a->text.substr(0, n));
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
