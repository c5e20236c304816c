#include "hive/subkey_lists.h"

namespace keyscout {

bool IsLeafList(uint16_t signature) { return signature == SIG_LF || signature == SIG_LH || signature == SIG_LI; }

uint32_t LeafEntrySize(uint16_t signature) { return signature == SIG_LI ? INDEX_ENTRY_SIZE : LEAF_ENTRY_SIZE; }

bool OpenLeafList(const HiveImage& image, Cell cell, LeafList* list) {
  list->cell = cell;
  list->entry_size = LeafEntrySize(image.Signature(cell));
  return image.CellU16(cell, LIST_COUNT, &list->count);
}

bool LeafListEntry(const HiveImage& image, const LeafList& list, uint32_t i, Cell* node) {
  uint32_t index = 0;
  if (!image.reader().U32(list.cell.FileOffset() + LIST_ENTRIES + uint64_t{i} * list.entry_size, &index)) {
    return false;
  }
  *node = CellAt(index);
  return true;
}

bool IndexRootCount(const HiveImage& image, Cell root, uint16_t* count) {
  return image.CellU16(root, LIST_COUNT, count);
}

SubList IndexRootSubList(const HiveImage& image, Cell root, uint32_t j, Cell* sub) {
  uint32_t index = 0;
  if (!image.reader().U32(root.FileOffset() + LIST_ENTRIES + uint64_t{j} * INDEX_ENTRY_SIZE, &index)) {
    return SubList::kUnreadable;
  }
  *sub = CellAt(index);
  return IsLeafList(image.Signature(*sub)) ? SubList::kLeaf : SubList::kPassedOver;
}

}  // namespace keyscout
