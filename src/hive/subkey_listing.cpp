#include "hive/subkey_listing.h"

#include "hive/key_lookup.h"
#include "hive/names.h"

namespace keyscout {

namespace {

constexpr char16_t MSG_SUBKEYS_HEADER[] = u"Subkeys information:\nHCELL_INDEX\tKey name\n";
constexpr char16_t MSG_SUBKEYS_FOOTER[] = u"----------------\nSubkey count : %u\n";

bool IsLeafSignature(uint16_t sig) { return sig == SIG_LF || sig == SIG_LH || sig == SIG_LI; }

// Decodes one entry's name and hands it to the visitor. False ends the walk:
// the visitor asked to stop, or the node's name cannot be read.
bool VisitNode(const HiveImage& image, Cell node, SubkeyVisitor visitor, void* context) {
  uint16_t length = 0;
  if (!image.CellU16(node, NK_NAME_LENGTH, &length)) return false;
  if (length == 0) return visitor(context, node, nullptr, 0) != WALK_STOP;
  NameBuffer name;
  const int n = DecodeKeyName(image, node, name);
  if (n < 0) return false;
  return visitor(context, node, name, static_cast<size_t>(n)) != WALK_STOP;
}

// How many entries ahead a list walk asks for the next key cells.
constexpr uint32_t SUBKEY_PREFETCH_AHEAD = 8;

// Visits the entries of one "lf", "lh" or "li" list.
bool VisitLeafList(const HiveImage& image, Cell list, SubkeyVisitor visitor, void* context,
                   ListEntryBudget* budget) {
  uint16_t count = 0;
  if (!image.CellU16(list, LIST_COUNT, &count)) return false;
  const uint32_t entry_size = image.Signature(list) == SIG_LI ? INDEX_ENTRY_SIZE : LEAF_ENTRY_SIZE;
  for (uint32_t i = 0; i < count; ++i) {
    if (!budget->Take()) return false;
    uint32_t index = 0;
    if (!image.CellU32(list, LIST_ENTRIES + i * entry_size, &index)) return false;
    // A listing of a million keys waits mostly on memory: ask for the key a
    // few entries ahead (its flags and its name) while this one is decoded.
    uint32_t ahead = 0;
    if (count - i > SUBKEY_PREFETCH_AHEAD &&
        image.CellU32(list, LIST_ENTRIES + (i + SUBKEY_PREFETCH_AHEAD) * entry_size, &ahead)) {
      image.PrefetchCell(CellAt(image, ahead), NK_FLAGS);
      image.PrefetchCell(CellAt(image, ahead), NK_NAME_LENGTH);
    }
    if (!VisitNode(image, CellAt(image, index), visitor, context)) return false;
  }
  return true;
}

struct RowState {
  Console* out;
  uint32_t rows;
};

// A subkey with an empty name gets no row and is not counted.
int PrintSubkeyRow(void* context, Cell node, const char16_t* name, size_t length) {
  auto* state = static_cast<RowState*>(context);
  if (name == nullptr) return WALK_CONTINUE;
  state->out->IndexRow(node.index, "\t", std::u16string_view(name, length));
  ++state->rows;
  return WALK_CONTINUE;
}

}  // namespace

bool WalkSubkeys(const HiveImage& image, Cell key, SubkeyVisitor visitor, void* context) {
  if (!ValidateCell(image, key) || image.Signature(key) != SIG_NK) return false;
  const uint32_t pairs[2][2] = {{NK_STABLE_COUNT, NK_STABLE_LIST}, {NK_VOLATILE_COUNT, NK_VOLATILE_LIST}};
  ListEntryBudget budget(image);
  for (const auto& pair : pairs) {
    uint32_t subkeys = 0;
    int32_t list_index = 0;
    // The counts serve only to say whether a list is there; the rows come
    // from the lists' own entry counts.
    if (!image.CellU32(key, pair[0], &subkeys) || subkeys == 0) return false;
    if (!image.CellI32(key, pair[1], &list_index) || list_index < 0) return false;
    const Cell list = CellAt(image, static_cast<uint32_t>(list_index));
    if (!ValidateCell(image, list)) return false;
    const uint16_t sig = image.Signature(list);
    if (IsLeafSignature(sig)) {
      if (!VisitLeafList(image, list, visitor, context, &budget)) return false;
    } else if (sig == SIG_RI) {
      uint16_t count = 0;
      if (!image.CellU16(list, LIST_COUNT, &count)) return false;
      for (uint32_t j = 0; j < count; ++j) {
        if (!budget.Take()) return false;
        uint32_t sub_index = 0;
        if (!image.CellU32(list, LIST_ENTRIES + j * INDEX_ENTRY_SIZE, &sub_index)) return false;
        const Cell sub = CellAt(image, sub_index);
        // Choice: a sub-list of any other form is passed over and the walk
        // goes on with the next one; reading it as a leaf list would print
        // whatever its bytes happen to say.
        if (!IsLeafSignature(image.Signature(sub))) continue;
        if (!VisitLeafList(image, sub, visitor, context, &budget)) return false;
      }
    } else {
      return false;
    }
  }
  return true;
}

void ListSubkeys(const HiveImage& image, Cell key, Console& out) {
  out.Wide(MSG_SUBKEYS_HEADER);
  RowState state{&out, 0};
  WalkSubkeys(image, key, PrintSubkeyRow, &state);
  out.Format(MSG_SUBKEYS_FOOTER, {state.rows});
}

}  // namespace keyscout
