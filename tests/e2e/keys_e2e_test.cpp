// The -k and -l output of the real entry point, to the byte.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/hive_builder.h"
#include "support/run_tool.h"

namespace keyscout {
namespace {

using test::Bytes;
using test::TreeKey;

TreeKey Leaf(const std::u16string& name) { return TreeKey{.name = name}; }

const Bytes& Hive() {
  static const Bytes hive = [] {
    TreeKey services = Leaf(u"Services");
    services.leaf_size = 2;
    for (const char16_t* name : {u"Tcpip", u"AFD", u"Fs_Rec", u"FSDepends", u"_last"}) {
      services.children.push_back(Leaf(name));
    }
    TreeKey names = Leaf(u"Names");
    names.children = {Leaf(u"Caf\u00E9"), Leaf(u"\u041A\u043B\u044E\u0447")};
    names.volatile_children = {Leaf(u"Volatile")};
    TreeKey root = Leaf(u"ROOT");
    root.children = {services, names};
    return test::BuildHive(root);
  }();
  return hive;
}

TEST(KeysEndToEndTest, ListingUnderAnIndexRootInWindowsOrder) {
  const test::RunResult r = test::RunWith(Hive(), {"-f", "h", "-k", "services", "-l"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, test::Preamble("services") +
                       "=====================\n"
                       "Subkeys information:\n"
                       "HCELL_INDEX\tKey name\n"
                       "000001A8\tAFD\n"
                       "00000200\tFSDepends\n"
                       "00000260\tFs_Rec\n"
                       "000002B8\tTcpip\n"
                       "00000310\t_last\n"
                       "----------------\n"
                       "Subkey count : 5\n");
}

TEST(KeysEndToEndTest, NamesOfBothFormsAndTheVolatileList) {
  const test::RunResult r = test::RunWith(Hive(), {"-f", "h", "-k", "\\NAMES\\", "-l"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, test::Preamble("\\NAMES\\") +
                       "=====================\n"
                       "Subkeys information:\n"
                       "HCELL_INDEX\tKey name\n"
                       "00000020\tCaf\xE9\n"
                       "00000078\t????\n"
                       "000000E8\tVolatile\n"
                       "----------------\n"
                       "Subkey count : 3\n");
}

TEST(KeysEndToEndTest, LookupOfEveryKindOfName) {
  for (const char* path : {"Names\\caf\xC3\xA9", "Names\\\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87", "services\\FS_REC",
                           "Services\\_LAST", "Names\\volatile"}) {
    const test::RunResult r = test::RunWith(Hive(), {"-f", "h", "-k", path});
    EXPECT_EQ(r.code, 0) << path;
  }
  const test::RunResult miss = test::RunWith(Hive(), {"-f", "h", "-k", "Names\\CAF\xC3\x89"});
  EXPECT_EQ(miss.code, 1);
  EXPECT_EQ(miss.out, test::Banner() + "Cannot find the key. (Names\\CAF\xC9)\n");
}

// A second hbin whose header lost its offset field or its signature: its
// cells are still measured against its own length, so its keys and values
// stay reachable.
TEST(KeysEndToEndTest, KeysOfAnHbinWithADamagedHeaderAreStillRead) {
  test::HiveBuilder b;
  const uint32_t second = b.AddHbin(0x1000);
  const uint32_t grand = b.Key(test::KeySpec{.name = u"Grand"});
  const uint32_t value = b.Value(u"V", 4, {7, 0, 0, 0});
  const uint32_t child = b.Key(test::KeySpec{.name = u"Child", .stable_count = 1,
                                             .stable_list = b.LeafList("lh", {grand}), .value_count = 1,
                                             .value_list = b.ValueList({value})});
  const uint32_t list = b.LeafList("lh", {child});
  b.MoveTo(0x20);
  b.SetRoot(b.Key(test::KeySpec{.name = u"ROOT", .stable_count = 1, .stable_list = list}));
  const Bytes intact = b.Finish();
  const std::string expected = test::Preamble("Child\\Grand") + "=====================\n"
                               "Subkeys information:\nHCELL_INDEX\tKey name\n----------------\nSubkey count : 0\n";
  Bytes no_offset = intact;
  std::fill_n(no_offset.begin() + static_cast<ptrdiff_t>(test::HiveBuilder::FileOffset(second) + 4), 4, 0);
  Bytes no_signature = intact;
  no_signature[test::HiveBuilder::FileOffset(second)] = 'X';
  for (const Bytes& hive : {no_offset, no_signature}) {
    EXPECT_EQ(test::RunWith(hive, {"-f", "h", "-k", "Child\\Grand", "-l"}).out, expected);
    const test::RunResult r = test::RunWith(hive, {"-f", "h", "-k", "child", "-l", "-e"});
    EXPECT_NE(r.out.find("Subkey count : 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tREG_DWORD\tV\n----------------\nKey values count : 1"), std::string::npos) << r.out;
  }
}

}  // namespace
}  // namespace keyscout
