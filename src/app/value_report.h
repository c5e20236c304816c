// The -v report (header and hex dump of one value) and the -w dump file.
#pragma once

#include <string>

#include "hive/image.h"
#include "platform/console.h"

namespace keyscout {

// Finds `value_name` under `key`, prints its header and the hex dump of its
// first 64 bytes and, when `dump` is set, writes its whole data to
// `output_file`. Prints its own messages; false on any failure.
bool ShowValue(const HiveImage& image, Cell key, const std::u16string& value_name,
               const std::u16string& output_file, bool dump, Console& out);

}  // namespace keyscout
