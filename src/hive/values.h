// A key's values: the walk over its value list, the -e listing and the lookup
// of one value by name.
#pragma once

#include "hive/image.h"
#include "platform/console.h"

namespace keyscout {

// Prints the value listing of `key`: header, one row per named value, footer.
void ListValues(const HiveImage& image, Cell key, Console& out);

}  // namespace keyscout
