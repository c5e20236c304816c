// The one output layer. Every report writes through a Console, which buffers
// bytes and hands them to a ByteSink (standard output in the product, a string
// in tests). Text is 16-bit units; each unit up to U+00FF is written as the one
// byte of that value and every other unit as "?", after which output goes on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace keyscout {

// Where the bytes finally go.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(const char* data, size_t length) = 0;
};

// Standard output, written whole with the platform's own calls.
class StdoutSink : public ByteSink {
 public:
  void Write(const char* data, size_t length) override;
};

// Collects everything in memory; tests compare it to the byte.
class StringSink : public ByteSink {
 public:
  void Write(const char* data, size_t length) override { text.append(data, length); }
  std::string text;
};

// One argument of a message template: a wide string or a number.
struct FormatArg {
  FormatArg(std::u16string_view s) : text(s), is_text(true) {}  // NOLINT: implicit by design
  FormatArg(const char16_t* s) : text(s), is_text(true) {}      // NOLINT
  FormatArg(const std::u16string& s) : text(s), is_text(true) {}  // NOLINT
  FormatArg(uint32_t n) : number(n), is_text(false) {}          // NOLINT
  std::u16string_view text;
  uint32_t number = 0;
  bool is_text;
};

class Console {
 public:
  explicit Console(ByteSink& sink, size_t capacity = 1 << 18);
  ~Console();
  Console(const Console&) = delete;
  Console& operator=(const Console&) = delete;

  // Narrow bytes, as they are.
  void Bytes(const char* data, size_t length);
  void Ascii(std::string_view text) { Bytes(text.data(), text.size()); }
  // Wide text up to its end or its first zero unit, by the output encoding.
  void Wide(std::u16string_view text);
  // `digits` upper-case hexadecimal digits, zero-padded ("%08X", "%02X").
  void Hex(uint32_t value, int digits);
  // Decimal ("%u").
  void Unsigned(uint64_t value);

  // Fills a message template. It knows exactly the conversions the messages
  // use: %s, %-8s (left-aligned in 8 columns, longer text whole), %08X, %02X,
  // %u and %%. Anything else is written as it stands.
  void Format(std::u16string_view format, std::initializer_list<FormatArg> args);

  void Flush();

 private:
  char* Reserve(size_t length);

  ByteSink& sink_;
  std::vector<char> buffer_;
  size_t used_ = 0;
};

}  // namespace keyscout
