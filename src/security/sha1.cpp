#include "security/sha1.h"

namespace keyscout {

namespace {

constexpr size_t SHA1_BLOCK_SIZE = 64;

uint32_t RotateLeft(uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

// Runs the compression function over one 64-byte block.
void CompressBlock(const uint8_t* block, uint32_t state[5]) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i) {
    w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
           (uint32_t{block[4 * i + 2]} << 8) | block[4 * i + 3];
  }
  for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);

  uint32_t a = state[0];
  uint32_t b = state[1];
  uint32_t c = state[2];
  uint32_t d = state[3];
  uint32_t e = state[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f = 0;
    uint32_t k = 0;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    const uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

Sha1Digest ComputeSha1(const uint8_t* data, size_t length) {
  uint32_t state[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  size_t done = 0;
  for (; length - done >= SHA1_BLOCK_SIZE; done += SHA1_BLOCK_SIZE) CompressBlock(data + done, state);

  // The rest, the 0x80 marker, zeros and the message length in bits (big
  // endian) fill one last block, or two when the rest leaves no room for the
  // length.
  uint8_t tail[2 * SHA1_BLOCK_SIZE] = {};
  const size_t rest = length - done;
  for (size_t i = 0; i < rest; ++i) tail[i] = data[done + i];
  tail[rest] = 0x80;
  const size_t tail_size = rest + 1 + 8 <= SHA1_BLOCK_SIZE ? SHA1_BLOCK_SIZE : 2 * SHA1_BLOCK_SIZE;
  const uint64_t bits = static_cast<uint64_t>(length) * 8;
  for (size_t i = 0; i < 8; ++i) tail[tail_size - 1 - i] = static_cast<uint8_t>(bits >> (8 * i));
  for (size_t at = 0; at < tail_size; at += SHA1_BLOCK_SIZE) CompressBlock(tail + at, state);

  Sha1Digest digest;
  for (size_t i = 0; i < 5; ++i) {
    for (size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state[i] >> (24 - 8 * j));
  }
  return digest;
}

}  // namespace keyscout
