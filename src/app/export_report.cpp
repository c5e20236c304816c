#include "app/export_report.h"

#include <memory>
#include <optional>

#include "app/deleted_export.h"
#include "app/diagnostics.h"
#include "app/messages.h"
#include "hive/key_lookup.h"
#include "hive/key_tree_walk.h"
#include "text/numbers.h"

namespace keyscout {

namespace {

constexpr std::string_view STATE_ALLOCATED = "allocated";

std::string_view DamageReason(WalkDamage kind) {
  switch (kind) {
    case WalkDamage::kSubkeyList:
      return REC_SUBKEY_LIST;
    case WalkDamage::kNotAKey:
      return REC_NOT_A_KEY;
    case WalkDamage::kKeyUnreadable:
      return REC_KEY_UNREADABLE;
    case WalkDamage::kCycle:
      return REC_CYCLE;
    case WalkDamage::kReachedTwice:
      return REC_REACHED_TWICE;
    case WalkDamage::kValueList:
      return REC_VALUE_LIST;
    case WalkDamage::kClassName:
      return REC_CLASS_NAME;
    case WalkDamage::kTooDeep:
      return REC_TOO_DEEP;
    case WalkDamage::kEntryLimit:
      return REC_ENTRY_LIMIT;
  }
  return REC_SUBKEY_LIST;
}

std::string_view ValueError(WalkedValueState state) {
  switch (state) {
    case WalkedValueState::kRead:
      return {};
    case WalkedValueState::kDataUnreadable:
      return REC_VALUE_DATA;
    case WalkedValueState::kUnreadable:
      return REC_VALUE_UNREADABLE;
    case WalkedValueState::kReachedTwice:
      return REC_VALUE_TWICE;
    case WalkedValueState::kDataOverBudget:
      return REC_VALUE_OVER_BUDGET;
  }
  return REC_VALUE_UNREADABLE;
}

// Hands what the walk reads to a writer as records of the live tree.
class RecordVisitor : public KeyTreeVisitor {
 public:
  RecordVisitor(RecordWriter& writer, DeletedExport* deleted) : writer_(writer), deleted_(deleted) {}

  void Key(const WalkedKey& key) override {
    writer_.BeginKey(KeyRecord{key.path, key.name, key.cell, key.fields, STATE_ALLOCATED, nullptr});
    cell_ = key.cell;
  }
  void Value(const WalkedValue& value) override {
    ValueRecord record;
    record.cell = value.cell;
    record.typed = value.state != WalkedValueState::kUnreadable && value.state != WalkedValueState::kReachedTwice;
    record.name = value.name;
    record.unnamed = value.unnamed;
    record.type = value.type;
    record.size = value.size;
    record.data = value.state == WalkedValueState::kRead ? value.data : nullptr;
    record.error = ValueError(value.state);
    writer_.Value(record);
  }
  void KeyDone() override {
    writer_.EndKey();
    // The keys deleted from this one come right after it.
    if (deleted_ != nullptr) deleted_->AfterLiveKey(cell_);
  }
  void Damage(const WalkedDamage& damage) override {
    reason_.assign(DamageReason(damage.kind));
    reason_.append(REC_CELL);
    char cell[8];
    PutHex8(damage.cell.index, cell);
    reason_.append(cell, sizeof cell);
    reason_.push_back(')');
    writer_.Error(damage.path, reason_);
  }

 private:
  RecordWriter& writer_;
  DeletedExport* deleted_;
  Cell cell_;
  std::string reason_;
};

}  // namespace

int ExportKeys(const HiveImage& image, const std::u16string* key_path, ExportFormat format, bool deleted,
               std::u16string_view hive_path, Console& out, Console& err) {
  Cell key = RootKeyCell(image);
  std::u16string start_path;
  if (key_path != nullptr) {
    const KeyPathLookup lookup = LookUpKeyPath(image, *key_path);
    if (!lookup.key || !StoredKeyPath(image, lookup.chain, &start_path)) {
      err.Wide(MSG_ERROR_PREFIX);
      err.Format(MSG_CANNOT_FIND_KEY, {*key_path});
      NoteKeyLookup(lookup, image, err);
      return 1;
    }
    NoteKeyLookup(lookup, image, err);  // the control set CurrentControlSet was read as
    key = *lookup.key;
  } else if (!HasHiveSignatures(image)) {
    // As the reports do: a file that is not a hive has no root key to export.
    err.Wide(MSG_ERROR_PREFIX);
    err.Format(MSG_CANNOT_FIND_KEY, {MSG_ROOT});
    return 1;
  }
  const std::unique_ptr<RecordWriter> writer = MakeRecordWriter(format, image, hive_path, deleted, out);
  std::optional<DeletedExport> recovered;
  if (deleted) recovered.emplace(image, key_path != nullptr ? &start_path : nullptr, *writer);
  RecordVisitor visitor(*writer, recovered ? &*recovered : nullptr);
  KeyTreeOptions options;
  // A bodyfile has a line per key and none per value.
  options.values = format != ExportFormat::kBodyfile;
  const KeyTreeCounts counts = WalkKeyTree(image, key, start_path, options, visitor);
  if (recovered) recovered->Finish();
  if (counts.damaged == 1) {
    err.Wide(MSG_EXPORT_DAMAGE_ONE);
  } else if (counts.damaged > 1) {
    err.Format(MSG_EXPORT_DAMAGE_MANY, {DecimalText(counts.damaged)});
  }
  if (recovered) {
    err.Format(MSG_EXPORT_RECOVERED, {DecimalText(counts.keys), DecimalText(recovered->keys_written()),
                                      DecimalText(recovered->values_written())});
  }
  return counts.damaged == 0 ? 0 : 1;
}

}  // namespace keyscout
