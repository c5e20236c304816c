#include "security/service_sids.h"

#include <algorithm>
#include <unordered_map>
#include <utility>

#include "security/sha1.h"

namespace keyscout {

namespace {

// Choice: only a to z and the Latin-1 letters U+00E0 to U+00FE (but U+00F7)
// are upper-cased. Every service name in the Windows-written hives is plain
// ASCII, and these letters have the same single upper-case form in every case
// table, Windows' included. Other letters (U+00FF, Greek, Cyrillic, ...) are
// left as they are rather than guessed at: a wrong guess and no guess end
// alike, with the SID left unnamed, never with a wrong name.
char16_t UpperCaseServiceUnit(char16_t unit) {
  if (unit >= u'a' && unit <= u'z') return static_cast<char16_t>(unit - 0x20);
  if (unit >= 0xE0 && unit <= 0xFE && unit != 0xF7) return static_cast<char16_t>(unit - 0x20);
  return unit;
}

// Candidate names and the SIDs of those hashed so far. Names are hashed in
// their order and only as far as a lookup needs: the first service SID of a
// run is usually found well before the end of the hive's own names, and the
// compiled ones are then never hashed at all.
class LazyServiceIndex {
 public:
  LazyServiceIndex() = default;
  explicit LazyServiceIndex(std::vector<std::u16string_view> names) : names_(std::move(names)) {}

  // The first candidate, in order, whose SID has these words, or null.
  const std::u16string_view* Find(const ServiceSidWords& words) {
    const auto known = hashed_.find(words);
    if (known != hashed_.end()) return &names_[known->second];
    while (next_ < names_.size()) {
      // An earlier name with the same words stays; the counter moves only
      // once the name is in, so running out of memory here loses nothing.
      const ServiceSidWords next_words = ComputeServiceSidWords(names_[next_]);
      hashed_.emplace(next_words, next_);
      ++next_;
      if (next_words == words) return &names_[hashed_.find(words)->second];
    }
    return nullptr;
  }

 private:
  // The words are a digest already: the first one spreads them well.
  struct WordsHash {
    size_t operator()(const ServiceSidWords& words) const { return words[0]; }
  };

  std::vector<std::u16string_view> names_;
  size_t next_ = 0;
  std::unordered_map<ServiceSidWords, size_t, WordsHash> hashed_;
};

// The compiled names, in the order of their list.
LazyServiceIndex& CompiledIndex() {
  static LazyServiceIndex index = [] {
    size_t count = 0;
    const std::u16string_view* names = ServiceNameTable(&count);
    return LazyServiceIndex(std::vector<std::u16string_view>(names, names + count));
  }();
  return index;
}

// What one registered provider gave.
struct ProvidedNames {
  bool asked = false;
  std::vector<std::u16string> names;  // the index's views point into these
  LazyServiceIndex index;
};

// The registered providers and, at the same places, what each gave. Like the
// account source, they are set up before the reports run and used from one
// thread.
struct Providers {
  std::vector<ServiceNameProvider> providers;
  std::vector<ProvidedNames> provided;
};

Providers& Registered() {
  static Providers registered;
  return registered;
}

// The index of the names `provider` gave, asking it first when it has not
// been.
LazyServiceIndex& ProvidedIndex(const ServiceNameProvider& provider, ProvidedNames& provided) {
  if (provided.asked) return provided.index;
  // Choice: the provider counts as asked only once its names are in the
  // index, so that running out of memory on the way asks it again at the
  // next SID instead of losing its names for the rest of the run.
  std::vector<std::u16string> names = provider();
  LazyServiceIndex index(std::vector<std::u16string_view>(names.begin(), names.end()));
  // Moving the vector keeps its strings where they are, and the views valid.
  provided.names = std::move(names);
  provided.index = std::move(index);
  provided.asked = true;
  return provided.index;
}

}  // namespace

ServiceSidWords ComputeServiceSidWords(std::u16string_view name) {
  std::vector<uint8_t> bytes;
  bytes.reserve(2 * name.size());
  for (const char16_t unit : name) {
    const char16_t upper = UpperCaseServiceUnit(unit);
    bytes.push_back(static_cast<uint8_t>(upper & 0xFF));
    bytes.push_back(static_cast<uint8_t>(upper >> 8));
  }
  const Sha1Digest digest = ComputeSha1(bytes.data(), bytes.size());
  ServiceSidWords words;
  for (size_t i = 0; i < SERVICE_SID_WORDS; ++i) {
    words[i] = uint32_t{digest[4 * i]} | (uint32_t{digest[4 * i + 1]} << 8) | (uint32_t{digest[4 * i + 2]} << 16) |
               (uint32_t{digest[4 * i + 3]} << 24);
  }
  return words;
}

std::vector<ServiceNameProvider> SetServiceNameProviders(std::vector<ServiceNameProvider> providers) {
  // The only step that can fail comes first, and allocates nothing for an
  // empty list: removing the providers always succeeds.
  std::vector<ProvidedNames> fresh(providers.size());
  Providers& registered = Registered();
  registered.provided = std::move(fresh);
  registered.providers.swap(providers);
  return providers;
}

bool FindServiceSidName(const SidParts& sid, std::u16string* name) {
  if (sid.authority != SERVICE_SID_AUTHORITY || sid.count != 1 + SERVICE_SID_WORDS ||
      sid.sub_authorities[0] != SERVICE_SID_FIRST) {
    return false;
  }
  ServiceSidWords words;
  std::copy_n(sid.sub_authorities + 1, SERVICE_SID_WORDS, words.begin());

  const std::u16string_view* found = nullptr;
  Providers& registered = Registered();
  for (size_t i = 0; i < registered.providers.size() && found == nullptr; ++i) {
    if (registered.providers[i]) found = ProvidedIndex(registered.providers[i], registered.provided[i]).Find(words);
  }
  if (found == nullptr) found = CompiledIndex().Find(words);
  if (found == nullptr) return false;
  name->assign(*found);
  return true;
}

}  // namespace keyscout
