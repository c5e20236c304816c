#include "support/sd_builder.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace keyscout::test {

namespace {

std::vector<std::string> SplitDash(const std::string& text) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t dash = text.find('-', start);
    parts.push_back(text.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
    if (dash == std::string::npos) return parts;
    start = dash + 1;
  }
}

}  // namespace

void SetU16(Bytes& b, size_t at, uint16_t v) {
  b.at(at) = static_cast<uint8_t>(v);
  b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}

void SetU32(Bytes& b, size_t at, uint32_t v) {
  for (size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const Bytes& b, size_t at) {
  return uint32_t{b.at(at)} | uint32_t{b.at(at + 1)} << 8 | uint32_t{b.at(at + 2)} << 16 |
         uint32_t{b.at(at + 3)} << 24;
}

Bytes Concat(const std::vector<Bytes>& parts) {
  size_t total = 0;
  for (const Bytes& p : parts) total += p.size();
  Bytes out(total);
  size_t at = 0;
  for (const Bytes& p : parts) {
    std::copy(p.begin(), p.end(), out.begin() + static_cast<ptrdiff_t>(at));
    at += p.size();
  }
  return out;
}

Bytes Sid(const std::string& text) {
  const std::vector<std::string> parts = SplitDash(text);
  if (parts.size() < 3 || parts[0] != "S") throw std::invalid_argument("not a SID: " + text);
  const uint64_t authority = std::stoull(parts[2], nullptr, 0);
  const size_t count = parts.size() - 3;
  Bytes out(8 + 4 * count, 0);
  out[0] = static_cast<uint8_t>(std::stoul(parts[1]));
  out[1] = static_cast<uint8_t>(count);
  for (size_t i = 0; i < 6; ++i) out[2 + i] = static_cast<uint8_t>(authority >> (8 * (5 - i)));
  for (size_t i = 0; i < count; ++i) SetU32(out, 8 + 4 * i, static_cast<uint32_t>(std::stoul(parts[3 + i])));
  return out;
}

Bytes Guid(uint32_t seed) { return Pattern(16, seed + 1000); }

Bytes Ace(uint8_t type, uint8_t flags, uint32_t mask, const Bytes& sid, std::optional<uint16_t> size) {
  Bytes out = Concat({Bytes(8, 0), sid});
  out[0] = type;
  out[1] = flags;
  SetU16(out, 2, size.value_or(static_cast<uint16_t>(out.size())));
  SetU32(out, 4, mask);
  return out;
}

Bytes ObjectAce(uint8_t type, uint8_t flags, uint32_t mask, uint32_t object_flags, const Bytes& object_type,
                const Bytes& inherited_type, const Bytes& sid) {
  Bytes out = Concat({Bytes(12, 0), (object_flags & 1) != 0 ? object_type : Bytes{},
                      (object_flags & 2) != 0 ? inherited_type : Bytes{}, sid});
  out[0] = type;
  out[1] = flags;
  SetU16(out, 2, static_cast<uint16_t>(out.size()));
  SetU32(out, 4, mask);
  SetU32(out, 8, object_flags);
  return out;
}

Bytes Acl(const std::vector<Bytes>& aces, uint8_t revision, std::optional<uint16_t> size,
          std::optional<uint16_t> count) {
  std::vector<Bytes> parts{Bytes(8, 0)};
  parts.insert(parts.end(), aces.begin(), aces.end());
  Bytes out = Concat(parts);
  out[0] = revision;
  SetU16(out, 2, size.value_or(static_cast<uint16_t>(out.size())));
  SetU16(out, 4, count.value_or(static_cast<uint16_t>(aces.size())));
  return out;
}

Bytes Descriptor(const SdSpec& shape) {
  uint16_t control = shape.extra_control;
  if (shape.self_relative) control |= 0x8000;
  if (shape.sacl_present.value_or(shape.sacl.has_value())) control |= 0x0010;
  if (shape.dacl_present.value_or(shape.dacl.has_value())) control |= 0x0004;
  std::vector<Bytes> parts{Bytes(20, 0)};
  std::vector<std::pair<size_t, uint32_t>> offsets;
  uint32_t at = 20;
  for (SdPart part : shape.order) {
    const std::optional<Bytes>* bytes = nullptr;
    size_t field = 0;
    switch (part) {
      case SdPart::kOwner: bytes = &shape.owner; field = SD_OWNER_FIELD; break;
      case SdPart::kGroup: bytes = &shape.group; field = SD_GROUP_FIELD; break;
      case SdPart::kSacl: bytes = &shape.sacl; field = SD_SACL_FIELD; break;
      case SdPart::kDacl: bytes = &shape.dacl; field = SD_DACL_FIELD; break;
    }
    if (!bytes->has_value()) continue;
    offsets.emplace_back(field, at);
    parts.push_back(**bytes);
    at += static_cast<uint32_t>((*bytes)->size());
  }
  Bytes out = Concat(parts);
  out[0] = 1;
  SetU16(out, 2, control);
  for (const auto& [field, offset] : offsets) SetU32(out, field, offset);
  return out;
}

}  // namespace keyscout::test
