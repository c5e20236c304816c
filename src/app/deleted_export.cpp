#include "app/deleted_export.h"

#include <algorithm>

#include "app/messages.h"
#include "hive/key_node.h"
#include "hive/live_cells.h"
#include "hive/names.h"

namespace keyscout {

namespace {

DeletedRecords FindAll(const HiveImage& image) {
  LiveCells live(image.size());
  MarkLiveCells(image, &live);
  return FindDeletedRecords(image, live);
}

std::string_view FoundInText(FoundIn found_in) {
  return found_in == FoundIn::kSlack ? REC_FOUND_IN_SLACK : REC_FOUND_IN_FREE_CELL;
}

// The cell a key's links reach in the live tree; keys that reach none sort
// last.
uint64_t LiveParentOrder(const DeletedKey& key) {
  return key.live_parent ? key.live_parent->index : uint64_t{1} << 32;
}

}  // namespace

DeletedExport::DeletedExport(const HiveImage& image, const std::u16string* start_path, RecordWriter& writer)
    : image_(image),
      // Choice: -k naming the root (an empty path) is the whole hive, as it
      // is for the live records: keys whose path is not whole are written too.
      start_path_(start_path != nullptr && !start_path->empty() ? start_path : nullptr),
      writer_(writer),
      records_(FindAll(image)),
      written_(records_.keys.size(), false) {
  order_.resize(records_.keys.size());
  for (size_t k = 0; k < order_.size(); ++k) order_[k] = k;
  std::stable_sort(order_.begin(), order_.end(), [this](size_t a, size_t b) {
    const DeletedKey& x = records_.keys[a];
    const DeletedKey& y = records_.keys[b];
    const uint64_t px = LiveParentOrder(x), py = LiveParentOrder(y);
    return px != py ? px < py : x.path < y.path;
  });
}

void DeletedExport::AfterLiveKey(Cell key) {
  auto it = std::lower_bound(order_.begin(), order_.end(), uint64_t{key.index},
                             [this](size_t k, uint64_t index) { return LiveParentOrder(records_.keys[k]) < index; });
  for (; it != order_.end() && LiveParentOrder(records_.keys[*it]) == key.index; ++it) WriteKey(*it);
}

void DeletedExport::Finish() {
  for (const size_t k : order_) {
    if (!written_[k] && LiesBelowStart(records_.keys[k])) WriteKey(k);
  }
  // A value no key holds has no path, so it lies below no key but the root.
  if (start_path_ != nullptr) return;
  for (size_t v = 0; v < records_.values.size(); ++v) {
    if (records_.values[v].key != NO_DELETED_KEY) continue;
    PrepareValue(v);
    writer_.LooseValue(record_);
  }
}

bool DeletedExport::LiesBelowStart(const DeletedKey& key) const {
  if (start_path_ == nullptr) return true;
  const std::u16string& start = *start_path_;
  return key.path_complete && key.path.size() > start.size() && key.path.compare(0, start.size(), start) == 0 &&
         key.path[start.size()] == u'\\';
}

void DeletedExport::WriteKey(size_t k) {
  if (written_[k]) return;
  written_[k] = true;
  ++keys_written_;
  const DeletedKey& key = records_.keys[k];
  KeyNodeFields fields = ReadKeyNodeFields(image_, key.cell);
  fields.class_name = key.class_name;
  key_name_.clear();
  if (!AppendWholeKeyName(image_, key.cell, &key_name_, &scratch_)) key_name_.clear();
  RecordOrigin origin{FoundInText(key.found_in), key.cell.FileOffset(), key.path_complete, key.parent_cell, false};
  writer_.BeginKey(KeyRecord{key.path, key_name_, key.cell, &fields, REC_STATE_DELETED, &origin});
  for (const size_t v : key.values) {
    PrepareValue(v);
    writer_.Value(record_);
  }
  writer_.EndKey();
}

void DeletedExport::PrepareValue(size_t v) {
  ++values_written_;
  const DeletedValue& value = records_.values[v];
  record_ = ValueRecord{};
  record_.cell = value.cell;
  uint16_t name_length = 0;
  uint32_t size = 0;
  name_.clear();
  // The checks that took the record read these fields already.
  record_.typed = image_.CellU16(value.cell, VK_NAME_LENGTH, &name_length) &&
                  image_.CellU32(value.cell, VK_TYPE, &record_.type) &&
                  image_.CellU32(value.cell, VK_DATA_SIZE, &size) &&
                  AppendWholeValueName(image_, value.cell, &name_, &scratch_);
  record_.name = name_;
  record_.unnamed = name_length == 0;
  record_.size = size & ~VALUE_DATA_RESIDENT;
  record_.data = LocateDeletedValueData(image_, value, &place_) ? &place_ : nullptr;
  origin_ = RecordOrigin{FoundInText(value.found_in), value.cell.FileOffset(), true, 0,
                         value.data == DeletedData::kReused};
  record_.origin = &origin_;
}

}  // namespace keyscout
