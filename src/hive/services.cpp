#include "hive/services.h"

#include <optional>
#include <string_view>
#include <unordered_set>

#include "hive/key_lookup.h"
#include "hive/layout.h"
#include "hive/subkey_lists.h"
#include "hive/subkey_walk.h"
#include "text/case_fold.h"

namespace keyscout {

namespace {

constexpr std::u16string_view CONTROL_SET_PREFIX = u"ControlSet";
constexpr size_t CONTROL_SET_DIGITS = 3;
constexpr std::u16string_view FIRST_CONTROL_SET_NUMBER = u"001";
constexpr std::u16string_view SERVICES_KEY = u"Services";

// The three digits of a "ControlSetNNN" name, or an empty view for any
// other name.
std::u16string_view ControlSetNumber(const char16_t* name, size_t length) {
  if (length != CONTROL_SET_PREFIX.size() + CONTROL_SET_DIGITS ||
      !EqualFolded(std::u16string_view(name, CONTROL_SET_PREFIX.size()), CONTROL_SET_PREFIX)) {
    return {};
  }
  const std::u16string_view digits(name + CONTROL_SET_PREFIX.size(), CONTROL_SET_DIGITS);
  for (const char16_t unit : digits) {
    if (unit < u'0' || unit > u'9') return {};
  }
  return digits;
}

// What the walks share: the list entries they may still meet, and what they
// found.
struct ServiceWalk {
  explicit ServiceWalk(const HiveImage& hive) : image(hive), budget(hive) {}

  const HiveImage& image;
  // One key visited is one entry taken, whichever of the walks visits it.
  ListEntryBudget budget;
  // The other control sets, by number, and their key nodes in list order.
  std::unordered_set<std::u16string> numbers_seen;
  std::vector<Cell> control_sets;
  std::optional<Cell> services;
  // The names given, and the same folded onto A to Z.
  std::vector<std::u16string> names;
  std::unordered_set<std::u16string> folded_seen;
};

int CollectControlSet(void* context, Cell node, const char16_t* name, size_t length) {
  auto* walk = static_cast<ServiceWalk*>(context);
  if (!walk->budget.Take()) return VISIT_STOP;
  const std::u16string_view number = ControlSetNumber(name, length);
  // Choice: one key per number, the first in list order; a second key of the
  // same name is damage, and reading it again would only repeat names.
  if (!number.empty() && number != FIRST_CONTROL_SET_NUMBER && walk->numbers_seen.emplace(number).second) {
    walk->control_sets.push_back(node);
  }
  return VISIT_CONTINUE;
}

int FindServicesKey(void* context, Cell node, const char16_t* name, size_t length) {
  auto* walk = static_cast<ServiceWalk*>(context);
  if (!walk->budget.Take()) return VISIT_STOP;
  if (name == nullptr || !EqualFolded(std::u16string_view(name, length), SERVICES_KEY)) return VISIT_CONTINUE;
  walk->services = node;
  return VISIT_STOP;
}

int CollectServiceName(void* context, Cell node, const char16_t* name, size_t length) {
  auto* walk = static_cast<ServiceWalk*>(context);
  if (!walk->budget.Take()) return VISIT_STOP;
  // An entry that does not lead to a key node names no service.
  if (name == nullptr || !CheckKeyNode(walk->image, node)) {
    return VISIT_CONTINUE;
  }
  std::u16string folded(name, length);
  for (char16_t& unit : folded) unit = FoldUpper(unit);
  if (walk->folded_seen.insert(std::move(folded)).second) walk->names.emplace_back(name, length);
  return VISIT_CONTINUE;
}

}  // namespace

std::vector<std::u16string> ReadFirstControlSetServices(const HiveImage& image) {
  ServiceWalk walk(image);
  // Choice: a walk cut short by damage keeps the names it read before the
  // damage, as a listing keeps the rows it printed: each is the name of a
  // key that is there, and a name can only ever name the SID it hashes to.
  const std::optional<Cell> services = FindKeyByPath(image, u"ControlSet001\\Services");
  if (services) WalkSubkeys(image, *services, CollectServiceName, &walk);
  return std::move(walk.names);
}

std::vector<std::u16string> ReadOtherControlSetServices(const HiveImage& image) {
  ServiceWalk walk(image);
  if (!CheckHiveImage(image)) return {};
  // Choice: the other control sets in the order of the root's list, which
  // Windows keeps sorted, so ControlSet002 comes before ControlSet003. The
  // order only decides which spelling wins between names that differ in case
  // alone; ControlSet001 comes before them all as the set a system boots from
  // unless told otherwise, and the rest need no value of the hive to be read.
  //
  // Their Services keys are found by a walk rather than by FindSubkey: a walk
  // takes its entries from the budget all these walks share, where up to 998
  // lookups, each free to scan a list of the whole file's size when the key
  // is missing, would not be bounded like one walk.
  WalkSubkeys(image, RootKeyCell(image), CollectControlSet, &walk);
  for (const Cell control_set : walk.control_sets) {
    if (walk.budget.Spent()) break;
    walk.services.reset();
    WalkSubkeys(image, control_set, FindServicesKey, &walk);
    if (walk.services) WalkSubkeys(image, *walk.services, CollectServiceName, &walk);
  }
  return std::move(walk.names);
}

}  // namespace keyscout
