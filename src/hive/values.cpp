#include "hive/values.h"

#include <array>

namespace keyscout {

namespace {

constexpr char16_t MSG_VALUES_HEADER[] = u"Key values information:\nHCELL_INDEX\tValue type\tValue name\n";
constexpr char16_t MSG_VALUES_FOOTER[] = u"----------------\nKey values count : %u\n";

constexpr const char16_t* VALUE_TYPE_NAMES[] = {
    u"REG_NONE",                        // 0
    u"REG_SZ",                          // 1
    u"REG_EXPAND_SZ",                   // 2
    u"REG_BINARY",                      // 3
    u"REG_DWORD",                       // 4
    u"REG_DWORD_BIG_ENDIAN",            // 5
    u"REG_LINK",                        // 6
    u"REG_MULTI_SZ",                    // 7
    u"REG_RESOURCE_LIST",               // 8
    u"REG_FULL_RESOURCE_DESCRIPTOR",    // 9
    u"REG_RESOURCE_REQUIREMENTS_LIST",  // 10
    u"REG_QWORD",                       // 11
};
constexpr uint32_t VALUE_TYPE_COUNT = sizeof(VALUE_TYPE_NAMES) / sizeof(VALUE_TYPE_NAMES[0]);

// A row is "%08X\t%-8s\t%s\n": index, type name, value name. The type
// column, with its padding and the tabs around it, is made once from the
// table above, so that a row is one write and no template parsing (a key can
// hold a hundred thousand values).
constexpr size_t VALUE_TYPE_COLUMN = 8;
constexpr size_t VALUE_TYPE_CELL_CAPACITY = 40;

struct TypeCell {
  char text[VALUE_TYPE_CELL_CAPACITY] = {};
  size_t length = 0;
};

constexpr std::array<TypeCell, VALUE_TYPE_COUNT> MakeTypeCells() {
  std::array<TypeCell, VALUE_TYPE_COUNT> cells{};
  for (uint32_t type = 0; type < VALUE_TYPE_COUNT; ++type) {
    TypeCell& cell = cells[type];
    cell.text[cell.length++] = '\t';
    size_t n = 0;
    for (; VALUE_TYPE_NAMES[type][n] != 0; ++n) {
      cell.text[cell.length++] = static_cast<char>(VALUE_TYPE_NAMES[type][n]);
    }
    for (; n < VALUE_TYPE_COLUMN; ++n) cell.text[cell.length++] = ' ';
    cell.text[cell.length++] = '\t';
  }
  return cells;
}

constexpr std::array<TypeCell, VALUE_TYPE_COUNT> VALUE_TYPE_CELLS = MakeTypeCells();

}  // namespace

bool WalkValues(const HiveImage& image, Cell key, ValueVisitor visitor, void* context) {
  uint32_t count = 0;
  if (!image.CellU32(key, NK_VALUE_COUNT, &count) || count == 0) return true;
  uint32_t list_index = 0;
  if (!image.CellU32(key, NK_VALUE_LIST, &list_index)) return true;
  const Cell list = CellAt(image, list_index);
  // The list cell itself is not validated; only what each entry names is.
  // An entry beyond the end of the file ends the walk like a bad value.
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t value_index = 0;
    if (!image.reader().U32(list.FileOffset() + VALUE_LIST_ENTRIES + 4 * i, &value_index)) return true;
    const Cell value = CellAt(image, value_index);
    if (!ValidateCell(image, value)) return true;
    if (visitor(image, value, context) == VISIT_STOP) return false;
  }
  return true;
}

int DecodeValueName(const HiveImage& image, Cell value, NameBuffer& buffer) {
  uint16_t length = 0;
  uint16_t flags = 0;
  if (!image.CellU16(value, VK_NAME_LENGTH, &length) || !image.CellU16(value, VK_FLAGS, &flags)) {
    buffer[0] = 0;
    return -1;
  }
  // The length field counts bytes in both forms: a 16-bit name of k bytes is
  // k / 2 units. Reading k units would run past the name into whatever
  // follows it in the cell.
  return DecodeStoredName(image, value.FileOffset() + VK_NAME, length,
                          (flags & VALUE_NAME_COMPRESSED) != 0, buffer);
}

const char16_t* ValueTypeName(uint32_t type) {
  return type < VALUE_TYPE_COUNT ? VALUE_TYPE_NAMES[type] : VALUE_TYPE_NAMES[0];
}

int PrintValueRow(const HiveImage& image, Cell value, void* context) {
  ValueListing& listing = *static_cast<ValueListing*>(context);
  uint16_t length = 0;
  uint32_t type = 0;
  if (!image.CellU16(value, VK_NAME_LENGTH, &length)) return VISIT_STOP;
  // The unnamed (default) value gets no row and is not counted.
  if (length == 0) return VISIT_CONTINUE;
  if (!image.CellU32(value, VK_TYPE, &type)) return VISIT_STOP;
  NameBuffer name;
  const int units = DecodeValueName(image, value, name);
  if (units < 0) return VISIT_STOP;
  const TypeCell& type_cell = VALUE_TYPE_CELLS[type < VALUE_TYPE_COUNT ? type : 0];
  listing.out->IndexRow(IndexOf(image, value), std::string_view(type_cell.text, type_cell.length),
                        std::u16string_view(name, static_cast<size_t>(units)));
  ++listing.rows;
  return VISIT_CONTINUE;
}

void ListValues(const HiveImage& image, Cell key, Console& out) {
  out.Wide(MSG_VALUES_HEADER);
  ValueListing listing;
  listing.out = &out;
  WalkValues(image, key, PrintValueRow, &listing);
  out.Format(MSG_VALUES_FOOTER, {listing.rows});
}

int MatchValueName(const HiveImage& image, Cell value, void* context) {
  ValueSearch& search = *static_cast<ValueSearch*>(context);
  uint16_t length = 0;
  if (!image.CellU16(value, VK_NAME_LENGTH, &length)) return VISIT_STOP;
  if (length == 0) return VISIT_CONTINUE;
  NameBuffer stored;
  if (DecodeValueName(image, value, stored) < 0) return VISIT_STOP;
  if (!NamesEqualFolded(stored, search.name)) return VISIT_CONTINUE;
  search.found = 1;
  search.value = value;
  return VISIT_STOP;
}

std::optional<Cell> FindValue(const HiveImage& image, Cell key, std::u16string_view name) {
  size_t length = 0;
  while (length < name.size() && name[length] != 0) ++length;
  // Choice: a requested name of NAME_BUFFER_CHARS units or more finds no
  // value. Stored names are decoded to at most NAME_MAX_CHARS units, so no
  // stored name can equal it; cutting the request to fit would instead make a
  // long name match a different, shorter one.
  if (length > NAME_MAX_CHARS) return std::nullopt;
  ValueSearch search;
  name.copy(search.name, length);
  search.name[length] = 0;
  WalkValues(image, key, MatchValueName, &search);
  if (search.found == 0) return std::nullopt;
  return search.value;
}

}  // namespace keyscout
