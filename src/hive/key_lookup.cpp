#include "hive/key_lookup.h"

#include "hive/names.h"
#include "hive/subkey_lists.h"
#include "hive/value_data.h"
#include "hive/values.h"
#include "text/case_fold.h"
#include "text/numbers.h"

namespace keyscout {

namespace {

// The outcome of one search through one subkey list.
enum class Search { kFound, kNotFound, kEmpty, kRefused };

struct SearchResult {
  Search outcome = Search::kNotFound;
  Cell node{};
  int last_sign = 0;  // sign of the last comparison, for steering an "ri"
};

// Binary search of one leaf list.
SearchResult SearchLeafList(const HiveImage& image, Cell cell, const char16_t* name) {
  LeafList list;
  if (!OpenLeafList(image, cell, &list)) return {Search::kRefused};
  if (list.count == 0) return {Search::kEmpty};
  SearchResult result;
  int64_t lo = 0;
  int64_t hi = int64_t{list.count} - 1;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    Cell node;
    if (!LeafListEntry(image, list, static_cast<uint32_t>(mid), &node)) return {Search::kRefused};
    bool readable = true;
    const int c = CompareKeyName(image, node, name, &readable);
    if (!readable) return {Search::kRefused};
    result.last_sign = c;
    if (c < 0) {
      hi = mid - 1;
    } else if (c > 0) {
      lo = mid + 1;
    } else {
      return {Search::kFound, node, c};
    }
  }
  result.outcome = Search::kNotFound;
  return result;
}

// Binary search of an "ri": first over its leaf lists, then inside the one
// probed.
SearchResult SearchIndexRoot(const HiveImage& image, Cell root, const char16_t* name) {
  uint16_t count = 0;
  if (!IndexRootCount(image, root, &count)) return {Search::kRefused};
  int64_t lo = 0;
  int64_t hi = int64_t{count} - 1;
  while (lo <= hi) {
    const int64_t mid = (lo + hi) / 2;
    Cell sub;
    const SubList form = IndexRootSubList(image, root, static_cast<uint32_t>(mid), &sub);
    if (form == SubList::kUnreadable) return {Search::kRefused};
    // A sub-list passed over, or an empty one, holds no name to steer by:
    // the search ends unsettled and the linear pass, which passes over it
    // and reads the rest, settles it (FindSubkey).
    if (form == SubList::kPassedOver) return {Search::kNotFound};
    const SearchResult inner = SearchLeafList(image, sub, name);
    if (inner.outcome == Search::kFound || inner.outcome == Search::kRefused) return inner;
    if (inner.outcome == Search::kEmpty) return {Search::kNotFound};
    if (inner.last_sign < 0) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  return {Search::kNotFound};
}

// Equality scan of one leaf list, in entry order.
SearchResult ScanLeafList(const HiveImage& image, Cell cell, const char16_t* name, ListEntryBudget* budget) {
  LeafList list;
  if (!OpenLeafList(image, cell, &list)) return {Search::kRefused};
  // An empty list ends the pass as it ends the binary search.
  if (list.count == 0) return {Search::kEmpty};
  SearchResult result{Search::kNotFound};
  bool readable = true;
  const ListWalk walk = ForEachLeafEntry(image, cell, budget, [&](const LeafList&, uint32_t, Cell node) {
    if (CompareKeyName(image, node, name, &readable) != 0) return readable ? VISIT_CONTINUE : VISIT_STOP;
    result = {Search::kFound, node};
    return VISIT_STOP;
  });
  if (walk == ListWalk::kDamaged || !readable) return {Search::kRefused};
  return result;
}

// Equality scan of every leaf list under an "ri".
SearchResult ScanIndexRoot(const HiveImage& image, Cell root, const char16_t* name, ListEntryBudget* budget) {
  SearchResult result{Search::kNotFound};
  const ListWalk walk = ForEachIndexRootLeaf(image, root, budget, [&](Cell sub) {
    result = ScanLeafList(image, sub, name, budget);
    return result.outcome == Search::kFound || result.outcome == Search::kRefused ? ListWalk::kStopped
                                                                                    : ListWalk::kComplete;
  });
  if (walk == ListWalk::kDamaged) return {Search::kRefused};
  return result.outcome == Search::kEmpty ? SearchResult{Search::kNotFound} : result;
}

// Walks the key's stable then volatile list by the lookup's rules, searching
// each list with `leaf` and `index_root`.
template <typename LeafSearch, typename RootSearch>
SearchResult SearchKeyLists(const HiveImage& image, Cell key, LeafSearch leaf, RootSearch index_root) {
  for (const uint32_t field : {NK_STABLE_LIST, NK_VOLATILE_LIST}) {
    int32_t list_index = 0;
    if (!image.CellI32(key, field, &list_index)) return {Search::kRefused};
    // A negative field ends the search: a key without a stable list is never
    // searched through its volatile list.
    if (list_index < 0) return {Search::kNotFound};
    // A list that fails its checks ends the search as damage (refused): the
    // name may be in it unseen.
    const Cell list = CellAt(static_cast<uint32_t>(list_index));
    if (!ValidateCell(image, list)) return {Search::kRefused};
    const uint16_t sig = image.Signature(list);
    if (sig == SIG_RI) return index_root(list);  // the other list is not consulted
    if (!IsLeafList(sig)) return {Search::kRefused};
    const SearchResult result = leaf(list);
    if (result.outcome != Search::kNotFound) return result;  // found, empty or refused
  }
  return {Search::kNotFound};
}

// FindSubkey's search of a key that passed CheckKeyNode, with the outcome
// that tells a name that is not there from lists that could not be read.
SearchResult SearchSubkey(const HiveImage& image, Cell key, const char16_t* name) {
  SearchResult result = SearchKeyLists(
      image, key, [&](Cell list) { return SearchLeafList(image, list, name); },
      [&](Cell list) { return SearchIndexRoot(image, list, name); });
  // A list sorted by some other writer can hide a key from the binary search;
  // one equality pass over the same lists settles it, whatever ended the
  // search (an empty volatile list after a stable one that missed among
  // others). Unlike the binary search, the pass visits every entry, so it
  // keeps to the walks' limit.
  if (result.outcome != Search::kFound) {
    ListEntryBudget budget(image);
    result = SearchKeyLists(
        image, key, [&](Cell list) { return ScanLeafList(image, list, name, &budget); },
        [&](Cell list) { return ScanIndexRoot(image, list, name, &budget); });
  }
  return result;
}

constexpr std::u16string_view CURRENT_CONTROL_SET = u"CurrentControlSet";
constexpr size_t CONTROL_SET_DIGITS = 3;

}  // namespace

int CompareKeyName(const HiveImage& image, Cell key, const char16_t* name, bool* readable) {
  uint16_t length = 0;
  if (!image.CellU16(key, NK_NAME_LENGTH, &length)) {
    *readable = false;
    return 1;
  }
  // An empty stored name sorts before everything, so it is never matched and
  // the search moves past it.
  if (length == 0) return 1;
  NameBuffer stored;
  const int units = DecodeKeyName(image, key, stored);
  if (units < 0) {
    *readable = false;
    return 1;
  }
  const std::u16string_view whole(stored, static_cast<size_t>(units));
  // Choice: fold a..z onto A..Z, the order in which Windows keeps subkey
  // lists. Folding the other way puts "_", "[", "\", "]", "^" and "`" on the
  // wrong side of the letters and the binary search misses real keys.
  // Equality is the same either way. A typed U+FFFD that stands for a lone
  // surrogate counts as equal and steers by the units after it; should that
  // mislead the search, the linear pass finds the key.
  for (size_t i = 0;; ++i) {
    if (name[i] != 0 && TypedUnitMatches(name[i], whole, i)) continue;
    const int a = FoldUpper(name[i]);
    const int b = FoldUpper(stored[i]);
    if (a != b || name[i] == 0) return a - b;
  }
}

bool SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>* components) {
  components->clear();
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && path[i] == u'\\') ++i;
    size_t j = i;
    while (j < path.size() && path[j] != u'\\') ++j;
    if (j > i) {
      components->push_back(path.substr(i, j - i));
      // Choice: paths may be of any length (real keys have paths longer than
      // 259 units); only a component that no stored name can equal is refused.
      if (j - i > NAME_MAX_CHARS) return false;
    }
    i = j;
  }
  return true;
}

std::optional<Cell> FindSubkey(const HiveImage& image, Cell key, const char16_t* name) {
  if (!CheckKeyNode(image, key)) return std::nullopt;
  const SearchResult result = SearchSubkey(image, key, name);
  if (result.outcome == Search::kFound) return result.node;
  return std::nullopt;
}

std::u16string ControlSetName(uint32_t number) {
  const std::u16string digits = DecimalText(number);
  std::u16string name = u"ControlSet";
  if (digits.size() < CONTROL_SET_DIGITS) name.append(CONTROL_SET_DIGITS - digits.size(), u'0');
  return name + digits;
}

std::optional<uint32_t> CurrentControlSetNumber(const HiveImage& image) {
  const std::optional<Cell> select = FindSubkey(image, RootKeyCell(image), u"Select");
  if (!select) return std::nullopt;
  const std::optional<Cell> current = FindValue(image, *select, u"Current");
  uint8_t data[4] = {};
  uint32_t type = 0;
  uint32_t number = 0;
  if (!current || GetValueDataLength(image, *current) != sizeof(data) ||
      !ReadValueData(image, *current, &type, data, sizeof(data)) || type != VALUE_TYPE_DWORD ||
      !ByteReader(data, sizeof(data)).U32(0, &number)) {
    return std::nullopt;
  }
  return number;
}

KeyPathLookup LookUpKeyPath(const HiveImage& image, std::u16string_view path) {
  KeyPathLookup lookup;
  if (!CheckHiveImage(image)) {
    lookup.failure = LookupFailure::kNotAHive;
    return lookup;
  }
  std::vector<std::u16string_view> components;
  SplitKeyPath(path, &components);  // a component too long ends the list, and is reported below
  Cell key = RootKeyCell(image);
  NameBuffer name;
  for (size_t k = 0; k < components.size(); ++k) {
    const std::u16string_view component = components[k];
    const auto fail = [&](LookupFailure failure) {
      lookup.failure = failure;
      if (k > 0) {
        const size_t start = static_cast<size_t>(components.front().data() - path.data());
        const size_t end = static_cast<size_t>(components[k - 1].data() - path.data()) + components[k - 1].size();
        lookup.found = path.substr(start, end - start);
      }
      lookup.missing = component;
      return lookup;
    };
    if (component.size() > NAME_MAX_CHARS) return fail(LookupFailure::kNameTooLong);
    if (!CheckKeyNode(image, key)) return fail(LookupFailure::kKeyDamaged);
    component.copy(name, component.size());
    name[component.size()] = 0;
    SearchResult result = SearchSubkey(image, key, name);
    if (result.outcome != Search::kFound && k == 0 && EqualFolded(component, CURRENT_CONTROL_SET)) {
      lookup.control_set = CurrentControlSetNumber(image);
      if (!lookup.control_set) return fail(LookupFailure::kNoCurrentControlSet);
      const std::u16string control_set = ControlSetName(*lookup.control_set);
      control_set.copy(name, control_set.size());
      name[control_set.size()] = 0;
      result = SearchSubkey(image, key, name);
    }
    if (result.outcome == Search::kRefused) return fail(LookupFailure::kListDamaged);
    if (result.outcome != Search::kFound) return fail(LookupFailure::kNotFound);
    key = result.node;
    lookup.chain.push_back(key);
  }
  lookup.key = key;
  return lookup;
}

std::optional<Cell> FindKeyByPath(const HiveImage& image, std::u16string_view path) {
  return LookUpKeyPath(image, path).key;
}

}  // namespace keyscout
