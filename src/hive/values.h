// A key's values: the walk over its value list, the -e listing and the lookup
// of one value by name.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "hive/image.h"
#include "hive/names.h"
#include "platform/console.h"

namespace keyscout {

// What a value visitor returns: go on with the next value, or end the walk.
inline constexpr int VISIT_CONTINUE = 1;
inline constexpr int VISIT_STOP = 0;

// Called once per value with the image, the value's "vk" cell and the
// caller's context; returns VISIT_CONTINUE or VISIT_STOP.
using ValueVisitor = int (*)(const HiveImage& image, Cell value, void* context);

// Calls `visitor` for each value of `key`, in value-list order. The key cell
// itself is taken as it is (no validity or signature test). Returns false only
// when a visitor stopped the walk; a value list entry that cannot be read or
// names a cell that fails ValidateCell quietly ends the walk with true.
// Prints nothing.
bool WalkValues(const HiveImage& image, Cell key, ValueVisitor visitor, void* context);

// Decodes the value's stored name into `buffer`, zero-terminated. Returns the
// number of units before the terminator, or -1 when the name cannot be read
// (buffer then holds the empty name). Prints nothing.
int DecodeValueName(const HiveImage& image, Cell value, NameBuffer& buffer);

// The name of a value type code; "REG_NONE" for every code the table does not
// hold. Static storage, never null.
const char16_t* ValueTypeName(uint32_t type);

// Prints the value listing of `key`: header, one row per named value in list
// order, and the footer with the number of rows printed. Damage ends the rows,
// never the footer.
void ListValues(const HiveImage& image, Cell key, Console& out);

// The state ListValues hands to each PrintValueRow call.
struct ValueListing {
  Console* out = nullptr;
  uint32_t rows = 0;
};

// Visitor of ListValues (context: a ValueListing). Prints and counts one row
// for a named value; the unnamed value gets none. Stops the walk when the
// value's fields cannot be read.
int PrintValueRow(const HiveImage& image, Cell value, void* context);

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

}  // namespace keyscout
