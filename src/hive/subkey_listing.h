// The -l report: a key's subkeys with their HCELL_INDEX and name.
#pragma once

#include <cstdint>
#include <cstddef>

#include "hive/image.h"
#include "platform/console.h"

namespace keyscout {

// Called once per subkey list entry, in list order, with the subkey's node and
// its decoded name; `name` is null for a subkey whose stored name length is 0.
// Returns WALK_CONTINUE to go on or WALK_STOP to end the walk.
using SubkeyVisitor = int (*)(void* context, Cell node, const char16_t* name, size_t length);
inline constexpr int WALK_CONTINUE = 1;
inline constexpr int WALK_STOP = 0;

// Visits the subkeys of `key`: the stable list, then the volatile list, each
// only while its subkey count is non-zero. A key that is not a readable "nk",
// a missing or damaged list, or a read that would leave the file ends the
// walk. Returns false when the walk ended early for any reason. Prints nothing.
bool WalkSubkeys(const HiveImage& image, Cell key, SubkeyVisitor visitor, void* context);

// Prints the header, one row per named subkey in list order, and the footer
// with the number of rows printed. Damage ends the rows, never the footer.
void ListSubkeys(const HiveImage& image, Cell key, Console& out);

}  // namespace keyscout
