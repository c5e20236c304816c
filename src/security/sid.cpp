#include "security/sid.h"

#include <memory>

#include "security/account_names.h"

namespace keyscout {

namespace {

struct LocalFreeDeleter {
  void operator()(char16_t* text) const { LocalFree(text); }
};

// Cuts a text that a lookup wrote into to the units before its first zero,
// looking no further than the room it had.
bool FitToTerminator(std::u16string* text) {
  const size_t end = text->find(u'\0');
  if (end == std::u16string::npos) return false;
  text->resize(end);
  return true;
}

constexpr uint32_t LOOKUP_FIRST_BUFFER_CHARS = 32;

}  // namespace

CSid::CSid(const CSid& other) : names_(other.names_) {
  GuardAllocation([&] {
    account_ = other.account_;
    domain_ = other.domain_;
    sid_text_ = other.sid_text_;
  });
  use_ = other.use_;
  if (!other.valid_) return;
  if (!IsValidSid(other.Buffer())) AtlThrow(E_INVALIDARG);
  valid_ = true;
  if (!CopySid(sizeof sid_, sid_, other.Sid())) {
    valid_ = false;
    AtlThrowLastWin32();
  }
}

PSID CSid::Sid() const {
  if (!valid_) return PSID{};
  return Buffer().Sub(0, GetLengthSid(Buffer()));
}

void CSid::AssignRaw(PSID sid) {
  if (valid_ && sid.StartsAt(sid_)) return;
  Reset();
  if (!IsValidSid(sid)) AtlThrow(E_INVALIDARG);
  if (GetLengthSid(sid) > SECURITY_MAX_SID_SIZE) AtlThrow(E_INVALIDARG);
  valid_ = true;
  if (!CopySid(sizeof sid_, sid_, sid)) {
    valid_ = false;
    AtlThrowLastWin32();
  }
  use_ = SidTypeUnknown;
}

void CSid::AssignCopy(const CSid& other) {
  if (&other == this) return;
  use_ = other.use_;
  GuardAllocation([&] {
    account_ = other.account_;
    domain_ = other.domain_;
    sid_text_ = other.sid_text_;
  });
  valid_ = other.valid_;
  if (valid_ && !CopySid(sizeof sid_, sid_, other.Sid())) {
    valid_ = false;
    AtlThrowLastWin32();
  }
}

void CSid::Reset() {
  use_ = SidTypeInvalid;
  account_.clear();
  domain_.clear();
  sid_text_.clear();
  system_name_.clear();
  valid_ = false;
}

const std::u16string& CSid::SidText() {
  if (!sid_text_.empty()) return sid_text_;
  // An empty CSid has no SID text, whatever its buffer still holds from an
  // earlier load.
  char16_t* raw = nullptr;
  if (!ConvertSidToStringSidW(Sid(), &raw)) return sid_text_;
  const std::unique_ptr<char16_t, LocalFreeDeleter> text(raw);
  try {
    GuardAllocation([&] {
      if (text != nullptr) sid_text_.assign(text.get());
    });
  } catch (...) {
    sid_text_.clear();
    throw;
  }
  return sid_text_;
}

const std::u16string& CSid::AccountText() {
  if (account_.empty()) LookUpNames();
  return account_;
}

const std::u16string& CSid::DomainText() {
  if (domain_.empty()) LookUpNames();
  return domain_;
}

bool CSid::AskNames(char16_t* name, uint32_t* name_size, char16_t* domain, uint32_t* domain_size) {
  // Without a context nobody can name the SID; an empty CSid fails as the
  // context's lookup would fail it.
  if (names_ == nullptr) return FailWith(valid_ ? ERROR_NONE_MAPPED : ERROR_INVALID_SID);
  return names_->LookupAccountSidW(system_name_.c_str(), Sid(), name, name_size, domain, domain_size, &use_);
}

void CSid::LookUpNames() {
  char16_t name[LOOKUP_FIRST_BUFFER_CHARS];
  char16_t domain[LOOKUP_FIRST_BUFFER_CHARS];
  uint32_t name_size = LOOKUP_FIRST_BUFFER_CHARS;
  uint32_t domain_size = LOOKUP_FIRST_BUFFER_CHARS;
  // Only a loaded SID is looked up (an empty CSid fails with ERROR_INVALID_SID
  // and keeps its empty names).
  if (AskNames(name, &name_size, domain, &domain_size)) {
    GuardAllocation([&] {
      account_.assign(name);
      domain_.assign(domain);
    });
    return;
  }
  switch (GetLastError()) {
    case ERROR_INSUFFICIENT_BUFFER: {
      if (static_cast<int32_t>(name_size) < 0 || static_cast<int32_t>(domain_size) < 0) {
        AtlThrow(E_INVALIDARG);
      }
      GuardAllocation([&] {
        account_.assign(name_size, u'\0');
        domain_.assign(domain_size, u'\0');
      });
      if (!AskNames(account_.data(), &name_size, domain_.data(), &domain_size)) {
        account_.clear();
        domain_.clear();
        AtlThrowLastWin32();
      }
      if (!FitToTerminator(&account_) || !FitToTerminator(&domain_)) {
        account_.clear();
        domain_.clear();
        AtlThrow(E_INVALIDARG);
      }
      break;
    }
    case ERROR_NONE_MAPPED:
      account_.clear();
      domain_.clear();
      use_ = SidTypeUnknown;
      break;
    default:
      // Any other failure leaves the names as they were; the row prints
      // without them.
      break;
  }
}

}  // namespace keyscout
