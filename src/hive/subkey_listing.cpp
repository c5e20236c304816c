#include "hive/subkey_listing.h"

#include "hive/key_lookup.h"
#include "hive/names.h"

namespace keyscout {

namespace {

constexpr char16_t MSG_SUBKEYS_HEADER[] = u"Subkeys information:\nHCELL_INDEX\tKey name\n";
constexpr char16_t MSG_SUBKEYS_FOOTER[] = u"----------------\nSubkey count : %u\n";

// Prints one row for a named subkey and counts it; a subkey with an empty
// name gets no row. False when the node cannot be read, which stops the walk.
bool PrintSubkeyRow(const HiveImage& image, Cell node, uint32_t* counter, Console& out) {
  uint16_t length = 0;
  if (!image.CellU16(node, NK_NAME_LENGTH, &length)) return false;
  if (length == 0) return true;
  NameBuffer name;
  const int n = DecodeKeyName(image, node, name);
  if (n < 0) return false;
  out.Hex(IndexOf(image, node), 8);
  out.Bytes("\t", 1);
  out.Wide(std::u16string_view(name, static_cast<size_t>(n)));
  out.Bytes("\n", 1);
  ++*counter;
  return true;
}

// Prints the rows of one leaf list; false when a read is refused.
bool PrintLeafRows(const HiveImage& image, Cell list, uint32_t* counter, Console& out) {
  uint16_t count = 0;
  if (!image.CellU16(list, LIST_COUNT, &count)) return false;
  const uint32_t entry_size = image.Signature(list) == SIG_LI ? INDEX_ENTRY_SIZE : LEAF_ENTRY_SIZE;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t index = 0;
    if (!image.CellU32(list, LIST_ENTRIES + i * entry_size, &index)) return false;
    if (!PrintSubkeyRow(image, CellAt(image, index), counter, out)) return false;
  }
  return true;
}

bool IsLeafSignature(uint16_t sig) { return sig == SIG_LF || sig == SIG_LH || sig == SIG_LI; }

// Visits the subkeys of `key` in list order. False when the walk stopped.
bool WalkSubkeys(const HiveImage& image, Cell key, uint32_t* counter, Console& out) {
  if (!ValidateCell(image, key) || image.Signature(key) != SIG_NK) return false;
  const uint32_t pairs[2][2] = {{NK_STABLE_COUNT, NK_STABLE_LIST}, {NK_VOLATILE_COUNT, NK_VOLATILE_LIST}};
  for (const auto& pair : pairs) {
    uint32_t subkeys = 0;
    int32_t list_index = 0;
    if (!image.CellU32(key, pair[0], &subkeys) || subkeys == 0) return false;
    if (!image.CellI32(key, pair[1], &list_index) || list_index < 0) return false;
    const Cell list = CellAt(image, static_cast<uint32_t>(list_index));
    if (!ValidateCell(image, list)) return false;
    const uint16_t sig = image.Signature(list);
    if (IsLeafSignature(sig)) {
      if (!PrintLeafRows(image, list, counter, out)) return false;
    } else if (sig == SIG_RI) {
      uint16_t count = 0;
      if (!image.CellU16(list, LIST_COUNT, &count)) return false;
      for (uint32_t j = 0; j < count; ++j) {
        uint32_t sub_index = 0;
        if (!image.CellU32(list, LIST_ENTRIES + j * INDEX_ENTRY_SIZE, &sub_index)) return false;
        const Cell sub = CellAt(image, sub_index);
        // Choice: a sub-list of any other form is passed over and the walk
        // goes on with the next one; reading it as a leaf list would print
        // whatever its bytes happen to say.
        if (!IsLeafSignature(image.Signature(sub))) continue;
        if (!PrintLeafRows(image, sub, counter, out)) return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

void ListSubkeys(const HiveImage& image, Cell key, Console& out) {
  out.Wide(MSG_SUBKEYS_HEADER);
  uint32_t counter = 0;
  WalkSubkeys(image, key, &counter, out);
  out.Format(MSG_SUBKEYS_FOOTER, {counter});
}

}  // namespace keyscout
