#include "hive/log_recovery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <sstream>
#include <tuple>

#include "app/log_status.h"
#include "support/log_builder.h"
#include "support/real_hives.h"
#include "support/run_tool.h"
#include "support/string_sink.h"

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
const std::string PREFIX = "Transaction logs : ";
const std::string NO_LOG = PREFIX + "hive is dirty but no usable log was found, read as stored";

std::string Applied(const std::string& what) { return PREFIX + "applied " + what; }

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

// The plan for a hive and its logs, its status line, and the hive after it.
struct Replay {
  Files files;
  std::vector<LogFile> logs;
  RecoveryPlan plan;
  std::string status;
  Bytes image;
};

Replay Recover(const Bytes& hive, Files files) {
  Replay r{std::move(files)};
  for (const auto& [name, bytes] : r.files) r.logs.push_back({name, ByteReader(bytes.data(), bytes.size())});
  r.plan = PlanLogRecovery(ByteReader(hive.data(), hive.size()), r.logs);
  test::StringSink sink;
  {
    Console out(sink);
    PrintLogStatus(r.plan.summary, out);
  }
  r.status = sink.text.substr(0, sink.text.size() - 1);  // without the line end
  r.image = hive;
  r.image.resize(std::max<uint64_t>(hive.size(), r.plan.image_size));
  EXPECT_TRUE(ApplyRecoveryPlan(r.plan, r.logs, r.image.data(), r.image.size()));
  return r;
}

TEST(LogRecoveryTest, CleanHiveAppliesNothingAndEntriesApplyInOrder) {
  Bytes clean = DirtyHive();
  SetBaseU32(clean, BASE_PRIMARY_SEQUENCE, SEQ);
  const Replay none = Recover(clean, {{u"h.LOG1", NewLog(clean, SEQ, {Entry(0, 1)})}});
  EXPECT_EQ(none.status, PREFIX + "hive is clean, no log applied");
  EXPECT_EQ(none.image, clean);

  // The middle entry grows the hive, the last shrinks it back a little.
  const Bytes hive = DirtyHive();
  const test::LogEntry grow{.pages = {Page(0x1000, 2), Page(0x3000, 3)}, .hive_bins_size = 0x4000};
  const test::LogEntry shrink{.pages = {Page(0, 4)}, .hive_bins_size = 0x3000, .flags = 1};
  const Replay r = Recover(hive, {{u"h.LOG1", NewLog(hive, SEQ, {Entry(0x1000, 1), grow, shrink})}});
  EXPECT_EQ(r.status, Applied("h.LOG1 (3 entries), sequence 10 to 12"));
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
  EXPECT_FALSE(ApplyRecoveryPlan(r.plan, r.logs, short_buffer.data(), short_buffer.size()));
  EXPECT_EQ(short_buffer, hive);
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
    EXPECT_EQ(r.status, Applied("h.LOG1 (1 entry), sequence 10 to 10")) << what;
    EXPECT_EQ(At(r.image, 0x1000), Pattern(0x1000, 1)) << what;
    EXPECT_EQ(At(r.image, 0), At(hive, 0)) << what;
  }
}

TEST(LogRecoveryTest, NewLogsJoinOnlyWhereTheSequenceContinues) {
  const Bytes hive = DirtyHive();
  const Bytes first = NewLog(hive, SEQ, {Entry(0x1000, 1)});
  const Bytes second = NewLog(hive, SEQ + 1, {Entry(0x1000, 2), Entry(0, 3)});
  const Replay r = Recover(hive, {{u"a", second}, {u"b", first}});
  EXPECT_EQ(r.status, Applied("b (1 entry) and a (2 entries), sequence 10 to 12"));
  EXPECT_EQ(At(r.image, 0x1000), Pattern(0x1000, 2));
  EXPECT_EQ(Recover(hive, {{u"a", first}, {u"b", second}}).status,
            Applied("a (1 entry) and b (2 entries), sequence 10 to 12"));
  const Bytes gap = NewLog(hive, SEQ + 2, {Entry(0, 3)});
  EXPECT_EQ(Recover(hive, {{u"a", first}, {u"b", gap}}).status, Applied("a (1 entry), sequence 10 to 10"));
  // Entries that do not follow the hive's sequence number still apply; the
  // status says where the gap is.
  const Bytes older = NewLog(hive, SEQ - 2, {Entry(0x1000, 1)});
  const Replay after_gap = Recover(hive, {{u"a", older}, {u"b", second}});
  EXPECT_EQ(after_gap.status, Applied("b (2 entries), sequence 11 to 12, after a gap from 10"));
  EXPECT_EQ(At(after_gap.image, 0), Pattern(0x1000, 3));

  // A copy of a log under another of the names, or a stale one that ends
  // sooner, neither stops the replay nor hides the entries that follow it.
  const Files copied{{u"h.LOG", first}, {u"h.LOG1", first}, {u"h.LOG2", second}};
  EXPECT_EQ(Recover(hive, copied).status, Applied("h.LOG (1 entry) and h.LOG2 (2 entries), sequence 10 to 12"));
  const Bytes longer = NewLog(hive, SEQ, {Entry(0x1000, 1), Entry(0x1000, 2)});
  const Files stale{{u"h.LOG", first}, {u"h.LOG1", longer}, {u"h.LOG2", NewLog(hive, SEQ + 2, {Entry(0, 3)})}};
  const Replay continued = Recover(hive, stale);
  EXPECT_EQ(continued.status,
            Applied("h.LOG (1 entry) and h.LOG1 (1 entry) and h.LOG2 (1 entry), sequence 10 to 12"));
  EXPECT_EQ(At(continued.image, 0x1000), Pattern(0x1000, 2));

  // The hive's base block invalid: the newest log alone, and its base block.
  Bytes broken = hive;
  PutU32(broken, BASE_CLUSTERING, 0xBAD);
  const Replay alone = Recover(broken, {{u"a", second}, {u"b", first}});
  EXPECT_EQ(alone.status, Applied("a (2 entries), sequence 11 to 12"));
  EXPECT_EQ(Field(alone.image, BASE_CLUSTERING), 1u);

  // Serial numbers: 0 follows 0xFFFFFFFF.
  Bytes wrapped = hive;
  SetBaseU32(wrapped, BASE_SECONDARY_SEQUENCE, 0xFFFFFFFFu);
  SetBaseU32(wrapped, BASE_PRIMARY_SEQUENCE, 0);
  const Files wrapping{{u"a", NewLog(hive, 0, {Entry(0, 2)})},
                       {u"b", NewLog(hive, 0xFFFFFFFFu, {Entry(0, 1)})}};
  EXPECT_EQ(Recover(wrapped, wrapping).status,
            Applied("b (1 entry) and a (1 entry), sequence 4294967295 to 0"));
}

TEST(LogRecoveryTest, OldFormatLogAppliesWhenNotOlderThanTheHive) {
  const Bytes hive = DirtyHive();
  Bytes log = OldLog(hive, SEQ + 1, TIME, 0x3000, {Page(0, 1, 0x200), Page(0x2000, 2)});
  SetBaseU32(log, BASE_ROOT_CELL, 0x2020);
  const Replay r = Recover(hive, {{u"h.LOG", log}});
  EXPECT_EQ(r.status, Applied("h.LOG (old format, 9 pages)"));
  EXPECT_EQ(At(r.image, 0, 0x200), Pattern(0x200, 1));
  EXPECT_EQ(At(r.image, 0x200, 0xE00), At(hive, 0x200, 0xE00));
  EXPECT_EQ(At(r.image, 0x2000), Pattern(0x1000, 2));
  EXPECT_EQ(Field(r.image, BASE_ROOT_CELL), 0x2020u);
  EXPECT_EQ(Field(r.image, BASE_HIVE_BINS_SIZE), 0x3000u);
  EXPECT_FALSE(IsHiveDirty(ByteReader(r.image.data(), r.image.size())));

  EXPECT_EQ(Recover(hive, {{u"h.LOG", OldLog(hive, SEQ + 1, TIME - 1, 0x2000, {Page(0, 1)})}}).status,
            NO_LOG);
  // Of two the later, in either order; a new-format log before either.
  const Bytes earlier = OldLog(hive, SEQ + 1, TIME + 1, 0x2000, {Page(0x1000, 3, 0x200)});
  const Bytes later = OldLog(hive, SEQ + 1, TIME + 2, 0x2000, {Page(0x1000, 4, 0x200)});
  EXPECT_EQ(Recover(hive, {{u"a", later}, {u"b", earlier}}).status, Applied("a (old format, 1 page)"));
  EXPECT_EQ(Recover(hive, {{u"a", earlier}, {u"b", later}}).status, Applied("b (old format, 1 page)"));
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
    EXPECT_EQ(r.status, NO_LOG) << what;
    EXPECT_EQ(r.image, hive) << what;
  }
}

// Every key's "-l -e" report and every value's "-v" report, from `path` down,
// run on one in-memory copy of the hive.
std::string Reports(test::MemoryRunner& hive, const std::string& path = "") {
  auto run = [&](std::vector<std::string> args) {
    if (!path.empty()) args.insert(args.end(), {"-k", path});
    return hive.Run(args).out;
  };
  std::string all = run({"-f", "h", "-l", "-e"});
  std::istringstream lines(all);
  std::vector<std::string> children;
  int table = 0;  // rows of the first table are subkeys, of the second values
  for (std::string line; std::getline(lines, line);) {
    table += line.starts_with("HCELL_INDEX\t");
    if (line.size() < 9 || line.find_first_not_of("0123456789ABCDEF") != 8 || line[8] != '\t') continue;
    const std::string name = line.substr(line.rfind('\t') + 1);
    if (table == 1) children.push_back(path.empty() ? name : path + "\\" + name);
    if (table == 2) all += run({"-f", "h", "-v", name});
  }
  for (const std::string& child : children) all += Reports(hive, child);
  return all;
}

TEST(LogRecoveryRealTest, RealLogSetsReplayAsWindowsRecoveredThem) {
  // Folder, hive, Windows' own recovery of it, status, minor version after.
  const std::tuple<const char*, const char*, const char*, const char*, uint32_t> sets[] = {
      {"yarp_NewDirtyHive1", "NewDirtyHive", "RecoveredHive_Windows10",
       "NewDirtyHive.LOG1 (1 entry) and NewDirtyHive.LOG2 (3 entries), sequence 2 to 5", 3},
      {"yarp_NewDirtyHive2", "NewDirtyHive", "", "NewDirtyHive.LOG2 (3 entries), sequence 3 to 5", 3},
      {"yarp_OldDirtyHive", "OldDirtyHive", "RecoveredHive_Windows7",
       "OldDirtyHive.LOG1 (old format, 64 pages)", 3},
      // The same hive and log, the hive's base block damaged (and format 1.1).
      {"yarp_BadBaseBlockHive", "BadBaseBlockHive", "../yarp_OldDirtyHive/RecoveredHive_Windows7",
       "BadBaseBlockHive.LOG1 (old format, 64 pages)", 3},
      {"yarp_BadLogHive1", "BadLogHive", "", "", 0},
      {"yarp_BadLogHive2", "BadLogHive", "", "", 0},
      {"yarp_BadLogHive3", "BadLogHive", "", "", 0},
      {"regipy_transactions_NTUSER", "transactions_NTUSER.DAT", "",
       "transactions_NTUSER.DAT.LOG1 (23 entries), sequence 566 to 588", 5},
  };
  const std::string root = test::RealHiveDir() + "/logs/";
  if (test::RealHiveDir().empty() || !test::FileExists(root)) GTEST_SKIP() << "no real log sets";
  auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
  };
  std::map<std::string, std::string> expected;  // reports of each hive Windows recovered, made once
  for (const auto& [folder, name, recovered, status, minor] : sets) {
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
    EXPECT_EQ(r.status, *status ? Applied(status) : NO_LOG);
    if (!*status) continue;
    EXPECT_FALSE(IsHiveDirty(ByteReader(r.image.data(), r.image.size())));
    EXPECT_EQ(Field(r.image, BASE_MINOR_VERSION), minor);
    if (!*recovered) continue;
    // Whole reports, HCELL_INDEX columns included: every cell lies where
    // Windows' own recovery put it.
    const std::string truth = std::filesystem::path(dir + recovered).lexically_normal().string();
    if (!expected.contains(truth)) {
      test::MemoryRunner windows(test::ReadFile(truth));
      expected[truth] = Reports(windows);
    }
    test::MemoryRunner replayed(r.image);
    EXPECT_EQ(Reports(replayed), expected[truth]);
  }
}

}  // namespace
}  // namespace keyscout
