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
  kNotMapped,    // the service knows no account for this SID
  kUnavailable,  // there is no service to ask
};

// Names the SID held in `sid_length` bytes at `sid` (a SID already checked as
// valid). Prints nothing.
AccountLookup PlatformLookupAccount(const uint8_t* sid, size_t sid_length, std::u16string* domain,
                                    std::u16string* name, uint32_t* use);

}  // namespace keyscout
