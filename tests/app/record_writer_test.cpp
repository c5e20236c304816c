#include "app/record_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace keyscout {
namespace {

TEST(EscapedPathTest, KeepsWhatAPathSharesWithTheLastAndEscapesAsAFreshPathWould) {
  const std::vector<std::u16string> paths = {
      u"a\\b\\c",        u"a\\b\\d",   u"a\\bc",   u"a\\b\\c",  u"",          u"\"\\\"",       u"\"\\\"\\x",
      u"x\xD83D\\\xDE00", u"x\xD83D\\y", u"x\xD83D", u"a\\\\b",   u"a\\\\b\\", u"a\\\\b\\\x1b|"};
  for (const TextStyle style : {TextStyle::kJson, TextStyle::kCsv, TextStyle::kBodyfile}) {
    EscapedPath kept(style);
    for (const std::u16string& path : paths) {
      std::string fresh;
      const std::string expected(EscapeInto(&fresh, style, path));
      EXPECT_EQ(kept.Update(path), expected) << "style " << static_cast<int>(style) << ", path of "
                                             << path.size() << " units";
    }
  }
}

TEST(RecordWriterTest, FormatsAreNamedExactlyAndTheHivesNameFollowsItsLastSlashOrBackslash) {
  EXPECT_EQ(HiveFileName(u"/cases/x/SYSTEM"), u"SYSTEM");
  EXPECT_EQ(HiveFileName(u"C:\\cases\\NTUSER.DAT"), u"NTUSER.DAT");
  EXPECT_EQ(HiveFileName(u"SAM"), u"SAM");
  EXPECT_EQ(ExportFormatNamed(u"jsonl"), ExportFormat::kJsonLines);
  EXPECT_EQ(ExportFormatNamed(u"JSONL"), std::nullopt);
}

}  // namespace
}  // namespace keyscout
