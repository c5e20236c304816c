#include "text/narrowing.h"

#include <cstring>

#include "text/numbers.h"
#include "text/utf8.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keyscout {

namespace {

#if defined(__SSE2__)

constexpr size_t UNIT_STEP = 8;

// All lanes set where the unit lies in [low, low + span], compared unsigned:
// below `low` the subtraction wraps to a large number.
__m128i InRange(__m128i v, uint16_t low, uint16_t span) {
  const __m128i shifted = _mm_sub_epi16(v, _mm_set1_epi16(static_cast<int16_t>(low)));
  const __m128i above = _mm_subs_epu16(shifted, _mm_set1_epi16(static_cast<int16_t>(span)));
  return _mm_cmpeq_epi16(above, _mm_setzero_si128());
}

// True when each of the eight units is written as its own low byte: neither
// zero, nor a control character where text is escaped, nor above what the
// encoding writes as one byte (U+00FF, or U+007F in UTF-8).
template <TextEncoding kEncoding, bool kEscape>
bool PlainUnits(__m128i v) {
  __m128i plain;
  if constexpr (!kEscape) {
    plain = InRange(v, 0x01, kEncoding == TextEncoding::kLatin1 ? 0xFE : 0x7E);
  } else if constexpr (kEncoding == TextEncoding::kLatin1) {
    plain = _mm_or_si128(InRange(v, 0x20, 0x5E), InRange(v, 0xA0, 0x5F));  // U+0020..U+007E, U+00A0..U+00FF
  } else {
    plain = InRange(v, 0x20, 0x5E);
  }
  return _mm_movemask_epi8(plain) == 0xFFFF;
}

#endif

// Writes the character that starts at units[i] as UTF-8 and returns the
// units it took: two for a surrogate pair, else one (a surrogate without its
// partner is U+FFFD).
size_t PutCharacter(const char16_t* units, size_t count, size_t i, char** out) {
  uint32_t point = units[i];
  size_t taken = 1;
  if (IsHighSurrogate(units[i]) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
    point = JoinSurrogates(units[i], units[i + 1]);
    taken = 2;
  } else if (IsHighSurrogate(units[i]) || IsLowSurrogate(units[i])) {
    point = REPLACEMENT_CHARACTER;
  }
  *out += PutUtf8(point, *out);
  return taken;
}

// The one loop behind both entry points: whole steps while the units are
// plain, then unit by unit.
template <TextEncoding kEncoding, bool kEscape>
size_t Encode(const char16_t* units, size_t count, char* out) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; count - i >= UNIT_STEP; i += UNIT_STEP) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + i));
    if (!PlainUnits<kEncoding, kEscape>(v)) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(v, v));
  }
#endif
  char* at = out + i;
  while (i < count) {
    const char16_t unit = units[i];
    if (!kEscape && unit == 0) break;
    if (kEscape && IsControlUnit(unit)) {
      *at++ = '\\';
      *at++ = 'x';
      std::memcpy(at, HEX_PAIRS + 2 * unit, 2);
      at += 2;
      ++i;
    } else if (kEncoding == TextEncoding::kLatin1) {
      *at++ = unit <= 0xFF ? static_cast<char>(unit) : '?';
      ++i;
    } else if (unit < 0x80) {
      *at++ = static_cast<char>(unit);
      ++i;
    } else {
      i += PutCharacter(units, count, i, &at);
    }
  }
  return static_cast<size_t>(at - out);
}

}  // namespace

size_t NarrowToZero(const char16_t* units, size_t count, TextEncoding encoding, char* out) {
  return encoding == TextEncoding::kLatin1 ? Encode<TextEncoding::kLatin1, false>(units, count, out)
                                           : Encode<TextEncoding::kUtf8, false>(units, count, out);
}

size_t EscapeText(const char16_t* units, size_t count, TextEncoding encoding, char* out) {
  return encoding == TextEncoding::kLatin1 ? Encode<TextEncoding::kLatin1, true>(units, count, out)
                                           : Encode<TextEncoding::kUtf8, true>(units, count, out);
}

}  // namespace keyscout
