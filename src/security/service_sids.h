// Service SIDs: S-1-5-80 followed by five sub-authorities that Windows works
// out from the service's name (the SHA-1 digest of the name, upper-cased and
// encoded as UTF-16LE, read as five little-endian 32-bit words). Windows names
// such a SID NT SERVICE\<service name>. The digest cannot be turned back into
// a name, so a SID is named by hashing candidate names: first those that a
// naming context's providers give (the services of the hive being read), then
// the names compiled into the tool (services found in Windows-written hives).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
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

// The compiled names, in the order of the data file they come from.
std::span<const std::u16string_view> CompiledServiceNames();

// Candidate names and the SIDs of those hashed so far. Names are hashed in
// their order and only as far as a lookup needs: the first service SID of a
// run is usually found well before the end of the hive's own names, and the
// compiled ones are then never hashed at all. The names must outlive it.
class ServiceNameIndex {
 public:
  ServiceNameIndex() = default;
  explicit ServiceNameIndex(std::span<const std::u16string_view> names) : names_(names) {}

  // The first candidate, in order, whose SID has these words, or null. May
  // raise std::bad_alloc, and loses nothing hashed before when it does.
  const std::u16string_view* Find(const ServiceSidWords& words);

 private:
  // The words are a digest already: the first one spreads them well.
  struct WordsHash {
    size_t operator()(const ServiceSidWords& words) const { return words[0]; }
  };

  std::span<const std::u16string_view> names_;
  size_t next_ = 0;
  std::unordered_map<ServiceSidWords, size_t, WordsHash> hashed_;
};

// Gives extra candidate names, most trusted first; may give none. Called only
// when a service SID is met that neither the system, nor the table of
// well-known SIDs, nor the providers before it name, and once (again only
// when memory ran out while it worked or its names were kept). It must print
// nothing and throw nothing but std::bad_alloc.
using ServiceNameProvider = std::function<std::vector<std::u16string>()>;

// Names service SIDs from the names its providers give, in their order, and
// then from the compiled names. What the providers gave is kept as long as it
// lives.
class ServiceSidNames {
 public:
  // Empty providers are passed over. Raises std::bad_alloc only when memory
  // runs out.
  explicit ServiceSidNames(std::vector<ServiceNameProvider> providers);
  ServiceSidNames(const ServiceSidNames&) = delete;
  ServiceSidNames& operator=(const ServiceSidNames&) = delete;

  // The service name of the SID `sid`: true with `name` set to the name as a
  // provider or the compiled list spells it, when the SID is S-1-5-80 with
  // exactly five sub-authorities after the 80 and one of those names hashes
  // to them. Where two candidates hash alike (names that differ in letter
  // case only), the first in the order of the sources (the providers in turn,
  // then the compiled list) wins, and within one source the earlier one.
  // False, with `name` untouched, otherwise. Candidates are hashed in that
  // order, each at most once, and only until the SID is found, so a SID that
  // a provider names costs the later sources nothing. May raise
  // std::bad_alloc while they are hashed. Prints nothing.
  bool Find(const SidParts& sid, std::u16string* name);

 private:
  // What one provider gave.
  struct ProvidedNames {
    bool asked = false;
    std::vector<std::u16string> names;
    std::vector<std::u16string_view> views;  // of `names`, for the index
    ServiceNameIndex index;
  };

  // The index of the names provider `i` gave, asking it first when it has
  // not been.
  ServiceNameIndex& ProvidedIndex(size_t i);

  std::vector<ServiceNameProvider> providers_;
  std::vector<ProvidedNames> provided_;  // at the same places
  ServiceNameIndex compiled_;
};

}  // namespace keyscout
