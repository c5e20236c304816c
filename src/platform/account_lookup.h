// The platform's own account service, asked to name a SID before the tool's
// table of well-known SIDs. A Windows build answers from the system; the POSIX
// build has no such service.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace keyscout {

enum class AccountLookup {
  kMapped,       // domain, name and use are filled
  kUnavailable,  // no answer: no service to ask, or it could not name the SID
};

// A whole SID copied out of the bytes it was read from, as the system's
// account service takes it: at most 68 bytes, of which `length` are used.
struct SidBytes {
  uint8_t bytes[68] = {};
  uint32_t length = 0;
};

// Names `sid`, a SID already checked as valid. Prints nothing.
AccountLookup PlatformLookupAccount(const SidBytes& sid, std::u16string* domain, std::u16string* name,
                                    uint32_t* use);

}  // namespace keyscout
