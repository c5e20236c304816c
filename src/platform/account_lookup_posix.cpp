#include "platform/account_lookup.h"

namespace keyscout {

// A POSIX system has no accounts of the hive's Windows system to ask about.
AccountLookup PlatformLookupAccount(const SidBytes&, std::u16string*, std::u16string*, uint32_t*) {
  return AccountLookup::kUnavailable;
}

}  // namespace keyscout
