// The walk over a key's subkeys, in list order, on which the -l listing and
// every other reader of a key's subkeys rest.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hive/image.h"

namespace keyscout {

// Called once per subkey list entry, in list order, with the caller's
// context, the subkey's node and its decoded name; `name` is null for a
// subkey whose stored name length is 0. Returns VISIT_CONTINUE to go on or
// VISIT_STOP to end the walk.
using SubkeyVisitor = int (*)(void* context, Cell node, const char16_t* name, size_t length);

// Visits the subkeys of `key`: the stable list, then the volatile list, each
// only while its subkey count is non-zero. Returns true when the walk was
// complete, and false only when it was cut short: by the visitor, or by damage
// (a key that is not a readable "nk", a count without a list, a list that
// fails its checks, a read that would leave the file, more entries than the
// file has room for). Prints nothing.
bool WalkSubkeys(const HiveImage& image, Cell key, SubkeyVisitor visitor, void* context);

}  // namespace keyscout
