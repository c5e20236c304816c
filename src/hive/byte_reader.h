// The one gate through which untrusted bytes are read, and through which
// what is read from them is written into buffers of keyscout's own.
//
// A hive comes off a seized or damaged disk, so every offset in it is hostile,
// and so is every byte of a security descriptor or a transaction log taken
// from it. A ByteReader is a span that carries its own length and can be read
// only through checked operations: a read that would leave the bytes it was
// given fails instead of happening, and changes nothing. A copy out of it, or
// a little-endian field put into a buffer, is checked against that buffer's
// span the same way. Of the hive code, this file and byte_reader.cpp alone
// form addresses from offsets; the rest asks a reader or hands a span, and
// the security model reads descriptors only through readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace keyscout {

class ByteReader {
 public:
  // The null reader: it holds no bytes, and every read from it fails.
  ByteReader() = default;
  // A reader over `size` bytes at `data`, which the caller keeps alive.
  ByteReader(const uint8_t* data, uint64_t size) : data_(data), size_(data != nullptr ? size : 0) {}

  uint64_t size() const { return size_; }
  bool IsNull() const { return data_ == nullptr; }

  // True when [offset, offset + length) lies inside the bytes.
  bool Contains(uint64_t offset, uint64_t length) const { return offset <= size_ && length <= size_ - offset; }

  // Little-endian fields, assembled from bytes. False, with `out` untouched,
  // when the field does not lie wholly inside.
  // Defined here so that they inline: a walk over a whole hive reads millions
  // of fields.
  [[nodiscard]] bool U8(uint64_t offset, uint8_t* out) const {
    if (!Contains(offset, 1)) return false;
    *out = data_[offset];  // SAFETY: the byte lies inside, checked just above
    return true;
  }
  [[nodiscard]] bool U16(uint64_t offset, uint16_t* out) const {
    if (!Contains(offset, 2)) return false;
    *out = LoadU16(data_ + offset);  // SAFETY: checked just above
    return true;
  }
  [[nodiscard]] bool U32(uint64_t offset, uint32_t* out) const {
    if (!Contains(offset, 4)) return false;
    *out = LoadU32(data_ + offset);  // SAFETY: checked just above
    return true;
  }
  [[nodiscard]] bool I32(uint64_t offset, int32_t* out) const {
    uint32_t v = 0;
    if (!U32(offset, &v)) return false;
    *out = static_cast<int32_t>(v);
    return true;
  }
  [[nodiscard]] bool U64(uint64_t offset, uint64_t* out) const {
    if (!Contains(offset, 8)) return false;
    // SAFETY: both halves lie inside, checked just above.
    *out = (uint64_t{LoadU32(data_ + offset + 4)} << 32) | LoadU32(data_ + offset);
    return true;
  }

  // Copies the `length` bytes at `offset` into `out`, from its byte
  // `out_offset` on. False, with nothing copied, when those bytes do not all
  // lie inside the reader or would not all fit inside `out`.
  [[nodiscard]] bool Copy(uint64_t offset, uint64_t length, std::span<uint8_t> out, uint64_t out_offset = 0) const;

  // The `length` bytes at `offset` as a reader of their own, or the null
  // reader when they do not all lie inside (a zero-length reader at the very
  // end is fine).
  ByteReader Sub(uint64_t offset, uint64_t length) const;
  // Everything from `offset` to the end, or the null reader when `offset`
  // lies past the end.
  ByteReader From(uint64_t offset) const;

  // True when the reader's first byte is `block`'s: whether a reference
  // points into a buffer of the caller's own. Compares addresses only.
  bool StartsAt(const uint8_t* block) const { return data_ != nullptr && data_ == block; }

  // Widens the `count` bytes at `offset` into `out`, byte for 16-bit unit, up
  // to the first zero byte. False, with nothing written, when the bytes do
  // not all lie inside; else `*written` is the number of units written.
  [[nodiscard]] bool WidenToZero(uint64_t offset, size_t count, char16_t* out, size_t* written) const;
  // Copies the `count` little-endian 16-bit units at `offset` into `out`, up
  // to the first zero unit, as WidenToZero does.
  [[nodiscard]] bool UnitsToZero(uint64_t offset, size_t count, char16_t* out, size_t* written) const;

  // Asks the processor to start loading the bytes at `offset` into its cache,
  // when they lie inside. A hint only: it reads nothing and cannot fail, so a
  // walk can ask for what it will read a few steps ahead.
  void Prefetch(uint64_t offset) const {
#if defined(__GNUC__)
    // SAFETY: offset < size_ is checked first; a prefetch never faults.
    if (offset < size_) __builtin_prefetch(data_ + offset);
#else
    (void)offset;
#endif
  }

 private:
  // SAFETY (both): the caller has checked that the bytes lie inside.
  static uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
  static uint32_t LoadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
  }

  const uint8_t* data_ = nullptr;
  uint64_t size_ = 0;
};

// Little-endian fields put into a buffer of the caller's own at byte
// `offset`. False, with nothing written, when the field does not lie wholly
// inside `out`.
[[nodiscard]] bool PutU16(std::span<uint8_t> out, uint64_t offset, uint16_t v);
[[nodiscard]] bool PutU32(std::span<uint8_t> out, uint64_t offset, uint32_t v);

}  // namespace keyscout
