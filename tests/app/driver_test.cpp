#include "app/driver.h"

#include <gtest/gtest.h>

#include "app/messages.h"
#include "hive/log_layout.h"
#include "support/log_builder.h"
#include "support/process.h"
#include "support/run_tool.h"
#include "support/sample_hive.h"
#include "text/utf8.h"

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
         "\t[-x format] Export the key and every key below it, with their values, as jsonl, csv or body records\n"
         "\t[-U] Print names and texts as UTF-8 (default: ISO 8859-1, \"?\" for other characters)\n"
         "\t[-L log_path] Apply this transaction log instead of those beside the hive (up to three; implies -t)\n"
         "\t[-r] With -x, also export the deleted keys and values found in the hive's free space\n"
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
  EXPECT_EQ(test::RunCapturing({u"keyscout", u"-f", u"x", u"-h"}, &source).code, 0);
  EXPECT_EQ(source.opened_path, u"");
}

TEST(RunToolTest, LastFileWins) {
  test::MemoryHiveSource source(Sample());
  const test::RunResult r = test::RunCapturing({u"keyscout", u"-f", u"a", u"-f", u"b"}, &source);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(source.opened_path, u"b");
  EXPECT_TRUE(source.closed);
  EXPECT_EQ(r.out, Preamble());
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
    const test::RunResult r = test::RunCapturing({u"keyscout", u"-f", u"h\u00E9\u0100", u"-l"}, &source);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, Banner() + c.message);
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
    // No prefix holds a value named "x": every run ends in 1, at the latest
    // with "Cannot find the value."
    const test::RunResult root = RunWith(cut, {"-f", "h", "-s", "-l", "-e", "-v", "x"});
    EXPECT_EQ(root.code, 1) << length;
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

// -x: records alone on standard output, everything else on standard error.

TEST(RunToolExportTest, RecordsAloneOnStandardOutputAndEveryRefusalOneLineOnStandardError) {
  const test::RunResult r = RunWith(Sample(), {"-f", "s", "-x", "csv", "-k", "ControlSet001"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out.starts_with("hive,path,state,last_written,value_name,value_type,value_size,value_data\r\n"
                                "\"s\",\"ControlSet001\",allocated,"))
      << r.out;
  const std::vector<std::vector<std::string>> refused = {
      {"-l"}, {"-e"}, {"-s"}, {"-i"}, {"-v", "BootExecute"}, {"-u"}, {"-d"}, {"-w", test::TempDir() + "/never"}};
  for (const std::vector<std::string>& option : refused) {
    std::vector<std::string> args{"-f", "s", "-x", "jsonl"};
    args.insert(args.end(), option.begin(), option.end());
    const test::RunResult no = RunWith(Sample(), args);
    EXPECT_EQ(no.code, 1);
    EXPECT_EQ(no.out, "");
    EXPECT_EQ(no.err, "keyscout: -x writes records alone and cannot be combined with " + option[0] + "\n");
  }
  EXPECT_FALSE(test::FileExists(test::TempDir() + "/never"));
  const test::RunResult unknown = RunWith(Sample(), {"-f", "s", "-x", "JSON"});
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err, "keyscout: unknown export format \"JSON\": -x takes jsonl, csv or body\n");
  EXPECT_EQ(unknown.code, 1);
  // The usage text is the usage text's, -x or not.
  EXPECT_EQ(RunWith(Sample(), {"-x", "csv"}).out, Banner() + Usage());
}

TEST(RunToolExportTest, MessagesOfAFailedRunGoToStandardError) {
  test::MemoryHiveSource missing(Sample(), MapStatus::kCannotOpen);
  const test::RunResult r = test::RunCapturing({u"keyscout", u"-f", u"gone", u"-x", u"body"}, &missing);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "keyscout: Cannot open target file. (gone)\n");
  EXPECT_EQ(r.code, 1);
  const test::RunResult key = RunWith(Sample(), {"-f", "s", "-x", "body", "-k", "None"});
  EXPECT_EQ(key.out, "");
  EXPECT_EQ(key.err, "keyscout: Cannot find the key. (None)\nkeyscout: the root key has no subkey \"None\"\n");
  EXPECT_EQ(key.code, 1);
}

// -t: the hive as its transaction logs leave it.

const std::string STATUS_ONE_ENTRY = "Transaction logs : applied h.LOG1 (1 entry), sequence 1 to 1\n";
const std::string STATUS_CLEAN = "Transaction logs : hive is clean, no log applied\n";
const std::string STATUS_NO_USABLE_LOG =
    "Transaction logs : hive is dirty but no usable log was found, read as stored\n";

// What a run printed, with `status` put in right after the banner.
std::string WithStatus(const std::string& out, const std::string& status) {
  EXPECT_TRUE(out.starts_with(Banner()));
  return Banner() + status + out.substr(Banner().size());
}

std::vector<std::string> Args(std::vector<std::string> args, bool with_logs) {
  args.insert(args.begin(), {"-f", "h"});
  if (with_logs) args.push_back("-t");
  return args;
}

TEST(RunToolLogsTest, EveryReportReadsTheHiveAsItsLogLeavesIt) {
  const std::string dump = test::TempDir() + "/logged-dump";
  for (const bool grown : {false, true}) {
    const test::LoggedHive h = test::BuildLoggedHive(grown);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"-l", "-e"}, {"-k", "New", "-l", "-e"},
                                                 {"-k", "old", "-e", "-v", "V", "-w", dump}}) {
      const test::RunResult expected = RunWith(h.fresh, Args(args, false));
      const test::RunResult r = RunWith(h.hive, Args(args, true), {{u"h.LOG1", h.log}});
      EXPECT_EQ(r.out, WithStatus(expected.out, STATUS_ONE_ENTRY)) << grown;
      EXPECT_EQ(r.code, 0);
    }
    EXPECT_EQ(test::ReadFile(dump), (Bytes{2, 0, 0, 0}));
  }
}

TEST(RunToolLogsTest, WithoutTheOptionTheLogsAreNotEvenLookedFor) {
  const test::LoggedHive h = test::BuildLoggedHive();
  test::MemoryRunner runner(h.hive, {{u"h.LOG1", h.log}});
  const test::RunResult r = runner.Run({"-f", "h", "-k", "New"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, Banner() + "Cannot find the key. (New)\n");
  EXPECT_EQ(runner.source().logs_opened, 0);
}

TEST(RunToolLogsTest, TheStatusSaysWhenNothingAppliesAndTheReportsThenReadTheHiveAsStored) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const std::vector<std::string> root{"-l", "-e"};
  EXPECT_EQ(RunWith(h.fresh, Args(root, true), {{u"h.LOG1", h.log}}).out,
            WithStatus(RunWith(h.fresh, Args(root, false)).out, STATUS_CLEAN));
  Bytes damaged = h.log;
  damaged[0x40] ^= 1;  // the log's base block checksum no longer holds
  for (const test::LogBytes& logs : {test::LogBytes{{u"h.LOG1", damaged}}, test::LogBytes{{u"h.LOG1", {}}}}) {
    EXPECT_EQ(RunWith(h.hive, Args(root, true), logs).out,
              WithStatus(RunWith(h.hive, Args(root, false)).out, STATUS_NO_USABLE_LOG));
  }
  // The run goes on after the status line; the exit code is the reports'.
  const test::RunResult missing = RunWith(h.hive, Args({"-k", "Missing"}, true), {{u"h.LOG1", h.log}});
  EXPECT_EQ(missing.out, Banner() + STATUS_ONE_ENTRY + "Cannot find the key. (Missing)\n");
  EXPECT_EQ(missing.code, 1);
}

TEST(RunToolLogsTest, AnExportIsOfTheRecoveredHiveWithTheStatusLineOnStandardError) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const test::RunResult r = RunWith(h.hive, Args({"-x", "jsonl"}, true), {{u"h.LOG1", h.log}});
  EXPECT_EQ(r.out, RunWith(h.fresh, Args({"-x", "jsonl"}, false)).out);
  EXPECT_NE(r.out.find("\"path\":\"New\""), std::string::npos);
  EXPECT_EQ(r.err, "keyscout: " + STATUS_ONE_ENTRY);
  EXPECT_EQ(r.code, 0);
}

TEST(RunToolLogsTest, APrivateViewThatCannotBeMadeEndsTheRunInsteadOfReadingStaleData) {
  const test::LoggedHive h = test::BuildLoggedHive();
  test::MemoryRunner runner(h.hive, {{u"h.LOG1", h.log}});
  runner.source().refuse_private_view = true;
  const test::RunResult r = runner.Run({"-f", "h", "-t", "-l"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, Banner() + "Cannot map file to memory. (h)\n");
}

// Entries that do not follow the hive's own sequence number still apply, but
// the entries in between are missing: the status line and standard error say
// so.
TEST(RunToolLogsTest, AGapBeforeTheEntriesAppliedIsSaidOnTheStatusLineAndOnStandardError) {
  const test::LoggedHive h = test::BuildLoggedHive();  // the hive at sequence 1
  const Bytes& f = h.fresh;
  const test::LogEntry whole{.pages = {{0, Bytes(f.begin() + 0x1000, f.begin() + 0x2000)},
                                       {0x1000, Bytes(f.begin() + 0x2000, f.begin() + 0x3000)}}};
  const test::RunResult r = RunWith(h.hive, Args({"-k", "New"}, true), {{u"h.LOG2", test::NewLog(f, 2, {whole})}});
  EXPECT_EQ(r.out, Banner() + "Transaction logs : applied h.LOG2 (1 entry), sequence 2 to 2, after a gap from 1\n" +
                       "KEY PATH : New\n");
  EXPECT_EQ(r.err,
            "keyscout: the transaction logs hold no entry from the hive's sequence 1 up to sequence 2, where the "
            "entries applied start: the recovered hive may be incomplete\n");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(RunWith(h.hive, Args({"-k", "New"}, true), {{u"h.LOG1", h.log}}).err, "");
}

// The walks' budget counts the bytes that hold data: a log that declares a
// far larger hive than it writes (zero-filled space) gives a walk round lists
// that name the same list over and over no more steps than the hive it
// writes would.
TEST(RunToolLogsTest, TheWalkBudgetFollowsTheBytesWrittenNotTheSizeALogDeclares) {
  test::HiveBuilder b(0x1000);
  const uint32_t child = b.Key({.name = u"A"});
  b.AddHbin(0x2000);
  const uint32_t leaf = b.LeafList("lh", std::vector<uint32_t>(100, child));
  b.SetRoot(b.Key({.name = u"ROOT", .stable_count = 1, .stable_list = b.IndexRoot(std::vector<uint32_t>(100, leaf))}));
  test::HiveBuilder stale(0x1000);
  stale.SetRoot(stale.Key({.name = u"ROOT"}));
  test::DirtyHive h = test::MakeDirty(stale.Finish(), b.Finish());
  // The entry declares 1 MiB, which the log's unread zeros allow.
  constexpr uint32_t DECLARED = 0x100000;
  test::PutU32(h.log, HVLE_FIRST_ENTRY + HVLE_HIVE_BINS_SIZE, DECLARED);
  test::RehashEntry(h.log, HVLE_FIRST_ENTRY);
  h.log.resize(DECLARED);
  const test::RunResult r = RunWith(h.hive, Args({"-l"}, true), {{u"h.LOG1", h.log}});
  ASSERT_TRUE(r.out.starts_with(Banner() + STATUS_ONE_ENTRY)) << r.out;
  size_t rows = 0;
  for (size_t at = 0; (at = r.out.find("\tA\n", at)) != std::string::npos; ++at) ++rows;
  // The stored hive and the three pages written hold data; 100 x 100 rows
  // would fit the size declared.
  EXPECT_GT(rows, 1000u);
  EXPECT_LE(rows * INDEX_ENTRY_SIZE, h.hive.size() + 3 * PAGE_SIZE);
}

// The logs on disk: the hive's name plus .LOG1, .LOG2 or .LOG in any letter
// case, named in the status line as the folder spells them. The decoys hold
// a log that would join the two real ones were it taken.
TEST(RunToolLogsTest, LogsAreFoundBesideTheHiveInAnyLetterCase) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const test::LogEntry again{.pages = {{0, Bytes(h.fresh.begin() + 0x1000, h.fresh.begin() + 0x2000)}}};
  const Bytes decoy = test::NewLog(h.fresh, 3, {again});
  const std::string folder = test::WriteTempFolder(
      "found", {{"Hive", h.hive}, {"hive.log1", h.log}, {"HIVE.LOG2", test::NewLog(h.fresh, 2, {again})},
                {"Hive.LOG", {}}, {"Hive.LOG3", decoy}, {"Hive.LOG1.bak", decoy}, {"xHive.LOG1", decoy}});
  const test::RunResult r = test::RunOnDisk({u"keyscout", u"-f", DecodeCommandWord(folder + "/Hive"), u"-t", u"-k", u"New"});
  EXPECT_EQ(r.out, Banner() + "Transaction logs : applied hive.log1 (1 entry) and HIVE.LOG2 (1 entry), sequence 1 to 2\n" +
                       "KEY PATH : New\n");
  EXPECT_EQ(r.code, 0);
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
  // Standard error gives each cause, in the same words on every system.
  const std::string missing = test::TempDir() + "/missing";
  const std::string empty = test::WriteTempFile({}, "empty");
  for (const auto& [path, out, err] :
       {std::tuple{missing, "Cannot open target file. (", "keyscout: cannot open " + missing + ": there is no such file"},
        std::tuple{empty, "Cannot map target file. (", "keyscout: cannot map " + empty + ": the file is empty"},
        std::tuple{test::TempDir(), "Cannot open target file. (",
                   "keyscout: cannot open " + test::TempDir() + ": it is a folder"}}) {
    const test::ProcessResult r = test::RunBinaryProcess({"-f", path});
    EXPECT_EQ(test::WithoutCarriageReturns(r.out), Banner() + out + path + ")\n");
    EXPECT_EQ(test::WithoutCarriageReturns(r.err), err + "\n");
    EXPECT_EQ(r.status, 1);
  }
}

}  // namespace
}  // namespace keyscout
