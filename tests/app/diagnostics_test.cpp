// Each family of lines standard error gets, through the driver: the line
// itself, with standard output and the exit status as they are without it.
#include <gtest/gtest.h>

#include "hive/log_layout.h"
#include "support/log_builder.h"
#include "support/run_tool.h"
#include "support/sample_hive.h"
#include "text/utf8.h"

namespace keyscout {
namespace {

using test::Banner;
using test::Bytes;
using test::Preamble;
using test::RunWith;

const Bytes& Sample() {
  static const Bytes hive = test::BuildSampleHive();
  return hive;
}

const std::string SEPARATOR = "=====================\n";
const std::string NO_SUBKEYS = "Subkeys information:\nHCELL_INDEX\tKey name\n----------------\nSubkey count : 0\n";

TEST(DiagnosticsTest, WordsThatDoNothingAreNamedAndTheRunIsAsWithoutThem) {
  const test::RunResult r =
      RunWith(Sample(), {"-f", "h", "-V", "Current", "-le", "--values", "-k", "x", "-k", "", "-d", "-w", "o.bin", "-v"});
  EXPECT_EQ(r.out, Preamble(""));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err,
            "keyscout: \"-V\" is not an option and was skipped (option letters are case-sensitive: -v is one)\n"
            "keyscout: \"Current\" is not an option and was skipped\n"
            "keyscout: \"-le\" is not an option and was skipped (options are not joined: give them apart, as -l -e)\n"
            "keyscout: \"--values\" is not an option and was skipped\n"
            "keyscout: -k was given again: the last one counts, and \"x\" is not used\n"
            "keyscout: -v takes an argument but is the last word, and was skipped\n"
            "keyscout: -d decodes the value that -v or -u shows, and neither was given: nothing was decoded\n"
            "keyscout: -w writes the data of the value that -v or -u shows, and neither was given: o.bin was not "
            "created\n");
  // The usage text is all a run without -f prints; its words are named too.
  const test::RunResult usage = RunWith(Sample(), {"-F", "h"});
  EXPECT_EQ(usage.code, 1);
  EXPECT_EQ(usage.err,
            "keyscout: \"-F\" is not an option and was skipped (option letters are case-sensitive: -f is one)\n"
            "keyscout: \"h\" is not an option and was skipped\n");
}

// A file that is not a hive still ends with "Cannot find the key."; standard
// error says what it lacks and what it looks like instead.
TEST(DiagnosticsTest, AFileThatIsNotAHiveSaysWhatItIs) {
  Bytes xz = {0xFD, '7', 'z', 'X', 'Z', 0};
  xz.resize(0x3000, 0x5A);
  for (const std::string key : {"", "SAM"}) {
    const test::RunResult r = RunWith(xz, key.empty() ? std::vector<std::string>{"-f", "h", "-l"}
                                                      : std::vector<std::string>{"-f", "h", "-k", key});
    EXPECT_EQ(r.out, Banner() + "Cannot find the key. (" + (key.empty() ? "ROOT" : key) + ")\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "keyscout: h is not a registry hive: it has no \"regf\" at offset 0 and no \"hbin\" at offset "
                     "4096; its first bytes are those of an xz-compressed file\n");
  }
  const test::LoggedHive h = test::BuildLoggedHive();
  EXPECT_EQ(RunWith(h.log, {"-f", "h"}).err,
            "keyscout: h is not a registry hive: it is a transaction log (new format): give the hive with -f and this "
            "file with -L\n");
  EXPECT_EQ(RunWith(Bytes(Sample().begin(), Sample().begin() + 0x800), {"-f", "h"}).err,
            "keyscout: h is not a registry hive: it has no \"hbin\" at offset 4096 (the file has 2048 bytes)\n");
}

// A hive cut after its first hbin: the key's subkey list lies past the end.
// The listing prints what it printed before, -i adds "(truncated)", and
// standard error says both.
TEST(DiagnosticsTest, ACutHiveAndAListingThatFallsShortAreSaid) {
  test::HiveBuilder b(0x1000);
  std::vector<uint32_t> children;
  for (const char16_t* name : {u"A", u"B", u"C"}) children.push_back(b.Key({.name = name}));
  const uint32_t root = b.Key({.name = u"ROOT", .stable_count = 3});
  b.AddHbin(0x1000);
  b.PatchCellU32(root, NK_STABLE_LIST, b.LeafList("lh", children));
  b.SetRoot(root);
  Bytes cut = b.Finish();
  cut.resize(0x2000);
  const test::RunResult r = RunWith(cut, {"-f", "h", "-l"});
  EXPECT_EQ(r.out, Preamble() + SEPARATOR + NO_SUBKEYS);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err,
            "keyscout: the file is shorter than its base block declares (8192 of 12288 bytes): keys and values past "
            "its end cannot be read\n"
            "keyscout: listed 0 of the 3 subkeys the key records: the rest of its subkey list is damaged\n");
  EXPECT_NE(RunWith(cut, {"-f", "h", "-i"}).out.find("Hive sequence   : 1 / 1 (clean) (truncated)\n"),
            std::string::npos);
}

TEST(DiagnosticsTest, AKeyPathNotFoundNamesTheDeepestPartFoundAndTheFirstNameNot) {
  for (const auto& [path, err] : {std::pair<std::string, std::string>{"ControlSet001\\\\Nope\\Deeper",
                                                                       "the key \"ControlSet001\" has no subkey \"Nope\""},
                                  {"Nope", "the root key has no subkey \"Nope\""}}) {
    const test::RunResult r = RunWith(Sample(), {"-f", "h", "-k", path, "-l"});
    EXPECT_EQ(r.out, Banner() + "Cannot find the key. (" + path + ")\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "keyscout: " + err + "\n");
  }
}

// CurrentControlSet is the control set Select\Current names (1 in the
// sample); a hive without Select has none.
TEST(DiagnosticsTest, CurrentControlSetIsTheSetThatSelectNames) {
  const std::string path = "currentCONTROLset\\Control\\Session Manager";
  const std::string by_number = "ControlSet001\\Control\\Session Manager";
  const test::RunResult r = RunWith(Sample(), {"-f", "h", "-k", path, "-v", "BootExecute"});
  const std::string expected = RunWith(Sample(), {"-f", "h", "-k", by_number, "-v", "BootExecute"}).out;
  EXPECT_EQ(r.out, Preamble(path) + expected.substr(Preamble(by_number).size()));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "keyscout: CurrentControlSet was read as ControlSet001, the control set that Select\\Current names\n");
  const test::RunResult none = RunWith(test::BuildLoggedHive().fresh, {"-f", "h", "-k", "CurrentControlSet\\x"});
  EXPECT_EQ(none.out, Banner() + "Cannot find the key. (CurrentControlSet\\x)\n");
  EXPECT_EQ(none.code, 1);
  EXPECT_EQ(none.err,
            "keyscout: the root key has no subkey \"CurrentControlSet\", and no Select key with a REG_DWORD value "
            "Current to say which control set is current\n");
}

// Key names holding CR LF, ESC and the 8-bit CSI: one row each, and no byte
// below 0x20 but the tabs and line ends of the listing itself.
TEST(DiagnosticsTest, NamesFromTheHiveCannotWriteControlCharacters) {
  const Bytes hive = test::BuildHive(
      {.name = u"ROOT", .children = {{.name = u"a\r\nb"}, {.name = u"\x1B[2J"}, {.name = u"c\x9B" u"31m"}}});
  const test::RunResult r = RunWith(hive, {"-f", "h", "-l"});
  EXPECT_EQ(r.code, 0);
  size_t rows = 0;
  for (const char c : r.out.substr(r.out.find("Key name\n"))) {
    if (c == '\n') ++rows;
    EXPECT_TRUE(static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') << +c;
  }
  EXPECT_EQ(rows, 1u + 3u + 2u);  // header, one row per subkey, footer
  for (const char* row : {"\ta\\x0D\\x0Ab\n", "\t\\x1B[2J\n", "\tc\\x9B31m\n"}) {
    EXPECT_NE(r.out.find(row), std::string::npos) << row;
  }
}

// -U prints a name above U+FFFF and a lone surrogate (as U+FFFD) in UTF-8;
// each, copied from the listing, finds its key again.
TEST(DiagnosticsTest, Utf8NamesCopiedFromAListingFindTheirKeys) {
  const std::u16string emoji = u"k\U0001F600";
  const std::u16string lone = std::u16string(u"s") + char16_t{0xD800} + u"t";
  const Bytes hive = test::BuildHive({.name = u"ROOT", .children = {{.name = emoji}, {.name = lone}}});
  const test::RunResult listing = RunWith(hive, {"-f", "h", "-l", "-U"});
  for (const std::string& row : {std::string("\tk\xF0\x9F\x98\x80\n"), std::string("\ts\xEF\xBF\xBDt\n")}) {
    const size_t at = listing.out.find(row);
    ASSERT_NE(at, std::string::npos) << row;
    const std::string name = row.substr(1, row.size() - 2);
    const test::RunResult found = RunWith(hive, {"-f", "h", "-k", name, "-U"});
    EXPECT_EQ(found.out, Preamble(name));
    EXPECT_EQ(found.code, 0);
  }
  EXPECT_EQ(RunWith(hive, {"-f", "h", "-k", "k\xF0\x9F\x98\x80"}).out, Preamble("k??"));
}

// -t: why each log was not applied, while the one that follows the hive is.
TEST(DiagnosticsTest, EachLogNotAppliedSaysWhy) {
  const test::LoggedHive h = test::BuildLoggedHive();  // the hive at sequence 1, the log's one entry 1
  const test::LogEntry entry{.pages = {{0, Bytes(h.fresh.begin() + 0x1000, h.fresh.begin() + 0x2000)}}};
  Bytes checksum = h.log;
  checksum[0x40] ^= 1;
  Bytes hash = h.log;
  hash[HVLE_FIRST_ENTRY + 0x400] ^= 1;
  const test::RunResult r = RunWith(h.hive, {"-f", "h", "-t"},
                                    {{u"good", h.log}, {u"empty", {}}, {u"checksum", checksum},
                                     {u"older", test::NewLog(h.fresh, 0, {entry})}, {u"hash", hash},
                                     {u"gap", test::NewLog(h.fresh, 5, {entry})}});
  EXPECT_EQ(r.out, Banner() + "Transaction logs : applied good (1 entry), sequence 1 to 1\nKEY PATH : ROOT\n");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err,
            "keyscout: transaction log empty was not applied: the file is empty\n"
            "keyscout: transaction log checksum was not applied: its base block's checksum is wrong\n"
            "keyscout: transaction log older was not applied: it is older than the hive\n"
            "keyscout: transaction log hash was not applied: its entry 1 does not match its hashes\n"
            "keyscout: transaction log gap was not applied: it starts at sequence 5, but 2 was due next: the "
            "entries in between are missing\n");
  // A clean hive considers no log: nothing to say of them.
  EXPECT_EQ(RunWith(h.fresh, {"-f", "h", "-t"}, {{u"empty", {}}}).err, "");
}

// A dirty hive read as stored says so, and where its logs are: beside it,
// under another name (a hive renamed after it was collected), or nowhere.
TEST(DiagnosticsTest, ADirtyHiveReadAsStoredSaysWhereItsLogsAre) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const std::string dirty = "keyscout: the hive is dirty (sequence numbers 2 and 1): its newest changes may be only "
                            "in its transaction logs; ";
  test::MemoryRunner beside(h.hive, {{u"h.LOG1", h.log}, {u"h.LOG2", {}}});
  const test::RunResult r = beside.Run({"-f", "h", "-k", "Old"});
  EXPECT_EQ(r.out, Preamble("Old"));
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, dirty + "-t applies its logs beside it (h.LOG1 and h.LOG2)\n");
  EXPECT_EQ(beside.source().logs_opened, 0) << "named, not opened";
  test::MemoryRunner renamed(h.hive);
  renamed.source().other_log_names = {u"NTUSER.DAT.LOG1"};
  EXPECT_EQ(renamed.Run(std::vector<std::string>{"-f", "h"}).err,
            dirty + "no log of its name lies beside it, but the folder holds NTUSER.DAT.LOG1: -L applies logs kept "
                    "under another name\n");
  // A folder of many ".log" files: a few names, and how many more.
  // Their names are escaped: a file in the evidence folder can be named to
  // send the terminal a command.
  renamed.source().other_log_names = {u"a\x1b[31m.log", u"b.log", u"c.log", u"d.log", u"e.log"};
  EXPECT_EQ(renamed.Run(std::vector<std::string>{"-f", "h"}).err,
            dirty + "no log of its name lies beside it, but the folder holds a\\x1B[31m.log, b.log, c.log and 2 more: "
                    "-L applies logs kept under another name\n");
  EXPECT_EQ(RunWith(h.hive, {"-f", "h", "-t"}).err,
            dirty + "no log of its name (.LOG1, .LOG2 or .LOG) lies beside it, and -L applies logs kept elsewhere\n");
}

// -L on disk: logs kept under the hive's former name apply; a log named that
// is not there, or is the hive itself, is not applied, and says why.
TEST(DiagnosticsTest, LogsNamedByTheirPathsApplyWhateverTheirNames) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const std::string folder = test::WriteTempFolder("renamed", {{"jdoe_NTUSER.DAT", h.hive}, {"NTUSER.DAT.LOG1", h.log}});
  const std::u16string hive = DecodeCommandWord(folder + "/jdoe_NTUSER.DAT");
  const std::u16string log = DecodeCommandWord(folder + "/NTUSER.DAT.LOG1");
  const test::RunResult r = test::RunOnDisk({u"keyscout", u"-f", hive, u"-L", log, u"-k", u"New"});
  EXPECT_EQ(r.out, Banner() + "Transaction logs : applied " + EncodeFileName(log) +
                       " (1 entry), sequence 1 to 1\nKEY PATH : New\n");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err, "");
  const test::RunResult refused =
      test::RunOnDisk({u"keyscout", u"-f", hive, u"-L", hive, u"-L", hive + u".LOG1", u"-k", u"New"});
  EXPECT_EQ(refused.out, Banner() +
                             "Transaction logs : hive is dirty but no usable log was found, read as stored\n"
                             "Cannot find the key. (New)\n");
  EXPECT_EQ(refused.code, 1);
  EXPECT_EQ(refused.err, "keyscout: transaction log " + EncodeFileName(hive) +
                             " was not applied: it is the hive itself\n"
                             "keyscout: transaction log " + EncodeFileName(hive) +
                             ".LOG1 was not applied: there is no such file\n"
                             "keyscout: the root key has no subkey \"New\"\n");
}

}  // namespace
}  // namespace keyscout
