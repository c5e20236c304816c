// The accounts the tool can name without asking the system: well-known SIDs
// with the domain and account names an English-language Windows gives them.
#pragma once

#include <cstddef>
#include <string_view>

#include "security/security_constants.h"

namespace keyscout {

struct WellKnownSid {
  std::u16string_view sid_text;  // string form, "S-1-5-18"
  std::u16string_view domain;    // may be empty
  std::u16string_view account;
  SID_NAME_USE use;
};

// The entry for the SID whose string form is `sid_text`, or null.
const WellKnownSid* FindWellKnownSid(std::u16string_view sid_text);

// The whole table, for tests that check it entry by entry.
const WellKnownSid* WellKnownSidTable(size_t* count);

}  // namespace keyscout
