// The walk over a whole key tree: a key, then its values, then each of its
// subkeys with everything below it, depth first, in the order the subkey and
// value listings give. It holds one cursor per level of the tree, never the
// tree itself, and reads names exactly as stored. Parsing only: what each key
// and value looks like in a record is the caller's business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/image.h"
#include "hive/key_node.h"
#include "hive/value_data.h"

namespace keyscout {

// The deepest a key may lie below the key the walk starts at.
//
// Choice: 512 levels, the most Windows allows in a registry tree. A deeper
// chain can only be made by hand, and since every record repeats its path,
// its records would grow with the square of the chain's length.
inline constexpr uint32_t KEY_TREE_MAX_DEPTH = 512;

// One key the walk reached.
struct WalkedKey {
  Cell cell;
  // The names from below the walk's root key down to this key, joined by
  // backslashes ("" for the root key itself), and the key's own name; the
  // units exactly as stored. Valid until the visitor returns.
  std::u16string_view path;
  std::u16string_view name;
  // 0 for the key the walk starts at.
  uint32_t depth = 0;
  // The key node's fields, each as stored (ReadKeyNodeFields); the class name
  // is nothing when it cannot be read.
  const KeyNodeFields* fields = nullptr;
};

// How far the walk could read one value of the key it is in.
enum class WalkedValueState {
  kRead,             // name, type and data all read
  kDataUnreadable,   // name and type read; the data cannot be (LocateValueData)
  kUnreadable,       // the cell is no value, or its fields or name cannot be read
  kReachedTwice,     // the value's cell was reached before, from another entry
  kDataOverBudget,   // more data than the file holds was handed over already
};

// One entry of a key's value list.
struct WalkedValue {
  Cell cell;
  WalkedValueState state = WalkedValueState::kRead;
  // The name exactly as stored; empty for the unnamed value (name length 0).
  std::u16string_view name;
  bool unnamed = false;
  uint32_t type = 0;
  // The data length (the size field without its resident bit).
  uint32_t size = 0;
  // Where the data lies; checked whole when `state` is kRead.
  const ValueDataPlace* data = nullptr;
};

// A place the walk could not read, and went past.
enum class WalkDamage {
  kSubkeyList,      // a subkey list (or the key's fields that lead to it)
  kNotAKey,         // a list entry names a cell that is not a readable key node
  kKeyUnreadable,   // a key node whose fields or name cannot be read
  kCycle,           // a list entry names a key already on the path to it
  kReachedTwice,    // a list entry names a key reached before
  kValueList,       // the key's value list
  kClassName,       // the key's class name
  kTooDeep,         // a key more than KEY_TREE_MAX_DEPTH levels down
  kEntryLimit,      // more list entries than the file has room for: the walk ends
};

struct WalkedDamage {
  WalkDamage kind;
  // The key the damage was met in (the parent, for a subkey that cannot be
  // read), as WalkedKey::path.
  std::u16string_view path;
  // The cell concerned: the list, the subkey's cell, or the key.
  Cell cell;
};

// Receives the walk's records, in this order for each key: Key, Value for
// each entry of its value list, KeyDone, then Damage for its value list or
// class name when they could not be read; then its subkeys, each the same
// way, with Damage for each subkey list entry that could not be followed.
class KeyTreeVisitor {
 public:
  virtual ~KeyTreeVisitor() = default;
  virtual void Key(const WalkedKey& key) = 0;
  virtual void Value(const WalkedValue& value) = 0;
  // The key's values are all handed over; its subkeys follow.
  virtual void KeyDone() = 0;
  virtual void Damage(const WalkedDamage& damage) = 0;
};

struct KeyTreeOptions {
  // False: the values are not read, and Value is never called.
  bool values = true;
};

// What one walk met.
struct KeyTreeCounts {
  uint64_t keys = 0;
  uint64_t values = 0;
  // The places that could not be read: Damage calls and values in any state
  // but kRead.
  uint64_t damaged = 0;
};

// Walks `start` and every key below it, handing each to `visitor`.
// `start_path` is the start key's path (WalkedKey::path); its subkeys' paths
// continue it. Subkeys come in the order the subkey listing gives (the stable
// list, then the volatile list), values in value list order. A list entry
// that cannot be followed, a key reached twice and a key already on the path
// (a cycle) are reported as damage and passed over; the walk goes on with
// the next entry. Every entry of every list read takes one from one
// ListEntryBudget, and every value's data and class name from a byte budget
// of the file's size: in a sound hive no two of them share bytes, so a walk
// that spends either met lists or cells that name each other over and over,
// and it reports that and stops (the entry budget) or refuses the data or
// name (the byte budget). Memory grows with the depth of the tree and the
// longest name, never with the number of keys beyond a bitmap of one bit per
// 8 bytes of the file. Prints nothing.
KeyTreeCounts WalkKeyTree(const HiveImage& image, Cell start, std::u16string_view start_path,
                          const KeyTreeOptions& options, KeyTreeVisitor& visitor);

// In `stored_path`, the names of the keys of `chain` (the keys below the root
// on the way to a key, as LookUpKeyPath gives them) exactly as stored, joined
// by backslashes. False when one of the names cannot be read. Prints nothing.
bool StoredKeyPath(const HiveImage& image, const std::vector<Cell>& chain, std::u16string* stored_path);

}  // namespace keyscout
