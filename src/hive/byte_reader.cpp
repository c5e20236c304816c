#include "hive/byte_reader.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace keyscout {

namespace {

// SAFETY (every function in this block): the caller has checked that all the
// bytes it passes lie inside its reader.

#if defined(__SSE2__)

// Names are widened eight bytes per step where the processor has 128-bit
// vector instructions: a listing decodes a million names, and byte-by-byte
// loops were most of its time.
constexpr size_t WIDEN_STEP = 8;

// True when none of the eight bytes in the low half of `v` is zero.
bool NoZeroByte(__m128i v) {
  return (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_setzero_si128())) & 0xFF) == 0;
}

#endif

size_t WidenBytes(const uint8_t* bytes, size_t count, char16_t* out) {
  size_t n = 0;
#if defined(__SSE2__)
  // Whole steps while no byte is zero; a step that meets a zero byte, and
  // the last few bytes, are left to the byte-by-byte loop. A last step that
  // overlaps the one before it would save that loop, but then the next read
  // of these units (the console narrowing them) needs two stores at once, and
  // the processor's wait for both cost more than the loop.
  for (; count - n >= WIDEN_STEP; n += WIDEN_STEP) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(bytes + n));
    if (!NoZeroByte(v)) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(v, _mm_setzero_si128()));
  }
#endif
  for (; n < count && bytes[n] != 0; ++n) out[n] = bytes[n];
  return n;
}

}  // namespace

bool ByteReader::Copy(uint64_t offset, uint64_t length, std::span<uint8_t> out, uint64_t out_offset) const {
  if (!Contains(offset, length) || !ByteReader(out.data(), out.size()).Contains(out_offset, length)) return false;
  // SAFETY: the source lies inside the reader and the destination inside
  // `out`, both checked just above.
  if (length != 0) std::memcpy(out.data() + out_offset, data_ + offset, static_cast<size_t>(length));
  return true;
}

ByteReader ByteReader::Sub(uint64_t offset, uint64_t length) const {
  if (data_ == nullptr || !Contains(offset, length)) return ByteReader();
  // SAFETY: [offset, offset + length) lies inside, checked just above.
  return ByteReader(data_ + offset, length);
}

ByteReader ByteReader::From(uint64_t offset) const {
  if (offset > size_) return ByteReader();
  return Sub(offset, size_ - offset);
}

namespace {

// Puts the `width` low bytes of `v` at `offset`, least significant first.
bool PutLittleEndian(std::span<uint8_t> out, uint64_t offset, uint32_t v, uint32_t width) {
  if (!ByteReader(out.data(), out.size()).Contains(offset, width)) return false;
  // SAFETY: the `width` bytes lie inside `out`, checked just above.
  uint8_t* at = out.data() + offset;
  for (uint32_t i = 0; i < width; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
  return true;
}

}  // namespace

bool PutU16(std::span<uint8_t> out, uint64_t offset, uint16_t v) { return PutLittleEndian(out, offset, v, 2); }

bool PutU32(std::span<uint8_t> out, uint64_t offset, uint32_t v) { return PutLittleEndian(out, offset, v, 4); }

bool ByteReader::WidenToZero(uint64_t offset, size_t count, char16_t* out, size_t* written) const {
  if (!Contains(offset, count)) return false;
  *written = WidenBytes(data_ + offset, count, out);  // SAFETY: checked just above
  return true;
}

bool ByteReader::UnitsToZero(uint64_t offset, size_t count, char16_t* out, size_t* written) const {
  if (count > SIZE_MAX / 2 || !Contains(offset, uint64_t{count} * 2)) return false;
  // SAFETY: all 2 * count bytes lie inside, checked just above.
  const uint8_t* units = data_ + offset;
  size_t n = 0;
  for (; n < count; ++n) {
    const char16_t unit = static_cast<char16_t>(LoadU16(units + 2 * n));
    if (unit == 0) break;
    out[n] = unit;
  }
  *written = n;
  return true;
}

}  // namespace keyscout
