#include "app/export_report.h"

#include <gtest/gtest.h>

#include <string>

#include "hive/layout.h"
#include "support/hive_builder.h"
#include "support/json_lines.h"
#include "support/string_sink.h"

namespace keyscout {
namespace {

using namespace std::string_literals;

using test::Bytes;
using test::HiveBuilder;
using test::KeySpec;
using test::TreeKey;
using test::TreeValue;

struct Exported {
  int code = -1;
  std::string out;
  std::string err;
};

Exported Export(const Bytes& hive, ExportFormat format, const std::u16string* key_path = nullptr) {
  test::StringSink out_sink;
  test::StringSink err_sink;
  Exported result;
  {
    Console out(out_sink);
    Console err(err_sink);
    result.code =
        ExportKeys(HiveImage(hive.data(), hive.size()), key_path, format, false, u"cases/test.hiv", out, err);
  }
  result.out = out_sink.text;
  result.err = err_sink.text;
  return result;
}

std::string Hex8(uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// 2020-01-01 00:00:00.1234567 UTC.
constexpr uint64_t TIME_2020 = 132223104001234567;
const std::string KEY_TIME_FIELDS =
    "\"last_written\":\"2020-01-01T00:00:00.1234567Z\"";
const std::string TIMESKETCH_FIELDS =
    "\"datetime\":\"2020-01-01T00:00:00.123456+00:00\",\"timestamp\":1577836800123456,"
    "\"timestamp_desc\":\"Key Last Written\"";

// A name with everything JSON must escape or carry through: a control
// character, a quote, a backslash, an unpaired surrogate, a character outside
// the Basic Multilingual Plane, and one above U+00FF.
const std::u16string ODD_NAME = u"a\x1b\"\\\xD800x\U0001F600\u0100";
const std::string ODD_NAME_JSON = "a\\u001b\\\"\\\\\\ud800x\xF0\x9F\x98\x80\xC4\x80";

TEST(ExportKeysTest, JsonLinesCarryEveryKeyFieldAndNamesEscapedExactly) {
  HiveBuilder b;
  const uint32_t class_cell = b.DataCell(test::Utf16Le(u"Cls"));
  const uint32_t child = b.Key(KeySpec{.name = ODD_NAME, .last_written = TIME_2020});
  const uint32_t list = b.LeafList("lh", {child});
  const uint32_t root = b.Key(KeySpec{.name = u"ROOT", .extra_flags = 0x0C, .stable_count = 1, .stable_list = list,
                                      .security = 0x1238, .last_written = TIME_2020, .class_name = class_cell,
                                      .class_length = 6});
  b.PatchCellU32(child, NK_PARENT, root);
  b.SetRoot(root);
  const Exported r = Export(b.Finish(), ExportFormat::kJsonLines);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "{\"hive\":\"cases/test.hiv\",\"path\":\"\",\"name\":\"ROOT\",\"cell\":\"" + Hex8(root) + "\"," +
                KEY_TIME_FIELDS +
                ",\"class\":\"Cls\",\"flags\":44,\"subkey_count\":1,\"volatile_subkey_count\":0,\"value_count\":0,"
                "\"security_cell\":\"00001238\",\"state\":\"allocated\"," +
                TIMESKETCH_FIELDS + ",\"message\":\"test.hiv\\\\\",\"values\":[]}\n" +
                "{\"hive\":\"cases/test.hiv\",\"path\":\"" + ODD_NAME_JSON + "\",\"name\":\"" + ODD_NAME_JSON +
                "\",\"cell\":\"" + Hex8(child) + "\"," + KEY_TIME_FIELDS +
                ",\"flags\":0,\"subkey_count\":0,\"volatile_subkey_count\":0,\"value_count\":0,"
                "\"security_cell\":\"FFFFFFFF\",\"state\":\"allocated\"," +
                TIMESKETCH_FIELDS + ",\"message\":\"test.hiv\\\\" + ODD_NAME_JSON + "\",\"values\":[]}\n");
  EXPECT_EQ(test::JsonLinesFault(r.out), "");
  // The checker the hostile-hive runs rely on sees what a reader would refuse.
  EXPECT_NE(test::JsonLinesFault("{\"a\":\"\x01\"}\n"), "");
  EXPECT_NE(test::JsonLinesFault("{\"a\":\"\xED\xA0\x80\"}\n"), "");
  EXPECT_NE(test::JsonLinesFault("{\"a\":1}"), "");
  EXPECT_NE(test::JsonLinesFault("{\"a\":[1,]}\n"), "");
}

TEST(ExportKeysTest, TimesOutsideTheCalendarAreHexAndTimesketchNull) {
  HiveBuilder b;
  b.SetRoot(b.Key(KeySpec{.name = u"R", .last_written = 0xFFFFFFFFFFFFFFFFull}));
  const Exported r = Export(b.Finish(), ExportFormat::kJsonLines);
  EXPECT_NE(r.out.find("\"last_written\":\"0xFFFFFFFFFFFFFFFF\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"datetime\":null,\"timestamp\":null,"), std::string::npos) << r.out;
}

// The JSON of one value of a key that holds it alone, without the braces'
// neighbours.
std::string ValueJson(const std::u16string& name, uint32_t type, const Bytes& data) {
  TreeKey root{.name = u"R", .values = {TreeValue{name, type, data}}};
  const Exported r = Export(test::BuildHive(root), ExportFormat::kJsonLines);
  EXPECT_EQ(r.code, 0) << r.err;
  const size_t start = r.out.find("\"values\":[{");
  const size_t cell = r.out.find(",\"cell\":\"", start);
  if (start == std::string::npos || cell == std::string::npos) return r.out;
  // The value's own cell index varies with its data; the rest is compared.
  return r.out.substr(start + 11, cell - start - 11) + r.out.substr(cell + 18, r.out.size() - cell - 18 - 4);
}

Bytes Text(const std::u16string& text) { return test::Utf16Le(text); }

Bytes Cat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(ExportKeysTest, DataIsDecodedAsMinusDReadsItAndRawKeepsEveryByteTheDecodedFormLeavesOut) {
  struct Case {
    uint32_t type;
    Bytes data;
    std::string json;  // after "size"
  };
  const Bytes zero{0, 0};
  const Case cases[] = {
      {1, Text(u"abc\0"s), "\"data\":\"abc\""},
      {1, Text(u"abc"s), "\"data\":\"abc\""},
      {1, Text(u"abc\0zz"s), "\"data\":\"abc\",\"raw\":\"6100620063000000" "7a007a00\""},
      {2, Cat(Text(u"%x%\0"s), {0x41}), "\"data\":\"%x%\",\"raw\":\"2500780025000000" "41\""},
      {6, Text(u"\\Registry\t"s), "\"data\":\"\\\\Registry\\u0009\""},
      {1, {}, "\"data\":\"\""},
      {7, Text(u"a\0bc\0\0"s), "\"data\":[\"a\",\"bc\"]"},
      {7, Text(u"a\0bc\0"s), "\"data\":[\"a\",\"bc\"]"},
      {7, Text(u"a\0\0c\0\0"s), "\"data\":[\"a\"],\"raw\":\"610000000000" "630000000000\""},
      {7, zero, "\"data\":[]"},
      {7, {}, "\"data\":[]"},
      {4, {7, 1, 0, 0}, "\"data\":263"},
      {4, {7, 1, 0}, "\"raw\":\"070100\""},
      {4, {7, 1, 0, 0, 0}, "\"raw\":\"0701000000\""},
      {5, {0, 0, 1, 7}, "\"data\":263"},
      {11, {1, 0, 0, 0, 0, 0, 0, 0x80}, "\"data\":9223372036854775809"},
      {11, {1, 0, 0, 0}, "\"raw\":\"01000000\""},
      {3, {0xAB, 0x01}, "\"raw\":\"ab01\""},
      {0x1234, {}, "\"raw\":\"\""},
  };
  for (const Case& c : cases) {
    const std::string type = c.type < 12 ? std::string("\"") +
                                               std::string(c.type == 1   ? "REG_SZ"
                                                           : c.type == 2 ? "REG_EXPAND_SZ"
                                                           : c.type == 3 ? "REG_BINARY"
                                                           : c.type == 4 ? "REG_DWORD"
                                                           : c.type == 5 ? "REG_DWORD_BIG_ENDIAN"
                                                           : c.type == 6 ? "REG_LINK"
                                                           : c.type == 7 ? "REG_MULTI_SZ"
                                                                         : "REG_QWORD") +
                                               "\""
                                         : std::to_string(c.type);
    EXPECT_EQ(ValueJson(u"V", c.type, c.data),
              "\"name\":\"V\",\"type\":" + type + ",\"size\":" + std::to_string(c.data.size()) + "," + c.json)
        << "type " << c.type << ", " << c.data.size() << " bytes";
  }
}

TEST(ExportKeysTest, BigDataAndTheUnnamedValueComeWhole) {
  const Bytes big = test::Pattern(BIG_DATA_SEGMENT * 2 + 5, 7);
  std::string hex;
  for (const uint8_t byte : big) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  EXPECT_EQ(ValueJson(u"Big", 3, big),
            "\"name\":\"Big\",\"type\":\"REG_BINARY\",\"size\":" + std::to_string(big.size()) + ",\"raw\":\"" + hex +
                "\"");
  // A text in big data is gathered from its segments before it is decoded.
  std::u16string long_text(BIG_DATA_SEGMENT, u'x');
  long_text[8191] = 0xD83D;  // a pair across the decoder's parts of 8192 units
  long_text[8192] = 0xDE00;
  const std::string json = ValueJson(u"", 1, Text(long_text));
  EXPECT_TRUE(json.starts_with("\"name\":\"\",\"unnamed\":true,\"type\":\"REG_SZ\",\"size\":32688,\"data\":\"xx"));
  EXPECT_EQ(json.size(), std::string("\"name\":\"\",\"unnamed\":true,\"type\":\"REG_SZ\",\"size\":32688,\"data\":\"\"")
                                 .size() +
                             BIG_DATA_SEGMENT - 2 + 4);
}

// root -> A, B, C; A -> A1; B's list is no list; C -> C1; and an entry of
// C1's list leads back to C (a cycle) and another to A1 (reached twice).
struct DamagedTree {
  Bytes bytes;
  uint32_t b_list = 0;
  uint32_t a1 = 0;
  uint32_t c = 0;
};

DamagedTree BuildDamagedTree() {
  HiveBuilder b;
  DamagedTree t;
  t.a1 = b.Key(KeySpec{.name = u"A1"});
  const uint32_t a = b.Key(KeySpec{.name = u"A", .stable_count = 1, .stable_list = b.LeafList("lh", {t.a1})});
  t.b_list = b.AddCell(Bytes{'x', 'x', 1, 0, 0, 0, 0, 0});
  const uint32_t bk = b.Key(KeySpec{.name = u"B", .stable_count = 1, .stable_list = t.b_list});
  const uint32_t c1_list = b.AddCell(Bytes(16, 0));
  const uint32_t c1 = b.Key(KeySpec{.name = u"C1", .stable_count = 2, .stable_list = c1_list});
  t.c = b.Key(KeySpec{.name = u"C", .stable_count = 1, .stable_list = b.LeafList("li", {c1})});
  b.SetRoot(b.Key(KeySpec{.name = u"R", .stable_count = 3, .stable_list = b.LeafList("lf", {a, bk, t.c})}));
  t.bytes = b.Finish();
  // C1's list: an "li" naming C, then A1.
  const uint64_t at = HiveBuilder::FileOffset(c1_list);
  t.bytes[at + 4] = 'l';
  t.bytes[at + 5] = 'i';
  t.bytes[at + 6] = 2;
  for (int i = 0; i < 4; ++i) {
    t.bytes[at + 8 + static_cast<uint64_t>(i)] = static_cast<uint8_t>(t.c >> (8 * i));
    t.bytes[at + 12 + static_cast<uint64_t>(i)] = static_cast<uint8_t>(t.a1 >> (8 * i));
  }
  return t;
}

// The path of each record, or "!path: error" for an error record.
std::string Outline(const std::string& jsonl) {
  std::string outline;
  size_t at = 0;
  while (at < jsonl.size()) {
    const size_t end = jsonl.find('\n', at);
    const std::string line = jsonl.substr(at, end - at);
    const size_t path = line.find("\"path\":\"") + 8;
    const std::string p = line.substr(path, line.find('"', path) - path);
    const size_t error = line.find("\"error\":\"");
    outline += error == std::string::npos || line.find("\"values\"") != std::string::npos
                   ? p + "\n"
                   : "!" + p + ": " + line.substr(error + 9, line.size() - error - 11) + "\n";
    at = end + 1;
  }
  return outline;
}

TEST(ExportKeysTest, ADamagedListACycleAndAKeyReachedTwiceAreErrorRecordsAndTheWalkGoesOn) {
  const DamagedTree t = BuildDamagedTree();
  const Exported json = Export(t.bytes, ExportFormat::kJsonLines);
  EXPECT_EQ(json.code, 1);
  EXPECT_EQ(Outline(json.out), "\nA\nA\\\\A1\nB\n!B: subkey list cannot be read (cell " + Hex8(t.b_list) +
                                   ")\nC\nC\\\\C1\n!C\\\\C1: subkey is a key already on this path: a cycle (cell " +
                                   Hex8(t.c) + ")\n!C\\\\C1: subkey was reached before from another list entry (cell " +
                                   Hex8(t.a1) + ")\n");
  EXPECT_EQ(json.err, "keyscout: 3 places in the hive could not be read; the export went on past them\n");
  const Exported csv = Export(t.bytes, ExportFormat::kCsv);
  EXPECT_EQ(csv.code, 1);
  EXPECT_NE(csv.out.find("\r\n\"cases/test.hiv\",\"B\",,,,error,,\"subkey list cannot be read (cell " +
                         Hex8(t.b_list) + ")\"\r\n"),
            std::string::npos)
      << csv.out;
  const Exported body = Export(t.bytes, ExportFormat::kBodyfile);
  EXPECT_EQ(body.code, 1);
  EXPECT_EQ(std::count(body.out.begin(), body.out.end(), '\n'), 6);
  EXPECT_EQ(body.err, json.err);
}

TEST(ExportKeysTest, AValueThatCannotBeReadSaysSoInItsKeysRecord) {
  HiveBuilder b;
  const uint32_t good = b.Value(u"Good", 4, {1, 0, 0, 0});
  const uint32_t lost =
      b.Value(test::ValueSpec{.name = u"Lost", .type = 3, .data_size = 64, .data_offset = 0x7FFFFFF0});
  const uint32_t not_value = b.AddCell(Bytes(24, 0));
  const uint32_t list = b.ValueList({lost, not_value, good});
  b.SetRoot(b.Key(KeySpec{.name = u"R", .value_count = 3, .value_list = list}));
  const Exported r = Export(b.Finish(), ExportFormat::kJsonLines);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("\"values\":[{\"name\":\"Lost\",\"type\":\"REG_BINARY\",\"size\":64,\"cell\":\"" + Hex8(lost) +
                       "\",\"error\":\"data cannot be read\"},{\"cell\":\"" + Hex8(not_value) +
                       "\",\"error\":\"no readable value\"},{\"name\":\"Good\""),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.err, "keyscout: 2 places in the hive could not be read; the export went on past them\n");
}

TEST(ExportKeysTest, CsvQuotesTextFieldsAndMarksWhatASpreadsheetWouldRunAsAFormula) {
  TreeKey root{.name = u"R",
               .children = {TreeKey{.name = u"=HYPERLINK()"}},
               .values = {TreeValue{u"+cmd", 1, Text(u"-2+3\0"s)}, TreeValue{u"q\"uote", 7, Text(u"@a\0b,c\0\0"s)},
                          TreeValue{u"n", 4, {5, 0, 0, 0}}, TreeValue{u"\tb", 3, {0xFF}},
                          TreeValue{u"e", 7, Text(u"\0"s)}}};
  const Exported r = Export(test::BuildHive(root), ExportFormat::kCsv);
  EXPECT_EQ(r.code, 0);
  const std::string key = "\"cases/test.hiv\",\"\",allocated,1601-01-01T00:00:00.0000000Z,";
  EXPECT_EQ(r.out,
            "hive,path,state,last_written,value_name,value_type,value_size,value_data\r\n" + key + ",,,\r\n" + key +
                "\"'+cmd\",REG_SZ,10,\"'-2+3\"\r\n" + key + "\"q\"\"uote\",REG_MULTI_SZ,16,\"'@a\nb,c\"\r\n" + key +
                "\"n\",REG_DWORD,4,5\r\n" + key + "\"'\tb\",REG_BINARY,1,ff\r\n" + key +
                "\"e\",REG_MULTI_SZ,2,\"\"\r\n" +
                "\"cases/test.hiv\",\"'=HYPERLINK()\",allocated,1601-01-01T00:00:00.0000000Z,,,,\r\n");
}

TEST(ExportKeysTest, BodyfileEscapesWhatWouldBreakItsLinesAndWritesUnixSeconds) {
  HiveBuilder b;
  const uint32_t child = b.Key(KeySpec{.name = u"a|b\nc\rd\xDC00", .last_written = TIME_2020});
  const uint32_t root = b.Key(KeySpec{.name = u"R", .stable_count = 1, .stable_list = b.LeafList("lh", {child}),
                                      .last_written = 116444735990000000});  // a second before 1970
  b.SetRoot(root);
  const Exported r = Export(b.Finish(), ExportFormat::kBodyfile);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "0|test.hiv\\|" + std::to_string(root) + "|0|0|0|0|0|0|0|0\n" + "0|test.hiv\\a\\x7Cb\\x0Ac\\x0Dd" +
                       "\xEF\xBF\xBD|" + std::to_string(child) + "|0|0|0|0|0|1577836800|0|0\n");
}

TEST(ExportKeysTest, AKeyPathStartsTheExportThereWithTheStoredNames) {
  const Bytes hive = test::BuildHive(
      TreeKey{.name = u"R", .children = {TreeKey{.name = u"Soft", .children = {TreeKey{.name = u"Ware"}}}}});
  const std::u16string typed = u"\\soft\\";
  const Exported r = Export(hive, ExportFormat::kJsonLines, &typed);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(Outline(r.out), "Soft\nSoft\\\\Ware\n");
  const std::u16string missing = u"Soft\\Hard";
  const Exported none = Export(hive, ExportFormat::kJsonLines, &missing);
  EXPECT_EQ(none.code, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err,
            "keyscout: Cannot find the key. (Soft\\Hard)\nkeyscout: the key \"Soft\" has no subkey \"Hard\"\n");
  const Exported not_hive = Export(Bytes(0x2000, 0), ExportFormat::kCsv);
  EXPECT_EQ(not_hive.code, 1);
  EXPECT_EQ(not_hive.out, "");
  EXPECT_EQ(not_hive.err, "keyscout: Cannot find the key. (ROOT)\n");
}

TEST(ExportKeysTest, ListsThatNameOneListOverAndOverEndTheWalkWithinTheFilesRoom) {
  HiveBuilder b;
  const uint32_t leaf = b.LeafList("lh", {b.Key(KeySpec{.name = u"K"})});
  const uint32_t root_list = b.IndexRoot(std::vector<uint32_t>(4000, leaf));
  b.SetRoot(b.Key(KeySpec{.name = u"R", .stable_count = 1, .stable_list = root_list}));
  const Exported r = Export(b.Finish(), ExportFormat::kJsonLines);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("the export ends here"), std::string::npos);
  EXPECT_LT(r.out.size(), 3'000'000u);
}

}  // namespace
}  // namespace keyscout
