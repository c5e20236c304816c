#include "hive/key_tree_walk.h"

#include <vector>

#include "hive/key_lookup.h"
#include "hive/names.h"
#include "hive/subkey_lists.h"

namespace keyscout {

namespace {

// One bit per 8 bytes of the file, where cells start: the cells a walk has
// reached, or has on its path.
//
// Choice: a bitmap of the file (its size / 64 bytes) rather than a set of the
// cells seen: its cost is known before the walk starts and never grows with
// what the hive holds. Cells start on 8-byte boundaries; two cells that a
// damaged list names within the same 8 bytes overlap, and the second is
// reported as reached before.
class CellBits {
 public:
  explicit CellBits(uint64_t file_size) : words_(static_cast<size_t>(file_size / 8 / 64 + 1), 0) {}
  bool Test(Cell cell) const {
    const uint64_t bit = cell.FileOffset() / 8;
    return bit / 64 < words_.size() && (words_[static_cast<size_t>(bit / 64)] >> (bit % 64) & 1) != 0;
  }
  void Set(Cell cell, bool on) {
    const uint64_t bit = cell.FileOffset() / 8;
    if (bit / 64 >= words_.size()) return;
    uint64_t& word = words_[static_cast<size_t>(bit / 64)];
    const uint64_t mask = uint64_t{1} << (bit % 64);
    word = on ? (word | mask) : (word & ~mask);
  }

 private:
  std::vector<uint64_t> words_;
};

// What one step of a cursor gives. (Opening a list gives kSubkey for a list
// that is open, whose first entry the next step reads.)
enum class CursorStep { kSubkey, kDamage, kEnd };

// A key's place in its own subkey lists: which list, and, inside an "ri", which
// leaf list, and which entry next. The lists are read as the subkey listing
// reads them (WalkSubkeys), one entry per step, so that the walk can leave a
// key for a subtree and come back.
class SubkeyCursor {
 public:
  explicit SubkeyCursor(Cell key) : key_(key) {}

  // The next subkey into `node`; or a damaged list, its cell into `damage`,
  // after which the cursor has moved past it and the walk may go on; or the
  // end of the key's lists.
  CursorStep Next(const HiveImage& image, ListEntryBudget* budget, Cell* node, WalkedDamage* damage) {
    for (;;) {
      if (in_leaf_) {
        if (leaf_next_ < leaf_.count) {
          if (!budget->Take()) return Exhausted(damage);
          if (!LeafListEntry(image, leaf_, leaf_next_++, node)) return Damaged(leaf_.cell, damage);
          return CursorStep::kSubkey;
        }
        in_leaf_ = false;
        continue;
      }
      if (in_root_) {
        if (root_next_ < root_count_) {
          if (!budget->Take()) return Exhausted(damage);
          Cell sub;
          const SubList form = IndexRootSubList(image, root_, root_next_++, &sub);
          if (form == SubList::kUnreadable) {
            in_root_ = false;
            return Damaged(root_, damage);
          }
          // A sub-list of another form holds no keys, by the rule of every
          // reader of an "ri".
          if (form == SubList::kPassedOver) continue;
          if (!OpenLeafList(image, sub, &leaf_)) return Damaged(sub, damage);
          in_leaf_ = true;
          leaf_next_ = 0;
          continue;
        }
        in_root_ = false;
        continue;
      }
      if (slot_ == LIST_SLOTS) return CursorStep::kEnd;
      const CursorStep opened = OpenList(image, slot_++, damage);
      if (opened != CursorStep::kSubkey) return opened;
    }
  }

 private:
  static constexpr int LIST_SLOTS = 2;  // the stable list, then the volatile one

  // Starts on the key's list `slot`: kSubkey when it is open, kEnd when the
  // key has no (more) subkeys, kDamage when the list cannot be read.
  CursorStep OpenList(const HiveImage& image, int slot, WalkedDamage* damage) {
    const uint32_t count_field = slot == 0 ? NK_STABLE_COUNT : NK_VOLATILE_COUNT;
    const uint32_t list_field = slot == 0 ? NK_STABLE_LIST : NK_VOLATILE_LIST;
    uint32_t count = 0;
    int32_t list_index = 0;
    // As in the listing, a count of 0 ends the key's subkeys: the volatile
    // list of a key without stable subkeys is not read.
    if (image.CellU32(key_, count_field, &count) && count == 0) {
      slot_ = LIST_SLOTS;
      return CursorStep::kEnd;
    }
    if (!image.CellI32(key_, list_field, &list_index)) return Damaged(key_, damage);
    if (list_index < 0) {
      // Choice: a volatile list in volatile storage (the index's top bit set)
      // is no damage. Windows writes such keys' counts and indexes as they
      // stood in memory, where they live, and they never reach the file.
      if (slot == 1) return CursorStep::kEnd;
      return Damaged(key_, damage);
    }
    const Cell list = CellAt(static_cast<uint32_t>(list_index));
    if (!ValidateCell(image, list)) return Damaged(list, damage);
    const uint16_t sig = image.Signature(list);
    if (IsLeafList(sig) && OpenLeafList(image, list, &leaf_)) {
      in_leaf_ = true;
      leaf_next_ = 0;
      return CursorStep::kSubkey;
    }
    if (sig == SIG_RI && IndexRootCount(image, list, &root_count_)) {
      root_ = list;
      in_root_ = true;
      root_next_ = 0;
      return CursorStep::kSubkey;
    }
    return Damaged(list, damage);
  }

  static CursorStep Damaged(Cell cell, WalkedDamage* damage) {
    damage->kind = WalkDamage::kSubkeyList;
    damage->cell = cell;
    return CursorStep::kDamage;
  }

  CursorStep Exhausted(WalkedDamage* damage) {
    in_leaf_ = in_root_ = false;
    slot_ = LIST_SLOTS;
    damage->kind = WalkDamage::kEntryLimit;
    damage->cell = key_;
    return CursorStep::kDamage;
  }

  Cell key_;
  int slot_ = 0;
  bool in_root_ = false;
  Cell root_{};
  uint16_t root_count_ = 0;
  uint32_t root_next_ = 0;
  bool in_leaf_ = false;
  LeafList leaf_{};
  uint32_t leaf_next_ = 0;
};

// One level of the walk: a key whose subkeys are being walked, and the length
// of its path.
struct Level {
  SubkeyCursor cursor;
  Cell key;
  size_t path_length;
  uint32_t depth;
};

class TreeWalk {
 public:
  TreeWalk(const HiveImage& image, const KeyTreeOptions& options, KeyTreeVisitor& visitor)
      : image_(image),
        options_(options),
        visitor_(visitor),
        budget_(image),
        bytes_left_(image.ListEntryLimit() * INDEX_ENTRY_SIZE),
        reached_(image.size()),
        on_path_(image.size()) {}

  KeyTreeCounts Run(Cell start, std::u16string_view start_path) {
    path_.assign(start_path);
    Enter(start, path_.size(), 0);
    while (!levels_.empty()) {
      Level& level = levels_.back();
      Cell node;
      WalkedDamage damage{};
      const CursorStep step = level.cursor.Next(image_, &budget_, &node, &damage);
      if (step == CursorStep::kEnd) {
        on_path_.Set(level.key, false);
        levels_.pop_back();
        continue;
      }
      if (step == CursorStep::kDamage) {
        Report(damage.kind, level.path_length, damage.cell);
        if (damage.kind == WalkDamage::kEntryLimit) levels_.clear();
        continue;
      }
      if (level.depth + 1 > KEY_TREE_MAX_DEPTH) {
        Report(WalkDamage::kTooDeep, level.path_length, node);
        continue;
      }
      // `level` may move when Enter adds a level.
      const size_t parent_length = level.path_length;
      const uint32_t depth = level.depth + 1;
      Enter(node, parent_length, depth);
    }
    return counts_;
  }

 private:
  void Report(WalkDamage kind, size_t path_length, Cell cell) {
    ++counts_.damaged;
    visitor_.Damage(WalkedDamage{kind, std::u16string_view(path_).substr(0, path_length), cell});
  }

  // Takes `length` bytes from the byte budget; false when it is spent.
  //
  // Choice: values' data and class names may not add up to more bytes than
  // the file holds. In a sound hive no two values share a data cell and no
  // two keys a class cell; a hostile one that points many at one large cell
  // would otherwise make a small file write gigabytes.
  bool TakeBytes(uint64_t length) {
    if (length > bytes_left_) return false;
    bytes_left_ -= length;
    return true;
  }

  // Hands over `key`, whose parent's path is the first `parent_length` units
  // of the path, with its values, and adds its level; or reports why it
  // cannot.
  void Enter(Cell key, size_t parent_length, uint32_t depth) {
    if (!CheckKeyNode(image_, key)) {
      Report(WalkDamage::kNotAKey, parent_length, key);
      return;
    }
    if (reached_.Test(key)) {
      Report(on_path_.Test(key) ? WalkDamage::kCycle : WalkDamage::kReachedTwice, parent_length, key);
      return;
    }
    // The start key's path is the one given, and its name is read apart;
    // below it each key's name continues its parent's path, after a
    // backslash unless the parent's path is the root's, which is empty.
    std::u16string* name_into = &path_;
    if (depth == 0) {
      start_name_.clear();
      name_into = &start_name_;
    } else {
      path_.resize(parent_length);
      if (parent_length > 0 || depth > 1) path_.push_back(u'\\');
    }
    const size_t name_start = name_into->size();
    // Every fixed field of the key node must lie in the file.
    if (!image_.reader().Contains(key.FileOffset(), NK_NAME) ||
        !AppendWholeKeyName(image_, key, name_into, &scratch_)) {
      Report(WalkDamage::kKeyUnreadable, parent_length, key);
      return;
    }
    reached_.Set(key, true);
    fields_ = ReadKeyNodeFields(image_, key);
    const bool class_damaged = !fields_.class_name || !TakeBytes(fields_.class_name->size() * 2);
    if (class_damaged) fields_.class_name.reset();
    ++counts_.keys;
    const std::u16string_view name = std::u16string_view(*name_into).substr(name_start);
    visitor_.Key(WalkedKey{key, path_, name, depth, &fields_});
    const bool values_damaged = options_.values && !WalkValues(key, fields_.values.value_or(0));
    visitor_.KeyDone();
    if (values_damaged) Report(WalkDamage::kValueList, path_.size(), key);
    if (class_damaged) Report(WalkDamage::kClassName, path_.size(), key);
    on_path_.Set(key, true);
    levels_.push_back(Level{SubkeyCursor(key), key, path_.size(), depth});
  }

  // Hands over the `count` values of `key`. False when its value list cannot
  // be read whole: the values it still holds have been handed over.
  //
  // Choice: the list must be a valid cell that holds `count` entries, where
  // the value listing reads whatever follows it in the file: a count too
  // large for the list would otherwise take other keys' values for this
  // key's own.
  bool WalkValues(Cell key, uint32_t count) {
    if (count == 0) return true;
    uint32_t list_index = 0;
    if (!image_.CellU32(key, NK_VALUE_LIST, &list_index)) return false;
    const Cell list = CellAt(list_index);
    const uint64_t length = CellLength(image_, list);
    if (!ValidateCell(image_, list) || length < VALUE_LIST_ENTRIES) return false;
    const uint64_t room = (length - VALUE_LIST_ENTRIES) / VALUE_LIST_ENTRY_SIZE;
    const uint64_t readable = count < room ? count : room;
    for (uint64_t i = 0; i < readable; ++i) {
      uint32_t value_index = 0;
      if (!budget_.Take() ||
          !image_.reader().U32(list.FileOffset() + VALUE_LIST_ENTRIES + VALUE_LIST_ENTRY_SIZE * i, &value_index)) {
        return false;
      }
      HandOverValue(CellAt(value_index));
    }
    return readable == count;
  }

  void HandOverValue(Cell value) {
    ++counts_.values;
    WalkedValue walked;
    walked.cell = value;
    uint16_t name_length = 0;
    value_name_.clear();
    // The data is located first: that also makes the value key's checks
    // (ValidateCell, "vk", its size and type fields), which `typed` reports.
    const bool located = LocateValueData(image_, value, &place_);
    if (!place_.typed) {
      walked.state = WalkedValueState::kUnreadable;
    } else if (reached_.Test(value)) {
      walked.state = WalkedValueState::kReachedTwice;
    } else if (!image_.reader().Contains(value.FileOffset(), VK_NAME) ||
               !image_.CellU16(value, VK_NAME_LENGTH, &name_length) ||
               !AppendWholeValueName(image_, value, &value_name_, &scratch_)) {
      walked.state = WalkedValueState::kUnreadable;
    } else {
      reached_.Set(value, true);
      walked.name = value_name_;
      walked.unnamed = name_length == 0;
      walked.type = place_.type;
      walked.size = place_.length;
      walked.data = &place_;
      if (!located) {
        walked.state = WalkedValueState::kDataUnreadable;
      } else if (!TakeBytes(place_.length)) {
        walked.state = WalkedValueState::kDataOverBudget;
      }
    }
    if (walked.state != WalkedValueState::kRead) ++counts_.damaged;
    visitor_.Value(walked);
  }

  const HiveImage& image_;
  const KeyTreeOptions& options_;
  KeyTreeVisitor& visitor_;
  ListEntryBudget budget_;
  uint64_t bytes_left_;
  CellBits reached_;
  CellBits on_path_;
  std::vector<Level> levels_;
  std::u16string path_;
  std::u16string start_name_;
  std::u16string value_name_;
  std::vector<uint8_t> scratch_;
  KeyNodeFields fields_;
  ValueDataPlace place_;
  KeyTreeCounts counts_;
};

}  // namespace

KeyTreeCounts WalkKeyTree(const HiveImage& image, Cell start, std::u16string_view start_path,
                          const KeyTreeOptions& options, KeyTreeVisitor& visitor) {
  TreeWalk walk(image, options, visitor);
  return walk.Run(start, start_path);
}

bool StoredKeyPath(const HiveImage& image, const std::vector<Cell>& chain, std::u16string* stored_path) {
  stored_path->clear();
  std::vector<uint8_t> scratch;
  for (size_t i = 0; i < chain.size(); ++i) {
    if (i > 0) stored_path->push_back(u'\\');
    if (!AppendWholeKeyName(image, chain[i], stored_path, &scratch)) return false;
  }
  return true;
}

}  // namespace keyscout
