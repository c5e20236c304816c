// SHA-256, for comparing value data with digests computed by another reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keyscout::test {

// The digest of `size` bytes as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const uint8_t* data, size_t size);

}  // namespace keyscout::test
