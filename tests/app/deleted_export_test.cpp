// The export with -r, through the whole run: where deleted records land
// among the live ones, what each format says of them, and what -k keeps.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "hive/layout.h"
#include "support/free_space.h"
#include "support/hive_builder.h"
#include "support/json_lines.h"
#include "support/run_tool.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;
using test::ValueSpec;

// 2020-01-01 00:00:00.1234567 UTC.
constexpr uint64_t TIME_2020 = 132223104001234567;
constexpr uint32_t REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4;

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

std::string Offset(uint32_t cell) { return std::to_string(HiveBuilder::FileOffset(cell)); }

// ROOT\Software live; Software\Run (two values, one whose data cell is a
// live key now) and Run\Old deleted in one merged free cell; a key whose
// parent is no key; and a value no key holds.
struct DeletedScene {
  HiveBuilder b{0x4000};
  uint32_t software = 0, run = 0, old = 0, orphan = 0, lost = 0;
  std::vector<uint32_t> run_values;
  Bytes hive;

  DeletedScene() {
    software = b.Key(KeySpec{.name = u"Software", .last_written = TIME_2020});
    const uint32_t start = b.cursor();
    run_values = {b.Value(u"Updater", REG_SZ, test::Utf16Le(u"C:\\evil.exe")),
                  b.Value(ValueSpec{.name = u"Reused", .type = REG_BINARY, .data_size = 8, .data_offset = software})};
    run = b.Key(KeySpec{.name = u"Run", .parent = software, .value_count = 2, .value_list = b.ValueList(run_values),
                        .last_written = TIME_2020});
    old = b.Key(KeySpec{.name = u"Old", .parent = run, .last_written = TIME_2020});
    const uint32_t end = b.cursor();
    lost = b.Value(u"Lost", REG_DWORD, {7, 0, 0, 0});
    orphan = b.Key(KeySpec{.name = u"Orphan", .parent = lost, .last_written = TIME_2020});
    const uint32_t root = b.Key(KeySpec{.name = u"ROOT", .extra_flags = 0x0C, .stable_count = 1,
                                        .stable_list = b.LeafList("lh", {software}), .last_written = TIME_2020});
    b.PatchCellU32(software, NK_PARENT, root);
    b.SetRoot(root);
    hive = b.Finish();
    test::MergeFreeCells(hive, start, end);
    test::FreeCell(hive, lost);
    test::FreeCell(hive, orphan);
  }

  test::RunResult Export(const char16_t* format, std::vector<std::u16string> more = {}) const {
    std::vector<std::u16string> words{u"keyscout", u"-f", u"cases/test.hiv", u"-x", format};
    words.insert(words.end(), more.begin(), more.end());
    return test::RunInMemory(hive, words);
  }
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

bool Has(const std::string& line, const std::string& part) { return line.find(part) != std::string::npos; }

TEST(DeletedExportTest, JsonLinesPutDeletedKeysUnderTheirLiveParentAndTheRestAtTheEnd) {
  const DeletedScene s;
  const test::RunResult r = s.Export(u"jsonl", {u"-r"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "keyscout: 2 live keys, 3 deleted keys and 3 deleted values found\n");
  EXPECT_EQ(test::JsonLinesFault(r.out), "");
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 6u) << r.out;
  EXPECT_TRUE(Has(lines[0], "\"path\":\"\",\"name\":\"ROOT\"")) << lines[0];
  EXPECT_TRUE(Has(lines[1], "\"path\":\"Software\",")) << lines[1];
  EXPECT_EQ(lines[2],
            "{\"hive\":\"cases/test.hiv\",\"path\":\"Software\\\\Run\",\"name\":\"Run\",\"cell\":\"" + Hex8(s.run) +
                "\",\"last_written\":\"2020-01-01T00:00:00.1234567Z\",\"flags\":32,\"subkey_count\":0,"
                "\"volatile_subkey_count\":0,\"value_count\":2,\"security_cell\":\"FFFFFFFF\",\"state\":\"deleted\","
                "\"found_in\":\"free cell\",\"offset\":" + Offset(s.run) + ",\"path_complete\":true,"
                "\"datetime\":\"2020-01-01T00:00:00.123456+00:00\",\"timestamp\":1577836800123456,"
                "\"timestamp_desc\":\"Key Last Written\",\"message\":\"test.hiv\\\\Software\\\\Run\",\"values\":["
                "{\"name\":\"Updater\",\"type\":\"REG_SZ\",\"size\":22,\"cell\":\"" + Hex8(s.run_values[0]) +
                "\",\"found_in\":\"free cell\",\"offset\":" + Offset(s.run_values[0]) +
                ",\"data\":\"C:\\\\evil.exe\"},"
                "{\"name\":\"Reused\",\"type\":\"REG_BINARY\",\"size\":8,\"cell\":\"" + Hex8(s.run_values[1]) +
                "\",\"found_in\":\"free cell\",\"offset\":" + Offset(s.run_values[1]) + ",\"data_reused\":true}]}");
  EXPECT_TRUE(Has(lines[3], "\"path\":\"Software\\\\Run\\\\Old\",\"name\":\"Old\"")) << lines[3];
  // The parent is a value: the path begins at the key itself.
  EXPECT_TRUE(Has(lines[4], "\"path\":\"Orphan\",")) << lines[4];
  EXPECT_TRUE(Has(lines[4], ",\"path_complete\":false,\"parent_cell\":\"" + Hex8(s.lost) + "\",")) << lines[4];
  EXPECT_EQ(lines[5], "{\"hive\":\"cases/test.hiv\",\"state\":\"deleted\",\"found_in\":\"free cell\",\"offset\":" +
                          Offset(s.lost) + ",\"values\":[{\"name\":\"Lost\",\"type\":\"REG_DWORD\",\"size\":4,"
                          "\"cell\":\"" + Hex8(s.lost) + "\",\"found_in\":\"free cell\",\"offset\":" +
                          Offset(s.lost) + ",\"data\":7}]}");
}

TEST(DeletedExportTest, CsvGainsTheOriginColumnsAndTheBodyfileMarksDeletedNames) {
  const DeletedScene s;
  const test::RunResult csv = s.Export(u"csv", {u"-r"});
  const std::vector<std::string> rows = Lines(csv.out);
  ASSERT_EQ(rows.size(), 9u) << csv.out;
  EXPECT_EQ(rows[0], "hive,path,state,last_written,value_name,value_type,value_size,value_data,"
                     "found_in,offset,path_complete\r");
  EXPECT_EQ(rows[2], "\"cases/test.hiv\",\"Software\",allocated,2020-01-01T00:00:00.1234567Z,,,,,,,\r");
  EXPECT_EQ(rows[3], "\"cases/test.hiv\",\"Software\\Run\",deleted,2020-01-01T00:00:00.1234567Z,,,,,free cell," +
                         Offset(s.run) + ",true\r");
  EXPECT_EQ(rows[5], "\"cases/test.hiv\",\"Software\\Run\",deleted,2020-01-01T00:00:00.1234567Z,\"Reused\","
                     "REG_BINARY,8,,free cell," + Offset(s.run_values[1]) + ",true\r");
  EXPECT_EQ(rows[7], "\"cases/test.hiv\",\"Orphan\",deleted,2020-01-01T00:00:00.1234567Z,,,,,free cell," +
                         Offset(s.orphan) + ",false\r");
  EXPECT_EQ(rows[8], "\"cases/test.hiv\",\"\",deleted,,\"Lost\",REG_DWORD,4,7,free cell," + Offset(s.lost) +
                         ",false\r");

  const test::RunResult body = s.Export(u"body", {u"-r"});
  const std::vector<std::string> lines = Lines(body.out);
  ASSERT_EQ(lines.size(), 5u) << body.out;
  EXPECT_EQ(lines[2], "0|test.hiv\\Software\\Run (deleted)|" + std::to_string(s.run) + "|0|0|0|0|0|1577836800|0|0");
  EXPECT_EQ(lines[4], "0|test.hiv\\Orphan (deleted)|" + std::to_string(s.orphan) + "|0|0|0|0|0|1577836800|0|0");
  EXPECT_EQ(body.err, "keyscout: 2 live keys, 3 deleted keys and 3 deleted values found\n");
}

TEST(DeletedExportTest, WithAKeyOnlyWhatLiesBelowItAndWithoutMinusRNothingChanges) {
  const DeletedScene s;
  const test::RunResult below = s.Export(u"jsonl", {u"-r", u"-k", u"software"});
  const std::vector<std::string> lines = Lines(below.out);
  ASSERT_EQ(lines.size(), 3u) << below.out;
  EXPECT_TRUE(Has(lines[1], "\"path\":\"Software\\\\Run\",")) << lines[1];
  EXPECT_TRUE(Has(lines[2], "\"path\":\"Software\\\\Run\\\\Old\",")) << lines[2];
  EXPECT_EQ(below.err, "keyscout: 1 live keys, 2 deleted keys and 2 deleted values found\n");

  const test::RunResult plain = s.Export(u"jsonl");
  EXPECT_EQ(plain.err, "");
  EXPECT_EQ(Lines(plain.out).size(), 2u) << plain.out;
  EXPECT_FALSE(Has(plain.out, "deleted"));
  // -r without -x changes no report, and says so.
  const test::RunResult listing = test::RunInMemory(s.hive, {u"keyscout", u"-f", u"h", u"-l", u"-r"});
  EXPECT_EQ(listing.out, test::RunInMemory(s.hive, {u"keyscout", u"-f", u"h", u"-l"}).out);
  EXPECT_EQ(listing.err,
            "keyscout: -r adds the deleted keys and values to the export that -x writes, and -x was not given: "
            "nothing was searched for\n");
}

}  // namespace
}  // namespace keyscout
