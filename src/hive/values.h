// A key's values: the walk over its value list, the names of value types, and
// the lookup of one value by name.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "hive/image.h"
#include "hive/names.h"

namespace keyscout {

// Called once per value with the image, the value's "vk" cell and the
// caller's context; returns VISIT_CONTINUE or VISIT_STOP.
using ValueVisitor = int (*)(const HiveImage& image, Cell value, void* context);

// Calls `visitor` for each value of `key`, in value-list order. The key cell
// itself is taken as it is (no validity or signature test). Returns false only
// when a visitor stopped the walk; a value list entry that cannot be read or
// names a cell that fails ValidateCell quietly ends the walk with true.
// Prints nothing.
bool WalkValues(const HiveImage& image, Cell key, ValueVisitor visitor, void* context);

// The type codes that have names of their own, 0 (REG_NONE) to 11 (REG_QWORD).
inline constexpr uint32_t VALUE_TYPE_COUNT = 12;

// The name of a value type code; "REG_NONE" for every code the table does not
// hold. Static storage, never null.
const char16_t* ValueTypeName(uint32_t type);

// The state of one FindValue call, handed to each MatchValueName call.
struct ValueSearch {
  int found = 0;
  NameBuffer name = {};
  Cell value{};
};

// Visitor of FindValue (context: a ValueSearch). Stops the walk at the first
// named value whose name equals the searched one without regard to the case
// of A to Z. The unnamed value never matches.
int MatchValueName(const HiveImage& image, Cell value, void* context);

// The first value of `key`, in list order, whose name equals `name` (up to
// its first zero unit) without regard to the case of A to Z; nothing when
// there is none. The value's "vk" signature is not tested here. Prints
// nothing.
std::optional<Cell> FindValue(const HiveImage& image, Cell key, std::u16string_view name);

// The first value of `key`, in list order, whose stored name length is 0: the
// key's unnamed ("default") value; nothing when there is none. The same walk
// as FindValue's: a value whose name length cannot be read ends the search,
// and the "vk" signature is not tested here. Prints nothing.
std::optional<Cell> FindUnnamedValue(const HiveImage& image, Cell key);

}  // namespace keyscout
