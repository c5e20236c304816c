#include "security/sha1.h"

#include <gtest/gtest.h>

#include <string>

namespace keyscout {
namespace {

std::string Sha1Hex(const std::string& text) {
  std::string out;
  for (const uint8_t byte : ComputeSha1(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
    out += {"0123456789abcdef"[byte >> 4], "0123456789abcdef"[byte & 0xF]};
  }
  return out;
}

TEST(Sha1Test, StandardVectors) {
  EXPECT_EQ(Sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(Sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  // 56 bytes: the length no longer fits the last block, which takes two.
  EXPECT_EQ(Sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(Sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

}  // namespace
}  // namespace keyscout
