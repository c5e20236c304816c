#include "security/account_names.h"

#include <algorithm>
#include <new>
#include <utility>

#include "security/well_known_sids.h"

namespace keyscout {

AccountNames::AccountNames(SystemAccountLookup system, std::vector<ServiceNameProvider> services)
    : system_(std::move(system)), services_(std::move(services)) {}

bool AccountNames::Find(PSID sid, const SidParts& parts, std::u16string* domain, std::u16string* name,
                        uint32_t* use) {
  if (system_) {
    SidBytes whole;
    whole.length = GetLengthSid(sid);
    if (CopySid(sizeof whole.bytes, whole.bytes, sid) &&
        system_(whole, domain, name, use) == AccountLookup::kMapped) {
      return true;
    }
  }
  std::u16string text;
  FormatSid(parts, &text);
  if (const WellKnownSid* known = FindWellKnownSid(text)) {
    domain->assign(known->domain);
    name->assign(known->account);
    *use = known->use;
    return true;
  }
  if (services_.Find(parts, name)) {
    domain->assign(SERVICE_SID_DOMAIN);
    *use = SidTypeWellKnownGroup;
    return true;
  }
  return false;
}

bool AccountNames::LookupAccountSidW(const char16_t* system_name, PSID sid, char16_t* name, uint32_t* name_size,
                                     char16_t* domain, uint32_t* domain_size, SID_NAME_USE* use) {
  // Choice: only the local system is known; naming a remote one is refused
  // rather than answered from the local table.
  if (system_name != nullptr && system_name[0] != 0) return FailWith(ERROR_NOT_SUPPORTED);
  if (name_size == nullptr || domain_size == nullptr || use == nullptr) return FailWith(ERROR_INVALID_PARAMETER);
  SidParts parts;
  if (!ReadSidParts(sid, &parts)) return FailWith(ERROR_INVALID_SID);

  std::u16string found_domain;
  std::u16string found_name;
  uint32_t found_use = SidTypeUnknown;
  try {
    if (!Find(sid, parts, &found_domain, &found_name, &found_use)) return FailWith(ERROR_NONE_MAPPED);
  } catch (const std::bad_alloc&) {
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);
  }

  const uint64_t name_needed = uint64_t{found_name.size()} + 1;
  const uint64_t domain_needed = uint64_t{found_domain.size()} + 1;
  if (name == nullptr || domain == nullptr || *name_size < name_needed || *domain_size < domain_needed) {
    // As on Windows, both sizes are replaced when either does not fit.
    *name_size = static_cast<uint32_t>(name_needed);
    *domain_size = static_cast<uint32_t>(domain_needed);
    return FailWith(ERROR_INSUFFICIENT_BUFFER);
  }
  std::copy(found_name.begin(), found_name.end(), name);
  name[found_name.size()] = 0;
  std::copy(found_domain.begin(), found_domain.end(), domain);
  domain[found_domain.size()] = 0;
  *name_size = static_cast<uint32_t>(found_name.size());
  *domain_size = static_cast<uint32_t>(found_domain.size());
  *use = static_cast<SID_NAME_USE>(found_use);
  return true;
}

}  // namespace keyscout
