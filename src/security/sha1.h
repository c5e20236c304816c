// SHA-1 (FIPS 180-4), for the one place the tool needs it: working out the
// SID Windows gives a service from the service's name. It is not used to
// protect anything, so its known weaknesses do not matter here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace keyscout {

inline constexpr size_t SHA1_DIGEST_SIZE = 20;

using Sha1Digest = std::array<uint8_t, SHA1_DIGEST_SIZE>;

// The SHA-1 digest of the `length` bytes at `data` (which may be null when
// `length` is 0). Cannot fail; prints nothing.
Sha1Digest ComputeSha1(const uint8_t* data, size_t length);

}  // namespace keyscout
