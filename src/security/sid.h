// One SID with its string form and account names, each worked out on first
// use and kept until the next SID is loaded. The names come from the naming
// context the CSid was made with.
#pragma once

#include <cstdint>
#include <string>

#include "security/security_api.h"

namespace keyscout {

class AccountNames;

class CSid {
 public:
  // Empty: not valid, name use SidTypeInvalid, no texts. Made without a
  // naming context, it names no SID (every lookup fails with
  // ERROR_NONE_MAPPED); made with one, it asks `names`, which must outlive
  // it and every copy made from it.
  CSid() = default;
  explicit CSid(AccountNames& names) : names_(&names) {}
  // Takes the other's SID, cached texts and naming context (not its system
  // name). Raises E_INVALIDARG when the other is valid but its SID is not.
  CSid(const CSid& other);
  CSid& operator=(const CSid&) = delete;
  virtual ~CSid() = default;

  // Loads the SID that `sid` refers to and forgets every cached text. Raises
  // E_INVALIDARG for a null reference, an invalid SID or one longer than 68
  // bytes; the CSid is then empty.
  void AssignRaw(PSID sid);
  // Takes over the other's SID, name use and cached texts; keeps its own
  // naming context.
  void AssignCopy(const CSid& other);

  // The string form; empty when it cannot be produced.
  const std::u16string& SidText();
  // The account (domain) name; each runs the lookup while its own text is
  // empty. Empty when nobody can name the SID.
  const std::u16string& AccountText();
  const std::u16string& DomainText();

  // Asks the naming context's LookupAccountSidW for both names: first into
  // two 32-unit buffers, then, when they are too small, straight into the
  // texts at the sizes it reported. Raises when the second attempt fails; a
  // SID nobody can name leaves both texts empty.
  void LookUpNames();
  // Back to the empty state; the naming context stays.
  void Reset();

  bool IsValid() const { return valid_; }
  SID_NAME_USE NameUse() const { return use_; }
  // The loaded SID, cut to its length; null when not valid.
  PSID Sid() const;
  uint32_t SidLength() const { return valid_ ? GetLengthSid(Buffer()) : 0; }

 private:
  PSID Buffer() const { return PSID{sid_, sizeof sid_}; }
  // LookupAccountSidW of the naming context, for the loaded SID.
  bool AskNames(char16_t* name, uint32_t* name_size, char16_t* domain, uint32_t* domain_size);

  uint8_t sid_[SECURITY_MAX_SID_SIZE] = {};
  bool valid_ = false;
  SID_NAME_USE use_ = SidTypeInvalid;
  std::u16string account_;
  std::u16string domain_;
  std::u16string sid_text_;
  // Never set: names are always looked up on the local system.
  std::u16string system_name_;
  AccountNames* names_ = nullptr;
};

}  // namespace keyscout
