// The -l and -e reports: a key's subkeys and its values, one row each, with
// their HCELL_INDEX, and the number of rows printed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hive/image.h"
#include "text/console.h"

namespace keyscout {

// Prints the header, one row per named subkey in list order, and the footer
// with the number of rows printed. Damage ends the rows, never the footer.
void ListSubkeys(const HiveImage& image, Cell key, Console& out);

// The state ListSubkeys hands to each PrintSubkeyRow call.
struct SubkeyListing {
  Console* out = nullptr;
  uint32_t rows = 0;
};

// Visitor of ListSubkeys (context: a SubkeyListing). Prints and counts one
// row; a subkey whose name is empty (`name` null) gets none.
int PrintSubkeyRow(void* context, Cell node, const char16_t* name, size_t length);

// Prints the value listing of `key`: header, one row per named value in list
// order, and the footer with the number of rows printed. Damage ends the
// rows, never the footer.
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

}  // namespace keyscout
