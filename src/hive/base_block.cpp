#include "hive/base_block.h"

#include "hive/image.h"

namespace keyscout {

std::optional<uint32_t> ComputeBaseBlockChecksum(const ByteReader& reader) {
  if (!reader.Contains(0, BASE_CHECKSUM)) return std::nullopt;
  uint32_t sum = 0;
  for (uint64_t at = 0; at < BASE_CHECKSUM; at += 4) {
    uint32_t word = 0;
    if (!reader.U32(at, &word)) return std::nullopt;
    sum ^= word;
  }
  if (sum == 0) return 1u;
  if (sum == 0xFFFFFFFFu) return 0xFFFFFFFEu;
  return sum;
}

bool BaseBlockChecksumValid(const ByteReader& reader) {
  const std::optional<uint32_t> computed = ComputeBaseBlockChecksum(reader);
  uint32_t stored = 0;
  return computed && reader.U32(BASE_CHECKSUM, &stored) && stored == *computed;
}

bool IsHiveDirty(const ByteReader& hive) {
  uint32_t primary = 0;
  uint32_t secondary = 0;
  if (!BaseBlockChecksumValid(hive)) return true;
  if (!hive.U32(BASE_PRIMARY_SEQUENCE, &primary) || !hive.U32(BASE_SECONDARY_SEQUENCE, &secondary)) {
    return true;
  }
  return primary != secondary;
}

BaseBlockFields ReadBaseBlockFields(const HiveImage& image) {
  const ByteReader& reader = image.reader();
  const auto u32 = [&](uint64_t at) {
    uint32_t v = 0;
    return reader.U32(at, &v) ? std::optional<uint32_t>(v) : std::nullopt;
  };
  BaseBlockFields fields;
  fields.primary_sequence = u32(BASE_PRIMARY_SEQUENCE);
  fields.secondary_sequence = u32(BASE_SECONDARY_SEQUENCE);
  uint64_t written = 0;
  if (reader.U64(BASE_LAST_WRITTEN, &written)) fields.last_written = written;
  fields.major_version = u32(BASE_MAJOR_VERSION);
  fields.minor_version = u32(BASE_MINOR_VERSION);
  fields.dirty = IsHiveDirty(reader);
  return fields;
}

std::optional<Truncation> FindTruncation(const ByteReader& hive, uint64_t length) {
  uint32_t bins = 0;
  if (!BaseBlockChecksumValid(hive) || !hive.U32(BASE_HIVE_BINS_SIZE, &bins)) return std::nullopt;
  const uint64_t declared = HIVE_BASE + uint64_t{bins};
  if (length >= declared) return std::nullopt;
  return Truncation{length, declared};
}

bool HasFirstHbin(const ByteReader& hive) {
  uint32_t sig = 0;
  return hive.U32(HIVE_BASE + HBIN_SIGNATURE, &sig) && sig == SIG_HBIN;
}

bool HasHiveSignatures(const HiveImage& image) {
  uint32_t sig = 0;
  return image.reader().U32(BASE_SIGNATURE, &sig) && sig == SIG_REGF && HasFirstHbin(image.reader());
}

}  // namespace keyscout
