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

TEST(ControlSetServicesTest, ControlSet001ThenTheOtherSetsInListOrderEachNameOnce) {
  TreeKey root{.name = u"ROOT"};
  root.children = {ControlSet(u"ControlSet003", {u"Gamma", u"beta", u"delta"}, u"SERVICES"),
                   ControlSet(u"controlset001", {u"Beta", u"Alpha", u"ALPHA"}),
                   ControlSet(u"ControlSet002", {u"Alpha", u"Delta"}),
                   // Not "ControlSet" and three digits.
                   ControlSet(u"ControlSet1", {u"Wrong1"}), ControlSet(u"ControlSet00A", {u"Wrong2"}),
                   ControlSet(u"ControlSet0001", {u"Wrong3"}), ControlSet(u"Select", {u"Wrong4"})};
  const test::Bytes bytes = test::BuildHive(root);
  const HiveImage image(bytes.data(), bytes.size());
  EXPECT_EQ(ReadFirstControlSetServices(image), (std::vector<std::u16string>{u"Alpha", u"Beta"}));
  EXPECT_EQ(ReadOtherControlSetServices(image), (std::vector<std::u16string>{u"Alpha", u"Delta", u"beta", u"Gamma"}));
}

}  // namespace
}  // namespace keyscout
