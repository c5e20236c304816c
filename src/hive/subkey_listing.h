// The -l report: a key's subkeys with their HCELL_INDEX and name.
#pragma once

#include <cstdint>

#include "hive/image.h"
#include "platform/console.h"

namespace keyscout {

// Prints the header, one row per named subkey in list order, and the footer
// with the number of rows printed. Damage ends the rows, never the footer.
void ListSubkeys(const HiveImage& image, Cell key, Console& out);

}  // namespace keyscout
