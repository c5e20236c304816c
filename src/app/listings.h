// The -l and -e reports: a key's subkeys and its values, one row each, with
// their HCELL_INDEX, and the number of rows printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "hive/image.h"
#include "text/console.h"

namespace keyscout {

// How far a listing came, against the count its key records.
struct ListingTally {
  // The subkeys or values the listing reached: those it printed a row for
  // and those that get none (a key node without a name; the unnamed value).
  uint64_t reached = 0;
  // The key's stored count of them (stable subkeys, or values); nothing when
  // the key is not a readable key node. Volatile subkeys live in memory only
  // and are not counted: a saved hive keeps a stale count of them.
  std::optional<uint32_t> recorded;
  // True when damage kept the listing from reaching every one recorded.
  bool Short() const { return recorded && reached < *recorded; }
};

// Prints the header, one row per named subkey in list order, and the footer
// with the number of rows printed. Damage ends the rows, never the footer.
// Returns how far it came.
ListingTally ListSubkeys(const HiveImage& image, Cell key, Console& out);

// The state ListSubkeys hands to each PrintSubkeyRow call.
struct SubkeyListing {
  Console* out = nullptr;
  const HiveImage* image = nullptr;
  uint32_t rows = 0;
  uint32_t nameless_keys = 0;  // entries without a name that are key nodes
};

// Visitor of ListSubkeys (context: a SubkeyListing). Prints and counts one
// row; a subkey whose name is empty (`name` null) gets none.
int PrintSubkeyRow(void* context, Cell node, const char16_t* name, size_t length);

// Prints the value listing of `key`: header, one row per named value in list
// order, and the footer with the number of rows printed. Damage ends the
// rows, never the footer. Returns how far it came.
ListingTally ListValues(const HiveImage& image, Cell key, Console& out);

// The state ListValues hands to each PrintValueRow call.
struct ValueListing {
  Console* out = nullptr;
  uint32_t rows = 0;
  uint32_t unnamed = 0;  // unnamed values, which get no row
};

// Visitor of ListValues (context: a ValueListing). Prints and counts one row
// for a named value; the unnamed value gets none. Stops the walk when the
// value's fields cannot be read.
int PrintValueRow(const HiveImage& image, Cell value, void* context);

}  // namespace keyscout
