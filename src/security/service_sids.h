// Service SIDs: S-1-5-80 followed by five sub-authorities that Windows works
// out from the service's name (the SHA-1 digest of the name, upper-cased and
// encoded as UTF-16LE, read as five little-endian 32-bit words). Windows names
// such a SID NT SERVICE\<service name>. The digest cannot be turned back into
// a name, so a SID is named by hashing candidate names: first those the
// registered providers give (the services of the hive being read), then the
// names compiled into the tool (services found in Windows-written hives).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "security/security_api.h"

namespace keyscout {

inline constexpr uint64_t SERVICE_SID_AUTHORITY = 5;
inline constexpr uint32_t SERVICE_SID_FIRST = 80;
// The sub-authorities after the 80.
inline constexpr size_t SERVICE_SID_WORDS = 5;
inline constexpr std::u16string_view SERVICE_SID_DOMAIN = u"NT SERVICE";

using ServiceSidWords = std::array<uint32_t, SERVICE_SID_WORDS>;

// The five sub-authorities after 80 of the SID of the service called `name`.
// The letters a to z and the Latin-1 letters U+00E0 to U+00FE (but U+00F7)
// count as their upper-case forms; every other unit counts as it is. Raises
// std::bad_alloc only when memory runs out; prints nothing.
ServiceSidWords ComputeServiceSidWords(std::u16string_view name);

// Gives extra candidate names, most trusted first; may give none. Called only
// when a service SID is met that neither the platform, nor the table of
// well-known SIDs, nor the providers registered before it name, and once
// after it is registered (again only when memory ran out while it worked or
// its names were kept). It must print nothing and throw nothing but
// std::bad_alloc.
using ServiceNameProvider = std::function<std::vector<std::u16string>()>;

// Registers the providers asked, in this order, before the compiled names (an
// empty list removes them), and forgets the names earlier providers gave, so
// the new ones are asked again when needed. Empty providers are passed over.
// Returns the previous list. Raises std::bad_alloc, with nothing changed,
// only when memory runs out; with an empty list it cannot fail. Prints
// nothing.
std::vector<ServiceNameProvider> SetServiceNameProviders(std::vector<ServiceNameProvider> providers);

// The service name of the SID `sid`: true with `name` set to the name as a provider
// or the compiled list spells it, when the SID is S-1-5-80 with exactly five
// sub-authorities after the 80 and one of those names hashes to them. Where
// two candidates hash alike (names that differ in letter case only), the
// first in the order of the sources (the providers in turn, then the compiled
// list) wins, and within one source the earlier one. False, with `name`
// untouched, otherwise. Candidates are hashed in that order, each at most
// once, and only until the SID is found, so a SID that a provider names costs
// the later sources nothing. May raise std::bad_alloc while they are hashed.
// Prints nothing.
bool FindServiceSidName(const SidParts& sid, std::u16string* name);

// The compiled names, in the order of the data file they come from, for the
// test that compares the two.
const std::u16string_view* ServiceNameTable(size_t* count);

}  // namespace keyscout
