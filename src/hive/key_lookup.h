// Finding a key by its backslash-separated path: the binary search of each
// subkey list in the order Windows keeps it, then a linear pass.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/image.h"

namespace keyscout {

// The key node that `path` names under the root, or nothing: the key of
// LookUpKeyPath. Prints nothing.
std::optional<Cell> FindKeyByPath(const HiveImage& image, std::u16string_view path);

// Why a key path lookup found no key.
enum class LookupFailure : uint8_t {
  kNone,
  kNotAHive,            // CheckHiveImage failed: no signatures, or the root cell is damaged
  kNameTooLong,         // `missing` is longer than any stored name can be
  kNotFound,            // the key reached has no subkey named `missing`
  kListDamaged,         // the key reached has subkey lists that cannot be read whole
  kKeyDamaged,          // the key reached is not a readable key node
  kNoCurrentControlSet, // "CurrentControlSet": the root has no such key and no Select\Current
};

// What a key path lookup found, and how far it came when it found nothing.
struct KeyPathLookup {
  std::optional<Cell> key;
  LookupFailure failure = LookupFailure::kNone;
  // On failure, views into the path looked up: the deepest part found (its
  // leading components with the separators between them; empty for the
  // root) and the first component not found.
  std::u16string_view found;
  std::u16string_view missing;
  // The number NNN of the ControlSetNNN that a first component
  // "CurrentControlSet" was read as.
  std::optional<uint32_t> control_set;
  // The keys found below the root on the way, the last one the key found.
  std::vector<Cell> chain;
};

// Looks up `path` under the root: runs CheckHiveImage first, splits the
// path (SplitKeyPath) and finds each component with FindSubkey; an empty path
// (or one of backslashes only) gives the root. A first component
// "CurrentControlSet" (any case of A to Z) that the root has no key of names
// ControlSetNNN, NNN being the REG_DWORD value Current of the root's Select
// key in at least three digits, as Windows maps it. Prints nothing.
KeyPathLookup LookUpKeyPath(const HiveImage& image, std::u16string_view path);

// "ControlSet" and `number` in at least three digits, as Windows names its
// control sets ("ControlSet001").
std::u16string ControlSetName(uint32_t number);

// The number in the REG_DWORD value Current of the root's Select key: the
// control set Windows was running, or nothing when the key, the value or its
// four bytes of data cannot be had. Prints nothing.
std::optional<uint32_t> CurrentControlSetNumber(const HiveImage& image);

// Splits `path` at backslashes, skipping empty components. False when a
// component is longer than any stored name can be (NAME_MAX_CHARS units);
// `components` then ends with that one.
bool SplitKeyPath(std::u16string_view path, std::vector<std::u16string_view>* components);

// The subkey of `key` named `name` (without regard to the case of A to Z),
// or nothing. Prints nothing.
std::optional<Cell> FindSubkey(const HiveImage& image, Cell key, const char16_t* name);

// Orders `name` against the key's stored name in the order Windows keeps
// subkey lists in (a..z folded onto A..Z): negative when `name` sorts first,
// 0 when equal. A key with an empty name sorts before every name. `readable`
// is cleared when the key's name cannot be read.
int CompareKeyName(const HiveImage& image, Cell key, const char16_t* name, bool* readable);

}  // namespace keyscout
