// The one output layer. Every report writes through a Console, which buffers
// bytes and hands them to a ByteSink. Text is 16-bit units, written by the
// console's encoding (text/narrowing.h): by default each unit up to U+00FF as
// the one byte of that value and every other unit as "?", after which output
// goes on; UTF-8 with -U. Text read from a hive has its control characters
// escaped on the way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <concepts>
#include <memory>
#include <string>
#include <string_view>

#include "text/numbers.h"
#include "text/narrowing.h"

namespace keyscout {

// Where the bytes finally go: standard output or standard error in the
// product (platform/output_sink.h says what else a run's streams tell), a
// string in tests.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `length` bytes. False when they could not all be written;
  // nothing more is handed to a sink that failed.
  [[nodiscard]] virtual bool Write(const char* data, size_t length) = 0;
};

// Text read from a hive (a name, a class name, a service's name) or found
// beside it (a file name in its folder), as a message argument: its control
// characters are escaped (Console::HiveText).
struct FromHive {
  std::u16string_view text;
};

// One argument of a message template: a wide string or a number.
struct FormatArg {
  FormatArg(std::u16string_view s) : text(s), is_text(true) {}  // NOLINT: implicit by design
  FormatArg(const char16_t* s) : text(s), is_text(true) {}      // NOLINT
  FormatArg(const std::u16string& s) : text(s), is_text(true) {}  // NOLINT
  FormatArg(FromHive s) : text(s.text), is_text(true), from_hive(true) {}  // NOLINT
  template <std::unsigned_integral N>
  FormatArg(N n) : number(n), is_text(false) {}  // NOLINT: any unsigned number, up to 64 bits
  std::u16string_view text;
  uint64_t number = 0;
  bool is_text;
  bool from_hive = false;
};

// A listing can print a million rows, so the calls a row makes cost a room
// test and a few stores while the buffer has room (wide text adds one call to
// its narrowing loop); only a full buffer takes the slow path.
class Console {
 public:
  explicit Console(ByteSink& sink, size_t capacity = 1 << 18);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Narrow bytes, as they are.
  void Bytes(const char* data, size_t length) {
    if (length < capacity_ - used_) {
      std::memcpy(buffer_.get() + used_, data, length);
      used_ += length;
      return;
    }
    WriteThrough(data, length);
  }
  void Ascii(std::string_view text) { Bytes(text.data(), text.size()); }
  // The program's own text and what the user typed (paths, names asked
  // for), up to its end or its first zero unit, by the output encoding.
  void Wide(std::u16string_view text) {
    const size_t most = MostBytes(text.size());
    char* out = Reserve(most);
    used_ -= most - NarrowToZero(text.data(), text.size(), encoding_, out);  // hand back what was not used
  }
  // Text read from a hive, every unit of it: control characters as \xNN,
  // the rest by the output encoding (EscapeText).
  void HiveText(std::u16string_view text) {
    const size_t most = text.size() * UNIT_BYTES_MOST;
    char* out = Reserve(most);
    used_ -= most - EscapeText(text.data(), text.size(), encoding_, out);
  }
  // `value` in upper-case hexadecimal, zero-padded to at least `digits`
  // digits (at most 16: "%08X", "%02X").
  void Hex(uint64_t value, int digits) {
    char* out = Reserve(NUMBER_DIGITS_MOST);
    used_ -= NUMBER_DIGITS_MOST - PutHex(value, digits, out);
  }
  // One listing row, "%08X" of `index`, then `columns` (narrow, as they are),
  // then `name`, read from a hive, as HiveText() writes it, then a line end.
  // The same bytes as those four calls, with one room test for the whole row.
  void IndexRow(uint32_t index, std::string_view columns, std::u16string_view name) {
    const size_t most = 8 + columns.size() + name.size() * UNIT_BYTES_MOST + 1;
    char* const out = Reserve(most);
    PutHex8(index, out);
    char* at = out + 8;
    for (const char c : columns) *at++ = c;  // a tab, or a few columns
    at += EscapeText(name.data(), name.size(), encoding_, at);
    *at++ = '\n';
    used_ -= most - static_cast<size_t>(at - out);
  }
  // Decimal ("%u").
  void Unsigned(uint64_t value) {
    char* out = Reserve(NUMBER_DIGITS_MOST);
    used_ -= NUMBER_DIGITS_MOST - PutDecimal(value, out);
  }

  // Room for up to `most` bytes, to be written straight into the buffer;
  // Commit then hands back what the writer did not use. Nothing else may be
  // written to the console in between. For records built in place.
  char* Room(size_t most) { return Reserve(most); }
  // `end` lies between the start of the room last given and its end.
  void Commit(const char* end) { used_ = static_cast<size_t>(end - buffer_.get()); }

  // The output encoding of every text written from now on: ISO 8859-1 until
  // set otherwise.
  void SetEncoding(TextEncoding encoding) { encoding_ = encoding; }

  // Fills a message template. It knows exactly the conversions the messages
  // use (a FromHive text is written as HiveText() writes it): %s, %-8s
  // (left-aligned in 8 columns, longer text whole), %08X, %02X, %u (numbers
  // up to 64 bits) and %%. Anything else is written as it stands.
  void Format(std::u16string_view format, std::initializer_list<FormatArg> args);

  // Hands what is buffered to the sink. Once the sink failed, all output is
  // dropped: it is incomplete already, and the sink says why.
  void Flush();

 private:
  // Room for `length` more bytes, flushing first when the buffer is full.
  char* Reserve(size_t length) {
    if (length > capacity_ - used_) MakeRoom(length);
    char* at = buffer_.get() + used_;
    used_ += length;
    return at;
  }
  // The most bytes `units` units of text take without escapes.
  size_t MostBytes(size_t units) const { return encoding_ == TextEncoding::kLatin1 ? units : units * 3; }
  void MakeRoom(size_t length);
  void WriteThrough(const char* data, size_t length);

  ByteSink& sink_;
  size_t capacity_;
  // Left uninitialised: only the bytes written are ever handed on.
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
  bool failed_ = false;
  TextEncoding encoding_ = TextEncoding::kLatin1;
};

}  // namespace keyscout
