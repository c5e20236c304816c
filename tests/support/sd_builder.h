// Builds security descriptors, ACLs, ACEs and SIDs in their stored binary
// forms, so each case of the security report is a few lines. Use the result
// with HiveBuilder::Security, KeySpec.security or TreeKey.security.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/hive_builder.h"

namespace keyscout::test {

// A SID from its string form: "S-1-5-32-544", or with a hexadecimal
// authority "S-1-0x123456789abc-7".
Bytes Sid(const std::string& text);

// 16 distinct filler bytes standing for a GUID.
Bytes Guid(uint32_t seed);

// An entry of the plain layout: header, mask, SID. `size` overrides the
// stored size field (the bytes stay as built).
Bytes Ace(uint8_t type, uint8_t flags, uint32_t mask, const Bytes& sid, std::optional<uint16_t> size = {});

// An entry of the object layout: header, mask, object flags, then the GUIDs
// whose bits are set in `object_flags` (bit 0x1: `object_type`, bit 0x2:
// `inherited_type`), then the SID.
Bytes ObjectAce(uint8_t type, uint8_t flags, uint32_t mask, uint32_t object_flags, const Bytes& object_type,
                const Bytes& inherited_type, const Bytes& sid);

// An ACL holding `aces` in order. `size` and `count` override the stored
// fields (the bytes stay as built).
Bytes Acl(const std::vector<Bytes>& aces, uint8_t revision = 2, std::optional<uint16_t> size = {},
          std::optional<uint16_t> count = {});

enum class SdPart { kOwner, kGroup, kSacl, kDacl };

struct SdSpec {
  std::optional<Bytes> owner;
  std::optional<Bytes> group;
  std::optional<Bytes> sacl;
  std::optional<Bytes> dacl;
  // Present bits; by default set when the ACL is given. A present bit without
  // an ACL gives a null ACL (offset 0).
  std::optional<bool> sacl_present;
  std::optional<bool> dacl_present;
  uint16_t extra_control = 0;
  bool self_relative = true;
  // The order of the parts after the header (as Windows stores them by
  // default: SACL, DACL, owner, group).
  std::vector<SdPart> order = {SdPart::kSacl, SdPart::kDacl, SdPart::kOwner, SdPart::kGroup};
};

// A self-relative descriptor (unless `self_relative` is false) with the
// given parts, packed in `order` after the 20-byte header.
Bytes Descriptor(const SdSpec& shape);

// Field offsets of the header, for damage.
inline constexpr size_t SD_OWNER_FIELD = 4;
inline constexpr size_t SD_GROUP_FIELD = 8;
inline constexpr size_t SD_SACL_FIELD = 12;
inline constexpr size_t SD_DACL_FIELD = 16;

uint32_t GetU32(const Bytes& b, size_t at);
void SetU16(Bytes& b, size_t at, uint16_t v);
void SetU32(Bytes& b, size_t at, uint32_t v);
Bytes Concat(const std::vector<Bytes>& parts);

}  // namespace keyscout::test
