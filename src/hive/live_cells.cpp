#include "hive/live_cells.h"

#include <vector>

#include "hive/subkey_lists.h"
#include "hive/value_cells.h"

namespace keyscout {

namespace {

// A key still to be walked, and the key whose list named it.
struct KeyStep {
  Cell key;
  Cell parent;
  bool root = false;
};

// Marks the first `extent` bytes of `cell`, never past its own end.
void MarkRecord(const HiveImage& image, CellSet* set, Cell cell, uint64_t extent) {
  const uint64_t length = CellLength(image, cell);
  set->Mark(cell, extent < length ? extent : length);
}

// The test the readers make of a data cell: it passes ValidateCell and is
// long enough.
CellVerdict LiveCellTest(const void*, const HiveImage& image, Cell cell, uint64_t extent) {
  return ValidateCell(image, cell) && CellLength(image, cell) >= extent ? CellVerdict::kUsable
                                                                          : CellVerdict::kUnusable;
}

class LiveWalk {
 public:
  LiveWalk(const HiveImage& image, LiveCells* live) : image_(image), live_(*live), budget_(image) {}

  void Run() {
    const Cell root = RootKeyCell(image_);
    stack_.push_back({root, root, true});
    while (!stack_.empty()) {
      const KeyStep step = stack_.back();
      stack_.pop_back();
      // A key already marked (met before, or lying inside another record)
      // is not walked again: a list that leads back up the tree ends here.
      if (live_.records.Contains(step.key) || !CheckKeyNode(image_, step.key)) continue;
      MarkKey(step);
    }
  }

 private:
  void MarkKey(const KeyStep& step) {
    const Cell key = step.key;
    uint16_t name_length = 0;
    if (!image_.CellU16(key, NK_NAME_LENGTH, &name_length)) return;
    MarkRecord(image_, &live_.records, key, uint64_t{NK_NAME} + name_length);
    uint32_t parent = 0;
    if (step.root || (image_.CellU32(key, NK_PARENT, &parent) && parent == step.parent.index)) {
      live_.keys.Mark(key, 1);
    }
    uint64_t written = 0;
    if (image_.reader().U64(key.FileOffset() + NK_LAST_WRITTEN, &written) && written > live_.latest_written) {
      live_.latest_written = written;
    }
    MarkClassAndSecurity(key);
    MarkValues(key);
    const uint32_t lists[2][2] = {{NK_STABLE_COUNT, NK_STABLE_LIST}, {NK_VOLATILE_COUNT, NK_VOLATILE_LIST}};
    for (const auto& pair : lists) {
      uint32_t count = 0;
      int32_t list = 0;
      // As the subkey walk reads them: a list only while its count is not 0.
      if (!image_.CellU32(key, pair[0], &count) || count == 0) continue;
      if (!image_.CellI32(key, pair[1], &list) || list < 0) continue;
      MarkSubkeyList(CellAt(static_cast<uint32_t>(list)), key);
    }
  }

  void MarkClassAndSecurity(Cell key) {
    uint16_t class_length = 0;
    uint32_t index = 0;
    if (image_.CellU16(key, NK_CLASS_LENGTH, &class_length) && class_length != 0 &&
        image_.CellU32(key, NK_CLASS_NAME, &index) && ValidateCell(image_, CellAt(index))) {
      MarkRecord(image_, &live_.records, CellAt(index), uint64_t{DATA_BYTES} + class_length);
    }
    // Security cells are shared by many keys and hold no slack worth a
    // search: the whole cell is marked.
    if (image_.CellU32(key, NK_SECURITY, &index) && ValidateCell(image_, CellAt(index))) {
      MarkRecord(image_, &live_.records, CellAt(index), CellLength(image_, CellAt(index)));
    }
  }

  void MarkValues(Cell key) {
    uint32_t count = 0;
    uint32_t list_index = 0;
    if (!image_.CellU32(key, NK_VALUE_COUNT, &count) || count == 0) return;
    if (!image_.CellU32(key, NK_VALUE_LIST, &list_index)) return;
    const Cell list = CellAt(list_index);
    const uint64_t list_length = CellLength(image_, list);
    if (!ValidateCell(image_, list) || list_length < VALUE_LIST_ENTRIES) return;
    // Entries are read only as far as the list cell holds them: a count of
    // four billion in a damaged key costs nothing.
    const uint64_t room = (list_length - VALUE_LIST_ENTRIES) / VALUE_LIST_ENTRY_SIZE;
    const uint64_t entries = count < room ? count : room;
    MarkRecord(image_, &live_.records, list, VALUE_LIST_ENTRIES + VALUE_LIST_ENTRY_SIZE * entries);
    for (uint64_t i = 0; i < entries; ++i) {
      uint32_t index = 0;
      if (!image_.reader().U32(list.FileOffset() + VALUE_LIST_ENTRIES + VALUE_LIST_ENTRY_SIZE * i, &index)) return;
      const Cell value = CellAt(index);
      uint16_t name_length = 0;
      if (!CheckValueKey(image_, value) || !image_.CellU16(value, VK_NAME_LENGTH, &name_length)) {
        continue;
      }
      MarkRecord(image_, &live_.records, value, uint64_t{VK_NAME} + name_length);
      // The cells that passed are marked also when a later one did not.
      FindValueDataCells(image_, value, LiveCellTest, nullptr, &data_cells_);
      for (const ValueDataCell& data : data_cells_) MarkRecord(image_, &live_.records, data.cell, data.extent);
    }
  }

  void MarkSubkeyList(Cell list, Cell parent) {
    if (!ValidateCell(image_, list)) return;
    const uint16_t sig = image_.Signature(list);
    if (IsLeafList(sig)) {
      MarkLeafList(list, parent);
    } else if (sig == SIG_RI) {
      uint16_t count = 0;
      if (!IndexRootCount(image_, list, &count)) return;
      MarkRecord(image_, &live_.records, list, LIST_ENTRIES + uint64_t{INDEX_ENTRY_SIZE} * count);
      ForEachIndexRootLeaf(image_, list, &budget_, [&](Cell sub) {
        MarkLeafList(sub, parent);
        return ListWalk::kComplete;
      });
    }
  }

  void MarkLeafList(Cell cell, Cell parent) {
    LeafList list;
    if (!OpenLeafList(image_, cell, &list)) return;
    MarkRecord(image_, &live_.records, cell, LIST_ENTRIES + uint64_t{list.entry_size} * list.count);
    for (uint32_t i = 0; i < list.count; ++i) {
      Cell node;
      if (!budget_.Take() || !LeafListEntry(image_, list, i, &node)) return;
      stack_.push_back({node, parent, false});
    }
  }

  const HiveImage& image_;
  LiveCells& live_;
  ListEntryBudget budget_;
  std::vector<KeyStep> stack_;
  std::vector<ValueDataCell> data_cells_;
};

}  // namespace

void MarkLiveCells(const HiveImage& image, LiveCells* live) { LiveWalk(image, live).Run(); }

}  // namespace keyscout
