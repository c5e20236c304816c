#include "security/security_api.h"

#include <algorithm>
#include <new>

#include "text/numbers.h"

namespace keyscout {

namespace {

thread_local uint32_t g_last_error = ERROR_SUCCESS;

// The fixed header of a security descriptor, as read from its bytes.
struct DescriptorHeader {
  uint8_t revision = 0;
  uint16_t control = 0;
  uint32_t owner = 0;
  uint32_t group = 0;
  uint32_t sacl = 0;
  uint32_t dacl = 0;
};

bool ReadDescriptorHeader(const ByteReader& reader, DescriptorHeader* h) {
  return reader.Contains(0, SD_HEADER_SIZE) && reader.U8(SD_REVISION, &h->revision) &&
         reader.U16(SD_CONTROL, &h->control) && reader.U32(SD_OWNER, &h->owner) &&
         reader.U32(SD_GROUP, &h->group) && reader.U32(SD_SACL, &h->sacl) && reader.U32(SD_DACL, &h->dacl);
}

// The header of a descriptor whose parts may be followed: readable, of
// revision 1 and self-relative. Sets the error code when it is not.
bool ReadSelfRelativeHeader(PSECURITY_DESCRIPTOR sd, DescriptorHeader* h) {
  if (!ReadDescriptorHeader(sd, h)) return FailWith(ERROR_INVALID_SECURITY_DESCR);
  if (h->revision != SECURITY_DESCRIPTOR_REVISION) return FailWith(ERROR_UNKNOWN_REVISION);
  if ((h->control & SE_SELF_RELATIVE) == 0) return FailWith(ERROR_INVALID_SECURITY_DESCR);
  return true;
}

// The SID at `offset` of a descriptor: null for offset 0, else everything
// from there to the end of the descriptor (IsValidSid then measures it).
bool SidPart(PSECURITY_DESCRIPTOR sd, uint32_t offset, PSID* sid) {
  *sid = PSID{};
  if (offset == 0) return true;
  if (offset >= sd.size()) return FailWith(ERROR_INVALID_SECURITY_DESCR);
  *sid = sd.From(offset);
  return true;
}

// The ACL at `offset` of a descriptor, cut to its declared size.
bool AclPart(PSECURITY_DESCRIPTOR sd, uint32_t offset, PACL* acl) {
  *acl = PACL{};
  if (offset == 0) return true;
  uint16_t size = 0;
  if (!sd.Contains(offset, ACL_HEADER_SIZE) || !sd.U16(uint64_t{offset} + ACL_SIZE, &size)) {
    return FailWith(ERROR_INVALID_SECURITY_DESCR);
  }
  const PACL part = sd.Sub(offset, size);
  if (part.IsNull()) return FailWith(ERROR_INVALID_SECURITY_DESCR);
  *acl = part;
  return true;
}

bool AclOf(PSECURITY_DESCRIPTOR sd, uint16_t present_bit, uint16_t defaulted_bit, bool sacl, bool* present,
           PACL* acl, bool* defaulted) {
  DescriptorHeader h;
  if (!ReadSelfRelativeHeader(sd, &h)) return false;
  PACL found;
  const bool is_present = (h.control & present_bit) != 0;
  if (is_present && !AclPart(sd, sacl ? h.sacl : h.dacl, &found)) return false;
  *present = is_present;
  *acl = found;
  *defaulted = is_present && (h.control & defaulted_bit) != 0;
  return true;
}

// The fixed header of an ACL, checked as every ACL operation needs it.
struct AclHeader {
  uint8_t revision = 0;
  uint16_t size = 0;
  uint16_t count = 0;
};

bool ReadAclHeader(PACL acl, AclHeader* h) {
  if (!acl.Contains(0, ACL_HEADER_SIZE) || !acl.U8(ACL_REVISION_FIELD, &h->revision) ||
      !acl.U16(ACL_SIZE, &h->size) || !acl.U16(ACL_COUNT, &h->count)) {
    return FailWith(ERROR_INVALID_ACL);
  }
  if (h->size < ACL_HEADER_SIZE || h->size > acl.size()) return FailWith(ERROR_INVALID_ACL);
  // Choice: a damaged ACL (header, revision other than 2 to 4, entry sizes)
  // fails with ERROR_INVALID_ACL, which the model raises, so the run ends
  // with a message instead of printing a table that silently lacks entries.
  if (h->revision < ACL_REVISION || h->revision > ACL_REVISION_DS) return FailWith(ERROR_INVALID_ACL);
  return true;
}

// Steps over `steps` entries from the first; `position` ends at the start of
// the entry after them and `last` at the start of the last one stepped over.
// Every entry stepped over must hold at least its header and end inside the
// ACL's declared size.
bool StepOverAces(const ByteReader& reader, uint16_t acl_size, uint32_t steps, uint32_t* position,
                  uint32_t* last = nullptr) {
  uint32_t at = ACL_HEADER_SIZE;
  for (uint32_t i = 0; i < steps; ++i) {
    if (last != nullptr) *last = at;
    uint16_t ace_size = 0;
    if (uint64_t{at} + ACE_HEADER_SIZE > acl_size || !reader.U16(uint64_t{at} + ACE_SIZE, &ace_size)) {
      return FailWith(ERROR_INVALID_ACL);
    }
    if (ace_size < ACE_HEADER_SIZE || uint64_t{at} + ace_size > acl_size) return FailWith(ERROR_INVALID_ACL);
    at += ace_size;
  }
  *position = at;
  return true;
}

}  // namespace

uint32_t GetLastError() { return g_last_error; }

bool FailWith(uint32_t code) {
  g_last_error = code;
  return false;
}

uint32_t GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR reader) {
  DescriptorHeader h;
  if (!ReadDescriptorHeader(reader, &h)) return 0;
  // Choice: a descriptor without the self-relative bit measures as its header
  // alone; its references are addresses, not offsets, and are never followed.
  if ((h.control & SE_SELF_RELATIVE) == 0) return SD_HEADER_SIZE;

  // Choice: the length is the end of the furthest part rather than the sum of
  // the parts' lengths, so that a descriptor with gaps or parts out of order
  // is copied with every part that is read later.
  uint64_t end = SD_HEADER_SIZE;
  auto take_sid = [&](uint32_t offset) {
    if (offset == 0) return true;
    uint8_t count = 0;
    if (!reader.U8(uint64_t{offset} + SID_COUNT, &count)) return false;
    end = std::max(end, uint64_t{offset} + SidLengthFor(count));
    return true;
  };
  auto take_acl = [&](uint16_t present_bit, uint32_t offset) {
    if ((h.control & present_bit) == 0 || offset == 0) return true;
    uint16_t size = 0;
    if (!reader.U16(uint64_t{offset} + ACL_SIZE, &size)) return false;
    // An ACL whose declared size is below its header still needs the header
    // inside the copy.
    end = std::max(end, uint64_t{offset} + std::max<uint32_t>(size, ACL_HEADER_SIZE));
    return true;
  };
  if (!take_sid(h.owner) || !take_sid(h.group) || !take_acl(SE_SACL_PRESENT, h.sacl) ||
      !take_acl(SE_DACL_PRESENT, h.dacl)) {
    return 0;
  }
  return end > UINT32_MAX ? 0 : static_cast<uint32_t>(end);
}

bool GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, uint16_t* control, uint32_t* revision) {
  DescriptorHeader h;
  if (!ReadDescriptorHeader(sd, &h)) return FailWith(ERROR_INVALID_SECURITY_DESCR);
  if (h.revision != SECURITY_DESCRIPTOR_REVISION) return FailWith(ERROR_UNKNOWN_REVISION);
  *control = h.control;
  *revision = h.revision;
  return true;
}

bool MakeSelfRelativeSD(PSECURITY_DESCRIPTOR, uint8_t*, uint32_t*) { return FailWith(ERROR_INVALID_PARAMETER); }

bool GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID* owner, bool* defaulted) {
  DescriptorHeader h;
  if (!ReadSelfRelativeHeader(sd, &h) || !SidPart(sd, h.owner, owner)) return false;
  *defaulted = (h.control & SE_OWNER_DEFAULTED) != 0;
  return true;
}

bool GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID* group, bool* defaulted) {
  DescriptorHeader h;
  if (!ReadSelfRelativeHeader(sd, &h) || !SidPart(sd, h.group, group)) return false;
  *defaulted = (h.control & SE_GROUP_DEFAULTED) != 0;
  return true;
}

bool GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, bool* present, PACL* sacl, bool* defaulted) {
  return AclOf(sd, SE_SACL_PRESENT, SE_SACL_DEFAULTED, true, present, sacl, defaulted);
}

bool GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, bool* present, PACL* dacl, bool* defaulted) {
  return AclOf(sd, SE_DACL_PRESENT, SE_DACL_DEFAULTED, false, present, dacl, defaulted);
}

bool GetAclInformation(PACL acl, void* info, uint32_t info_length, ACL_INFORMATION_CLASS info_class) {
  if (info_class != AclRevisionInformation && info_class != AclSizeInformation) {
    return FailWith(ERROR_INVALID_PARAMETER);
  }
  const uint32_t needed = info_class == AclRevisionInformation ? sizeof(ACL_REVISION_INFORMATION)
                                                               : sizeof(ACL_SIZE_INFORMATION);
  if (info == nullptr || info_length < needed) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  AclHeader h;
  if (!ReadAclHeader(acl, &h)) return false;
  if (info_class == AclRevisionInformation) {
    static_cast<ACL_REVISION_INFORMATION*>(info)->AclRevision = h.revision;
    return true;
  }
  uint32_t in_use = 0;
  if (!StepOverAces(acl, h.size, h.count, &in_use)) return false;
  auto* size_info = static_cast<ACL_SIZE_INFORMATION*>(info);
  size_info->AceCount = h.count;
  size_info->AclBytesInUse = in_use;
  size_info->AclBytesFree = h.size - in_use;
  return true;
}

bool GetAce(PACL acl, uint32_t index, PACE* ace) {
  AclHeader h;
  if (!ReadAclHeader(acl, &h)) return false;
  if (index >= h.count) return FailWith(ERROR_INVALID_PARAMETER);
  uint32_t end = 0;
  uint32_t start = 0;
  if (!StepOverAces(acl, h.size, index + 1, &end, &start)) return false;
  *ace = acl.Sub(start, end - start);
  return true;
}

bool IsValidSid(PSID sid) {
  uint8_t revision = 0;
  uint8_t count = 0;
  if (!sid.U8(SID_REVISION_FIELD, &revision) || !sid.U8(SID_COUNT, &count)) return false;
  if (revision != SID_REVISION || count > SID_MAX_SUB_AUTHORITIES) return false;
  return sid.Contains(0, SidLengthFor(count));
}

uint32_t GetLengthSid(PSID sid) {
  uint8_t count = 0;
  if (!sid.U8(SID_COUNT, &count)) return 0;
  return SidLengthFor(count);
}

bool CopySid(uint32_t dest_length, uint8_t* dest, PSID source) {
  if (!IsValidSid(source)) return FailWith(ERROR_INVALID_SID);
  const uint32_t length = GetLengthSid(source);
  if (dest == nullptr || dest_length < length) return FailWith(ERROR_INSUFFICIENT_BUFFER);
  // A SID copied onto itself is already in place.
  if (!source.StartsAt(dest) && !source.Copy(0, length, std::span<uint8_t>(dest, dest_length))) {
    return FailWith(ERROR_INVALID_SID);
  }
  return true;
}

bool ReadSidParts(PSID sid, SidParts* parts) {
  if (!IsValidSid(sid) || !sid.U8(SID_REVISION_FIELD, &parts->revision) || !sid.U8(SID_COUNT, &parts->count)) {
    return false;
  }
  // The authority is stored big-endian.
  parts->authority = 0;
  for (uint32_t i = 0; i < SID_AUTHORITY_SIZE; ++i) {
    uint8_t byte = 0;
    if (!sid.U8(SID_AUTHORITY + i, &byte)) return false;
    parts->authority = (parts->authority << 8) | byte;
  }
  for (uint32_t i = 0; i < parts->count; ++i) {
    if (!sid.U32(SID_SUB_AUTHORITIES + uint64_t{SID_SUB_AUTHORITY_SIZE} * i, &parts->sub_authorities[i])) {
      return false;
    }
  }
  return true;
}

void FormatSid(const SidParts& parts, std::u16string* out) {
  out->assign(u"S-");
  AppendDecimal(parts.revision, out);
  out->push_back(u'-');
  if (parts.authority > UINT32_MAX) {
    // Choice: an authority of 2^32 or more is written as 0x and twelve
    // lower-case hexadecimal digits, as Windows writes it.
    static constexpr char16_t HEX_DIGITS[] = u"0123456789abcdef";
    out->append(u"0x");
    for (uint32_t bit = 8 * SID_AUTHORITY_SIZE; bit > 0; bit -= 4) {
      out->push_back(HEX_DIGITS[(parts.authority >> (bit - 4)) & 0xF]);
    }
  } else {
    AppendDecimal(static_cast<uint32_t>(parts.authority), out);
  }
  for (uint32_t i = 0; i < parts.count; ++i) {
    out->push_back(u'-');
    AppendDecimal(parts.sub_authorities[i], out);
  }
}

bool FormatSid(PSID sid, std::u16string* out) {
  SidParts parts;
  if (!ReadSidParts(sid, &parts)) return false;
  FormatSid(parts, out);
  return true;
}

bool ConvertSidToStringSidW(PSID sid, char16_t** text) {
  if (text == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  *text = nullptr;
  std::u16string formatted;
  try {
    if (!FormatSid(sid, &formatted)) return FailWith(ERROR_INVALID_SID);
  } catch (const std::bad_alloc&) {
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  }
  char16_t* block = new (std::nothrow) char16_t[formatted.size() + 1];
  if (block == nullptr) return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  std::copy(formatted.begin(), formatted.end(), block);
  block[formatted.size()] = 0;
  *text = block;
  return true;
}

void* LocalFree(void* memory) {
  delete[] static_cast<char16_t*>(memory);
  return nullptr;
}

void AtlThrowLastWin32() { AtlThrow(HResultFromWin32(GetLastError())); }

}  // namespace keyscout
