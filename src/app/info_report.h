// The -i report: when the key was last written, its flags, class name and
// stored counts and cells, and the state of the hive it lies in.
#pragma once

#include <string_view>

#include "hive/image.h"
#include "text/console.h"

namespace keyscout {

// Prints the key information block of `key`, then the hive lines read from
// `image`'s own base block, the state followed by "(truncated)" when
// `truncated` (the file is shorter than its base block declares). A field
// that cannot be read prints as "(unreadable)" and the block goes on. When the key cell fails the checks of
// a key node, prints "Cannot find the key." naming `shown_path` instead, and
// returns false: the run ends there.
bool ShowKeyInformation(const HiveImage& image, Cell key, std::u16string_view shown_path, bool truncated,
                        Console& out);

}  // namespace keyscout
