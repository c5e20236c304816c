#include "security/service_sids.h"

#include <algorithm>
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

const std::u16string_view* ServiceNameIndex::Find(const ServiceSidWords& words) {
  const auto known = hashed_.find(words);
  if (known != hashed_.end()) return &names_[known->second];
  while (next_ < names_.size()) {
    // An earlier name with the same words stays; the counter moves only once
    // the name is in, so running out of memory here loses nothing.
    const ServiceSidWords next_words = ComputeServiceSidWords(names_[next_]);
    hashed_.emplace(next_words, next_);
    ++next_;
    if (next_words == words) return &names_[hashed_.find(words)->second];
  }
  return nullptr;
}

ServiceSidNames::ServiceSidNames(std::vector<ServiceNameProvider> providers)
    : providers_(std::move(providers)), provided_(providers_.size()), compiled_(CompiledServiceNames()) {}

ServiceNameIndex& ServiceSidNames::ProvidedIndex(size_t i) {
  ProvidedNames& provided = provided_[i];
  if (provided.asked) return provided.index;
  // Choice: the provider counts as asked only once its names are in the
  // index, so that running out of memory on the way asks it again at the
  // next SID instead of losing its names for the rest of the run.
  std::vector<std::u16string> names = providers_[i]();
  std::vector<std::u16string_view> views(names.begin(), names.end());
  // Moving the vectors keeps their elements where they are, and the views
  // and the index's span valid.
  provided.names = std::move(names);
  provided.views = std::move(views);
  provided.index = ServiceNameIndex(provided.views);
  provided.asked = true;
  return provided.index;
}

bool ServiceSidNames::Find(const SidParts& sid, std::u16string* name) {
  if (sid.authority != SERVICE_SID_AUTHORITY || sid.count != 1 + SERVICE_SID_WORDS ||
      sid.sub_authorities[0] != SERVICE_SID_FIRST) {
    return false;
  }
  ServiceSidWords words;
  std::copy_n(sid.sub_authorities + 1, SERVICE_SID_WORDS, words.begin());

  const std::u16string_view* found = nullptr;
  for (size_t i = 0; i < providers_.size() && found == nullptr; ++i) {
    if (providers_[i]) found = ProvidedIndex(i).Find(words);
  }
  if (found == nullptr) found = compiled_.Find(words);
  if (found == nullptr) return false;
  name->assign(*found);
  return true;
}

}  // namespace keyscout
