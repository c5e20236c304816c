#include "hive/subkey_walk.h"

#include "hive/names.h"
#include "hive/subkey_lists.h"

namespace keyscout {

namespace {

// How many entries ahead a list walk asks for the next key cells.
constexpr uint32_t SUBKEY_PREFETCH_AHEAD = 8;

// Decodes one entry's name and hands it to the visitor: VISIT_STOP when the
// visitor asks it, or when the node's name cannot be read (the walk ends
// there as at any other damage; `damaged` says which).
int VisitNode(const HiveImage& image, Cell node, SubkeyVisitor visitor, void* context, bool* damaged) {
  uint16_t length = 0;
  if (!image.CellU16(node, NK_NAME_LENGTH, &length)) {
    *damaged = true;
    return VISIT_STOP;
  }
  if (length == 0) return visitor(context, node, nullptr, 0);
  NameBuffer name;
  const int n = DecodeKeyName(image, node, name);
  if (n < 0) {
    *damaged = true;
    return VISIT_STOP;
  }
  return visitor(context, node, name, static_cast<size_t>(n));
}

// Visits the entries of one leaf list.
ListWalk VisitLeafList(const HiveImage& image, Cell cell, SubkeyVisitor visitor, void* context,
                       ListEntryBudget* budget) {
  bool damaged = false;
  const ListWalk walk = ForEachLeafEntry(image, cell, budget, [&](const LeafList& list, uint32_t i, Cell node) {
    // A listing of a million keys waits mostly on memory: ask for the key a
    // few entries ahead (its flags and its name) while this one is decoded.
    Cell ahead;
    if (list.count - i > SUBKEY_PREFETCH_AHEAD && LeafListEntry(image, list, i + SUBKEY_PREFETCH_AHEAD, &ahead)) {
      image.PrefetchCell(ahead, NK_FLAGS);
      image.PrefetchCell(ahead, NK_NAME_LENGTH);
    }
    return VisitNode(image, node, visitor, context, &damaged);
  });
  return damaged ? ListWalk::kDamaged : walk;
}

}  // namespace

bool WalkSubkeys(const HiveImage& image, Cell key, SubkeyVisitor visitor, void* context) {
  if (!CheckKeyNode(image, key)) return false;
  const uint32_t pairs[2][2] = {{NK_STABLE_COUNT, NK_STABLE_LIST}, {NK_VOLATILE_COUNT, NK_VOLATILE_LIST}};
  ListEntryBudget budget(image);
  for (const auto& pair : pairs) {
    uint32_t subkeys = 0;
    int32_t list_index = 0;
    if (!image.CellU32(key, pair[0], &subkeys)) return false;
    // The counts serve only to say whether a list is there; the rows come
    // from the lists' own entry counts. No (more) subkeys: the walk is done.
    if (subkeys == 0) return true;
    if (!image.CellI32(key, pair[1], &list_index) || list_index < 0) return false;
    const Cell list = CellAt(static_cast<uint32_t>(list_index));
    if (!ValidateCell(image, list)) return false;
    const uint16_t sig = image.Signature(list);
    ListWalk walk = ListWalk::kDamaged;
    if (IsLeafList(sig)) {
      walk = VisitLeafList(image, list, visitor, context, &budget);
    } else if (sig == SIG_RI) {
      walk = ForEachIndexRootLeaf(image, list, &budget,
                                  [&](Cell sub) { return VisitLeafList(image, sub, visitor, context, &budget); });
    }
    if (walk != ListWalk::kComplete) return false;
  }
  return true;
}

}  // namespace keyscout
