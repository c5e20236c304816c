#include "hive/values.h"

#include "text/case_fold.h"

namespace keyscout {

namespace {

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
static_assert(sizeof(VALUE_TYPE_NAMES) / sizeof(VALUE_TYPE_NAMES[0]) == VALUE_TYPE_COUNT);

// Visitor of FindUnnamedValue (context: a ValueSearch).
int MatchUnnamedValue(const HiveImage& image, Cell value, void* context) {
  ValueSearch& search = *static_cast<ValueSearch*>(context);
  uint16_t length = 0;
  if (!image.CellU16(value, VK_NAME_LENGTH, &length)) return VISIT_STOP;
  if (length != 0) return VISIT_CONTINUE;
  search.found = 1;
  search.value = value;
  return VISIT_STOP;
}

}  // namespace

bool WalkValues(const HiveImage& image, Cell key, ValueVisitor visitor, void* context) {
  uint32_t count = 0;
  if (!image.CellU32(key, NK_VALUE_COUNT, &count) || count == 0) return true;
  uint32_t list_index = 0;
  if (!image.CellU32(key, NK_VALUE_LIST, &list_index)) return true;
  const Cell list = CellAt(list_index);
  // The list cell itself is not validated; only what each entry names is.
  // An entry beyond the end of the file ends the walk like a bad value.
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t value_index = 0;
    if (!image.reader().U32(list.FileOffset() + VALUE_LIST_ENTRIES + VALUE_LIST_ENTRY_SIZE * i, &value_index)) {
      return true;
    }
    const Cell value = CellAt(value_index);
    if (!ValidateCell(image, value)) return true;
    if (visitor(image, value, context) == VISIT_STOP) return false;
  }
  return true;
}

const char16_t* ValueTypeName(uint32_t type) {
  return type < VALUE_TYPE_COUNT ? VALUE_TYPE_NAMES[type] : VALUE_TYPE_NAMES[0];
}

int MatchValueName(const HiveImage& image, Cell value, void* context) {
  ValueSearch& search = *static_cast<ValueSearch*>(context);
  uint16_t length = 0;
  if (!image.CellU16(value, VK_NAME_LENGTH, &length)) return VISIT_STOP;
  if (length == 0) return VISIT_CONTINUE;
  NameBuffer stored;
  const int n = DecodeValueName(image, value, stored);
  if (n < 0) return VISIT_STOP;
  if (!TypedNameMatches(search.name, std::u16string_view(stored, static_cast<size_t>(n)))) return VISIT_CONTINUE;
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

std::optional<Cell> FindUnnamedValue(const HiveImage& image, Cell key) {
  ValueSearch search;
  WalkValues(image, key, MatchUnnamedValue, &search);
  if (search.found == 0) return std::nullopt;
  return search.value;
}

}  // namespace keyscout
