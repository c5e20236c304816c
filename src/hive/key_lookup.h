// Finding a key by its backslash-separated path: the binary search of each
// subkey list in the order Windows keeps it, then a linear pass.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive/image.h"

namespace keyscout {

// The key node that `path` names under the root, or nothing. Runs
// CheckHiveImage first; an empty path (or one of backslashes only) gives the
// root. When `chain` is given, it receives the keys found on the way below
// the root, the last one the key found. Prints nothing.
std::optional<Cell> FindKeyByPath(const HiveImage& image, std::u16string_view path,
                                  std::vector<Cell>* chain = nullptr);

// Splits `path` at backslashes, skipping empty components. False when a
// component is longer than any stored name can be (NAME_MAX_CHARS units).
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
