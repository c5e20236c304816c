// The names of the services a SYSTEM hive holds: the subkey names of the
// Services key of each control set.
#pragma once

#include <string>
#include <vector>

#include "hive/image.h"

namespace keyscout {

// The subkey names of ControlSet001\Services, in list order, each as stored
// and given once (a later name equal to an earlier one without regard to the
// case of A to Z is left out); entries that are not key nodes give no name.
// A hive without that key, or whose keys or lists are damaged, gives fewer
// names or none. The walk visits no more keys than one walk may meet list
// entries (HiveImage::ListEntryLimit). Raises std::bad_alloc only when memory
// runs out. Prints nothing.
std::vector<std::u16string> ReadFirstControlSetServices(const HiveImage& image);

// The same for the Services keys of the other ControlSetNNN keys under the
// root (NNN three decimal digits, 001 left out), one key per number, in the
// order of the root's subkey list, each name given once over all of them.
// All its walks together visit no more keys than one walk may meet list
// entries.
std::vector<std::u16string> ReadOtherControlSetServices(const HiveImage& image);

}  // namespace keyscout
