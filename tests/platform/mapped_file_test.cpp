// The mapped hive file on every platform: the private, writable view that -t
// replays the logs into.
#include "platform/mapped_file.h"

#include <gtest/gtest.h>

#include "support/run_tool.h"
#include "text/utf8.h"

namespace keyscout {
namespace {

using test::Bytes;

TEST(MappedFileTest, APrivateWritableViewReadsZeroPastTheFileAndNeverWritesIt) {
  const Bytes bytes = test::Pattern(5000, 3);
  const std::string path = test::WriteTempFile(bytes);
  for (const uint64_t length : {uint64_t{100}, uint64_t{3 * 4096 + 100}}) {
    MappedFile file;
    ASSERT_EQ(file.Open(DecodeCommandWord(path)), MapStatus::kOk);
    uint8_t* view = file.MakePrivateWritable(length);
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(file.size(), std::max<uint64_t>(length, bytes.size()));
    EXPECT_EQ(Bytes(view, view + bytes.size()), bytes);
    EXPECT_EQ(Bytes(view + bytes.size(), view + file.size()), Bytes(file.size() - bytes.size(), 0));
    view[0] ^= 0xFF;
    view[bytes.size() - 1] ^= 0xFF;
    view[file.size() - 1] = 1;
    EXPECT_EQ(file.data()[0], bytes[0] ^ 0xFF);
    file.Close();
    EXPECT_EQ(test::ReadFile(path), bytes) << length;
  }
}

}  // namespace
}  // namespace keyscout
