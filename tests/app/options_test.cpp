#include "app/options.h"

#include <gtest/gtest.h>

namespace keyscout {
namespace {

ParseVerdict Parse(std::vector<std::u16string> words, RunOptions* options) {
  words.insert(words.begin(), u"keyscout");
  return ParseCommandLine(words, options);
}

TEST(ParseCommandLineTest, EveryOptionWithItsArgument) {
  RunOptions o;
  EXPECT_EQ(Parse({u"-f", u"h", u"-k", u"A\\B", u"-v", u"V", u"-l", u"-e", u"-s", u"-w", u"out"}, &o),
            ParseVerdict::kRun);
  EXPECT_EQ(o.flags, OPT_FILE | OPT_KEY | OPT_VALUE | OPT_LIST_SUBKEYS | OPT_LIST_VALUES | OPT_SECURITY | OPT_DUMP);
  EXPECT_EQ(o.hive_path, u"h");
  EXPECT_EQ(o.key_path, u"A\\B");
  EXPECT_EQ(o.value_name, u"V");
  EXPECT_EQ(o.output_file, u"out");
}

TEST(ParseCommandLineTest, NoWordsOrNoFileMeansNoHiveFile) {
  RunOptions o;
  EXPECT_EQ(ParseCommandLine({}, &o), ParseVerdict::kNoHiveFile);
  EXPECT_EQ(Parse({}, &o), ParseVerdict::kNoHiveFile);
  EXPECT_EQ(Parse({u"-l", u"-k", u"x"}, &o), ParseVerdict::kNoHiveFile);
  EXPECT_EQ(o.flags, OPT_LIST_SUBKEYS | OPT_KEY);
}

TEST(ParseCommandLineTest, OptionWordsAreExactAndCaseSensitive) {
  RunOptions o;
  EXPECT_EQ(Parse({u"-F", u"h", u"--f", u"h", u"-fh", u"-I", u"-E", u"-S", u"-H", u"f"}, &o),
            ParseVerdict::kNoHiveFile);
  EXPECT_EQ(o.flags, 0u);
}

TEST(ParseCommandLineTest, ArgumentIsTakenWhateverItLooksLike) {
  RunOptions o;
  EXPECT_EQ(Parse({u"-f", u"-h", u"-k", u"-l", u"-v", u"-f"}, &o), ParseVerdict::kRun);
  EXPECT_EQ(o.hive_path, u"-h");
  EXPECT_EQ(o.key_path, u"-l");
  EXPECT_EQ(o.value_name, u"-f");
  EXPECT_EQ(o.flags, OPT_FILE | OPT_KEY | OPT_VALUE);
}

TEST(ParseCommandLineTest, OptionNeedingAnArgumentAsLastWordIsSkipped) {
  RunOptions o;
  EXPECT_EQ(Parse({u"-f"}, &o), ParseVerdict::kNoHiveFile);
  EXPECT_EQ(o.flags, 0u);
  EXPECT_EQ(Parse({u"-f", u"h", u"-k"}, &o), ParseVerdict::kRun);
  EXPECT_EQ(o.flags, OPT_FILE);
  EXPECT_EQ(o.key_path, u"");
  EXPECT_EQ(Parse({u"-f", u"h", u"-w"}, &o), ParseVerdict::kRun);
  EXPECT_EQ(o.flags, OPT_FILE);
}

TEST(ParseCommandLineTest, LastRepeatWinsAndBitsAccumulate) {
  RunOptions o;
  EXPECT_EQ(Parse({u"-f", u"a", u"-k", u"x", u"-f", u"b", u"-k", u"", u"-l", u"-l"}, &o), ParseVerdict::kRun);
  EXPECT_EQ(o.hive_path, u"b");
  EXPECT_EQ(o.key_path, u"");
  EXPECT_EQ(o.flags, OPT_FILE | OPT_KEY | OPT_LIST_SUBKEYS);
}

TEST(ParseCommandLineTest, HelpEndsTheScanWhateverCameBefore) {
  RunOptions o;
  EXPECT_EQ(Parse({u"-f", u"h", u"-h", u"-k"}, &o), ParseVerdict::kUsageRequested);
  EXPECT_EQ(Parse({u"-h"}, &o), ParseVerdict::kUsageRequested);
  // After -h nothing is examined: the -l that follows sets no bit.
  EXPECT_EQ(Parse({u"-e", u"-h", u"-l"}, &o), ParseVerdict::kUsageRequested);
  EXPECT_EQ(o.flags, OPT_LIST_VALUES);
}

// -L gathers three paths at most; every word that does nothing is noted, in
// order, the program's own name apart.
TEST(ParseCommandLineTest, LogPathsGatherUpToThreeAndEveryIdleWordIsNoted) {
  RunOptions o;
  EXPECT_EQ(Parse({u"-f", u"a", u"-L", u"1", u"-V", u"-L", u"2", u"-f", u"b", u"-L", u"3", u"-L", u"4", u"-le",
                   u"-U", u"-v"},
                  &o),
            ParseVerdict::kRun);
  EXPECT_EQ(o.log_paths, (std::vector<std::u16string>{u"1", u"2", u"3"}));
  EXPECT_EQ(o.flags, OPT_FILE | OPT_LOG_FILE | OPT_UTF8);
  std::u16string notes;
  for (const CommandLineNote& note : o.notes) {
    notes += static_cast<char16_t>(u'0' + static_cast<int>(note.kind)) + note.word + u":" + note.argument + u" ";
  }
  EXPECT_EQ(notes, u"0-V: 2-f:a 3-L:4 0-le: 1-v: ");
}

TEST(ParseCommandLineTest, ProgramNameTakesPartInTheScan) {
  RunOptions o;
  // A program invoked under the name "-h" would ask for its usage text.
  EXPECT_EQ(ParseCommandLine({u"-h"}, &o), ParseVerdict::kUsageRequested);
}

}  // namespace
}  // namespace keyscout
