// The names of the services a SYSTEM hive holds: the subkey names of the
// Services key of each control set.
#pragma once

#include <string>
#include <vector>

#include "hive/image.h"

namespace keyscout {

// The subkey names of ControlSet001\Services, then those of the Services key
// of every other ControlSetNNN key under the root (NNN three decimal digits),
// in the order of the root's subkey list, each name as stored and given once
// (a later name equal to an earlier one without regard to the case of A to Z
// is left out). Entries that are not key nodes give no name. A hive without
// such keys, or whose keys or lists are damaged, gives fewer names or none.
// The walks together visit no more keys than one walk may meet list entries
// (HiveImage::ListEntryLimit). Raises std::bad_alloc only when memory runs
// out. Prints nothing.
std::vector<std::u16string> ReadServiceNames(const HiveImage& image);

}  // namespace keyscout
