// Values of real hives, read by keyscout and compared with what a reader
// written separately (tests/data/tools/real_value_digests.py, run once; its
// output is tests/data/real_values.tsv) found in the same files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "text/utf8.h"
#include "support/real_hives.h"
#include "support/run_tool.h"
#include "support/sha256.h"

namespace keyscout {
namespace {

namespace fs = std::filesystem;

struct ExpectedValue {
  std::string hive;
  std::u16string key_path;
  std::u16string value_name;
  std::string escaped_name;  // as written in the data file, for messages
  bool readable = false;
  uint32_t length = 0;
  std::string sha256;
};

// "%XXXX" is one 16-bit unit; any other character stands for itself.
std::u16string Unescape(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 4 < text.size()) {
      out.push_back(static_cast<char16_t>(std::stoul(text.substr(i + 1, 4), nullptr, 16)));
      i += 4;
    } else {
      out.push_back(static_cast<unsigned char>(text[i]));
    }
  }
  return out;
}

std::vector<ExpectedValue> LoadExpected() {
  std::vector<ExpectedValue> rows;
  for (const std::vector<std::string>& fields : test::ReadTestData("real_values.tsv")) {
    if (fields.size() != 6) {
      ADD_FAILURE() << "malformed line starting " << fields[0];
      continue;
    }
    ExpectedValue row;
    row.hive = fields[0];
    row.key_path = Unescape(fields[1]);
    row.value_name = Unescape(fields[2]);
    row.escaped_name = fields[1] + " : " + fields[2];
    row.readable = fields[5] != "-";
    if (row.readable) {
      row.length = static_cast<uint32_t>(std::stoul(fields[4]));
      row.sha256 = fields[5];
    }
    rows.push_back(row);
  }
  return rows;
}

std::string HexLength(uint32_t length) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", length);
  return text;
}

TEST(RealValuesTest, EveryValueIsFoundAndItsDumpMatchesTheOtherReader) {
  if (test::RealHiveDir().empty()) GTEST_SKIP() << "no real hives beside the repository";
  const std::vector<ExpectedValue> rows = LoadExpected();
  ASSERT_FALSE(rows.empty());

  std::map<std::string, std::string> ready;  // hive name -> path ("" when absent)
  std::map<std::string, int> compared;
  int skipped = 0;
  const std::string dump = test::TempDir() + "/real-value.bin";
  for (const ExpectedValue& row : rows) {
    if (!ready.count(row.hive)) {
      ready[row.hive] = test::RealHivePath(row.hive);
    }
    const std::string& hive = ready[row.hive];
    if (hive.empty()) {
      ++skipped;
      continue;
    }
    fs::remove(dump);
    SCOPED_TRACE(row.hive + " " + row.escaped_name);
    const test::RunResult r = test::RunOnDisk({u"keyscout", u"-f", DecodeCommandWord(hive), u"-k", row.key_path,
                                                u"-v", row.value_name, u"-w", DecodeCommandWord(dump)});
    const std::string& text = r.out;
    const int code = r.code;
    EXPECT_EQ(text.find("Cannot find"), std::string::npos) << text;
    if (row.readable) {
      ASSERT_EQ(code, 0) << text;
      EXPECT_NE(text.find("Value length = " + HexLength(row.length) + "\n"), std::string::npos);
      const test::Bytes bytes = test::ReadFile(dump);
      EXPECT_EQ(bytes.size(), row.length);
      EXPECT_EQ(test::Sha256Hex(bytes.data(), bytes.size()), row.sha256);
    } else {
      EXPECT_EQ(code, 1);
      EXPECT_NE(text.find("Cannot read the value data. ("), std::string::npos) << text;
      EXPECT_FALSE(fs::exists(dump));
    }
    ++compared[row.hive];
  }
  std::string summary;
  for (const auto& [hive, count] : compared) summary += hive + ": " + std::to_string(count) + "\n";
  RecordProperty("values_compared", static_cast<int>(rows.size()) - skipped);
  std::printf("Values compared per hive:\n%s%d listed values skipped (hive or xz missing)\n", summary.c_str(),
              skipped);
  EXPECT_GT(compared.size(), 0u);
}

}  // namespace
}  // namespace keyscout
