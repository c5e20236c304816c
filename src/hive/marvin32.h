// Marvin32, the keyed 64-bit hash that guards each entry of a new-format
// transaction log.
#pragma once

#include <cstdint>
#include <optional>

#include "hive/byte_reader.h"

namespace keyscout {

// The seed under which log entries are hashed; its low 32 bits start the
// "lo" word of the state and its high 32 bits the "hi" word.
inline constexpr uint64_t MARVIN32_LOG_SEED = 0x82EF4D887A4E55C5ull;

// The Marvin32 hash, under `seed`, of the `length` bytes at `offset`: hi in
// the upper 32 bits, lo in the lower. Nothing when those bytes do not all lie
// inside the reader. Every byte is read through the reader. Prints nothing.
std::optional<uint64_t> HashMarvin32(const ByteReader& reader, uint64_t offset, uint64_t length,
                                     uint64_t seed = MARVIN32_LOG_SEED);

}  // namespace keyscout
