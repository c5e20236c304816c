// The -s report on real hives, compared with the rows that a reader written
// separately (tests/data/tools/real_security_rows.py, run once; its output is
// tests/data/real_security.tsv) found for a sample of keys of each hive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/real_hives.h"
#include "support/run_tool.h"

namespace keyscout {
namespace {

namespace fs = std::filesystem;

// One row as both sides can give it: kind, SID text, and for ACE rows the
// mask, type and flags as printed.
using Row = std::vector<std::string>;

struct ExpectedKey {
  std::string hive;
  std::string key_path;  // empty for the root key
  std::vector<Row> rows;
};

std::vector<ExpectedKey> LoadExpected() {
  std::vector<ExpectedKey> keys;
  for (std::vector<std::string> fields : test::ReadTestData("real_security.tsv")) {
    if (fields.size() == 6) fields.insert(fields.begin() + 1, "");  // the root's empty path
    if (fields.size() != 7) {
      ADD_FAILURE() << "malformed line starting " << fields[0];
      continue;
    }
    if (keys.empty() || keys.back().hive != fields[0] || keys.back().key_path != fields[1]) {
      keys.push_back(ExpectedKey{fields[0], fields[1], {}});
    }
    Row row{fields[2], fields[3]};
    if (fields[4] != "-") row.insert(row.end(), {fields[4], fields[5], fields[6]});
    keys.back().rows.push_back(row);
  }
  return keys;
}

// The rows of a report's output, or a note of what does not parse.
std::vector<Row> ParseRows(const std::string& out, std::string* trouble) {
  static const std::string header = "CLASS      SID\t       Domain&Account\t\tAccess\tType\tFlags\n";
  std::vector<Row> rows;
  const size_t start = out.find(header);
  if (start == std::string::npos) {
    *trouble = "no header";
    return rows;
  }
  std::stringstream lines(out.substr(start + header.size()));
  std::string line;
  while (std::getline(lines, line)) {
    static const std::pair<const char*, const char*> kinds[] = {
        {"Owner    : ", "Owner"}, {"Group    : ", "Group"}, {"SACL ACE : ", "SACL"}, {"DACL ACE : ", "DACL"}};
    Row row;
    for (const auto& [prefix, kind] : kinds) {
      if (line.rfind(prefix, 0) == 0) row.push_back(kind);
    }
    const size_t sid_end = line.find("    ", 11);
    if (row.empty() || sid_end == std::string::npos) {
      *trouble = "unexpected line: " + line;
      return rows;
    }
    row.push_back(line.substr(11, sid_end - 11));
    if (row[0] == "SACL" || row[0] == "DACL") {
      // The last three fields: mask, type, flags.
      std::vector<std::string> words;
      std::stringstream split(line);
      std::string word;
      while (split >> word) words.push_back(word);
      row.insert(row.end(), words.end() - 3, words.end());
    }
    rows.push_back(row);
  }
  return rows;
}

TEST(RealSecurityTest, OwnerGroupAndAceRowsMatchTheOtherReader) {
  if (test::RealHiveDir().empty()) GTEST_SKIP() << "no real hives";
  const std::vector<ExpectedKey> keys = LoadExpected();
  ASSERT_FALSE(keys.empty());

  std::map<std::string, test::Bytes> loaded;
  std::map<std::string, bool> present;
  size_t compared_keys = 0;
  size_t compared_rows = 0;
  size_t skipped_keys = 0;
  for (const ExpectedKey& key : keys) {
    if (!present.count(key.hive)) {
      const std::vector<std::string> names = test::RealHiveNames();
      present[key.hive] = std::find(names.begin(), names.end(), key.hive) != names.end();
      if (present[key.hive]) loaded[key.hive] = test::LoadRealHive(key.hive);
      loaded.erase(loaded.begin(), loaded.find(key.hive));  // one hive in memory at a time
    }
    if (!present[key.hive] || loaded[key.hive].empty()) {
      ++skipped_keys;
      continue;
    }
    std::vector<std::string> args{"-f", key.hive, "-s"};
    if (!key.key_path.empty()) args.insert(args.end(), {"-k", key.key_path});
    const test::RunResult r = test::RunWith(loaded[key.hive], args);
    SCOPED_TRACE(key.hive + " [" + key.key_path + "]");
    EXPECT_EQ(r.code, 0) << r.out;
    std::string trouble;
    const std::vector<Row> rows = ParseRows(r.out, &trouble);
    EXPECT_EQ(trouble, "");
    EXPECT_EQ(rows, key.rows);
    ++compared_keys;
    compared_rows += key.rows.size();
  }
  std::cout << "[ compared ] " << compared_keys << " keys, " << compared_rows << " rows; " << skipped_keys
            << " keys skipped (hive absent or not decompressible)\n";
  EXPECT_GT(compared_keys, 0u);
}

}  // namespace
}  // namespace keyscout
