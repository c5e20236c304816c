// The Windows side of the real binary: UTF-16 command lines, the C runtime's
// line ends, and files that another process holds open.
#include <gtest/gtest.h>

#include "text/utf8.h"
#include "platform/windows_api.h"
// Before the security layer: its constants give way to the Windows headers'
// macros of the same names.
#include "security/security_api.h"
#include "support/log_builder.h"
#include "support/process.h"
#include "support/run_tool.h"
#include "support/sample_hive.h"

namespace keyscout {
namespace {

static_assert(ERROR_INSUFFICIENT_BUFFER == 122 && E_INVALIDARG == static_cast<HRESULT>(0x80070057u) &&
              ACCESS_DENIED_ACE_TYPE == 1);

using test::Banner;
using test::Preamble;
using test::RunBinary;

const test::Bytes& Sample() {
  static const test::Bytes hive = test::BuildSampleHive();
  return hive;
}

// Holds `path` open the way another program would, for as long as it lives.
class HeldFile {
 public:
  HeldFile(const std::string& path, DWORD access, DWORD share) {
    const std::wstring name = ConvertToWindowsText(DecodeCommandWord(path));
    handle_ = ::CreateFileW(name.c_str(), access, share, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  ~HeldFile() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST(WindowsBinaryTest, EveryLineEndsInCrLf) {
  int status = 0;
  const std::string raw = test::RunBinaryRaw({"-h"}, &status);
  EXPECT_EQ(status, 0);
  std::string expected;
  for (const char c : Banner()) expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(raw.substr(0, expected.size()), expected);
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\n') {
      EXPECT_TRUE(i > 0 && raw[i - 1] == '\r') << "bare line feed at " << i;
    }
  }
}

// An export's line ends are its format's: LF after a JSON line, CR LF after
// a CSV row, whatever the system's text mode would make of them.
TEST(WindowsBinaryTest, AnExportKeepsItsFormatsLineEnds) {
  const std::string path = test::WriteTempFile(Sample(), "export-hive");
  int status = 0;
  const std::string jsonl = test::RunBinaryRaw({"-f", path, "-x", "jsonl"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(jsonl.find('\r'), std::string::npos);
  EXPECT_NE(jsonl.find("}\n{"), std::string::npos);
  const std::string csv = test::RunBinaryRaw({"-f", path, "-x", "csv"}, &status);
  EXPECT_TRUE(csv.starts_with("hive,path,state,last_written,value_name,value_type,value_size,value_data\r\n\""));
  EXPECT_EQ(csv.find("\r\r"), std::string::npos);
}

TEST(WindowsBinaryTest, WordsArriveAsUtf16AndAreTakenAsTheyAre) {
  // U+4E2D has no byte of its own: the file opens by its real name, and the
  // name prints with "?" in its place.
  const std::string path = test::WriteTempFile(Sample(), "hive-\xE4\xB8\xAD");
  int status = 0;
  EXPECT_EQ(RunBinary({"-f", path, "-k", "Names\\Caf\xC3\xA9"}, &status), Preamble("Names\\Caf\xE9"));
  EXPECT_EQ(status, 0);
  const std::string missing = test::TempDir() + "/missing-\xE4\xB8\xAD";
  EXPECT_EQ(RunBinary({"-f", missing}, &status),
            Banner() + "Cannot open target file. (" + test::TempDir() + "/missing-?)\n");
  EXPECT_EQ(status, 1);
  // No wildcard expansion: "*" is a file name like any other.
  EXPECT_EQ(RunBinary({"-f", "*"}, &status), Banner() + "Cannot open target file. (*)\n");
  // Quotes and spaces inside a word stay inside it.
  EXPECT_EQ(RunBinary({"-f", path, "-k", "a \"b\" c\\"}, &status), Banner() + "Cannot find the key. (a \"b\" c\\)\n");
}

TEST(WindowsBinaryTest, AHiveAnotherProcessHoldsOpenCannotBeOpened) {
  const std::string path = test::WriteTempFile(Sample());
  int status = 0;
  {
    // Even a reader that shares reading keeps us out: we ask for no sharing.
    HeldFile reader(path, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_TRUE(reader.held());
    EXPECT_EQ(RunBinary({"-f", path}, &status), Banner() + "Cannot open target file. (" + path + ")\n");
    EXPECT_EQ(status, 1);
  }
  EXPECT_EQ(RunBinary({"-f", path}, &status), Preamble());
  EXPECT_EQ(status, 0);
}

TEST(WindowsBinaryTest, ADumpFileAnotherProcessHoldsOpenCannotBeCreated) {
  const std::string hive = test::WriteTempFile(Sample());
  const std::string dump = test::TempDir() + "/held-dump.bin";
  const std::string key = "ControlSet001\\Control\\Session Manager";
  HeldFile other(dump, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(other.held());
  test::ExpectDumpRefused({"-f", hive, "-k", key, "-v", "BootExecute", "-w", dump}, "BootExecute", dump,
                          "another program holds it locked");
}

// The hive is evidence: -w may not write into it by any name. The hive is
// held without sharing, so each of these fails at the open already; the
// runner checks after every run that the hive kept its bytes.
TEST(WindowsBinaryTest, TheDumpFileCannotBeTheHiveByAnyName) {
  const std::string hive = test::WriteTempFile(Sample(), "evidence");
  std::vector<std::string> names{hive};
  const std::string hard = hive + "-hard-link";
  if (::CreateHardLinkW(ConvertToWindowsText(DecodeCommandWord(hard)).c_str(),
                        ConvertToWindowsText(DecodeCommandWord(hive)).c_str(), nullptr)) {
    names.push_back(hard);
  }
  // Windows names files without regard to letter case.
  std::string upper = hive;
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 0x20) : c;
  names.push_back(upper);
  // Wine answers success without making the link; only a link that is there
  // is tried.
  const std::string soft = hive + "-symbolic-link";
  const std::wstring soft_name = ConvertToWindowsText(DecodeCommandWord(soft));
  if (::CreateSymbolicLinkW(soft_name.c_str(), ConvertToWindowsText(DecodeCommandWord(hive)).c_str(), 0) &&
      ::GetFileAttributesW(soft_name.c_str()) != INVALID_FILE_ATTRIBUTES) {
    names.push_back(soft);
  }
  for (const std::string& name : names) {
    test::ExpectDumpRefused(
        {"-f", hive, "-k", "ControlSet001\\Control\\Session Manager", "-v", "BootExecute", "-w", name},
        "BootExecute", name, "it is the hive being read");
  }
  EXPECT_GE(names.size(), 3u) << "no hard link could be made";
}

// With -t the logs are held as the hive is, and -w may not write into one by
// any name, empty ones included.
TEST(WindowsBinaryTest, WithLogsTheDumpFileCannotBeALog) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const std::string folder =
      test::WriteTempFolder("evidence-logs", {{"hive", h.hive}, {"hive.LOG1", h.log}, {"HIVE.log2", {}}});
  const std::string log = folder + "/hive.LOG1";
  std::vector<std::string> names{log, folder + "/HIVE.LOG2"};
  const std::string hard = folder + "/hard-link";
  if (::CreateHardLinkW(ConvertToWindowsText(DecodeCommandWord(hard)).c_str(),
                        ConvertToWindowsText(DecodeCommandWord(log)).c_str(), nullptr)) {
    names.push_back(hard);
  }
  for (const std::string& name : names) {
    test::ExpectDumpRefused({"-f", folder + "/hive", "-t", "-k", "Old", "-v", "V", "-w", name}, "V", name,
                            "it is one of the hive's transaction logs");
  }
  EXPECT_EQ(names.size(), 3u) << "no hard link could be made";
}

// A log that another program holds open (sharing reads and writes) cannot be
// opened by keyscout, but is evidence all the same: standard output appended
// to it is not written, with -t and without.
TEST(WindowsBinaryTest, ALogAnotherProcessHoldsOpenIsNotStandardOutput) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const std::string folder = test::WriteTempFolder("held-log", {{"hive", h.hive}, {"hive.LOG1", h.log}});
  const std::string log = folder + "/hive.LOG1";
  HeldFile other(log, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(other.held());
  for (const char* logs : {"-t", "-l"}) {
    const test::ProcessResult onto_log =
        test::RunBinaryProcess({"-f", folder + "/hive", logs, "-k", "Old", "-e"}, test::StdoutTarget::kAppend, log);
    EXPECT_EQ(onto_log.status, 1) << logs;
    EXPECT_EQ(onto_log.err.rfind("Cannot write to standard output. (it is a file being read)", 0), 0u)
        << logs << " " << onto_log.err;
  }
}

// Output that is lost is no success: exit code 1 and one line on the error
// stream.
TEST(WindowsBinaryTest, OutputThatCannotBeWrittenEndsTheRunWithAFailure) {
  const std::string hive = test::WriteTempFile(Sample());
  const test::ProcessResult closed = test::RunBinaryProcess({"-f", hive, "-l"}, test::StdoutTarget::kClosedPipe);
  EXPECT_EQ(closed.status, 1);
  EXPECT_EQ(closed.err.rfind("Cannot write to standard output. (", 0), 0u) << closed.err;
  // Standard output appended to the hive: the hive cannot be opened (the
  // redirection holds it), and the message saying so must not land in it.
  const test::ProcessResult onto_hive = test::RunBinaryProcess({"-f", hive, "-l"}, test::StdoutTarget::kAppend, hive);
  EXPECT_EQ(onto_hive.status, 1);
  EXPECT_EQ(onto_hive.err.rfind("Cannot write to standard output. (it is a file being read)", 0), 0u)
      << onto_hive.err;
}

}  // namespace
}  // namespace keyscout
