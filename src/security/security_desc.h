// The descriptor model: a private copy of one stored security descriptor, and
// its SACL and DACL as lists of ACE objects. Every failure is raised as
// CAtlException; nothing here prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "security/security_api.h"
#include "security/sid.h"

namespace keyscout {

// A GUID as its 16 stored bytes.
struct GUID {
  uint8_t bytes[GUID_SIZE] = {};
  bool operator==(const GUID&) const = default;
};

class CSecurityDesc;

// The entry list of an ACL class: owning pointers in stored order. Both ACL
// classes give their list operations the same behaviour, which lives here.
template <typename Ace>
class AceList {
 public:
  size_t Count() const { return aces_.size(); }
  // Destroys every entry and releases the list's storage.
  void Clear() { std::vector<std::unique_ptr<Ace>>().swap(aces_); }
  // Destroys one entry; the later ones move down. E_INVALIDARG when `index`
  // is not below the count.
  void RemoveAt(size_t index) {
    if (index >= aces_.size()) AtlThrow(E_INVALIDARG);
    aces_.erase(aces_.begin() + static_cast<std::ptrdiff_t>(index));
  }
  // The entry at `index`, still owned by the list. E_INVALIDARG when `index`
  // is not below the count.
  const Ace& At(size_t index) const {
    if (index >= aces_.size()) AtlThrow(E_INVALIDARG);
    return *aces_[index];
  }
  // Takes ownership of `entry` at the end. E_OUTOFMEMORY when the list
  // cannot grow.
  void Append(std::unique_ptr<Ace> entry) {
    GuardAllocation([&] { aces_.push_back(std::move(entry)); });
  }
  // The entries themselves, for reordering.
  std::vector<std::unique_ptr<Ace>>& entries() { return aces_; }

 private:
  std::vector<std::unique_ptr<Ace>> aces_;
};

// The object types of an object entry, each its own heap copy of a GUID or
// absent. Both object entry classes hold one.
class ObjectTypes {
 public:
  // Copies the GUIDs that are not null. Raises E_OUTOFMEMORY when a copy
  // cannot be made (the first copy is released then).
  ObjectTypes(const GUID* object_type, const GUID* inherited_type);
  const GUID* ObjectType() const { return object_type_.get(); }
  const GUID* InheritedType() const { return inherited_type_.get(); }
  // The GUID, or the all-zero GUID when absent.
  GUID ObjectTypeOrZero() const { return object_type_ ? *object_type_ : GUID{}; }
  GUID InheritedTypeOrZero() const { return inherited_type_ ? *inherited_type_ : GUID{}; }

 private:
  std::unique_ptr<GUID> object_type_;
  std::unique_ptr<GUID> inherited_type_;
};

// What the two ACL classes share.
class CAcl {
 public:
  // One entry: its trustee, mask and flags.
  class CAce {
   public:
    // The trustee is a copy of `trustee` (see CSid's copy construction).
    CAce(const CSid& trustee, uint32_t mask, uint8_t flags);
    CAce(const CAce&) = delete;
    CAce& operator=(const CAce&) = delete;
    virtual ~CAce() = default;

    // The entry's encoded form, built on first use and kept; AceByteLength
    // bytes. Raises E_OUTOFMEMORY when the block cannot be allocated.
    virtual const uint8_t* AceBytes() const = 0;
    virtual uint32_t AceByteLength() const = 0;
    // The type code this object stands for (not necessarily the stored one).
    virtual uint8_t TypeCode() const = 0;
    virtual bool HasObjectTypes() const { return false; }
    // The object types; the all-zero GUID when absent.
    virtual GUID ObjectTypeGuid() const { return GUID{}; }
    virtual GUID InheritedTypeGuid() const { return GUID{}; }

    const CSid& TrusteeSid() const { return trustee_; }
    uint32_t Mask() const { return mask_; }
    uint8_t Flags() const { return flags_; }

   protected:
    // The length and encoded form of an entry of either layout: the object
    // layout when `object_layout`, with the GUIDs that are not null.
    uint32_t LayoutLength(bool object_layout, const GUID* object_type, const GUID* inherited_type) const;
    const uint8_t* EncodeOnce(bool object_layout, const GUID* object_type, const GUID* inherited_type) const;

    CSid trustee_;
    uint32_t mask_;
    uint8_t flags_;
    mutable std::unique_ptr<uint8_t[]> encoded_;
  };

  CAcl() = default;
  CAcl(const CAcl&) = delete;
  CAcl& operator=(const CAcl&) = delete;
  virtual ~CAcl() = default;

  virtual size_t AceCount() const = 0;
  // Destroys every entry and releases the list.
  virtual void ClearAces() = 0;
  // Destroys one entry; the later ones move down. E_INVALIDARG when `index`
  // is not below the count.
  virtual void RemoveAceAt(size_t index) = 0;
  // The entry at `index`, still owned by the list. E_INVALIDARG when `index`
  // is not below the count.
  virtual const CAce& AceAt(size_t index) const = 0;
  // Reorders the entries into their canonical order; the SACL keeps its own.
  virtual void OrderAces() {}

  // Set when the descriptor declares the ACL present but has none.
  bool IsNull() const { return null_; }
  uint32_t Revision() const { return revision_; }

 protected:
  // An entry as GetAce gives it, with the fields every entry has.
  struct StoredAce {
    PACE bytes;
    uint8_t type = 0;
    uint8_t flags = 0;
  };

  // The steps both fills begin with: forget the cached encoding, then read
  // the entry count and the revision. Returns the count.
  uint32_t BeginFill(PACL acl);
  static StoredAce ReadStoredAce(PACL acl, uint32_t index);

  std::unique_ptr<uint8_t[]> encoded_acl_;
  bool null_ = false;
  uint32_t revision_ = ACL_REVISION;

  friend class CSecurityDesc;
};

// A DACL: access entries in stored order.
class CDacl : public CAcl {
 public:
  class CAccessAce : public CAce {
   public:
    CAccessAce(const CSid& trustee, uint32_t mask, uint8_t flags, bool allow);
    const uint8_t* AceBytes() const override;
    uint32_t AceByteLength() const override;
    uint8_t TypeCode() const override;
    bool IsAllow() const { return allow_; }

   protected:
    bool allow_;
  };

  class CAccessObjectAce : public CAccessAce {
   public:
    // Null GUIDs are absent. Raises E_OUTOFMEMORY when a copy cannot be made.
    CAccessObjectAce(const CSid& trustee, uint32_t mask, uint8_t flags, bool allow, const GUID* object_type,
                     const GUID* inherited_type);
    const uint8_t* AceBytes() const override;
    uint32_t AceByteLength() const override;
    uint8_t TypeCode() const override;
    bool HasObjectTypes() const override { return true; }
    GUID ObjectTypeGuid() const override { return types_.ObjectTypeOrZero(); }
    GUID InheritedTypeGuid() const override { return types_.InheritedTypeOrZero(); }

   private:
    ObjectTypes types_;
  };

  CDacl() = default;
  ~CDacl() override = default;

  size_t AceCount() const override { return aces_.Count(); }
  void ClearAces() override;
  void RemoveAceAt(size_t index) override { aces_.RemoveAt(index); }
  const CAccessAce& AceAt(size_t index) const override { return aces_.At(index); }
  // Explicit entries before inherited ones, deny before allow within each,
  // plain before object entries within those.
  void OrderAces() override;

  // Appends one entry per stored entry of type 0x00, 0x01, 0x05 or 0x06;
  // other types are passed over. `acl` is not null.
  void FillFromAcl(PACL acl);

 private:
  AceList<CAccessAce> aces_;
};

// A SACL: audit entries (mandatory labels among them) in stored order.
class CSacl : public CAcl {
 public:
  class CAuditAce : public CAce {
   public:
    CAuditAce(const CSid& trustee, uint32_t mask, uint8_t flags, bool success, bool failure);
    const uint8_t* AceBytes() const override;
    uint32_t AceByteLength() const override;
    uint8_t TypeCode() const override { return SYSTEM_AUDIT_ACE_TYPE; }
    bool AuditsSuccess() const { return success_; }
    bool AuditsFailure() const { return failure_; }

   protected:
    bool success_;
    bool failure_;
  };

  class CAuditObjectAce : public CAuditAce {
   public:
    CAuditObjectAce(const CSid& trustee, uint32_t mask, uint8_t flags, bool success, bool failure,
                    const GUID* object_type, const GUID* inherited_type);
    const uint8_t* AceBytes() const override;
    uint32_t AceByteLength() const override;
    uint8_t TypeCode() const override { return SYSTEM_AUDIT_OBJECT_ACE_TYPE; }
    bool HasObjectTypes() const override { return true; }
    GUID ObjectTypeGuid() const override { return types_.ObjectTypeOrZero(); }
    GUID InheritedTypeGuid() const override { return types_.InheritedTypeOrZero(); }

   private:
    ObjectTypes types_;
  };

  CSacl() = default;
  ~CSacl() override = default;

  size_t AceCount() const override { return aces_.Count(); }
  void ClearAces() override;
  void RemoveAceAt(size_t index) override { aces_.RemoveAt(index); }
  const CAuditAce& AceAt(size_t index) const override { return aces_.At(index); }

  // Appends one entry per stored entry of type 0x02, 0x07 or 0x11 (held as
  // an audit entry); other types are passed over. `acl` is not null.
  void FillFromAcl(PACL acl);

 private:
  AceList<CAuditAce> aces_;
};

// The private, self-relative copy of one stored descriptor.
class CSecurityDesc {
 public:
  CSecurityDesc() = default;
  CSecurityDesc(const CSecurityDesc&) = delete;
  CSecurityDesc& operator=(const CSecurityDesc&) = delete;
  virtual ~CSecurityDesc() { CSecurityDesc::FreeDescriptor(); }

  // Copies the descriptor `stored` refers to, exactly its length. Raises
  // E_INVALIDARG when that length does not lie inside `stored` (or cannot be
  // measured) and when the descriptor is not self-relative, E_OUTOFMEMORY
  // when the copy cannot be allocated, and the last-error HRESULT when its
  // control word cannot be read. A failure leaves no copy.
  void LoadStored(PSECURITY_DESCRIPTOR stored);
  virtual void FreeDescriptor();

  // Fill the ACL object from the copy: emptied and its null flag set for a
  // present but null ACL, emptied and the flag cleared for an absent one.
  // False, with the object untouched, when there is no copy or the ACL
  // cannot be located in it.
  bool ExtractSacl(CSacl& sacl) const;
  bool ExtractDacl(CDacl& dacl) const;

  // The copy, null while there is none.
  PSECURITY_DESCRIPTOR DescriptorCopy() const { return PSECURITY_DESCRIPTOR{copy_.get(), copy_length_}; }

 private:
  // The one way both ACLs are taken from the copy; `get` is
  // GetSecurityDescriptorSacl or GetSecurityDescriptorDacl.
  template <typename Acl, typename Get>
  bool ExtractAcl(Acl& acl, Get get) const;

  std::unique_ptr<uint8_t[]> copy_;
  uint32_t copy_length_ = 0;
};

}  // namespace keyscout
