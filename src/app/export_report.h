// The export (-x): the chosen key and every key below it, with their values,
// as records of one format on standard output.
#pragma once

#include <string>
#include <string_view>

#include "app/record_writer.h"
#include "hive/image.h"
#include "text/console.h"

namespace keyscout {

// Exports the key `key_path` names (the root when it is null) and every key
// below it in `format` onto `out`, the hive named `hive_path` as given.
// Records alone go to `out`; a key that cannot be found, and the count of the
// places that could not be read, go to `err` as lines starting "keyscout: ".
// Returns the exit code: 1 when the key cannot be found, the file is no hive,
// or any place could not be read; else 0.
int ExportKeys(const HiveImage& image, const std::u16string* key_path, ExportFormat format,
               std::u16string_view hive_path, Console& out, Console& err);

}  // namespace keyscout
