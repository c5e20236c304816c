// The -s report: the key's owner, group, SACL and DACL rows.
#pragma once

#include "hive/image.h"
#include "text/console.h"

namespace keyscout {

// Prints the security table of `key`. Failures of the descriptor model leave
// as CAtlException after the rows printed so far; the driver ends the run.
void ShowKeySecurity(const HiveImage& image, Cell key, Console& out);

}  // namespace keyscout
