// On every real hive of the corpus: each key the listing reaches is found
// again by its full path, and no listing of a sound hive falls short of the
// count its key records.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "app/listings.h"
#include "hive/key_lookup.h"
#include "hive/subkey_walk.h"
#include "support/real_hives.h"
#include "support/string_sink.h"

namespace keyscout {
namespace {

struct Child {
  Cell cell;
  std::u16string name;
};

int Collect(void* context, Cell node, const char16_t* name, size_t length) {
  if (name != nullptr) static_cast<std::vector<Child>*>(context)->push_back({node, std::u16string(name, length)});
  return VISIT_CONTINUE;
}

struct Counts {
  size_t listed = 0;
  size_t found = 0;
  size_t unreachable_names = 0;  // names holding a backslash cannot be typed as a path component
  size_t short_listings = 0;     // -l or -e that would say the key's list is damaged
  std::vector<std::string> misses;
};

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

Counts CheckHive(const test::Bytes& bytes) {
  const HiveImage image(bytes.data(), bytes.size());
  Counts counts;
  std::set<uint32_t> seen;
  // Depth-first over the listing, with the path typed as a user would.
  std::vector<std::pair<Cell, std::u16string>> stack{{RootKeyCell(image), u""}};
  while (!stack.empty()) {
    auto [key, path] = stack.back();
    stack.pop_back();
    if (!seen.insert(key.index).second) continue;  // a damaged hive may loop
    test::StringSink discarded;
    {
      Console out(discarded);
      if (ListSubkeys(image, key, out).Short()) ++counts.short_listings;
      if (ListValues(image, key, out).Short()) ++counts.short_listings;
    }
    std::vector<Child> children;
    WalkSubkeys(image, key, Collect, &children);
    for (const Child& child : children) {
      if (child.name.empty()) continue;  // nothing to type for it
      if (child.name.find(u'\\') != std::u16string::npos) {
        ++counts.unreachable_names;
        continue;
      }
      const std::u16string child_path = path.empty() ? child.name : path + u"\\" + child.name;
      ++counts.listed;
      const std::optional<Cell> found = FindKeyByPath(image, child_path);
      if (found && found->index == child.cell.index) {
        ++counts.found;
      } else if (counts.misses.size() < 5) {
        counts.misses.push_back(Narrow(child_path));
      }
      stack.push_back({child.cell, child_path});
    }
  }
  return counts;
}

// Hives whose damage is the point of them: their counts are printed, not
// required to match.
bool DeliberatelyDamaged(const std::string& name) {
  for (const char* damaged : {"plaso_corrupt_sub_key_list.hiv", "regipy_corrupted_system_hive", "yarp_BadListHive",
                              "yarp_BadSubkeyHive", "yarp_TruncatedHive", "yarp_TruncatedNameHive",
                              "yarp_WrongOrderHive", "yarp_GarbageHive"}) {
    if (name == damaged) return true;
  }
  return false;
}

TEST(RealHivesTest, EveryListedKeyIsFoundByItsPath) {
  const std::vector<std::string> names = test::RealHiveNames();
  if (names.empty()) GTEST_SKIP() << "no real hives beside the repository";
  size_t total_listed = 0;
  size_t total_found = 0;
  for (const std::string& name : names) {
    const test::Bytes bytes = test::LoadRealHive(name);
    const Counts c = CheckHive(bytes);
    total_listed += c.listed;
    total_found += c.found;
    std::printf("%-36s keys listed %6zu  found by path %6zu  names with a backslash %zu  short listings %zu\n",
                name.c_str(), c.listed, c.found, c.unreachable_names, c.short_listings);
    if (!DeliberatelyDamaged(name)) {
      EXPECT_EQ(c.found, c.listed) << name << ": first misses: "
                                   << (c.misses.empty() ? "" : c.misses[0]);
      EXPECT_EQ(c.short_listings, 0u) << name;
    }
  }
  std::printf("all hives: keys listed %zu, found by path %zu\n", total_listed, total_found);
}

}  // namespace
}  // namespace keyscout
