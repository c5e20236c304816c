#include "hive/log_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <map>
#include <tuple>

#include "hive/names.h"
#include "hive/subkey_walk.h"
#include "hive/value_data.h"
#include "hive/values.h"
#include "support/log_builder.h"
#include "support/real_hives.h"
#include "support/run_tool.h"
#include "support/sha256.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::LogPage;
using test::NewLog;
using test::OldLog;
using test::Pattern;
using test::PutU32;
using test::SetBaseU32;

constexpr uint32_t SEQ = 10;  // the test hive's secondary sequence number
constexpr uint32_t TIME = 1000;
const std::string CLEAN = "clean";
const std::string NO_LOG = "no usable log";

// The plan's summary spelled short: the logs applied in order, each with its
// entries ("a x2 + b x1"), then the sequence numbers applied and the gap
// before them; or the one old-format log and its 512-byte pages.
std::string Describe(const RecoverySummary& summary) {
  if (summary.state == RecoveryState::kClean) return CLEAN;
  if (summary.state == RecoveryState::kNoUsableLog) return NO_LOG;
  std::string text;
  for (const AppliedLog& log : summary.applied) {
    if (!text.empty()) text += " + ";
    text.append(log.name.begin(), log.name.end());  // ASCII here
    if (summary.format == LogFormat::kNew) text += " x" + std::to_string(log.entries);
  }
  if (summary.format == LogFormat::kOld) return text + " old, pages " + std::to_string(summary.pages);
  text += ", " + std::to_string(summary.first_sequence) + ".." + std::to_string(summary.last_sequence);
  if (summary.gap_from) text += ", gap from " + std::to_string(*summary.gap_from);
  return text;
}

// 0x2000 bytes of hive bins data; a valid base block that says SEQ + 1 / SEQ.
Bytes DirtyHive() {
  test::HiveBuilder b(0x2000);
  b.SetRoot(b.Key({.name = u"root"}));
  Bytes hive = b.Finish();
  SetBaseU32(hive, BASE_LAST_WRITTEN, TIME);
  SetBaseU32(hive, BASE_SECONDARY_SEQUENCE, SEQ);
  SetBaseU32(hive, BASE_PRIMARY_SEQUENCE, SEQ + 1);
  return hive;
}

LogPage Page(uint32_t offset, uint32_t seed, uint32_t length = 0x1000) {
  return {offset, Pattern(length, seed)};
}
// One page of 0x1000 bytes: the entry takes 0x1200 bytes of its log.
test::LogEntry Entry(uint32_t offset, uint32_t seed) { return {.pages = {Page(offset, seed)}}; }

Bytes At(const Bytes& image, uint32_t offset, uint32_t length = 0x1000) {
  return Bytes(image.begin() + HIVE_BASE + offset, image.begin() + HIVE_BASE + offset + length);
}

uint32_t Field(const Bytes& image, uint64_t at) {
  uint32_t v = 0;
  EXPECT_TRUE(ByteReader(image.data(), image.size()).U32(at, &v));
  return v;
}

using Files = std::vector<std::pair<std::u16string, Bytes>>;

// The plan for a hive and its logs, its summary, and the hive after it.
struct Replay {
  Files files;
  RecoveryPlan plan;
  std::string summary;
  Bytes image;
};

Replay Recover(const Bytes& hive, Files files) {
  Replay r{std::move(files)};
  std::vector<LogFile> logs;
  for (const auto& [name, bytes] : r.files) logs.push_back({name, ByteReader(bytes.data(), bytes.size())});
  r.plan = PlanLogRecovery(ByteReader(hive.data(), hive.size()), logs);
  r.summary = Describe(r.plan.summary);
  r.image = hive;
  r.image.resize(std::max<uint64_t>(hive.size(), r.plan.image_size));
  EXPECT_TRUE(ApplyRecoveryPlan(r.plan, r.image));
  return r;
}

TEST(LogRecoveryTest, CleanHiveAppliesNothingAndEntriesApplyInOrder) {
  Bytes clean = DirtyHive();
  SetBaseU32(clean, BASE_PRIMARY_SEQUENCE, SEQ);
  const Replay none = Recover(clean, {{u"h.LOG1", NewLog(clean, SEQ, {Entry(0, 1)})}});
  EXPECT_EQ(none.summary, CLEAN);
  EXPECT_EQ(none.image, clean);

  // The middle entry grows the hive, the last shrinks it back a little.
  const Bytes hive = DirtyHive();
  const test::LogEntry grow{.pages = {Page(0x1000, 2), Page(0x3000, 3)}, .hive_bins_size = 0x4000};
  const test::LogEntry shrink{.pages = {Page(0, 4)}, .hive_bins_size = 0x3000, .flags = 1};
  const Replay r = Recover(hive, {{u"h.LOG1", NewLog(hive, SEQ, {Entry(0x1000, 1), grow, shrink})}});
  EXPECT_EQ(r.summary, "h.LOG1 x3, 10..12");
  EXPECT_EQ(r.plan.image_size, HIVE_BASE + 0x4000);  // what the middle entry wrote
  EXPECT_EQ(r.plan.bytes_written, 0x4000u);
  EXPECT_EQ(At(r.image, 0), Pattern(0x1000, 4));
  EXPECT_EQ(At(r.image, 0x2000), Bytes(0x1000, 0));  // grown, never written
  EXPECT_EQ(At(r.image, 0x1000), Pattern(0x1000, 2));
  EXPECT_EQ(At(r.image, 0x3000), Pattern(0x1000, 3));
  EXPECT_FALSE(IsHiveDirty(ByteReader(r.image.data(), r.image.size())));
  EXPECT_EQ(Field(r.image, BASE_SECONDARY_SEQUENCE), SEQ + 2);
  EXPECT_EQ(Field(r.image, BASE_HIVE_BINS_SIZE), 0x3000u);
  EXPECT_EQ(Field(r.image, BASE_FLAGS), 1u);
  EXPECT_EQ(Field(r.image, BASE_FILE_TYPE), FILE_TYPE_HIVE);
  Bytes short_buffer = hive;
  EXPECT_FALSE(ApplyRecoveryPlan(r.plan, short_buffer));
  EXPECT_EQ(short_buffer, hive) << "a buffer too short for one write takes none";
}

TEST(LogRecoveryTest, ReplayEndsAtTheFirstUnsoundEntry) {
  // A field of the second entry and its new value; both hashes are set again
  // after every damage but the last two, so only the rule named refuses it.
  const std::tuple<const char*, uint64_t, uint32_t> damages[] = {
      {"signature", HVLE_SIGNATURE, 0},
      {"size off 512", HVLE_SIZE, 0x1100},
      {"size past the file", HVLE_SIZE, 0x100000},
      {"hive bins size", HVLE_HIVE_BINS_SIZE, 0x2800},
      {"hive bins size past stable storage", HVLE_HIVE_BINS_SIZE, 0x80001000u},
      {"no page", HVLE_PAGE_COUNT, 0},
      {"page past the new size", HVLE_PAGE_REFS + HVLE_REF_OFFSET, 0x2000},
      {"page past the entry", HVLE_PAGE_REFS + HVLE_REF_SIZE, 0x2000},
      {"page offset off a page boundary", HVLE_PAGE_REFS + HVLE_REF_OFFSET, 0x200},
      {"page size off a page boundary", HVLE_PAGE_REFS + HVLE_REF_SIZE, 0x200},
      {"hive bins size past the hive and its log", HVLE_HIVE_BINS_SIZE, 0x10000},
      {"sequence gap", HVLE_SEQUENCE, SEQ + 2},
      {"header hash", HVLE_FLAGS, 1},
      {"page hash", 0x100, 1},
  };
  const Bytes hive = DirtyHive();
  for (const auto& [what, field, value] : damages) {
    constexpr uint64_t at = 0x200 + 0x1200;
    Bytes log = NewLog(hive, SEQ, {Entry(0x1000, 1), Entry(0, 2), Entry(0x1000, 3)});
    PutU32(log, at + field, value);
    if (!std::string(what).ends_with("hash")) test::RehashEntry(log, at);
    const Replay r = Recover(hive, {{u"h.LOG1", log}});
    EXPECT_EQ(r.summary, "h.LOG1 x1, 10..10") << what;
    EXPECT_EQ(At(r.image, 0x1000), Pattern(0x1000, 1)) << what;
    EXPECT_EQ(At(r.image, 0), At(hive, 0)) << what;
  }
}

TEST(LogRecoveryTest, NewLogsJoinOnlyWhereTheSequenceContinues) {
  const Bytes hive = DirtyHive();
  const Bytes first = NewLog(hive, SEQ, {Entry(0x1000, 1)});
  const Bytes second = NewLog(hive, SEQ + 1, {Entry(0x1000, 2), Entry(0, 3)});
  const Replay r = Recover(hive, {{u"a", second}, {u"b", first}});
  EXPECT_EQ(r.summary, "b x1 + a x2, 10..12");
  EXPECT_EQ(At(r.image, 0x1000), Pattern(0x1000, 2));
  EXPECT_EQ(Recover(hive, {{u"a", first}, {u"b", second}}).summary, "a x1 + b x2, 10..12");
  const Bytes gap = NewLog(hive, SEQ + 2, {Entry(0, 3)});
  EXPECT_EQ(Recover(hive, {{u"a", first}, {u"b", gap}}).summary, "a x1, 10..10");
  // Entries that do not follow the hive's sequence number still apply; the
  // summary says where the gap is.
  const Bytes older = NewLog(hive, SEQ - 2, {Entry(0x1000, 1)});
  const Replay after_gap = Recover(hive, {{u"a", older}, {u"b", second}});
  EXPECT_EQ(after_gap.summary, "b x2, 11..12, gap from 10");
  EXPECT_EQ(At(after_gap.image, 0), Pattern(0x1000, 3));

  // A copy of a log under another of the names, or a stale one that ends
  // sooner, neither stops the replay nor hides the entries that follow it.
  const Files copied{{u"h.LOG", first}, {u"h.LOG1", first}, {u"h.LOG2", second}};
  EXPECT_EQ(Recover(hive, copied).summary, "h.LOG x1 + h.LOG2 x2, 10..12");
  const Bytes longer = NewLog(hive, SEQ, {Entry(0x1000, 1), Entry(0x1000, 2)});
  const Files stale{{u"h.LOG", first}, {u"h.LOG1", longer}, {u"h.LOG2", NewLog(hive, SEQ + 2, {Entry(0, 3)})}};
  const Replay continued = Recover(hive, stale);
  EXPECT_EQ(continued.summary, "h.LOG x1 + h.LOG1 x1 + h.LOG2 x1, 10..12");
  EXPECT_EQ(At(continued.image, 0x1000), Pattern(0x1000, 2));

  // The hive's base block invalid: the newest log alone, and its base block.
  Bytes broken = hive;
  PutU32(broken, BASE_CLUSTERING, 0xBAD);
  const Replay alone = Recover(broken, {{u"a", second}, {u"b", first}});
  EXPECT_EQ(alone.summary, "a x2, 11..12");
  EXPECT_EQ(Field(alone.image, BASE_CLUSTERING), 1u);

  // Serial numbers: 0 follows 0xFFFFFFFF.
  Bytes wrapped = hive;
  SetBaseU32(wrapped, BASE_SECONDARY_SEQUENCE, 0xFFFFFFFFu);
  SetBaseU32(wrapped, BASE_PRIMARY_SEQUENCE, 0);
  const Files wrapping{{u"a", NewLog(hive, 0, {Entry(0, 2)})},
                       {u"b", NewLog(hive, 0xFFFFFFFFu, {Entry(0, 1)})}};
  EXPECT_EQ(Recover(wrapped, wrapping).summary, "b x1 + a x1, 4294967295..0");
}

TEST(LogRecoveryTest, OldFormatLogAppliesWhenNotOlderThanTheHive) {
  const Bytes hive = DirtyHive();
  Bytes log = OldLog(hive, SEQ + 1, TIME, 0x3000, {Page(0, 1, 0x200), Page(0x2000, 2)});
  SetBaseU32(log, BASE_ROOT_CELL, 0x2020);
  const Replay r = Recover(hive, {{u"h.LOG", log}});
  EXPECT_EQ(r.summary, "h.LOG old, pages 9");
  EXPECT_EQ(At(r.image, 0, 0x200), Pattern(0x200, 1));
  EXPECT_EQ(At(r.image, 0x200, 0xE00), At(hive, 0x200, 0xE00));
  EXPECT_EQ(At(r.image, 0x2000), Pattern(0x1000, 2));
  EXPECT_EQ(Field(r.image, BASE_ROOT_CELL), 0x2020u);
  EXPECT_EQ(Field(r.image, BASE_HIVE_BINS_SIZE), 0x3000u);
  EXPECT_FALSE(IsHiveDirty(ByteReader(r.image.data(), r.image.size())));

  EXPECT_EQ(Recover(hive, {{u"h.LOG", OldLog(hive, SEQ + 1, TIME - 1, 0x2000, {Page(0, 1)})}}).summary, NO_LOG);
  // Of two the later, in either order; a new-format log before either.
  const Bytes earlier = OldLog(hive, SEQ + 1, TIME + 1, 0x2000, {Page(0x1000, 3, 0x200)});
  const Bytes later = OldLog(hive, SEQ + 1, TIME + 2, 0x2000, {Page(0x1000, 4, 0x200)});
  EXPECT_EQ(Recover(hive, {{u"a", later}, {u"b", earlier}}).summary, "a old, pages 1");
  EXPECT_EQ(Recover(hive, {{u"a", earlier}, {u"b", later}}).summary, "b old, pages 1");
  const Files both{{u"a", later}, {u"b", NewLog(hive, SEQ, {Entry(0x1000, 5)})}};
  EXPECT_EQ(At(Recover(hive, both).image, 0x1000), Pattern(0x1000, 5));
}

TEST(LogRecoveryTest, DamagedLogBaseBlockOrDirtyVectorMakesTheLogUnusable) {
  const Bytes hive = DirtyHive();
  const Bytes fresh = NewLog(hive, SEQ, {Entry(0, 1)});
  const Bytes old = OldLog(hive, SEQ + 1, TIME, 0x2000, {Page(0, 1)});
  auto damaged = [](Bytes log, uint64_t at, uint32_t value, bool fix) {
    (fix ? SetBaseU32 : PutU32)(log, at, value);
    return log;
  };
  const std::pair<const char*, Bytes> logs[] = {
      {"checksum", damaged(fresh, 0x40, 1, false)},
      {"no regf", damaged(fresh, BASE_SIGNATURE, 0, true)},
      {"log itself dirty", damaged(fresh, BASE_SECONDARY_SEQUENCE, SEQ - 1, true)},
      {"not a log type", damaged(fresh, BASE_FILE_TYPE, FILE_TYPE_HIVE, true)},
      {"no DIRT", damaged(old, DIRT_VECTOR, 0, false)},
      {"bitmap past the file", damaged(old, BASE_HIVE_BINS_SIZE, 0x10000000, true)},
      {"pages past the file", Bytes(old.begin(), old.end() - 0x200)},
      {"hive bins size past the hive and the log", OldLog(hive, SEQ + 1, TIME, 0x10000, {Page(0, 1)})},
  };
  for (const auto& [what, log] : logs) {
    const Replay r = Recover(hive, {{u"h.LOG1", log}});
    EXPECT_EQ(r.summary, NO_LOG) << what;
    EXPECT_EQ(r.image, hive) << what;
  }
}

// `units` with every unit outside printable ASCII as "\u" and four
// hexadecimal digits.
std::string Spell(std::u16string_view units) {
  std::string text;
  for (const char16_t unit : units) {
    if (unit >= 0x20 && unit < 0x7F) {
      text += static_cast<char>(unit);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
      text += escaped;
    }
  }
  return text;
}

// Every key from `key` down and every value of each, as the hive code reads
// them: a key's cell and name, its values' cells, names, types and data,
// its subkeys in list order. HCELL_INDEX values included: cells must lie
// where another writer's recovery put them.
void DescribeTree(const HiveImage& image, Cell key, const std::string& path, std::string* out) {
  *out += path + " @" + std::to_string(key.index) + "\n";
  WalkValues(
      image, key,
      [](const HiveImage& hive, Cell value, void* context) {
        std::string& text = *static_cast<std::string*>(context);
        NameBuffer name;
        const int units = DecodeValueName(hive, value, name);
        Bytes data(GetValueDataLength(hive, value));
        uint32_t type = 0;
        const bool read = ReadValueData(hive, value, &type, data.data(), data.size());
        const std::u16string_view shown(name, static_cast<size_t>(std::max(units, 0)));
        text += "  value @" + std::to_string(value.index) + " " + std::to_string(units) + " " + Spell(shown) +
                " type " + std::to_string(type) +
                (read ? " data " + test::Sha256Hex(data.data(), data.size()) : " unreadable") + "\n";
        return VISIT_CONTINUE;
      },
      out);
  std::vector<std::pair<Cell, std::u16string>> children;
  WalkSubkeys(
      image, key,
      [](void* context, Cell node, const char16_t* name, size_t length) {
        std::u16string text = name != nullptr ? std::u16string(name, length) : std::u16string();
        static_cast<decltype(children)*>(context)->emplace_back(node, std::move(text));
        return VISIT_CONTINUE;
      },
      &children);
  for (const auto& [child, name] : children) DescribeTree(image, child, path + "\\" + Spell(name), out);
}

std::string DescribeHive(const Bytes& bytes) {
  const HiveImage image(bytes.data(), bytes.size());
  std::string text;
  DescribeTree(image, RootKeyCell(image), "", &text);
  return text;
}

TEST(LogRecoveryRealTest, RealLogSetsReplayAsWindowsRecoveredThem) {
  // Folder, hive, Windows' own recovery of it, summary, minor version after.
  const std::tuple<const char*, const char*, const char*, const char*, uint32_t> sets[] = {
      {"yarp_NewDirtyHive1", "NewDirtyHive", "RecoveredHive_Windows10",
       "NewDirtyHive.LOG1 x1 + NewDirtyHive.LOG2 x3, 2..5", 3},
      {"yarp_NewDirtyHive2", "NewDirtyHive", "", "NewDirtyHive.LOG2 x3, 3..5", 3},
      {"yarp_OldDirtyHive", "OldDirtyHive", "RecoveredHive_Windows7", "OldDirtyHive.LOG1 old, pages 64", 3},
      // The same hive and log, the hive's base block damaged (and format 1.1).
      {"yarp_BadBaseBlockHive", "BadBaseBlockHive", "../yarp_OldDirtyHive/RecoveredHive_Windows7",
       "BadBaseBlockHive.LOG1 old, pages 64", 3},
      {"yarp_BadLogHive1", "BadLogHive", "", NO_LOG.c_str(), 0},
      {"yarp_BadLogHive2", "BadLogHive", "", NO_LOG.c_str(), 0},
      {"yarp_BadLogHive3", "BadLogHive", "", NO_LOG.c_str(), 0},
      {"regipy_transactions_NTUSER", "transactions_NTUSER.DAT", "",
       "transactions_NTUSER.DAT.LOG1 x23, 566..588", 5},
  };
  const std::string root = test::RealHiveDir() + "/logs/";
  if (test::RealHiveDir().empty() || !test::FileExists(root)) GTEST_SKIP() << "no real log sets";
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
  };
  std::map<std::string, std::string> expected;  // each hive Windows recovered, described once
  for (const auto& [folder, name, recovered, summary, minor] : sets) {
    SCOPED_TRACE(folder);
    const std::string dir = root + folder + "/";
    Files logs;  // NAME.LOG* in any letter case, sorted by name
    for (const auto& file : std::filesystem::directory_iterator(test::PathFromUtf8(dir))) {
      const std::string found = file.path().filename().string();
      if (lower(found).starts_with(lower(name) + ".log")) {
        logs.emplace_back(test::U16(found), test::ReadFile(dir + found));
      }
    }
    std::sort(logs.begin(), logs.end());
    const Replay r = Recover(test::ReadFile(dir + name), logs);
    EXPECT_EQ(r.summary, summary);
    if (r.summary == NO_LOG) continue;
    EXPECT_FALSE(IsHiveDirty(ByteReader(r.image.data(), r.image.size())));
    EXPECT_EQ(Field(r.image, BASE_MINOR_VERSION), minor);
    if (!*recovered) continue;
    const std::string truth = std::filesystem::path(dir + recovered).lexically_normal().string();
    if (!expected.contains(truth)) expected[truth] = DescribeHive(test::ReadFile(truth));
    EXPECT_EQ(DescribeHive(r.image), expected[truth]);
  }
}

}  // namespace
}  // namespace keyscout
