#include "app/value_report.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <tuple>

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
  std::string err;
};

Shown Show(const ValueHive& hive, const std::u16string& name, const std::string& output_file = "",
           const ValueBufferAllocator& allocator = DefaultValueBufferAllocator()) {
  Shown result;
  test::StringSink sink;
  test::StringSink err_sink;
  {
    Console out(sink);
    Console err(err_sink);
    const ValueRequest request{.name = name, .dump = !output_file.empty(), .output_file = test::U16(output_file)};
    result.ok = ShowValue(hive.image(), Cell{hive.key}, request, {}, out, err, allocator);
  }
  result.out = sink.text;
  result.err = err_sink.text;
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

  // Four lines of the first 64 bytes, then the line of spaces.
  const Shown thousand = Show(Hive(), u"thousand");
  EXPECT_TRUE(thousand.ok);
  EXPECT_EQ(thousand.out, Header("thousand", "000003E8", "REG_BINARY") +
                              "00    D7 D9 79 AE ED CB 07 23 - D9 8C BC 98 67 E7 8A DD   ..y.........g...\n"
                              "10    6E 04 87 7C F2 50 68 82 - FA 2D BE 0E 30 59 F2 9A   n....Ph.....0Y..\n"
                              "20    3A 1E 02 0C DB 3E F8 7C - C8 9D 2F C4 4B AC 45 C9   ............K.E.\n"
                              "30    99 9A DF 8A F4 39 20 ED - 81 B0 E6 44 E7 E6 CA A2   .....9 ....D....\n" +
                              BLANK_LINE);

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

// Refuses every request, noting its size and anything handed back.
struct RefusingAllocator {
  static inline size_t last_size = 0;
  static inline int released = 0;
  static void* Refuse(size_t size) {
    last_size = size;
    return nullptr;
  }
  static void Release(void*) { ++released; }
};

TEST(ShowValueTest, AllocationFailureFailsWithoutAMessage) {
  const ValueBufferAllocator refusing{RefusingAllocator::Refuse, RefusingAllocator::Release};
  RefusingAllocator::released = 0;
  const Shown r = Show(Hive(), u"Big", TempPath("never-written"), refusing);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(RefusingAllocator::last_size, 40000u);
  EXPECT_EQ(RefusingAllocator::released, 0);
  EXPECT_NE(access(TempPath("never-written").c_str(), F_OK), 0);
  // A value without data still asks for a buffer, of one byte (a request for
  // none may get no block at all), and fails the same way without one.
  EXPECT_EQ(Show(Hive(), u"Empty", "", refusing).out, "");
  EXPECT_EQ(RefusingAllocator::last_size, 1u);
}

TEST(WriteDumpFileTest, NewFileGetsTheWholeDataAfterTheDump) {
  const std::string path = TempPath("big.bin");
  std::filesystem::remove(path);
  const Shown r = Show(Hive(), u"Big", path);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, Header("Big", "00009C40", "REG_BINARY") +
                       "00    70 D0 7D E1 AF 38 36 17 - A5 47 8C 4A DB 69 D6 F3   p....86..G.J.i..\n"
                       "10    06 BC 70 C5 F0 8F 8D 89 - 27 9B C1 B9 67 03 4D DF   ..p.........g.M.\n"
                       "20    C7 0D 2A AB A6 9E D4 D7 - 55 77 DB BB 82 32 2B AF   ........Uw...2..\n"
                       "30    67 FB 16 24 B6 0E 26 81 - 43 F3 A5 BF 6F 7C E8 C3   g.......C...o...\n" +
                       BLANK_LINE + "Start dump value [Big] to file [" + path + "] : \nDump file succeed.\n");
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
  // Standard error says why, in the same words on every system.
  for (const auto& [path, cause] : {std::pair{test::TempDir(), "it is a folder"},
                                    std::pair{TempPath("missing-folder/out.bin"),
                                              "the folder it would go in does not exist"}}) {
    const Shown r = Show(Hive(), u"Dword", path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.out, prefix + "Start dump value [Dword] to file [" + path + "] : \nCannot create dump file. (" +
                         path + ")\n");
    EXPECT_EQ(r.err, "keyscout: cannot create " + path + ": " + cause + "\n");
  }
  if (access("/dev/full", W_OK) == 0) {
    const Shown full = Show(Hive(), u"Dword", "/dev/full");
    EXPECT_FALSE(full.ok);
    EXPECT_EQ(full.out, prefix + "Start dump value [Dword] to file [/dev/full] : \n"
                                 "Cannot write dump file. (/dev/full)\n");
    EXPECT_EQ(full.err, "keyscout: cannot write /dev/full: No space left on device\n");
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
