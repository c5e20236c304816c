// What the private, writable view of a hive costs on Linux: the pages
// written, not the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/mapped_file.h"
#include "support/run_tool.h"
#include "text/utf8.h"

namespace keyscout {
namespace {

// The bytes of [begin, end) that belong to no file, which is what a page of
// a private file mapping becomes once written ("Anonymous" in
// /proc/self/smaps; "Private_Dirty" would also count the file's own pages
// while they wait to be written back); -1 when the system does not say.
int64_t AnonymousBytes(const uint8_t* begin, const uint8_t* end) {
  std::ifstream smaps("/proc/self/smaps");
  if (!smaps) return -1;
  int64_t total = 0;
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    unsigned long long low = 0;
    unsigned long long high = 0;
    unsigned long long kib = 0;
    if (line.find('-') < line.find(' ') && std::sscanf(line.c_str(), "%llx-%llx", &low, &high) == 2) {
      inside = low < reinterpret_cast<uintptr_t>(end) && high > reinterpret_cast<uintptr_t>(begin);
    } else if (inside && std::sscanf(line.c_str(), "Anonymous: %llu kB", &kib) == 1) {
      total += static_cast<int64_t>(kib) * 1024;
    }
  }
  return total;
}

TEST(PosixMappedFileTest, APrivateWritableViewCostsThePagesWrittenNotTheFile) {
  constexpr uint64_t FILE_BYTES = 16 << 20;
  const std::string path = test::WriteTempFile(test::Pattern(FILE_BYTES, 5));
  MappedFile file;
  ASSERT_EQ(file.Open(DecodeCommandWord(path)), MapStatus::kOk);
  uint8_t* view = file.MakePrivateWritable(FILE_BYTES + (4 << 20));
  ASSERT_NE(view, nullptr);
  uint64_t sum = 0;
  for (uint64_t at = 0; at < FILE_BYTES; at += 4096) sum += view[at];  // every page of the file read
  for (const uint64_t at : {uint64_t{0}, FILE_BYTES / 2, FILE_BYTES - 1, FILE_BYTES + 1}) view[at] ^= 1;
  const int64_t dirty = AnonymousBytes(view, view + file.size());
  if (dirty < 0) GTEST_SKIP() << "no /proc/self/smaps";
  // Four pages written (a transparent huge page may take 2 MiB for the one
  // past the file); a copy of the file would be 16 MiB.
  EXPECT_GE(dirty, 4 * 4096) << sum;
  EXPECT_LE(dirty, 3 << 20);
}

}  // namespace
}  // namespace keyscout
