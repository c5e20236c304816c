#include "platform/unit_copy.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keyscout {

namespace {

#if defined(__SSE2__)

constexpr size_t UNIT_STEP = 8;

// True when none of the eight bytes in the low half of `v` is zero.
bool NoZeroByte(__m128i v) {
  return (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) & 0xFF) == 0;
}

__m128i LoadEightBytes(const uint8_t* bytes) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes)); }

void StoreWidened(__m128i v, char16_t* out) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(v, _mm_setzero_si128()));
}

// True when each of the eight units is neither zero nor above U+00FF, so
// that narrowing it is taking its low byte.
bool PlainUnits(__m128i v) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i high_bytes = _mm_and_si128(v, _mm_set1_epi16(static_cast<int16_t>(0xFF00)));
  return _mm_movemask_epi8(_mm_cmpeq_epi16(v, zero)) == 0 &&
         _mm_movemask_epi8(_mm_cmpeq_epi16(high_bytes, zero)) == 0xFFFF;
}

__m128i LoadEightUnits(const char16_t* units) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(units)); }

void StoreNarrowed(__m128i v, char* out) {
  _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(v, v));
}

#endif

}  // namespace

size_t WidenToZero(const uint8_t* bytes, size_t count, char16_t* out) {
  size_t n = 0;
#if defined(__SSE2__)
  // Whole steps while no byte is zero; a step that meets a zero byte, and
  // the last few bytes, are left to the byte-by-byte loop. A last step that
  // overlaps the one before it would save that loop, but then the next read
  // of these units (the console narrowing them) needs two stores at once, and
  // the processor's wait for both cost more than the loop.
  for (; count - n >= UNIT_STEP; n += UNIT_STEP) {
    const __m128i v = LoadEightBytes(bytes + n);
    if (!NoZeroByte(v)) break;
    StoreWidened(v, out + n);
  }
#endif
  for (; n < count && bytes[n] != 0; ++n) out[n] = bytes[n];
  return n;
}

size_t NarrowToZero(const char16_t* units, size_t count, char* out) {
  size_t n = 0;
#if defined(__SSE2__)
  // As in WidenToZero: whole steps while every unit is plain, anything else
  // left to the unit-by-unit loop.
  for (; count - n >= UNIT_STEP; n += UNIT_STEP) {
    const __m128i v = LoadEightUnits(units + n);
    if (!PlainUnits(v)) break;
    StoreNarrowed(v, out + n);
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
