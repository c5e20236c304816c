#include "security/service_sids.h"

#include <algorithm>
#include <utility>

#include "hive/layout.h"
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

struct ServiceSidEntry {
  ServiceSidWords words;
  std::u16string_view name;
};

// The names with their SIDs' words, sorted by the words; among names that
// hash alike the earlier one comes first.
std::vector<ServiceSidEntry> IndexServiceNames(const std::u16string_view* names, size_t count) {
  std::vector<ServiceSidEntry> index;
  index.reserve(count);
  for (size_t i = 0; i < count; ++i) index.push_back(ServiceSidEntry{ComputeServiceSidWords(names[i]), names[i]});
  std::stable_sort(index.begin(), index.end(),
                   [](const ServiceSidEntry& a, const ServiceSidEntry& b) { return a.words < b.words; });
  return index;
}

// The first entry with these words, or null.
const ServiceSidEntry* FindIndexed(const std::vector<ServiceSidEntry>& index, const ServiceSidWords& words) {
  const auto found = std::lower_bound(index.begin(), index.end(), words,
                                      [](const ServiceSidEntry& e, const ServiceSidWords& w) { return e.words < w; });
  return found != index.end() && found->words == words ? &*found : nullptr;
}

// The compiled names, hashed when first needed rather than at start-up: most
// runs meet no service SID.
const std::vector<ServiceSidEntry>& CompiledIndex() {
  static const std::vector<ServiceSidEntry> index = [] {
    size_t count = 0;
    const std::u16string_view* names = ServiceNameTable(&count);
    return IndexServiceNames(names, count);
  }();
  return index;
}

// The registered provider and what it gave. Like the account source, this is
// set up before the reports run and used from one thread.
struct ProvidedNames {
  ServiceNameProvider provider;
  bool asked = false;
  std::vector<std::u16string> names;  // the index's views point into these
  std::vector<ServiceSidEntry> index;
};

ProvidedNames& Provided() {
  static ProvidedNames provided;
  return provided;
}

// The index of the provider's names, asking it first when it has not been.
const std::vector<ServiceSidEntry>& ProvidedIndex() {
  ProvidedNames& provided = Provided();
  if (provided.asked || !provided.provider) return provided.index;
  // Choice: the provider counts as asked only once its names are indexed, so
  // that running out of memory on the way asks it again at the next SID
  // instead of losing its names for the rest of the run.
  std::vector<std::u16string> names = provided.provider();
  std::vector<std::u16string_view> views(names.begin(), names.end());
  std::vector<ServiceSidEntry> index = IndexServiceNames(views.data(), views.size());
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

ServiceNameProvider SetServiceNameProvider(ServiceNameProvider provider) {
  ProvidedNames& provided = Provided();
  ServiceNameProvider previous = std::move(provided.provider);
  provided.provider = std::move(provider);
  provided.asked = false;
  provided.index.clear();
  provided.names.clear();
  return previous;
}

bool FindServiceSidName(const ByteReader& sid, std::u16string* name) {
  uint8_t count = 0;
  uint8_t authority[SID_AUTHORITY_SIZE] = {};
  uint32_t first = 0;
  if (!sid.U8(SID_COUNT, &count) || count != 1 + SERVICE_SID_WORDS ||
      !sid.Copy(SID_AUTHORITY, SID_AUTHORITY_SIZE, authority) || !sid.U32(SID_SUB_AUTHORITIES, &first)) {
    return false;
  }
  // The 48-bit authority, big-endian: 5.
  for (size_t i = 0; i + 1 < SID_AUTHORITY_SIZE; ++i) {
    if (authority[i] != 0) return false;
  }
  if (authority[SID_AUTHORITY_SIZE - 1] != SERVICE_SID_AUTHORITY || first != SERVICE_SID_FIRST) return false;
  ServiceSidWords words;
  for (size_t i = 0; i < SERVICE_SID_WORDS; ++i) {
    if (!sid.U32(SID_SUB_AUTHORITIES + uint64_t{SID_SUB_AUTHORITY_SIZE} * (1 + i), &words[i])) return false;
  }

  const ServiceSidEntry* found = FindIndexed(ProvidedIndex(), words);
  if (found == nullptr) found = FindIndexed(CompiledIndex(), words);
  if (found == nullptr) return false;
  name->assign(found->name);
  return true;
}

}  // namespace keyscout
