// The Windows file services: the hive is held exclusively while it is mapped
// and let go completely afterwards; the dump file likewise.
#include <gtest/gtest.h>

#include "platform/dump_file.h"
#include "platform/mapped_file.h"
#include "text/utf8.h"
#include "platform/windows_api.h"
#include "support/run_tool.h"

namespace keyscout {
namespace {

std::wstring WindowsPath(const std::string& utf8) { return ConvertToWindowsText(DecodeCommandWord(utf8)); }

// True when nobody else has the file open: an exclusive open succeeds.
bool NobodyHolds(const std::string& path) {
  HANDLE h = ::CreateFileW(WindowsPath(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

TEST(WindowsMappedFileTest, TheViewIsTheWholeFileHeldExclusivelyUntilClosed) {
  test::Bytes bytes(5000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  const std::string path = test::WriteTempFile(bytes);
  MappedFile file;
  ASSERT_EQ(file.Open(DecodeCommandWord(path)), MapStatus::kOk);
  ASSERT_EQ(file.size(), bytes.size());
  EXPECT_EQ(test::Bytes(file.data(), file.data() + file.size()), bytes);
  EXPECT_FALSE(NobodyHolds(path));
  // A second open of the same file, even by us, is refused.
  MappedFile second;
  EXPECT_EQ(second.Open(DecodeCommandWord(path)), MapStatus::kCannotOpen);
  const void* view = file.data();
  file.Close();
  // The view is gone from our address space, and the file is ours no more.
  MEMORY_BASIC_INFORMATION region{};
  ASSERT_NE(::VirtualQuery(view, &region, sizeof region), 0u);
  EXPECT_EQ(region.State, static_cast<DWORD>(MEM_FREE));
  EXPECT_TRUE(NobodyHolds(path));
}

TEST(WindowsMappedFileTest, EachFailingStepReleasesWhatCameBefore) {
  const std::string empty = test::WriteTempFile({}, "empty");
  MappedFile file;
  EXPECT_EQ(file.Open(DecodeCommandWord(empty)), MapStatus::kCannotMapTarget);
  EXPECT_TRUE(NobodyHolds(empty));
  EXPECT_EQ(file.Open(DecodeCommandWord(test::TempDir())), MapStatus::kCannotOpen);
  EXPECT_EQ(file.Open(DecodeCommandWord(test::TempDir() + "/missing")), MapStatus::kCannotOpen);
  EXPECT_EQ(file.data(), nullptr);
  EXPECT_EQ(file.size(), 0u);
}

TEST(WindowsDumpFileTest, CreatedExclusivelyWrittenWholeAndReleased) {
  const std::string path = test::WriteTempFile(test::Bytes(300, 0xAA), "dump");
  const test::Bytes data = {1, 2, 3, 0, 10, 13, 26, 255};
  {
    DumpFile dump;
    ASSERT_TRUE(dump.Create(DecodeCommandWord(path), {}));
    EXPECT_FALSE(NobodyHolds(path));
    EXPECT_TRUE(dump.WriteAll(data.data(), data.size()));
  }
  // Truncated, then exactly the bytes, with no text-mode translation.
  EXPECT_TRUE(NobodyHolds(path));
  EXPECT_EQ(test::ReadFile(path), data);
  DumpFile empty;
  ASSERT_TRUE(empty.Create(DecodeCommandWord(path), {}));
  EXPECT_TRUE(empty.WriteAll(data.data(), 0));
  empty.Close();
  EXPECT_EQ(test::ReadFile(path), test::Bytes{});
}

}  // namespace
}  // namespace keyscout
