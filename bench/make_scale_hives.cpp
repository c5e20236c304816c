// Writes the hives the benchmark runs on, with the project's own hive
// builder: one key with 1,000,000 subkeys (an "ri" over 2,000 "lh" leaves of
// 500), one with 100,000 values, a 200 MiB big-data value whose segments sit
// in 16 KiB hbins, a path 100 levels deep, a small hive with the same deep
// path, one file holding all four, and, in a file of its own, a 200 MiB
// REG_MULTI_SZ value for -d. Every key names its parent and the
// root carries a root's flags, as in a hive that Windows wrote, so that the
// other tools the benchmark runs read these files as they read real ones.
//
// With --logged, it writes instead a dirty copy of a real hive with a
// new-format .LOG1 (the log builder's format) whose entries carry every
// eighth page of the hive, which the dirty copy holds zeroed, and the hive
// as replaying that log leaves it: -t on the first against a plain run on
// the last.
//
//   make_scale_hives DIRECTORY
//   make_scale_hives --logged DIRECTORY HIVE
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hive/layout.h"
#include "hive/log_recovery.h"
#include "support/hive_builder.h"
#include "support/log_builder.h"

namespace {

using keyscout::test::Bytes;
using keyscout::test::HiveBuilder;
using keyscout::test::KeySpec;
using keyscout::test::ValueSpec;

constexpr uint32_t SUBKEYS = 1000000;
constexpr uint32_t LEAF = 500;
constexpr uint32_t VALUES = 100000;
constexpr uint32_t BIG_VALUE = 200u << 20;
constexpr uint32_t SEGMENT = 16344;
constexpr size_t DB_RECORD_BYTES = 12;  // signature, segment count, list, padding
constexpr int DEPTH = 100;
constexpr uint16_t ROOT_KEY_FLAGS = 0x0C;  // hive entry, cannot be deleted
constexpr uint32_t NK_PARENT_FIELD = 0x14;

std::u16string Numbered(const char* prefix, uint32_t n, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%0*u", prefix, width, n);
  return std::u16string(buf, buf + std::char_traits<char>::length(buf));
}

void Adopt(HiveBuilder& b, uint32_t parent, const std::vector<uint32_t>& children) {
  for (const uint32_t child : children) b.PatchCellU32(child, NK_PARENT_FIELD, parent);
}

// The parts a hive may hold; each returns the nk index of its key.
uint32_t ManySubkeys(HiveBuilder& b) {
  std::vector<uint32_t> leaves;
  std::vector<uint32_t> all;
  std::vector<uint32_t> keys;
  all.reserve(SUBKEYS);
  keys.reserve(LEAF);
  for (uint32_t i = 0; i < SUBKEYS; ++i) {
    keys.push_back(b.Key(KeySpec{.name = Numbered("Key", i, 7)}));
    all.push_back(keys.back());
    if (keys.size() == LEAF) {
      leaves.push_back(b.LeafList("lh", keys));
      keys.clear();
    }
  }
  const uint32_t key =
      b.Key(KeySpec{.name = u"ManySubkeys", .stable_count = SUBKEYS, .stable_list = b.IndexRoot(leaves)});
  Adopt(b, key, all);
  return key;
}

uint32_t ManyValues(HiveBuilder& b) {
  std::vector<uint32_t> values;
  values.reserve(VALUES);
  for (uint32_t i = 0; i < VALUES; ++i) {
    const uint8_t v = static_cast<uint8_t>(i);
    values.push_back(b.Value(Numbered("Value", i, 6), 4, {v, 0, 0, 0}));
  }
  return b.Key(KeySpec{.name = u"ManyValues", .value_count = VALUES, .value_list = b.ValueList(values)});
}

// The "db" record is written before its segments: one of the other tools
// refuses a value whose record lies closer to the end of the file than the
// value's length, whatever the segments say.
uint32_t BigValue(HiveBuilder& b, const char16_t* key = u"BigValue", const char16_t* name = u"Big",
                  uint32_t type = 3, const Bytes& data = keyscout::test::Pattern(BIG_VALUE, 42)) {
  const uint32_t record = b.AddCell(keyscout::test::Bytes(DB_RECORD_BYTES, 0));
  std::vector<uint32_t> segments;
  for (size_t at = 0; at < data.size(); at += SEGMENT) {
    const size_t n = std::min<size_t>(SEGMENT, data.size() - at);
    segments.push_back(b.AddCell(keyscout::test::Bytes(data.data() + at, data.data() + at + n)));
  }
  b.PatchCellU16(record, 0x04, 0x6264);  // "db"
  b.PatchCellU16(record, 0x06, static_cast<uint16_t>(segments.size()));
  b.PatchCellU32(record, 0x08, b.ValueList(segments));
  const uint32_t value = b.Value(ValueSpec{.name = name, .type = type, .data_size = BIG_VALUE, .data_offset = record});
  return b.Key(KeySpec{.name = key, .value_count = 1, .value_list = b.ValueList({value})});
}

// 200 MiB of REG_MULTI_SZ, the list's empty string last: numbered paths of
// about 60 characters, each with a tab (printed as an escape) and a letter
// above U+00FF (printed as "?"), the work -d does on a real text per unit.
Bytes ManyTexts() {
  Bytes data;
  data.reserve(BIG_VALUE);
  const auto put = [&](char16_t unit) {
    data.push_back(static_cast<uint8_t>(unit));
    data.push_back(static_cast<uint8_t>(unit >> 8));
  };
  for (uint32_t i = 0;; ++i) {
    const std::u16string text = u"C:\\Program Files\\Vendor\\" + Numbered("Entry", i, 8) + u"\tcache\u0416.dat";
    if (data.size() + 2 * text.size() + 6 > BIG_VALUE) break;
    for (const char16_t unit : text) put(unit);
    put(0);
  }
  while (data.size() + 4 < BIG_VALUE) put(u'x');  // the last text takes up the rest
  put(0);
  put(0);
  return data;
}

// Levels named L01 .. L100 down to a key holding one value.
uint32_t DeepPath(HiveBuilder& b) {
  const uint32_t value = b.Value(u"Target", 1, {'o', 0, 'k', 0, 0, 0});
  uint32_t key = b.Key(KeySpec{.name = Numbered("L", DEPTH, 2), .value_count = 1, .value_list = b.ValueList({value})});
  for (int level = DEPTH - 1; level >= 1; --level) {
    const uint32_t child = key;
    key = b.Key(KeySpec{.name = Numbered("L", static_cast<uint32_t>(level), 2), .stable_count = 1,
                        .stable_list = b.LeafList("lh", {child})});
    Adopt(b, key, {child});
  }
  return key;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  std::printf("%-40s %12zu bytes\n", path.c_str(), bytes.size());
}

// The dirty hive, its log and the hive replayed, from the real hive `source`.
bool WriteLoggedHive(const std::string& dir, const std::string& source) {
  constexpr uint64_t PAGE_STEP = 8;         // every eighth page is logged
  constexpr size_t PAGES_PER_ENTRY = 32;
  std::ifstream in(source, std::ios::binary);
  Bytes fresh((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  uint32_t sequence = 0;
  if (fresh.size() < 2 * keyscout::HIVE_BASE ||
      !keyscout::ByteReader(fresh.data(), fresh.size()).U32(keyscout::BASE_SECONDARY_SEQUENCE, &sequence)) {
    return false;
  }
  // As Windows last wrote it to the log: clean, its hive bins whole pages.
  fresh.resize(keyscout::HIVE_BASE + (fresh.size() - keyscout::HIVE_BASE) / keyscout::PAGE_SIZE * keyscout::PAGE_SIZE);
  const auto bins = static_cast<uint32_t>(fresh.size() - keyscout::HIVE_BASE);
  keyscout::test::SetBaseU32(fresh, keyscout::BASE_PRIMARY_SEQUENCE, sequence);
  keyscout::test::SetBaseU32(fresh, keyscout::BASE_HIVE_BINS_SIZE, bins);

  Bytes stale = fresh;
  std::vector<keyscout::test::LogEntry> entries;
  for (uint64_t page = 0; page < bins / keyscout::PAGE_SIZE; page += PAGE_STEP) {
    if (entries.empty() || entries.back().pages.size() == PAGES_PER_ENTRY) {
      entries.push_back(keyscout::test::LogEntry{.hive_bins_size = bins});
    }
    const auto at = static_cast<ptrdiff_t>(keyscout::HIVE_BASE + page * keyscout::PAGE_SIZE);
    entries.back().pages.push_back(
        {static_cast<uint32_t>(page * keyscout::PAGE_SIZE), Bytes(fresh.begin() + at, fresh.begin() + at + keyscout::PAGE_SIZE)});
    std::fill(stale.begin() + at, stale.begin() + at + keyscout::PAGE_SIZE, uint8_t{0});
  }
  keyscout::test::SetBaseU32(stale, keyscout::BASE_PRIMARY_SEQUENCE, sequence + 1);
  const Bytes log = keyscout::test::NewLog(fresh, sequence, entries);

  // The replayed hive, made by the same code -t runs.
  const std::vector<keyscout::LogFile> logs{{u"LOG1", keyscout::ByteReader(log.data(), log.size())}};
  const keyscout::RecoveryPlan plan = keyscout::PlanLogRecovery(keyscout::ByteReader(stale.data(), stale.size()), logs);
  Bytes replayed = stale;
  replayed.resize(std::max<uint64_t>(replayed.size(), plan.image_size));
  if (plan.summary.state != keyscout::RecoveryState::kApplied ||
      !keyscout::ApplyRecoveryPlan(plan, replayed)) {
    return false;
  }
  WriteFile(dir + "/logged.hiv", stale);
  WriteFile(dir + "/logged.hiv.LOG1", log);
  WriteFile(dir + "/replayed.hiv", replayed);
  return true;
}

void Save(const std::string& path, HiveBuilder& b, const std::vector<uint32_t>& top) {
  const uint32_t root = b.Key(KeySpec{.name = u"ROOT", .extra_flags = ROOT_KEY_FLAGS,
                                      .stable_count = static_cast<uint32_t>(top.size()),
                                      .stable_list = b.LeafList("lh", top)});
  Adopt(b, root, top);
  b.SetRoot(root);
  WriteFile(path, b.Finish());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--logged") {
    if (WriteLoggedHive(argv[2], argv[3])) return 0;
    std::fprintf(stderr, "make_scale_hives: %s is no hive that a log can be made for\n", argv[3]);
    return 1;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_scale_hives DIRECTORY | --logged DIRECTORY HIVE\n");
    return 2;
  }
  const std::string dir = argv[1];
  {
    HiveBuilder b;
    Save(dir + "/deep-small.hiv", b, {DeepPath(b)});
  }
  {
    HiveBuilder b;
    Save(dir + "/subkeys-1m.hiv", b, {ManySubkeys(b)});
  }
  {
    HiveBuilder b;
    Save(dir + "/values-100k.hiv", b, {ManyValues(b)});
  }
  {
    HiveBuilder b;
    Save(dir + "/bigdata-200m.hiv", b, {BigValue(b)});
  }
  {
    HiveBuilder b;
    Save(dir + "/bigtext-200m.hiv", b, {BigValue(b, u"BigText", u"Texts", 7, ManyTexts())});
  }
  {
    // All four in one file; the root's list must stay in Windows order.
    HiveBuilder b;
    const uint32_t big = BigValue(b);
    const uint32_t deep = DeepPath(b);
    const uint32_t many_subkeys = ManySubkeys(b);
    const uint32_t many_values = ManyValues(b);
    Save(dir + "/all-in-one.hiv", b, {big, deep, many_subkeys, many_values});
  }
  return 0;
}
