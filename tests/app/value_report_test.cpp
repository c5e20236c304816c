#include "app/value_report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <tuple>

#include "app/hex_dump.h"
#include "support/hive_builder.h"
#include "support/run_tool.h"
#include "support/sample_hive.h"
#include "support/string_sink.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::HiveBuilder;
using test::Pattern;

const std::string BLANK_LINE = std::string(82, ' ') + "\n";

std::string Dump(const Bytes& data) {
  test::StringSink sink;
  {
    Console out(sink);
    PrintHexDump(data.data(), data.size(), out);
  }
  return sink.text;
}

Bytes Prefix(const Bytes& data, size_t count) { return Bytes(data.data(), data.data() + count); }

Bytes Range(uint8_t first, size_t count) {
  Bytes out(count);
  for (size_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(first + i);
  return out;
}

TEST(HexDumpTest, EmptyDataIsOneLineOfSpaces) { EXPECT_EQ(Dump({}), BLANK_LINE); }

TEST(HexDumpTest, SixteenBytesAreAFullLineThenSpaces) {
  const Bytes data{0x61, 0x00, 0x75, 0x00, 0x74, 0x00, 0x6F, 0x00, 0x63, 0x00, 0x68, 0x00, 0x65, 0x00, 0x63, 0x00};
  EXPECT_EQ(Dump(data), "00    61 00 75 00 74 00 6F 00 - 63 00 68 00 65 00 63 00   a.u.t.o.c.h.e.c.\n" + BLANK_LINE);
}

TEST(HexDumpTest, TwentyBytesEndWithAShortLine) {
  EXPECT_EQ(Dump(Range(0x30, 20)),
            "00    30 31 32 33 34 35 36 37 - 38 39 3A 3B 3C 3D 3E 3F   0123456789......\n"
            "10    40 41 42 43             -                           .ABC                        \n");
}

TEST(HexDumpTest, SixtyFourBytesAreFourLines) {
  EXPECT_EQ(Dump(Range(0x40, 64)),
            "00    40 41 42 43 44 45 46 47 - 48 49 4A 4B 4C 4D 4E 4F   .ABCDEFGHIJKLMNO\n"
            "10    50 51 52 53 54 55 56 57 - 58 59 5A 5B 5C 5D 5E 5F   PQRSTUVWXYZ.....\n"
            "20    60 61 62 63 64 65 66 67 - 68 69 6A 6B 6C 6D 6E 6F   .abcdefghijklmno\n"
            "30    70 71 72 73 74 75 76 77 - 78 79 7A 7B 7C 7D 7E 7F   pqrstuvwxyz.....\n" +
                BLANK_LINE);
}

TEST(HexDumpTest, LastLineLengthsAndWideOffsets) {
  for (size_t r = 1; r < 16; ++r) {
    const std::string text = Dump(Range(0, 16 + r));
    const size_t last = text.find('\n') + 1;
    EXPECT_EQ(last, 75u);
    EXPECT_EQ(text.size() - last, 90 - r + 1) << r;  // 90 - r characters and the line end
  }
  // Offsets are as wide as they need to be, never less than two digits.
  const std::string text = Dump(Bytes(0x105, 0x20));
  EXPECT_NE(text.find("\nF0    20 "), std::string::npos);
  EXPECT_NE(text.find("\n100    20 20 20 20 20    "), std::string::npos);
}

TEST(HexDumpTest, OnlyDigitsLettersAndSpaceShowAsThemselves) {
  const Bytes data{0x20, 0x21, 0x0A, 0x7E, 0xE9, 0x2F, 0x30, 0x39, 0x3A, 0x40, 0x41, 0x5A, 0x5B, 0x60, 0x61, 0x7A};
  const std::string text = Dump(data);
  EXPECT_EQ(text.substr(58, 17), " .....09..AZ..az\n");
}

// A hive whose root key holds the given values.
struct ValueHive {
  Bytes bytes;
  uint32_t key = 0;
  HiveImage image() const { return HiveImage(bytes.data(), bytes.size()); }
};

ValueHive MakeHive(const std::vector<std::tuple<std::u16string, uint32_t, Bytes>>& values) {
  HiveBuilder b;
  std::vector<uint32_t> cells;
  for (const auto& [name, type, data] : values) cells.push_back(b.Value(name, type, data));
  test::KeySpec shape;
  shape.name = u"Key";
  shape.value_count = static_cast<uint32_t>(cells.size());
  shape.value_list = b.ValueList(cells);
  const uint32_t key = b.Key(shape);
  b.SetRoot(key);
  return {b.Finish(), key};
}

struct Shown {
  bool ok = false;
  std::string out;
};

Shown Show(const ValueHive& hive, const std::u16string& name, const std::string& output_file = "",
           const ValueBufferAllocator& allocator = DefaultValueBufferAllocator()) {
  Shown result;
  test::StringSink sink;
  {
    Console out(sink);
    const ValueRequest request{.name = name, .dump = !output_file.empty(), .output_file = test::U16(output_file)};
    result.ok = ShowValue(hive.image(), Cell{hive.key}, request, {}, out, allocator);
  }
  result.out = sink.text;
  return result;
}

std::string Header(const std::string& name, const std::string& length, const std::string& type) {
  return "Value name   = " + name + "\nValue length = " + length + "\nValue type   = " + type +
         "\nValue hex data : \n-----------------\n";
}

const ValueHive& Hive() {
  static const ValueHive hive = MakeHive({
      {u"Empty", 3, {}},
      {u"Dword", 4, {0x2A, 0x00, 0x00, 0x00}},
      {u"Thousand", 3, Pattern(1000, 5)},
      {u"Big", 3, Pattern(40000, 6)},
      {u"Odd", 0x20000, {}},
  });
  return hive;
}

std::string TempPath(const std::string& name) { return test::TempDir() + "/" + name; }

TEST(ShowValueTest, HeaderShowsTheNameAsTypedAndTheDumpAtMost64Bytes) {
  const Shown dword = Show(Hive(), u"DWORD");
  EXPECT_TRUE(dword.ok);
  EXPECT_EQ(dword.out, Header("DWORD", "00000004", "REG_DWORD") +
                           "00    2A 00 00 00             -                           ....                        \n");

  const Shown thousand = Show(Hive(), u"thousand");
  EXPECT_TRUE(thousand.ok);
  const std::string expected_lines = Dump(Prefix(Pattern(1000, 5), 64));
  EXPECT_EQ(thousand.out, Header("thousand", "000003E8", "REG_BINARY") + expected_lines);
  EXPECT_EQ(std::count(expected_lines.begin(), expected_lines.end(), '\n'), 5);

  EXPECT_EQ(Show(Hive(), u"Empty").out, Header("Empty", "00000000", "REG_BINARY") + BLANK_LINE);
  EXPECT_EQ(Show(Hive(), u"Odd").out, Header("Odd", "00000000", "REG_NONE") + BLANK_LINE);
}

TEST(ShowValueTest, MissingAndUnreadableValuesPrintOneMessage) {
  const Shown missing = Show(Hive(), u"Nope", TempPath("never-written"));
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.out, "Cannot find the value. (Nope)\n");
  EXPECT_NE(access(TempPath("never-written").c_str(), F_OK), 0);

  // A data cell freed after the fact: the value is found, its data is not.
  ValueHive damaged = MakeHive({{u"Gone", 3, Pattern(100, 1)}});
  HiveImage image = damaged.image();
  uint32_t value_list = 0;
  uint32_t value = 0;
  uint32_t data = 0;
  ASSERT_TRUE(image.CellU32(Cell{damaged.key}, NK_VALUE_LIST, &value_list));
  ASSERT_TRUE(image.CellU32(Cell{value_list}, VALUE_LIST_ENTRIES, &value));
  ASSERT_TRUE(image.CellU32(Cell{value}, VK_DATA_OFFSET, &data));
  damaged.bytes[HiveBuilder::FileOffset(data) + 3] = 0;
  const Shown unreadable = Show(damaged, u"gone", TempPath("never-written"));
  EXPECT_FALSE(unreadable.ok);
  EXPECT_EQ(unreadable.out, "Cannot read the value data. (gone)\n");
  EXPECT_NE(access(TempPath("never-written").c_str(), F_OK), 0);
}

// Counts what passes through it; can be told to refuse every request.
struct CountingAllocator {
  static inline int allocated = 0;
  static inline int released = 0;
  static inline size_t last_size = 0;
  static void* Allocate(size_t size) {
    last_size = size;
    ++allocated;
    return std::calloc(size, 1);
  }
  static void* Refuse(size_t size) {
    last_size = size;
    return nullptr;
  }
  static void Release(void* block) {
    ++released;
    std::free(block);
  }
};

TEST(ShowValueTest, AllocationFailureFailsWithoutAMessage) {
  const ValueBufferAllocator refusing{CountingAllocator::Refuse, CountingAllocator::Release};
  CountingAllocator::released = 0;
  const Shown r = Show(Hive(), u"Big", TempPath("never-written"), refusing);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(CountingAllocator::last_size, 40000u);
  EXPECT_EQ(CountingAllocator::released, 0);
  EXPECT_NE(access(TempPath("never-written").c_str(), F_OK), 0);
}

TEST(ShowValueTest, TheBufferIsFreedOnEveryPath) {
  const ValueBufferAllocator counting{CountingAllocator::Allocate, CountingAllocator::Release};
  CountingAllocator::allocated = 0;
  CountingAllocator::released = 0;
  EXPECT_TRUE(Show(Hive(), u"Empty", "", counting).ok);
  EXPECT_EQ(CountingAllocator::last_size, 1u);  // a value without data still gets one byte
  EXPECT_TRUE(Show(Hive(), u"Big", TempPath("freed"), counting).ok);
  EXPECT_FALSE(Show(Hive(), u"Big", test::TempDir(), counting).ok);  // the dump file cannot be created
  EXPECT_FALSE(Show(Hive(), u"Missing", "", counting).ok);            // nothing allocated
  EXPECT_EQ(CountingAllocator::allocated, 3);
  EXPECT_EQ(CountingAllocator::released, 3);
}

TEST(WriteDumpFileTest, NewFileGetsTheWholeDataAfterTheDump) {
  const std::string path = TempPath("big.bin");
  std::filesystem::remove(path);
  const Shown r = Show(Hive(), u"Big", path);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, Header("Big", "00009C40", "REG_BINARY") +
                       Dump(Prefix(Pattern(40000, 6), 64)) +
                       "Start dump value [Big] to file [" + path + "] : \nDump file succeed.\n");
  EXPECT_EQ(test::ReadFile(path), Pattern(40000, 6));
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  const mode_t mask = static_cast<mode_t>(umask(0));  // an int on Windows
  umask(mask);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST(WriteDumpFileTest, ExistingLongerFileIsTruncatedAndEmptyDataGivesAnEmptyFile) {
  const std::string path = test::WriteTempFile(Pattern(5000, 1), "existing");
  EXPECT_TRUE(Show(Hive(), u"Thousand", path).ok);
  EXPECT_EQ(test::ReadFile(path), Pattern(1000, 5));
  const Shown empty = Show(Hive(), u"Empty", path);
  EXPECT_TRUE(empty.ok);
  EXPECT_EQ(test::ReadFile(path), Bytes{});
  EXPECT_EQ(empty.out.substr(empty.out.size() - 19), "Dump file succeed.\n");
}

TEST(WriteDumpFileTest, PathsThatCannotBeCreatedOrWritten) {
  const std::string prefix = Header("Dword", "00000004", "REG_DWORD") +
                             "00    2A 00 00 00             -                           ....                        \n";
  for (const std::string& path : {test::TempDir(), TempPath("missing-folder/out.bin")}) {
    const Shown r = Show(Hive(), u"Dword", path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, prefix + "Start dump value [Dword] to file [" + path + "] : \nCannot create dump file. (" +
                         path + ")\n");
  }
  if (access("/dev/full", W_OK) == 0) {
    const Shown full = Show(Hive(), u"Dword", "/dev/full");
    EXPECT_FALSE(full.ok);
    EXPECT_EQ(full.out, prefix + "Start dump value [Dword] to file [/dev/full] : \n"
                                 "Cannot write dump file. (/dev/full)\n");
  }
}

TEST(ShowValueTest, SampleHiveThroughTheDriver) {
  static const Bytes sample = test::BuildSampleHive();
  const std::string path = TempPath("boot.bin");
  const test::RunResult r = test::RunWith(
      sample, {"-f", "h", "-k", "ControlSet001\\Control\\Session Manager", "-v", "BootExecute", "-w", path});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, test::Preamble("ControlSet001\\Control\\Session Manager") + "=====================\n" +
                       Header("BootExecute", "0000002A", "REG_MULTI_SZ") +
                       "00    61 00 75 00 74 00 6F 00 - 63 00 68 00 65 00 63 00   a.u.t.o.c.h.e.c.\n"
                       "10    6B 00 20 00 61 00 75 00 - 74 00 6F 00 63 00 68 00   k. .a.u.t.o.c.h.\n"
                       "20    6B 00 20 00 2A 00 00 00 - 00 00                     k. .......            \n"
                       "Start dump value [BootExecute] to file [" +
                       path + "] : \nDump file succeed.\n");
  EXPECT_EQ(test::ReadFile(path).size(), 0x2Au);

  // The 20,000-byte big-data value comes out whole.
  EXPECT_EQ(test::RunWith(sample, {"-f", "h", "-k", "ControlSet001\\Control\\Session Manager", "-v",
                                   "resourcepolicy", "-w", path})
                .code,
            0);
  EXPECT_EQ(test::ReadFile(path), Pattern(20000, 7));

  const test::RunResult missing =
      test::RunWith(sample, {"-f", "h", "-k", "ControlSet001\\Control\\Session Manager", "-v", "Nope"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.out, test::Preamble("ControlSet001\\Control\\Session Manager") +
                             "=====================\nCannot find the value. (Nope)\n");
}

}  // namespace
}  // namespace keyscout
