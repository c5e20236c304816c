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
// below it in `format` onto `out`, the hive named `hive_path` as given; with
// `deleted` (-r) also the deleted keys and values found in the hive's free
// space whose path lies below that key, and then on `err` the count of the
// live keys, deleted keys and deleted values written. Records alone go to
// `out`; a key that cannot be found, and the count of the places that could
// not be read, go to `err` as lines starting "keyscout: ". Returns the exit
// code: 1 when the key cannot be found, the file is no hive, or any place of
// the live tree could not be read; else 0.
int ExportKeys(const HiveImage& image, const std::u16string* key_path, ExportFormat format, bool deleted,
               std::u16string_view hive_path, Console& out, Console& err);

}  // namespace keyscout
