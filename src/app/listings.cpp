#include "app/listings.h"

#include <array>
#include <string_view>

#include "app/messages.h"
#include "hive/names.h"
#include "hive/subkey_walk.h"
#include "hive/values.h"

namespace keyscout {

namespace {

// A value row is "%08X\t%-8s\t%s\n": index, type name, value name. The type
// column, with its padding and the tabs around it, is made once per type, so
// that a row is one write and no template parsing (a key can hold a hundred
// thousand values).
constexpr size_t VALUE_TYPE_COLUMN = 8;
constexpr size_t VALUE_TYPE_CELL_CAPACITY = 40;

struct TypeCell {
  char text[VALUE_TYPE_CELL_CAPACITY] = {};
  size_t length = 0;
};

std::array<TypeCell, VALUE_TYPE_COUNT> MakeTypeCells() {
  std::array<TypeCell, VALUE_TYPE_COUNT> cells{};
  for (uint32_t type = 0; type < VALUE_TYPE_COUNT; ++type) {
    TypeCell& cell = cells[type];
    const char16_t* name = ValueTypeName(type);
    cell.text[cell.length++] = '\t';
    size_t n = 0;
    for (; name[n] != 0; ++n) cell.text[cell.length++] = static_cast<char>(name[n]);  // ASCII names
    for (; n < VALUE_TYPE_COLUMN; ++n) cell.text[cell.length++] = ' ';
    cell.text[cell.length++] = '\t';
  }
  return cells;
}

const TypeCell& TypeCellOf(uint32_t type) {
  static const std::array<TypeCell, VALUE_TYPE_COUNT> cells = MakeTypeCells();
  return cells[type < VALUE_TYPE_COUNT ? type : 0];
}

// The count the key node stores at `field`, when it is a readable key node.
std::optional<uint32_t> RecordedCount(const HiveImage& image, Cell key, uint32_t field) {
  uint32_t count = 0;
  if (!CheckKeyNode(image, key) || !image.CellU32(key, field, &count)) return std::nullopt;
  return count;
}

}  // namespace

int PrintSubkeyRow(void* context, Cell node, const char16_t* name, size_t length) {
  auto* listing = static_cast<SubkeyListing*>(context);
  // A subkey with an empty name gets no row and is not counted; the tally
  // tells a key node without a name from an entry that names no key.
  if (name == nullptr) {
    if (CheckKeyNode(*listing->image, node)) ++listing->nameless_keys;
    return VISIT_CONTINUE;
  }
  listing->out->IndexRow(IndexOf(node), "\t", std::u16string_view(name, length));
  ++listing->rows;
  return VISIT_CONTINUE;
}

ListingTally ListSubkeys(const HiveImage& image, Cell key, Console& out) {
  out.Wide(MSG_SUBKEYS_HEADER);
  SubkeyListing listing{&out, &image};
  WalkSubkeys(image, key, PrintSubkeyRow, &listing);
  out.Format(MSG_SUBKEYS_FOOTER, {listing.rows});
  return ListingTally{uint64_t{listing.rows} + listing.nameless_keys, RecordedCount(image, key, NK_STABLE_COUNT)};
}

int PrintValueRow(const HiveImage& image, Cell value, void* context) {
  ValueListing& listing = *static_cast<ValueListing*>(context);
  uint16_t length = 0;
  uint32_t type = 0;
  if (!image.CellU16(value, VK_NAME_LENGTH, &length)) return VISIT_STOP;
  // The unnamed (default) value gets no row and is not counted.
  if (length == 0) {
    ++listing.unnamed;
    return VISIT_CONTINUE;
  }
  if (!image.CellU32(value, VK_TYPE, &type)) return VISIT_STOP;
  NameBuffer name;
  const int units = DecodeValueName(image, value, name);
  if (units < 0) return VISIT_STOP;
  const TypeCell& type_cell = TypeCellOf(type);
  listing.out->IndexRow(IndexOf(value), std::string_view(type_cell.text, type_cell.length),
                        std::u16string_view(name, static_cast<size_t>(units)));
  ++listing.rows;
  return VISIT_CONTINUE;
}

ListingTally ListValues(const HiveImage& image, Cell key, Console& out) {
  out.Wide(MSG_VALUES_HEADER);
  ValueListing listing{&out};
  WalkValues(image, key, PrintValueRow, &listing);
  out.Format(MSG_VALUES_FOOTER, {listing.rows});
  return ListingTally{uint64_t{listing.rows} + listing.unnamed, RecordedCount(image, key, NK_VALUE_COUNT)};
}

}  // namespace keyscout
