#include "support/json_lines.h"

#include <cstdint>

namespace keyscout::test {

namespace {

// A recursive-descent reader of one JSON text; `fault` says what stopped it.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  bool Object() {
    if (!Take('{')) return Fail("an object");
    Space();
    if (Take('}')) return true;
    for (;;) {
      Space();
      if (!String() || (Space(), !Take(':')) || !Value()) return Fail("a member");
      Space();
      if (Take('}')) return true;
      if (!Take(',')) return Fail("',' or '}'");
    }
  }
  bool AtEnd() {
    Space();
    return at_ == text_.size();
  }
  std::string fault() const { return fault_ + " at byte " + std::to_string(at_); }

 private:
  bool Value() {
    Space();
    if (++depth_ > 64) return Fail("less nesting");
    bool ok = false;
    const char c = Peek();
    if (c == '{') {
      ok = Object();
    } else if (c == '[') {
      ok = Array();
    } else if (c == '"') {
      ok = String();
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      ok = Number();
    } else {
      ok = Word("true") || Word("false") || Word("null");
    }
    --depth_;
    Space();
    return ok || Fail("a value");
  }

  bool Array() {
    Take('[');
    Space();
    if (Take(']')) return true;
    for (;;) {
      if (!Value()) return false;
      if (Take(']')) return true;
      if (!Take(',')) return Fail("',' or ']'");
    }
  }

  bool String() {
    if (!Take('"')) return Fail("a string");
    while (at_ < text_.size()) {
      const auto c = static_cast<uint8_t>(text_[at_]);
      if (c == '"') {
        ++at_;
        return true;
      }
      if (c < 0x20) return Fail("no raw control character");
      if (c == '\\') {
        ++at_;
        const char e = Peek();
        ++at_;
        if (e == 'u') {
          for (int i = 0; i < 4; ++i, ++at_) {
            if (!IsHex(Peek())) return Fail("four hexadecimal digits");
          }
        } else if (std::string_view("\"\\/bfnrt").find(e) == std::string_view::npos || e == 0) {
          return Fail("an escape");
        }
        continue;
      }
      if (!Utf8Character()) return Fail("UTF-8");
    }
    return Fail("the string's end");
  }

  // One character of UTF-8, shortest form, no surrogate.
  bool Utf8Character() {
    const auto c = static_cast<uint8_t>(text_[at_]);
    int more = 0;
    uint32_t code = 0;
    if (c < 0x80) {
      ++at_;
      return true;
    } else if ((c & 0xE0) == 0xC0) {
      more = 1;
      code = c & 0x1Fu;
    } else if ((c & 0xF0) == 0xE0) {
      more = 2;
      code = c & 0x0Fu;
    } else if ((c & 0xF8) == 0xF0) {
      more = 3;
      code = c & 0x07u;
    } else {
      return false;
    }
    ++at_;
    for (int i = 0; i < more; ++i, ++at_) {
      if (at_ >= text_.size() || (static_cast<uint8_t>(text_[at_]) & 0xC0) != 0x80) return false;
      code = (code << 6) | (static_cast<uint8_t>(text_[at_]) & 0x3Fu);
    }
    const uint32_t least[] = {0, 0x80, 0x800, 0x10000};
    return code >= least[more] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
  }

  bool Number() {
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return Fail("digits");
    }
    if (Take('.') && !Digits()) return Fail("digits");
    if ((Take('e') || Take('E')) && (Take('+') || Take('-') || true) && !Digits()) return Fail("digits");
    return true;
  }

  bool Digits() {
    const size_t start = at_;
    while (Peek() >= '0' && Peek() <= '9') ++at_;
    return at_ > start;
  }

  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  static bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
  char Peek() const { return at_ < text_.size() ? text_[at_] : '\0'; }
  bool Take(char c) {
    if (Peek() != c || at_ >= text_.size()) return false;
    ++at_;
    return true;
  }
  void Space() {
    while (Peek() == ' ' || Peek() == '\t' || Peek() == '\r') ++at_;
  }
  bool Fail(const char* wanted) {
    if (fault_.empty()) fault_ = std::string("expected ") + wanted;
    return false;
  }

  std::string_view text_;
  size_t at_ = 0;
  int depth_ = 0;
  std::string fault_;
};

}  // namespace

std::string JsonLinesFault(std::string_view text) {
  if (!text.empty() && text.back() != '\n') return "the last line has no line end";
  size_t line = 0;
  while (!text.empty()) {
    ++line;
    const size_t end = text.find('\n');
    JsonReader reader(text.substr(0, end));
    if (!reader.Object() || !reader.AtEnd()) return "line " + std::to_string(line) + ": " + reader.fault();
    text.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace keyscout::test
