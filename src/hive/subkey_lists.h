// The subkey list forms a key node points at, and the one way each is read.
// The lookup's binary search, its linear pass and the listing's walk all read
// lists through here, so a rule about a list form has one home.
#pragma once

#include <cstdint>

#include "hive/image.h"
#include "hive/layout.h"

namespace keyscout {

// True for the list forms whose entries name key nodes: "lf", "lh" and "li".
//
// Choice: "li" lists (4-byte entries without a hash) are read wherever "lf"
// and "lh" lists are, though the format's own rule for lookups names only
// those two. Some versions of Windows write "li" lists, as a key's own list
// and under an "ri", and real hives hold them; refusing them would hide keys
// that Windows itself reads.
bool IsLeafList(uint16_t signature);

// The distance between two entries of a leaf list of that form: 8 for "lf"
// and "lh" (index and hash), 4 for "li" (index only).
uint32_t LeafEntrySize(uint16_t signature);

// The subkey list entries one walk may still meet (HiveImage::ListEntryLimit).
// Walks that share one budget together meet no more than one walk may.
class ListEntryBudget {
 public:
  explicit ListEntryBudget(const HiveImage& image) : left_(image.ListEntryLimit()) {}
  // Counts one entry; false once the limit is spent.
  [[nodiscard]] bool Take() {
    if (left_ == 0) return false;
    --left_;
    return true;
  }
  // True once every entry of the limit has been taken.
  bool Spent() const { return left_ == 0; }

 private:
  uint64_t left_;
};

// A leaf list as a reader needs it: where it is, how many entries it holds
// and how far apart they lie.
struct LeafList {
  Cell cell;
  uint16_t count = 0;
  uint32_t entry_size = LEAF_ENTRY_SIZE;
};

// Reads the list's entry count and form. False when the count cannot be read.
// Prints nothing.
bool OpenLeafList(const HiveImage& image, Cell cell, LeafList* list);

// The key node that entry `i` of `list` names. False when the entry does not
// lie inside the file. Prints nothing.
bool LeafListEntry(const HiveImage& image, const LeafList& list, uint32_t i, Cell* node);

// The number of sub-lists an "ri" names. False when the field does not lie
// inside the file. Prints nothing.
bool IndexRootCount(const HiveImage& image, Cell root, uint16_t* count);

// What an entry of an "ri" names, by the one rule every reader of an "ri"
// follows.
enum class SubList : uint8_t {
  kLeaf,        // a leaf list (IsLeafList): its entries are read
  kPassedOver,  // a cell of any other form: it holds no keys
  kUnreadable,  // the entry does not lie inside the file: damage
};

// Reads entry `j` of the "ri" at `root` into `sub` and says what it names.
// Prints nothing.
//
// Choice: a sub-list of any other form (an "ri" under an "ri", a value
// list, a cell that is no list at all) is passed over and the sub-lists after
// it are still read, by the listing and the lookup alike, so that a key is
// found exactly when it is listed. Reading such a cell as a leaf list would
// take whatever its bytes happen to say for key nodes; ending the walk there
// would hide every key of the sub-lists after it for one bad entry.
SubList IndexRootSubList(const HiveImage& image, Cell root, uint32_t j, Cell* sub);

// How a walk over list entries ended.
enum class ListWalk {
  kComplete,  // every entry was visited
  kStopped,   // the visitor returned VISIT_STOP
  kDamaged,   // a field could not be read, or the entry budget ran out
};

// Calls `visit(list, i, node)` for each entry `i` of the leaf list at `cell`,
// in order (the list is handed on for reading ahead). `visit` returns
// VISIT_CONTINUE or VISIT_STOP. Each entry takes one from `budget`. Prints
// nothing.
template <typename Visit>
ListWalk ForEachLeafEntry(const HiveImage& image, Cell cell, ListEntryBudget* budget, Visit visit) {
  LeafList list;
  if (!OpenLeafList(image, cell, &list)) return ListWalk::kDamaged;
  for (uint32_t i = 0; i < list.count; ++i) {
    Cell node;
    if (!budget->Take() || !LeafListEntry(image, list, i, &node)) return ListWalk::kDamaged;
    if (visit(list, i, node) == VISIT_STOP) return ListWalk::kStopped;
  }
  return ListWalk::kComplete;
}

// Calls `visit(sub)`, which returns how its own walk of that sub-list ended,
// for each leaf list the "ri" at `root` names, in order; sub-lists of any
// other form are passed over (IndexRootSubList). Each sub-list takes one
// entry from `budget`. Prints nothing.
template <typename Visit>
ListWalk ForEachIndexRootLeaf(const HiveImage& image, Cell root, ListEntryBudget* budget, Visit visit) {
  uint16_t count = 0;
  if (!IndexRootCount(image, root, &count)) return ListWalk::kDamaged;
  for (uint32_t j = 0; j < count; ++j) {
    Cell sub;
    if (!budget->Take()) return ListWalk::kDamaged;
    const SubList form = IndexRootSubList(image, root, j, &sub);
    if (form == SubList::kUnreadable) return ListWalk::kDamaged;
    if (form == SubList::kPassedOver) continue;
    const ListWalk inner = visit(sub);
    if (inner != ListWalk::kComplete) return inner;
  }
  return ListWalk::kComplete;
}

}  // namespace keyscout
