// The POSIX side of the real binary: command-line bytes and file locks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/log_builder.h"
#include "support/process.h"
#include "support/run_tool.h"
#include "support/sample_hive.h"

namespace keyscout {
namespace {

using test::Banner;
using test::Preamble;
using test::RunBinary;

const test::Bytes& Sample() {
  static const test::Bytes hive = test::BuildSampleHive();
  return hive;
}

TEST(PosixBinaryTest, OpensAFileWhoseNameIsNotUtf8AndPrintsTheKeyPath) {
  const std::string path = test::WriteTempFile(Sample(), "hive-\xE9\xFF");
  int status = 0;
  const std::string out = RunBinary({"-f", path, "-k", "Names\\Caf\xC3\xA9"}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(out, Preamble("Names\\Caf\xE9"));
}

TEST(PosixBinaryTest, AFileLockedByAWriterCannotBeOpenedButReadersShare) {
  const std::string path = test::WriteTempFile(Sample());
  int status = 0;
  const int reader = open(path.c_str(), O_RDONLY);
  ASSERT_EQ(flock(reader, LOCK_SH), 0);
  EXPECT_EQ(RunBinary({"-f", path}, &status), Preamble());
  EXPECT_EQ(status, 0);
  close(reader);

  const int writer = open(path.c_str(), O_RDWR);
  ASSERT_EQ(flock(writer, LOCK_EX), 0);
  const test::ProcessResult locked = test::RunBinaryProcess({"-f", path});
  EXPECT_EQ(locked.out, Banner() + "Cannot open target file. (" + path + ")\n");
  EXPECT_EQ(locked.status, 1);
  EXPECT_EQ(locked.err, "keyscout: cannot open " + path + ": another program holds it locked\n");
  close(writer);
}

// The hive is evidence: -w may not write into it by any name, and the run
// fails as for any dump file that cannot be created. (The runner checks
// after every run that the hive kept its bytes.)
TEST(PosixBinaryTest, TheDumpFileCannotBeTheHiveByAnyName) {
  const std::string hive = test::WriteTempFile(Sample(), "evidence");
  const std::string hard = hive + "-hard-link";
  const std::string soft = hive + "-symbolic-link";
  ASSERT_EQ(link(hive.c_str(), hard.c_str()), 0);
  ASSERT_EQ(symlink(hive.c_str(), soft.c_str()), 0);
  for (const std::string& name : {hive, hard, soft}) {
    test::ExpectDumpRefused(
        {"-f", hive, "-k", "ControlSet001\\Control\\Session Manager", "-v", "BootExecute", "-w", name},
        "BootExecute", name, "it is the hive being read");
  }
}

// The logs are evidence as much as the hive, with -t (which reads them) and
// without it: -w may not write into one by any name, empty ones included,
// and neither may standard output.
TEST(PosixBinaryTest, WithLogsTheDumpFileAndStandardOutputCannotBeALog) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const std::string folder =
      test::WriteTempFolder("evidence-logs", {{"hive", h.hive}, {"hive.LOG1", h.log}, {"HIVE.log2", {}}});
  const std::string hive = folder + "/hive";
  const std::string log = folder + "/hive.LOG1";
  const std::string hard = folder + "/hard-link";
  const std::string soft = folder + "/symbolic-link";
  ASSERT_EQ(link(log.c_str(), hard.c_str()), 0);
  ASSERT_EQ(symlink((folder + "/HIVE.log2").c_str(), soft.c_str()), 0);
  for (const char* logs : {"-t", "-l"}) {
    for (const std::string& name : {log, hard, soft}) {
      test::ExpectDumpRefused({"-f", hive, logs, "-k", "Old", "-v", "V", "-w", name}, "V", name,
                              "it is one of the hive's transaction logs");
    }
    const test::ProcessResult onto_log =
        test::RunBinaryProcess({"-f", hive, logs, "-e"}, test::StdoutTarget::kAppend, log);
    EXPECT_EQ(onto_log.status, 1) << logs;
    EXPECT_EQ(onto_log.err, "Cannot write to standard output. (it is a file being read)\n");
  }
}

// A log keyscout cannot open is evidence all the same, with -t and without:
// one another process holds locked for writing, and a log name that leads to
// a device. Neither -w nor standard output may write through either name.
TEST(PosixBinaryTest, ALogThatCannotBeOpenedIsNeitherDumpFileNorStandardOutput) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const std::string folder = test::WriteTempFolder("unopened-logs", {{"hive", h.hive}, {"hive.LOG1", h.log}});
  const std::string hive = folder + "/hive";
  const std::string held = folder + "/hive.LOG1";
  const std::string device = folder + "/hive.LOG2";
  ASSERT_EQ(symlink("/dev/null", device.c_str()), 0);
  const int writer = open(held.c_str(), O_RDWR);
  ASSERT_EQ(flock(writer, LOCK_EX), 0);
  for (const char* logs : {"-t", "-l"}) {
    for (const std::string& name : {held, device}) {
      test::ExpectDumpRefused({"-f", hive, logs, "-k", "Old", "-v", "V", "-w", name}, "V", name,
                              "it is one of the hive's transaction logs");
      const test::ProcessResult onto_log =
          test::RunBinaryProcess({"-f", hive, logs, "-k", "Old", "-e"}, test::StdoutTarget::kAppend, name);
      EXPECT_EQ(onto_log.status, 1) << logs << " " << name;
      EXPECT_EQ(onto_log.err, "Cannot write to standard output. (it is a file being read)\n") << logs << " " << name;
    }
  }
  close(writer);
}

// The logs are evidence even when the hive itself cannot be opened: standard
// output appended to a log gets not even the message that says so. (The
// runner checks that the log kept its bytes.)
TEST(PosixBinaryTest, AHiveThatCannotBeOpenedWritesNothingIntoItsLogs) {
  const test::LoggedHive h = test::BuildLoggedHive();
  const std::string folder = test::WriteTempFolder("locked-hive", {{"hive", h.hive}, {"hive.LOG1", h.log}});
  const std::string hive = folder + "/hive";
  const int writer = open(hive.c_str(), O_RDWR);
  ASSERT_EQ(flock(writer, LOCK_EX), 0);
  const test::ProcessResult onto_log =
      test::RunBinaryProcess({"-f", hive, "-l"}, test::StdoutTarget::kAppend, folder + "/hive.LOG1");
  EXPECT_EQ(onto_log.status, 1);
  EXPECT_EQ(onto_log.err, "Cannot write to standard output. (it is a file being read)\n");
  close(writer);
}

// Output that is lost is no success: exit code 1, and the one line on the
// error stream that says why.
TEST(PosixBinaryTest, OutputThatCannotBeWrittenEndsTheRunWithAFailure) {
  const std::string hive = test::WriteTempFile(Sample());
  const test::ProcessResult full =
      test::RunBinaryProcess({"-f", hive, "-l"}, test::StdoutTarget::kAppend, "/dev/full");
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "Cannot write to standard output. (No space left on device)\n");
  const test::ProcessResult closed = test::RunBinaryProcess({"-f", hive, "-l"}, test::StdoutTarget::kClosedPipe);
  EXPECT_EQ(closed.status, 1);
  EXPECT_EQ(closed.err, "Cannot write to standard output. (Broken pipe)\n");
  // Standard output appended to the hive itself (a shell's ">>") would write
  // into the evidence: nothing is written.
  const test::ProcessResult onto_hive = test::RunBinaryProcess({"-f", hive, "-l"}, test::StdoutTarget::kAppend, hive);
  EXPECT_EQ(onto_hive.status, 1);
  EXPECT_EQ(onto_hive.err, "Cannot write to standard output. (it is a file being read)\n");
}

// Reading evidence leaves its access time alone where the system allows it
// (the file's owner runs the tool here).
TEST(PosixBinaryTest, ReadingTheHiveLeavesItsAccessTimeAsItWas) {
  constexpr time_t READ_TIME = 1000000000;
  const auto age = [](const std::string& path) {
    const timespec times[2] = {{READ_TIME, 0}, {READ_TIME + 86400 * 30, 0}};  // read long before the last change
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
  };
  const auto access_time = [](const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_atim.tv_sec;
  };
  const std::string probe = test::WriteTempFile(Sample(), "probe");
  ASSERT_TRUE(age(probe));
  (void)test::ReadFile(probe);
  if (access_time(probe) == READ_TIME) GTEST_SKIP() << "this file system does not record reads";
  const std::string hive = test::WriteTempFile(Sample());
  ASSERT_TRUE(age(hive));
  int status = 0;
  RunBinary({"-f", hive, "-k", "ControlSet001\\Control\\Session Manager", "-s", "-l", "-e", "-v", "BootExecute"},
            &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(access_time(hive), READ_TIME);
}

}  // namespace
}  // namespace keyscout
