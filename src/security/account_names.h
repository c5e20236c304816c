// How the tool names a SID: one naming context, made by the report that
// prints the names and handed to the SIDs it names. It asks, in this order,
// the system's account service, the table of well-known SIDs, and, for a
// service SID, the names its providers give (the services of the hive being
// read) and the compiled service names. It holds no state outside itself, so
// nothing of one report's naming reaches another.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/account_lookup.h"
#include "security/security_api.h"
#include "security/service_sids.h"

namespace keyscout {

// The system's account service, as PlatformLookupAccount answers.
using SystemAccountLookup =
    std::function<AccountLookup(const SidBytes& sid, std::u16string* domain, std::u16string* name, uint32_t* use)>;

class AccountNames {
 public:
  // Names from `system` first (an empty one: no system to ask), then from
  // the table and the service names, the providers' before the compiled
  // ones. Raises std::bad_alloc only when memory runs out.
  explicit AccountNames(SystemAccountLookup system = {}, std::vector<ServiceNameProvider> services = {});
  AccountNames(const AccountNames&) = delete;
  AccountNames& operator=(const AccountNames&) = delete;

  // Names a SID from the sources above. Sizes are in 16-bit units. On
  // success both names are zero-terminated in their buffers, the sizes
  // become the name lengths without terminator and `use` is set. Fails with
  // ERROR_INSUFFICIENT_BUFFER (both sizes then hold the sizes needed,
  // terminator included), ERROR_NONE_MAPPED for a SID nobody can name,
  // ERROR_INVALID_SID, ERROR_NOT_ENOUGH_MEMORY, or ERROR_NOT_SUPPORTED for a
  // non-empty system name (only the local system is known). Prints nothing.
  bool LookupAccountSidW(const char16_t* system_name, PSID sid, char16_t* name, uint32_t* name_size,
                         char16_t* domain, uint32_t* domain_size, SID_NAME_USE* use);

 private:
  // The names of a valid SID; false when no source names it. May raise
  // std::bad_alloc.
  bool Find(PSID sid, const SidParts& parts, std::u16string* domain, std::u16string* name, uint32_t* use);

  SystemAccountLookup system_;
  ServiceSidNames services_;
};

}  // namespace keyscout
