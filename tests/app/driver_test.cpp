#include "app/driver.h"

#include <gtest/gtest.h>

#include "app/messages.h"
#include "support/process.h"
#include "support/run_tool.h"
#include "support/sample_hive.h"
#include "support/string_sink.h"

namespace keyscout {
namespace {

using test::Banner;
using test::Bytes;
using test::Preamble;
using test::RunBinary;
using test::RunWith;

std::string Usage() {
  return "Usage : keyscout.exe -f hive_path [-options]\n"
         "Options:\n"
         "\t[-k key_path] Specifies key path (e.g.: -k \"ControlSet001\\Control\\Session Manager\")\n"
         "\t[-v value_name] Specifies value name (e.g.: -v BootExecute)\n"
         "\t[-l] List subkeys information\n"
         "\t[-e] List values information\n"
         "\t[-s] Show key security description information\n"
         "\t[-w output_file] Dump attribute to a file\n"
         "\t[-i] Show key information (last written time, class name, flags) and hive state\n"
         "\t[-d] Decode the value data by its type (with -v or -u)\n"
         "\t[-u] Show the unnamed (default) value of the key\n"
         "\t[-t] Apply the hive's transaction logs (.LOG1, .LOG2, .LOG) in memory before reading\n"
         "\n";
}

const Bytes& Sample() {
  static const Bytes hive = test::BuildSampleHive();
  return hive;
}

TEST(RunToolTest, UsageTextAndExitCodes) {
  EXPECT_EQ(RunWith(Sample(), {}).out, Banner() + Usage());
  EXPECT_EQ(RunWith(Sample(), {}).code, 1);
  EXPECT_EQ(RunWith(Sample(), {"-h"}).code, 0);
  EXPECT_EQ(RunWith(Sample(), {"-h"}).out, Banner() + Usage());
  EXPECT_EQ(RunWith(Sample(), {"-F", "x"}).code, 1);
  EXPECT_EQ(RunWith(Sample(), {"-f"}).out, Banner() + Usage());
}

TEST(RunToolTest, HelpAfterAFileDoesNotOpenIt) {
  test::MemoryHiveSource source(Sample());
  test::StringSink sink;
  int code;
  {
    Console out(sink);
    code = RunTool({u"keyscout", u"-f", u"x", u"-h"}, out, &source);
  }
  EXPECT_EQ(code, 0);
  EXPECT_EQ(source.opened_path, u"");
}

TEST(RunToolTest, LastFileWins) {
  test::MemoryHiveSource source(Sample());
  test::StringSink sink;
  {
    Console out(sink);
    EXPECT_EQ(RunTool({u"keyscout", u"-f", u"a", u"-f", u"b"}, out, &source), 0);
  }
  EXPECT_EQ(source.opened_path, u"b");
  EXPECT_TRUE(source.closed);
  EXPECT_EQ(sink.text, Preamble());
}

TEST(RunToolTest, OpenFailuresNameThePath) {
  struct Case {
    MapStatus status;
    std::string message;
  };
  for (const Case& c : {Case{MapStatus::kCannotOpen, "Cannot open target file. (h\xE9?)\n"},
                        Case{MapStatus::kCannotMapTarget, "Cannot map target file. (h\xE9?)\n"},
                        Case{MapStatus::kCannotMapMemory, "Cannot map file to memory. (h\xE9?)\n"}}) {
    test::MemoryHiveSource source(Sample(), c.status);
    test::StringSink sink;
    int code;
    {
      Console out(sink);
      code = RunTool({u"keyscout", u"-f", u"h\u00E9\u0100", u"-l"}, out, &source);
    }
    EXPECT_EQ(code, 1);
    EXPECT_EQ(sink.text, Banner() + c.message);
  }
}

TEST(RunToolTest, KeyPathLineShowsThePathAsTyped) {
  EXPECT_EQ(RunWith(Sample(), {"-f", "h", "-k"}).out, Preamble("ROOT"));
  EXPECT_EQ(RunWith(Sample(), {"-f", "h", "-k", ""}).out, Preamble(""));
  EXPECT_EQ(RunWith(Sample(), {"-f", "h", "-k", "\\\\"}).out, Preamble("\\\\"));
}

TEST(RunToolTest, DumpWithoutValueDoesNothing) {
  const std::string out_path = test::TempDir() + "/never-created";
  const test::RunResult r = RunWith(Sample(), {"-f", "h", "-w", out_path});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, Preamble());
  EXPECT_FALSE(test::FileExists(out_path));
}

TEST(RunToolTest, ReportsComeInFixedOrderWhateverTheOptionOrder) {
  const std::string out = RunWith(Sample(), {"-f", "h", "-e", "-l", "-s"}).out;
  const size_t security = out.find("Security descriptor information : \n");
  const size_t subkeys = out.find("Subkeys information:");
  ASSERT_NE(security, std::string::npos);
  ASSERT_NE(subkeys, std::string::npos);
  EXPECT_LT(security, subkeys);
  const size_t values = out.find("=====================\nKey values information:\n");
  ASSERT_NE(values, std::string::npos);
  EXPECT_LT(subkeys, values);
  EXPECT_EQ(out.substr(0, security), Preamble() + "=====================\n");
}

TEST(RunToolTest, MissingKeyEndsTheRunAfterTheBanner) {
  const test::RunResult r = RunWith(Sample(), {"-f", "h", "-k", "ControlSet001\\Nope\\Deeper", "-l"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, Banner() + "Cannot find the key. (ControlSet001\\Nope\\Deeper)\n");
}

TEST(RunToolTest, FilesThatAreNotHivesNeverLeaveTheirBytes) {
  // Every prefix of the sample hive up to past the root cell, through every
  // report, with and without a key path: no read may leave the bytes
  // (AddressSanitizer watches the exact-size copy).
  const Bytes& full = Sample();
  for (size_t length = 0; length < 0x1200 && length <= full.size(); length += (length < 0x1100 ? 1 : 7)) {
    const Bytes cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(length));
    const test::RunResult root = RunWith(cut, {"-f", "h", "-s", "-l", "-e", "-v", "x"});
    EXPECT_TRUE(root.code == 0 || root.code == 1) << length;
    const test::RunResult keyed = RunWith(cut, {"-f", "h", "-k", "", "-l"});
    if (length > 0 && length < 0x1024) {
      EXPECT_EQ(keyed.out, Banner() + "Cannot find the key. ()\n") << length;
    }
    // Without "hbin" at 0x1000 the file is no hive, and has no root key
    // either: not an empty key with counts of 0.
    if (length > 0 && length < 0x1004) {
      EXPECT_EQ(root.out, Banner() + "Cannot find the key. (ROOT)\n") << length;
      EXPECT_EQ(root.code, 1);
    }
  }
  Bytes compressed = {0xFD, '7', 'z', 'X', 'Z', 0};
  const Bytes filler = test::Pattern(0x3000);
  compressed.insert(compressed.end(), filler.begin(), filler.end());
  const test::RunResult not_hive = RunWith(compressed, {"-f", "h", "-l", "-e"});
  EXPECT_EQ(not_hive.out, Banner() + "Cannot find the key. (ROOT)\n");
  EXPECT_EQ(not_hive.code, 1);
}

// What only a real process shows: the exit status and the messages as the
// platform writes them. The platforms' own cases (command-line encoding, a
// file held by someone else) are in driver_posix_test.cpp and
// driver_win32_test.cpp.
TEST(BinaryTest, FailuresAndExitCodes) {
  int status = 0;
  EXPECT_EQ(RunBinary({}, &status), Banner() + Usage());
  EXPECT_EQ(status, 1);
  RunBinary({"-h"}, &status);
  EXPECT_EQ(status, 0);
  const std::string missing = test::TempDir() + "/missing";
  EXPECT_EQ(RunBinary({"-f", missing}, &status), Banner() + "Cannot open target file. (" + missing + ")\n");
  EXPECT_EQ(status, 1);
  const std::string empty = test::WriteTempFile({}, "empty");
  EXPECT_EQ(RunBinary({"-f", empty}, &status), Banner() + "Cannot map target file. (" + empty + ")\n");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(RunBinary({"-f", test::TempDir()}, &status),
            Banner() + "Cannot open target file. (" + test::TempDir() + ")\n");
  EXPECT_EQ(status, 1);
}

}  // namespace
}  // namespace keyscout
