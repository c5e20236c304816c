#include "text/record_text.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "text/narrowing.h"
#include "text/numbers.h"
#include "text/utf8.h"

namespace keyscout {

namespace {

// Which ASCII units a style writes as they are.
std::array<bool, 128> PlainAscii(TextStyle style) {
  std::array<bool, 128> plain{};
  for (size_t c = 0; c < plain.size(); ++c) {
    switch (style) {
      case TextStyle::kJson:
        plain[c] = !IsControlUnit(static_cast<char16_t>(c)) && c != '"' && c != '\\';
        break;
      case TextStyle::kCsv:
        plain[c] = c != '"';
        break;
      case TextStyle::kBodyfile:
        plain[c] = c != '|' && c != '\n' && c != '\r';
        break;
    }
  }
  return plain;
}

const std::array<bool, 128> JSON_PLAIN = PlainAscii(TextStyle::kJson);
const std::array<bool, 128> CSV_PLAIN = PlainAscii(TextStyle::kCsv);
const std::array<bool, 128> BODYFILE_PLAIN = PlainAscii(TextStyle::kBodyfile);

char* PutUnitEscape(char16_t unit, char* out) {
  out[0] = '\\';
  out[1] = 'u';
  const uint8_t bytes[] = {static_cast<uint8_t>(unit >> 8), static_cast<uint8_t>(unit & 0xFF)};
  PutLowerHex(bytes, sizeof(bytes), out + 2);
  return out + 6;
}

char* PutCodePoint(uint32_t code, char* out) { return out + PutUtf8(code, out); }

char* PutUnpaired(TextStyle style, char16_t unit, char* out) {
  return style == TextStyle::kJson ? PutUnitEscape(unit, out) : PutCodePoint(REPLACEMENT_CHARACTER, out);
}

// One unit that is not plain ASCII in its style, surrogates aside.
char* PutOther(TextStyle style, char16_t unit, char* out) {
  switch (style) {
    case TextStyle::kJson:
      if (unit == '"' || unit == '\\') {
        *out++ = '\\';
        *out++ = static_cast<char>(unit);
        return out;
      }
      if (IsControlUnit(unit)) return PutUnitEscape(unit, out);
      break;
    case TextStyle::kCsv:
      if (unit == '"') {
        *out++ = '"';
        *out++ = '"';
        return out;
      }
      break;
    case TextStyle::kBodyfile:
      if (unit == '|' || unit == '\n' || unit == '\r') {
        *out++ = '\\';
        *out++ = 'x';
        *out++ = HEX_PAIRS[2 * unit];
        *out++ = HEX_PAIRS[2 * unit + 1];
        return out;
      }
      break;
  }
  return PutCodePoint(unit, out);
}

#if defined(__SSE2__)

constexpr size_t UNIT_STEP = 8;

// True when the eight units are all printable ASCII other than '"', '\' and
// '|': plain in every style.
bool PlainStep(__m128i v) {
  const __m128i below_space = _mm_cmplt_epi16(v, _mm_set1_epi16(0x20));
  // Signed compare: a unit of 0x8000 or more is negative, so "less than"
  // 0x7F (DEL) alone would pass it; units at or above 0x7F fail either way.
  const __m128i above_ascii =
      _mm_or_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(0x7E)), _mm_cmplt_epi16(v, _mm_setzero_si128()));
  const __m128i special = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi16(v, _mm_set1_epi16('"')), _mm_cmpeq_epi16(v, _mm_set1_epi16('\\'))),
      _mm_cmpeq_epi16(v, _mm_set1_epi16('|')));
  return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(below_space, above_ascii), special)) == 0;
}

#endif

}  // namespace

size_t EscapeUnits(TextStyle style, std::u16string_view units, char16_t* pending, char* out) {
  const std::array<bool, 128>& plain =
      style == TextStyle::kJson ? JSON_PLAIN : (style == TextStyle::kCsv ? CSV_PLAIN : BODYFILE_PLAIN);
  char* o = out;
  const char16_t* u = units.data();
  const size_t n = units.size();
  size_t i = 0;
  if (*pending != 0 && n > 0) {
    if (IsLowSurrogate(u[0])) {
      o = PutCodePoint(JoinSurrogates(*pending, u[0]), o);
      i = 1;
    } else {
      o = PutUnpaired(style, *pending, o);
    }
    *pending = 0;
  }
  while (i < n) {
#if defined(__SSE2__)
    // Names and paths are mostly printable ASCII: eight units per step.
    while (n - i >= UNIT_STEP) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + i));
      if (!PlainStep(v)) break;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_packus_epi16(v, v));
      o += UNIT_STEP;
      i += UNIT_STEP;
    }
    if (i == n) break;
#endif
    const char16_t unit = u[i++];
    if (unit < 0x80 && plain[unit]) {
      *o++ = static_cast<char>(unit);
    } else if (IsHighSurrogate(unit)) {
      if (i == n) {
        *pending = unit;  // its low surrogate may begin the next part
      } else if (IsLowSurrogate(u[i])) {
        o = PutCodePoint(JoinSurrogates(unit, u[i]), o);
        ++i;
      } else {
        o = PutUnpaired(style, unit, o);
      }
    } else if (IsLowSurrogate(unit)) {
      o = PutUnpaired(style, unit, o);
    } else {
      o = PutOther(style, unit, o);
    }
  }
  return static_cast<size_t>(o - out);
}

size_t EscapeEnd(TextStyle style, char16_t* pending, char* out) {
  if (*pending == 0) return 0;
  const char* end = PutUnpaired(style, *pending, out);
  *pending = 0;
  return static_cast<size_t>(end - out);
}

}  // namespace keyscout
