#include "support/log_builder.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <map>
#include <string>
#include <utility>

#include "hive/image.h"
#include "hive/log_layout.h"
#include "hive/marvin32.h"
#include "support/compact_hive.h"

namespace keyscout::test {

namespace {

void PutU64(Bytes& file, uint64_t at, uint64_t v) {
  PutU32(file, at, static_cast<uint32_t>(v));
  PutU32(file, at + 4, static_cast<uint32_t>(v >> 32));
}

uint64_t RoundUp(uint64_t n, uint64_t unit) { return (n + unit - 1) / unit * unit; }

// The hive's base block as a log of `type` copies it.
Bytes BaseCopy(const Bytes& hive, uint32_t type, uint32_t sequence) {
  Bytes log(hive.begin(), hive.begin() + BASE_COPY_SIZE);
  PutU32(log, BASE_PRIMARY_SEQUENCE, sequence);
  PutU32(log, BASE_SECONDARY_SEQUENCE, sequence);
  SetBaseU32(log, BASE_FILE_TYPE, type);
  return log;
}

}  // namespace

void PutU32(Bytes& file, uint64_t at, uint32_t v) {
  for (uint64_t i = 0; i < 4; ++i) file.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

void SetBaseU32(Bytes& file, uint64_t at, uint32_t v) {
  PutU32(file, at, v);
  FixBaseChecksum(file);
}

void FixBaseChecksum(Bytes& file) {
  PutU32(file, BASE_CHECKSUM, *ComputeBaseBlockChecksum(ByteReader(file.data(), file.size())));
}

Bytes NewLog(const Bytes& hive, uint32_t sequence, const std::vector<LogEntry>& entries) {
  Bytes log = BaseCopy(hive, FILE_TYPE_NEW_LOG, sequence);
  for (const LogEntry& entry : entries) {
    const uint64_t at = log.size();
    Bytes body;  // the references, then the pages
    for (const LogPage& page : entry.pages) {
      body.resize(body.size() + HVLE_REF_BYTES);
      PutU32(body, body.size() - HVLE_REF_BYTES + HVLE_REF_OFFSET, page.offset);
      PutU32(body, body.size() - HVLE_REF_BYTES + HVLE_REF_SIZE, static_cast<uint32_t>(page.bytes.size()));
    }
    for (const LogPage& page : entry.pages) body.insert(body.end(), page.bytes.begin(), page.bytes.end());
    log.resize(at + HVLE_PAGE_REFS);
    log.insert(log.end(), body.begin(), body.end());
    log.resize(RoundUp(log.size(), HVLE_ALIGN));
    const uint32_t fields[] = {SIG_HVLE,
                               static_cast<uint32_t>(log.size() - at),
                               entry.flags,
                               sequence++,
                               entry.hive_bins_size,
                               static_cast<uint32_t>(entry.pages.size())};
    for (size_t i = 0; i < std::size(fields); ++i) PutU32(log, at + 4 * i, fields[i]);
    RehashEntry(log, at);
  }
  return log;
}

void RehashEntry(Bytes& log, uint64_t at) {
  const ByteReader reader(log.data(), log.size());
  uint32_t size = 0;
  if (reader.U32(at + HVLE_SIZE, &size) && size >= HVLE_PAGE_REFS) {
    if (const auto hash = HashMarvin32(reader, at + HVLE_PAGE_REFS, size - HVLE_PAGE_REFS)) {
      PutU64(log, at + HVLE_HASH_PAGES, *hash);
    }
  }
  PutU64(log, at + HVLE_HASH_HEADER, *HashMarvin32(reader, at, HVLE_HEADER_HASHED));
}

Bytes OldLog(const Bytes& hive, uint32_t sequence, uint32_t time, uint32_t hive_bins_size,
             const std::vector<LogPage>& pages) {
  Bytes log = BaseCopy(hive, FILE_TYPE_OLD_LOG, sequence);
  PutU64(log, BASE_LAST_WRITTEN, time);
  SetBaseU32(log, BASE_HIVE_BINS_SIZE, hive_bins_size);
  log.resize(RoundUp(DIRT_BITMAP + hive_bins_size / DIRT_BYTE_SPAN, DIRT_PAGES_ALIGN));
  PutU32(log, DIRT_VECTOR, SIG_DIRT);
  std::map<uint64_t, const uint8_t*> dirty;  // page number -> its bytes, in bit order
  for (const LogPage& page : pages) {
    for (uint64_t i = 0; i < page.bytes.size() / DIRT_PAGE_SIZE; ++i) {
      dirty[page.offset / DIRT_PAGE_SIZE + i] = page.bytes.data() + i * DIRT_PAGE_SIZE;
    }
  }
  for (const auto& [number, bytes] : dirty) {
    log.at(DIRT_BITMAP + number / 8) |= static_cast<uint8_t>(1u << (number % 8));
    log.insert(log.end(), bytes, bytes + DIRT_PAGE_SIZE);
  }
  return log;
}

DirtyHive MakeDirty(Bytes stale, const Bytes& fresh) {
  uint32_t sequence = 0;
  if (!ByteReader(stale.data(), stale.size()).U32(BASE_SECONDARY_SEQUENCE, &sequence)) return {};
  SetBaseU32(stale, BASE_PRIMARY_SEQUENCE, sequence + 1);
  LogEntry entry{.hive_bins_size = static_cast<uint32_t>(fresh.size() - HIVE_BASE)};
  for (uint64_t at = HIVE_BASE; at + PAGE_SIZE <= fresh.size(); at += PAGE_SIZE) {
    const auto start = static_cast<ptrdiff_t>(at);
    const Bytes page(fresh.begin() + start, fresh.begin() + start + PAGE_SIZE);
    if (at + PAGE_SIZE > stale.size() || !std::equal(page.begin(), page.end(), stale.begin() + start)) {
      entry.pages.push_back(LogPage{static_cast<uint32_t>(at - HIVE_BASE), page});
    }
  }
  // The log's base block copy is the fresh one: it names the root cell.
  Bytes log = NewLog(fresh, sequence, {entry});
  return DirtyHive{std::move(stale), std::move(log)};
}

LoggedHive BuildLoggedHive(bool grown) {
  const TreeKey old{.name = u"Old", .values = {{.name = u"V", .type = 4, .data = {1, 0, 0, 0}}}};
  const TreeKey stale{.name = u"ROOT", .children = {old}};
  TreeKey fresh = stale;
  fresh.children[0].values[0].data = {2, 0, 0, 0};
  fresh.children.push_back(TreeKey{.name = u"New"});
  const auto build = [](const TreeKey& root, bool more) {
    HiveBuilder b(0x2000);
    if (more) b.AddHbin(0x1000);
    b.SetRoot(BuildTree(b, root));
    return b.Finish();
  };
  LoggedHive logged{.fresh = build(fresh, grown)};
  DirtyHive dirty = MakeDirty(build(stale, false), logged.fresh);
  logged.hive = std::move(dirty.hive);
  logged.log = std::move(dirty.log);
  return logged;
}

namespace {

// The fields of a base block (or of a log's copy of it) that replay reads.
void AddBaseFields(const std::string& file_name, size_t file, std::vector<LogField>* fields) {
  const std::pair<const char*, uint64_t> base[] = {
      {"signature", BASE_SIGNATURE},       {"primary sequence", BASE_PRIMARY_SEQUENCE},
      {"secondary sequence", BASE_SECONDARY_SEQUENCE}, {"last written", BASE_LAST_WRITTEN},
      {"last written high", BASE_LAST_WRITTEN + 4},    {"major version", BASE_MAJOR_VERSION},
      {"minor version", BASE_MINOR_VERSION},           {"file type", BASE_FILE_TYPE},
      {"root cell", BASE_ROOT_CELL},                   {"hive bins size", BASE_HIVE_BINS_SIZE},
      {"flags", BASE_FLAGS},
  };
  for (const auto& [what, at] : base) fields->push_back({file_name + " " + what, file, at, 4, true, std::nullopt});
  fields->push_back({file_name + " checksum", file, BASE_CHECKSUM, 4, false, std::nullopt});
}

// The fields of every new-format entry of `log`, which is file `file`.
void AddEntryFields(const std::string& file_name, size_t file, const Bytes& log, std::vector<LogField>* fields) {
  const ByteReader reader(log.data(), log.size());
  uint64_t at = HVLE_FIRST_ENTRY;
  uint32_t size = 0;
  for (int n = 1; reader.U32(at + HVLE_SIZE, &size) && size != 0; ++n, at += size) {
    const std::string entry = file_name + " entry " + std::to_string(n) + " ";
    const std::pair<const char*, uint64_t> header[] = {
        {"signature", HVLE_SIGNATURE},   {"size", HVLE_SIZE},           {"flags", HVLE_FLAGS},
        {"sequence", HVLE_SEQUENCE},     {"hive bins size", HVLE_HIVE_BINS_SIZE},
        {"page count", HVLE_PAGE_COUNT},
    };
    for (const auto& [what, field] : header) fields->push_back({entry + what, file, at + field, 4, false, at});
    for (const uint64_t hash : {HVLE_HASH_PAGES, HVLE_HASH_PAGES + 4, HVLE_HASH_HEADER, HVLE_HASH_HEADER + 4}) {
      fields->push_back({entry + "hash word " + std::to_string(hash), file, at + hash, 4, false, std::nullopt});
    }
    uint32_t count = 0;
    if (!reader.U32(at + HVLE_PAGE_COUNT, &count)) break;
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t ref = at + HVLE_PAGE_REFS + HVLE_REF_BYTES * i;
      const std::string page = entry + "page " + std::to_string(i + 1) + " ";
      fields->push_back({page + "offset", file, ref + HVLE_REF_OFFSET, 4, false, at});
      fields->push_back({page + "size", file, ref + HVLE_REF_SIZE, 4, false, at});
    }
  }
}

Bytes Slice(const Bytes& bytes, uint64_t at, uint64_t length) {
  return Bytes(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.begin() + static_cast<ptrdiff_t>(at + length));
}

}  // namespace

std::vector<CompactLogSet> BuildCompactLogSets() {
  const Bytes fresh = BuildCompactHive(true).bytes;
  const uint32_t bins = static_cast<uint32_t>(fresh.size() - HIVE_BASE);
  Bytes stale = fresh;
  std::fill(stale.begin() + HIVE_BASE, stale.begin() + HIVE_BASE + 2 * PAGE_SIZE, uint8_t{0});
  uint32_t sequence = 0;
  if (!ByteReader(stale.data(), stale.size()).U32(BASE_SECONDARY_SEQUENCE, &sequence)) return {};
  SetBaseU32(stale, BASE_PRIMARY_SEQUENCE, sequence + 1);
  const LogPage first{0, Slice(fresh, HIVE_BASE, PAGE_SIZE)};
  const LogPage second{PAGE_SIZE, Slice(fresh, HIVE_BASE + PAGE_SIZE, PAGE_SIZE)};

  std::vector<CompactLogSet> sets(2);
  CompactLogSet& fresh_logs = sets[0];
  fresh_logs.name = "new format";
  fresh_logs.files = {stale,
                      NewLog(fresh, sequence, {{.pages = {first}, .hive_bins_size = bins},
                                               {.pages = {first, second}, .hive_bins_size = bins}}),
                      NewLog(fresh, sequence + 2, {{.pages = {first}, .hive_bins_size = bins, .flags = 1}})};
  CompactLogSet& old_logs = sets[1];
  old_logs.name = "old format";
  old_logs.files = {stale, OldLog(fresh, sequence + 1, 0, bins, {first, second})};

  for (CompactLogSet* set : {&fresh_logs, &old_logs}) {
    AddBaseFields("hive", 0, &set->fields);
    set->fields.push_back({"hive hbin signature", 0, HIVE_BASE + HBIN_SIGNATURE, 4, false, std::nullopt});
    set->fields.push_back({"hive hbin time", 0, HIVE_BASE + HBIN_TIMESTAMP, 4, false, std::nullopt});
    for (size_t i = 1; i < set->files.size(); ++i) AddBaseFields("LOG" + std::to_string(i), i, &set->fields);
  }
  AddEntryFields("LOG1", 1, fresh_logs.files[1], &fresh_logs.fields);
  AddEntryFields("LOG2", 2, fresh_logs.files[2], &fresh_logs.fields);
  old_logs.fields.push_back({"LOG1 DIRT", 1, DIRT_VECTOR, 4, false, std::nullopt});
  for (uint64_t i = 0; i < bins / DIRT_BYTE_SPAN; ++i) {
    old_logs.fields.push_back({"LOG1 bitmap byte " + std::to_string(i), 1, DIRT_BITMAP + i, 1, false, std::nullopt});
  }
  return sets;
}

}  // namespace keyscout::test
