#include "security/security_desc.h"

#include <new>
#include <span>
#include <utility>

namespace keyscout {

namespace {

// The mask of a stored entry the fill keeps.
// Choice: an entry too short to hold a mask, object flags or its GUIDs is
// treated like one whose SID is invalid (E_INVALIDARG); entries of types the
// fill passes over are never read beyond their header.
uint32_t ReadMask(PACE ace) {
  uint32_t mask = 0;
  if (!ace.U32(ACE_MASK, &mask)) AtlThrow(E_INVALIDARG);
  return mask;
}

// The SID of a plain entry: everything from offset 8 to the entry's end (null
// when the entry ends first), so a SID can never reach past its entry.
PSID PlainSid(PACE ace) { return ace.From(ACE_SID); }

// What the object layout holds besides the mask.
struct ObjectLayout {
  bool has_object_type = false;
  bool has_inherited_type = false;
  GUID object_type;
  GUID inherited_type;
  PSID sid;
};

ObjectLayout ReadObjectLayout(PACE ace) {
  ObjectLayout layout;
  uint32_t object_flags = 0;
  if (!ace.U32(ACE_OBJECT_FLAGS, &object_flags)) AtlThrow(E_INVALIDARG);
  uint64_t at = ACE_OBJECT_GUIDS;
  if ((object_flags & ACE_OBJECT_TYPE_PRESENT) != 0) {
    if (!ace.Copy(at, GUID_SIZE, layout.object_type.bytes)) AtlThrow(E_INVALIDARG);
    layout.has_object_type = true;
    at += GUID_SIZE;
  }
  if ((object_flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) != 0) {
    if (!ace.Copy(at, GUID_SIZE, layout.inherited_type.bytes)) AtlThrow(E_INVALIDARG);
    layout.has_inherited_type = true;
    at += GUID_SIZE;
  }
  layout.sid = ace.From(at);
  return layout;
}

// The entry B must follow the entry A in canonical order.
bool MustFollow(const CDacl::CAccessAce& a, const CDacl::CAccessAce& b) {
  const bool a_inherited = (a.Flags() & INHERITED_ACE) != 0;
  const bool b_inherited = (b.Flags() & INHERITED_ACE) != 0;
  if (a_inherited != b_inherited) return !a_inherited;
  if (a.IsAllow() != b.IsAllow()) return !a.IsAllow();
  return !a.HasObjectTypes() && b.HasObjectTypes();
}

}  // namespace

// ---- ObjectTypes ----------------------------------------------------------

ObjectTypes::ObjectTypes(const GUID* object_type, const GUID* inherited_type) {
  // Each copy on its own, so that a failure of the second releases the first
  // (with this object, whose construction fails).
  if (object_type != nullptr) object_type_ = GuardAllocation([&] { return std::make_unique<GUID>(*object_type); });
  if (inherited_type != nullptr) {
    inherited_type_ = GuardAllocation([&] { return std::make_unique<GUID>(*inherited_type); });
  }
}

// ---- CAce -----------------------------------------------------------------

CAcl::CAce::CAce(const CSid& trustee, uint32_t mask, uint8_t flags) : trustee_(trustee), mask_(mask), flags_(flags) {}

uint32_t CAcl::CAce::LayoutLength(bool object_layout, const GUID* object_type, const GUID* inherited_type) const {
  uint32_t length = object_layout ? ACE_OBJECT_GUIDS : ACE_SID;
  if (object_type != nullptr) length += GUID_SIZE;
  if (inherited_type != nullptr) length += GUID_SIZE;
  return length + trustee_.SidLength();
}

const uint8_t* CAcl::CAce::EncodeOnce(bool object_layout, const GUID* object_type,
                                      const GUID* inherited_type) const {
  if (encoded_ != nullptr) return encoded_.get();
  const uint32_t length = LayoutLength(object_layout, object_type, inherited_type);
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[length]());
  if (block == nullptr) AtlThrow(E_OUTOFMEMORY);
  uint8_t* p = block.get();
  const std::span<uint8_t> out(p, length);
  p[ACE_TYPE] = TypeCode();
  p[ACE_FLAGS] = flags_;
  // The layout's length holds every field put here.
  if (!PutU16(out, ACE_SIZE, static_cast<uint16_t>(length)) || !PutU32(out, ACE_MASK, mask_)) {
    AtlThrow(E_FAIL);
  }
  uint32_t at = ACE_SID;
  if (object_layout) {
    uint32_t object_flags = 0;
    if (object_type != nullptr) object_flags |= ACE_OBJECT_TYPE_PRESENT;
    if (inherited_type != nullptr) object_flags |= ACE_INHERITED_OBJECT_TYPE_PRESENT;
    if (!PutU32(out, ACE_OBJECT_FLAGS, object_flags)) AtlThrow(E_FAIL);
    at = ACE_OBJECT_GUIDS;
    for (const GUID* guid : {object_type, inherited_type}) {
      if (guid == nullptr) continue;
      if (!ByteReader(guid->bytes, GUID_SIZE).Copy(0, GUID_SIZE, out, at)) AtlThrow(E_FAIL);
      at += GUID_SIZE;
    }
  }
  if (trustee_.IsValid() && !CopySid(length - at, p + at, trustee_.Sid())) AtlThrowLastWin32();
  encoded_ = std::move(block);
  return encoded_.get();
}

// ---- CAcl -----------------------------------------------------------------

uint32_t CAcl::BeginFill(PACL acl) {
  encoded_acl_.reset();
  ACL_SIZE_INFORMATION size_info{};
  if (!GetAclInformation(acl, &size_info, sizeof size_info, AclSizeInformation)) AtlThrowLastWin32();
  ACL_REVISION_INFORMATION revision_info{};
  if (!GetAclInformation(acl, &revision_info, sizeof revision_info, AclRevisionInformation)) {
    AtlThrowLastWin32();
  }
  revision_ = revision_info.AclRevision;
  return size_info.AceCount;
}

CAcl::StoredAce CAcl::ReadStoredAce(PACL acl, uint32_t index) {
  StoredAce entry;
  if (!GetAce(acl, index, &entry.bytes)) AtlThrowLastWin32();
  // GetAce gives at least the 4-byte header.
  if (!entry.bytes.U8(ACE_TYPE, &entry.type) || !entry.bytes.U8(ACE_FLAGS, &entry.flags)) {
    AtlThrow(E_INVALIDARG);
  }
  return entry;
}

// ---- CDacl ----------------------------------------------------------------

CDacl::CAccessAce::CAccessAce(const CSid& trustee, uint32_t mask, uint8_t flags, bool allow)
    : CAce(trustee, mask, flags), allow_(allow) {}

const uint8_t* CDacl::CAccessAce::AceBytes() const { return EncodeOnce(false, nullptr, nullptr); }
uint32_t CDacl::CAccessAce::AceByteLength() const { return LayoutLength(false, nullptr, nullptr); }
uint8_t CDacl::CAccessAce::TypeCode() const {
  return allow_ ? ACCESS_ALLOWED_ACE_TYPE : ACCESS_DENIED_ACE_TYPE;
}

CDacl::CAccessObjectAce::CAccessObjectAce(const CSid& trustee, uint32_t mask, uint8_t flags, bool allow,
                                          const GUID* object_type, const GUID* inherited_type)
    : CAccessAce(trustee, mask, flags, allow), types_(object_type, inherited_type) {}

const uint8_t* CDacl::CAccessObjectAce::AceBytes() const {
  return EncodeOnce(true, types_.ObjectType(), types_.InheritedType());
}
uint32_t CDacl::CAccessObjectAce::AceByteLength() const {
  return LayoutLength(true, types_.ObjectType(), types_.InheritedType());
}
uint8_t CDacl::CAccessObjectAce::TypeCode() const {
  return allow_ ? ACCESS_ALLOWED_OBJECT_ACE_TYPE : ACCESS_DENIED_OBJECT_ACE_TYPE;
}

void CDacl::ClearAces() {
  aces_.Clear();
  encoded_acl_.reset();
}

void CDacl::OrderAces() {
  // A Shell sort with the gaps 1, 4, 13, 40, ... (each 3h + 1): it starts
  // with the largest gap from 4 upward below the count (only 1 for fewer than
  // five entries) and divides by 3 after each pass.
  std::vector<std::unique_ptr<CAccessAce>>& aces = aces_.entries();
  const size_t n = aces.size();
  size_t gap = 1;
  if (n >= 5) {
    gap = 4;
    while (3 * gap + 1 < n) gap = 3 * gap + 1;
  }
  for (;; gap /= 3) {
    for (size_t i = gap; i < n; ++i) {
      std::unique_ptr<CAccessAce> moving = std::move(aces[i]);
      size_t j = i;
      while (j >= gap && MustFollow(*moving, *aces[j - gap])) {
        aces[j] = std::move(aces[j - gap]);
        j -= gap;
      }
      aces[j] = std::move(moving);
    }
    if (gap == 1) break;
  }
}

void CDacl::FillFromAcl(PACL acl) {
  const uint32_t count = BeginFill(acl);
  CSid working;
  for (uint32_t i = 0; i < count; ++i) {
    const StoredAce entry = ReadStoredAce(acl, i);
    switch (entry.type) {
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_DENIED_ACE_TYPE: {
        const uint32_t mask = ReadMask(entry.bytes);
        working.AssignRaw(PlainSid(entry.bytes));
        const bool allow = entry.type == ACCESS_ALLOWED_ACE_TYPE;
        std::unique_ptr<CAccessAce> ace =
            GuardAllocation([&] { return std::make_unique<CAccessAce>(working, mask, entry.flags, allow); });
        aces_.Append(std::move(ace));
        break;
      }
      case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
      case ACCESS_DENIED_OBJECT_ACE_TYPE: {
        const uint32_t mask = ReadMask(entry.bytes);
        const ObjectLayout layout = ReadObjectLayout(entry.bytes);
        working.AssignRaw(layout.sid);
        const bool allow = entry.type == ACCESS_ALLOWED_OBJECT_ACE_TYPE;
        std::unique_ptr<CAccessAce> ace = GuardAllocation([&]() -> std::unique_ptr<CAccessAce> {
          return std::make_unique<CAccessObjectAce>(working, mask, entry.flags, allow,
                                                    layout.has_object_type ? &layout.object_type : nullptr,
                                                    layout.has_inherited_type ? &layout.inherited_type : nullptr);
        });
        aces_.Append(std::move(ace));
        break;
      }
      default:
        // Other types (audit, alarm, compound, callback, ...) have no place
        // in this model of a DACL.
        break;
    }
  }
}

// ---- CSacl ----------------------------------------------------------------

CSacl::CAuditAce::CAuditAce(const CSid& trustee, uint32_t mask, uint8_t flags, bool success, bool failure)
    : CAce(trustee, mask, flags), success_(success), failure_(failure) {
  if (success_) flags_ |= SUCCESSFUL_ACCESS_ACE_FLAG;
  if (failure_) flags_ |= FAILED_ACCESS_ACE_FLAG;
}

const uint8_t* CSacl::CAuditAce::AceBytes() const { return EncodeOnce(false, nullptr, nullptr); }
uint32_t CSacl::CAuditAce::AceByteLength() const { return LayoutLength(false, nullptr, nullptr); }

CSacl::CAuditObjectAce::CAuditObjectAce(const CSid& trustee, uint32_t mask, uint8_t flags, bool success,
                                        bool failure, const GUID* object_type, const GUID* inherited_type)
    : CAuditAce(trustee, mask, flags, success, failure), types_(object_type, inherited_type) {}

const uint8_t* CSacl::CAuditObjectAce::AceBytes() const {
  return EncodeOnce(true, types_.ObjectType(), types_.InheritedType());
}
uint32_t CSacl::CAuditObjectAce::AceByteLength() const {
  return LayoutLength(true, types_.ObjectType(), types_.InheritedType());
}

void CSacl::ClearAces() {
  aces_.Clear();
  encoded_acl_.reset();
}

void CSacl::FillFromAcl(PACL acl) {
  const uint32_t count = BeginFill(acl);
  CSid working;
  for (uint32_t i = 0; i < count; ++i) {
    const StoredAce entry = ReadStoredAce(acl, i);
    const bool success = (entry.flags & SUCCESSFUL_ACCESS_ACE_FLAG) != 0;
    const bool failure = (entry.flags & FAILED_ACCESS_ACE_FLAG) != 0;
    switch (entry.type) {
      case SYSTEM_AUDIT_ACE_TYPE:
      case SYSTEM_MANDATORY_LABEL_ACE_TYPE: {
        // A mandatory label is held as an audit entry; its stored type is not
        // kept.
        const uint32_t mask = ReadMask(entry.bytes);
        working.AssignRaw(PlainSid(entry.bytes));
        std::unique_ptr<CAuditAce> ace =
            GuardAllocation([&] { return std::make_unique<CAuditAce>(working, mask, entry.flags, success, failure); });
        aces_.Append(std::move(ace));
        break;
      }
      case SYSTEM_AUDIT_OBJECT_ACE_TYPE: {
        const uint32_t mask = ReadMask(entry.bytes);
        const ObjectLayout layout = ReadObjectLayout(entry.bytes);
        working.AssignRaw(layout.sid);
        std::unique_ptr<CAuditAce> ace = GuardAllocation([&]() -> std::unique_ptr<CAuditAce> {
          return std::make_unique<CAuditObjectAce>(working, mask, entry.flags, success, failure,
                                                   layout.has_object_type ? &layout.object_type : nullptr,
                                                   layout.has_inherited_type ? &layout.inherited_type : nullptr);
        });
        aces_.Append(std::move(ace));
        break;
      }
      default:
        // Alarms, resource attributes, scoped policies and the rest are not
        // part of this model of a SACL.
        break;
    }
  }
}

// ---- CSecurityDesc --------------------------------------------------------

void CSecurityDesc::LoadStored(PSECURITY_DESCRIPTOR stored) {
  // Choice: loading over an existing copy releases it first rather than
  // leaking it or refusing.
  FreeDescriptor();
  const uint32_t length = GetSecurityDescriptorLength(stored);
  // The stored bytes come from a hive: every part the model reads later must
  // lie inside them, or nothing is copied.
  if (length == 0 || length > stored.size()) AtlThrow(E_INVALIDARG);
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[length]);
  if (block == nullptr) AtlThrow(E_OUTOFMEMORY);
  uint16_t control = 0;
  uint32_t revision = 0;
  if (!GetSecurityDescriptorControl(stored, &control, &revision)) AtlThrowLastWin32();
  if ((control & SE_SELF_RELATIVE) != 0) {
    if (!stored.Copy(0, length, std::span<uint8_t>(block.get(), length))) AtlThrow(E_INVALIDARG);
  } else {
    // MakeSelfRelativeSD refuses what it cannot follow (ERROR_INVALID_PARAMETER,
    // that is E_INVALIDARG).
    uint32_t out_length = length;
    if (!MakeSelfRelativeSD(stored, block.get(), &out_length)) AtlThrowLastWin32();
  }
  copy_ = std::move(block);
  copy_length_ = length;
}

void CSecurityDesc::FreeDescriptor() {
  // The copy is always self-relative (LoadStored makes no other), so its
  // parts live inside the one block.
  copy_.reset();
  copy_length_ = 0;
}

template <typename Acl, typename Get>
bool CSecurityDesc::ExtractAcl(Acl& acl, Get get) const {
  if (copy_ == nullptr) return false;
  bool present = false;
  bool defaulted = false;
  PACL stored;
  if (!get(DescriptorCopy(), &present, &stored, &defaulted)) return false;
  acl.ClearAces();
  if (!present) {
    acl.null_ = false;
  } else if (stored.IsNull()) {
    acl.null_ = true;
  } else {
    // A filled ACL is not null, whatever the object said before.
    acl.null_ = false;
    acl.FillFromAcl(stored);
  }
  return true;
}

bool CSecurityDesc::ExtractSacl(CSacl& sacl) const { return ExtractAcl(sacl, GetSecurityDescriptorSacl); }

bool CSecurityDesc::ExtractDacl(CDacl& dacl) const { return ExtractAcl(dacl, GetSecurityDescriptorDacl); }

}  // namespace keyscout
