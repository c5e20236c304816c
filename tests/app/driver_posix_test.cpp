// The POSIX side of the real binary: command-line bytes and file locks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

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
  EXPECT_EQ(RunBinary({"-f", path}, &status), Banner() + "Cannot open target file. (" + path + ")\n");
  EXPECT_EQ(status, 1);
  close(writer);
}

}  // namespace
}  // namespace keyscout
