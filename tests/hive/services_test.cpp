#include "hive/services.h"

#include <gtest/gtest.h>

#include "support/hive_builder.h"

namespace keyscout {
namespace {

using test::TreeKey;

// A control set whose services key (named `services`) holds `names`.
TreeKey ControlSet(const std::u16string& name, const std::vector<std::u16string>& names,
                   const std::u16string& services = u"Services") {
  TreeKey set{.name = name};
  TreeKey key{.name = services};
  for (const std::u16string& service : names) key.children.push_back(TreeKey{.name = service});
  set.children = {TreeKey{.name = u"Control"}, key};
  return set;
}

TEST(ReadServiceNamesTest, ControlSet001FirstThenTheOtherSetsInListOrderEachNameOnce) {
  TreeKey root{.name = u"ROOT"};
  root.children = {ControlSet(u"ControlSet003", {u"Gamma", u"beta"}, u"SERVICES"),
                   ControlSet(u"controlset001", {u"Beta", u"Alpha"}),
                   ControlSet(u"ControlSet002", {u"ALPHA", u"Delta"}),
                   // Not "ControlSet" and three digits.
                   ControlSet(u"ControlSet1", {u"Wrong1"}), ControlSet(u"ControlSet00A", {u"Wrong2"}),
                   ControlSet(u"ControlSet0001", {u"Wrong3"}), ControlSet(u"Select", {u"Wrong4"})};
  const test::Bytes bytes = test::BuildHive(root);
  EXPECT_EQ(ReadServiceNames(HiveImage(bytes.data(), bytes.size())),
            (std::vector<std::u16string>{u"Alpha", u"Beta", u"Delta", u"Gamma"}));

  // Without ControlSet001, the other sets still give theirs.
  root.children.erase(root.children.begin() + 1);
  const test::Bytes without = test::BuildHive(root);
  EXPECT_EQ(ReadServiceNames(HiveImage(without.data(), without.size())),
            (std::vector<std::u16string>{u"ALPHA", u"Delta", u"beta", u"Gamma"}));
}

}  // namespace
}  // namespace keyscout
