#include "text/narrowing.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keyscout {

namespace {

#if defined(__SSE2__)

constexpr size_t UNIT_STEP = 8;

// True when each of the eight units is neither zero nor above U+00FF, so
// that narrowing it is taking its low byte.
bool PlainUnits(__m128i v) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i high_bytes = _mm_and_si128(v, _mm_set1_epi16(static_cast<int16_t>(0xFF00)));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)) == 0 &&
         _mm_movemask_epi8(_mm_cmpeq_epi16(high_bytes, zero)) == 0xFFFF;
}

#endif

}  // namespace

size_t NarrowToZero(const char16_t* units, size_t count, char* out) {
  size_t n = 0;
#if defined(__SSE2__)
  // Whole steps while every unit is plain; a step that meets anything else,
  // and the last few units, are left to the unit-by-unit loop.
  for (; count - n >= UNIT_STEP; n += UNIT_STEP) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + n));
    if (!PlainUnits(v)) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + n), _mm_packus_epi16(v, v));
  }
#endif
  for (; n < count; ++n) {
    const char16_t unit = units[n];
    if (unit == 0) break;
    out[n] = unit <= 0xFF ? static_cast<char>(unit) : '?';
  }
  return n;
}

}  // namespace keyscout
