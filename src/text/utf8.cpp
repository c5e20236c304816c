#include "text/utf8.h"

#include <cstdint>

namespace keyscout {

std::u16string DecodeCommandWord(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  const size_t n = bytes.size();
  auto byte = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
  auto cont = [&](size_t k) { return k < n && (byte(k) & 0xC0) == 0x80; };
  while (i < n) {
    const uint8_t b = byte(i);
    uint32_t cp = 0;
    size_t len = 0;
    if (b < 0x80) {
      cp = b;
      len = 1;
    } else if (b >= 0xC2 && b <= 0xDF && cont(i + 1)) {
      cp = ((b & 0x1Fu) << 6) | (byte(i + 1) & 0x3Fu);
      len = 2;
    } else if (b >= 0xE0 && b <= 0xEF && cont(i + 1) && cont(i + 2)) {
      cp = ((b & 0x0Fu) << 12) | ((byte(i + 1) & 0x3Fu) << 6) | (byte(i + 2) & 0x3Fu);
      // Overlong forms and encoded surrogates are not valid UTF-8.
      if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) len = 3;
    } else if (b >= 0xF0 && b <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
      cp = ((b & 0x07u) << 18) | ((byte(i + 1) & 0x3Fu) << 12) | ((byte(i + 2) & 0x3Fu) << 6) |
           (byte(i + 3) & 0x3Fu);
      if (cp >= 0x10000 && cp <= 0x10FFFF) len = 4;
    }
    if (len == 0) {
      out.push_back(static_cast<char16_t>(0xDC00 + b));
      i += 1;
    } else if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
      i += len;
    } else {
      out.push_back(static_cast<char16_t>(cp));
      i += len;
    }
  }
  return out;
}

std::string EncodeFileName(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t cp = units[i];
    if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
      cp = JoinSurrogates(units[i], units[i + 1]);
      ++i;
    } else if (cp >= 0xDC80 && cp <= 0xDCFF) {
      out.push_back(static_cast<char>(cp - 0xDC00));  // an escaped raw byte
      continue;
    }
    char bytes[4];
    out.append(bytes, PutUtf8(cp, bytes));
  }
  return out;
}

size_t PutUtf8(uint32_t point, char* out) {
  if (point < 0x80) {
    out[0] = static_cast<char>(point);
    return 1;
  }
  if (point < 0x800) {
    out[0] = static_cast<char>(0xC0 | (point >> 6));
    out[1] = static_cast<char>(0x80 | (point & 0x3F));
    return 2;
  }
  if (point < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (point >> 12));
    out[1] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (point & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (point >> 18));
  out[1] = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (point & 0x3F));
  return 4;
}

}  // namespace keyscout
