// A small hive that holds every structure keyscout reads, with the file
// offset of every field that steers a read: the fuzzer's seeds and the
// damage sweeps start from it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/hive_builder.h"

namespace keyscout::test {

// One field of the hive that a reader follows or trusts.
struct HiveField {
  std::string what;        // for failure messages, e.g. "vk Big data offset"
  uint64_t offset = 0;     // file offset of its first byte
  uint32_t width = 0;      // 1, 2 or 4 bytes
  std::string key_path;    // the key whose reports read it (UTF-8; empty: the root)
  std::string value_name;  // the value whose data read reaches it (empty: none in particular)
};

struct CompactHive {
  Bytes bytes;
  std::vector<HiveField> fields;
};

// The key reached through the most lists ("ri" of "lh", then "lf") and one of
// its values; the root holds the values of every storage form.
inline constexpr const char* COMPACT_DEEP_KEY = "Gamma\\Deep";
inline constexpr const char* COMPACT_DEEP_VALUE = "Cell";
inline constexpr const char* COMPACT_BIG_VALUE = "Big";
// The root's class name; Deep's is "Deep\u00E9". Both lie at the end.
inline constexpr const char16_t* COMPACT_ROOT_CLASS = u"RootClass";

// The root "ROOT" (security cell with owner, group, a SACL and a DACL of
// plain and object entries) with:
//   stable subkeys through an "ri" over an "li" (Alpha, Beta) and an "lh"
//   (Delta, stored with a 16-bit name, and Gamma); Gamma holds Deep in an "lf";
//   a volatile subkey Vol in an "lf";
//   values: unnamed, Resident (4 bytes), Zero (resident, 0 bytes), Empty (a
//   data cell of 0 bytes), Caf\u00E9 (8-bit name above ASCII, data cell), a
//   16-bit name (resident, unknown type) and, with `big_data`, Big (16352
//   bytes in two "db" segments, in an hbin longer than 4 KiB).
// Deep holds Cell (data cell) and Dword (resident), and has a plain
// descriptor of its own. Every structure lies before those it points at.
CompactHive BuildCompactHive(bool big_data = true);

}  // namespace keyscout::test
