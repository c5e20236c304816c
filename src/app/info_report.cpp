#include "app/info_report.h"

#include <iterator>
#include <optional>
#include <string>

#include "app/messages.h"
#include "hive/key_node.h"
#include "text/filetime.h"
#include "text/numbers.h"

namespace keyscout {

namespace {

// The flag bits that have names, in the order of MSG_KEY_FLAG_NAMES.
constexpr uint16_t NAMED_KEY_FLAGS[] = {
    NK_FLAG_VOLATILE, NK_FLAG_HIVE_EXIT,       NK_FLAG_HIVE_ENTRY,    NK_FLAG_NO_DELETE,
    NK_FLAG_SYM_LINK, NK_FLAG_COMPRESSED_NAME, NK_FLAG_PREDEF_HANDLE,
};
static_assert(std::size(NAMED_KEY_FLAGS) == std::size(MSG_KEY_FLAG_NAMES));

// ASCII text as 16-bit units.
std::u16string Widen(const char* text) {
  std::u16string out;
  for (; *text != 0; ++text) out.push_back(static_cast<unsigned char>(*text));
  return out;
}

std::u16string Decimal(const std::optional<uint32_t>& value) {
  return value ? DecimalText(*value) : std::u16string(MSG_UNREADABLE);
}

std::u16string CellText(const std::optional<uint32_t>& index) {
  return index ? HexText(*index, 8) : std::u16string(MSG_UNREADABLE);
}

std::u16string TimeText(const std::optional<uint64_t>& filetime) {
  return filetime ? Widen(FormatFileTime(*filetime).c_str()) : std::u16string(MSG_UNREADABLE);
}

// "0020 (COMP_NAME)": four hexadecimal digits, then the names of the named
// bits that are set; bits without a name show in the number only.
std::u16string FlagsText(const std::optional<uint16_t>& flags) {
  if (!flags) return MSG_UNREADABLE;
  std::u16string text = HexText(*flags, 4);
  std::u16string names;
  for (size_t bit = 0; bit < std::size(NAMED_KEY_FLAGS); ++bit) {
    if ((*flags & NAMED_KEY_FLAGS[bit]) == 0) continue;
    if (!names.empty()) names += MSG_KEY_FLAG_SEPARATOR;
    names += MSG_KEY_FLAG_NAMES[bit];
  }
  if (!names.empty()) text += u" (" + names + u")";
  return text;
}

}  // namespace

bool ShowKeyInformation(const HiveImage& image, Cell key, std::u16string_view shown_path, bool truncated,
                        Console& out) {
  // Choice: a cell that is not a readable key node ends the run with the
  // failure the key lookup gives for such a cell on the way to a key, "Cannot
  // find the key.", naming the key. Every line of this block would otherwise
  // present the bytes of some other cell as the key's own times and counts,
  // and a listing's way out, an empty list with its count, has no
  // counterpart here.
  if (!CheckKeyNode(image, key)) {
    out.Format(MSG_CANNOT_FIND_KEY, {shown_path});
    return false;
  }
  const KeyNodeFields node = ReadKeyNodeFields(image, key);
  const BaseBlockFields hive = ReadBaseBlockFields(image);
  out.Wide(MSG_INFO_TITLE);
  out.Format(MSG_INFO_LAST_WRITTEN, {TimeText(node.last_written)});
  out.Format(MSG_INFO_FLAGS, {FlagsText(node.flags)});
  if (node.class_name) {
    out.Format(MSG_INFO_CLASS_NAME, {FromHive{*node.class_name}});
  } else {
    out.Format(MSG_INFO_CLASS_NAME, {MSG_UNREADABLE});
  }
  out.Format(MSG_INFO_SUBKEYS, {Decimal(node.stable_subkeys), Decimal(node.volatile_subkeys)});
  out.Format(MSG_INFO_VALUES, {Decimal(node.values)});
  out.Format(MSG_INFO_SECURITY, {CellText(node.security)});
  out.Format(MSG_INFO_PARENT, {CellText(node.parent)});
  out.Format(MSG_INFO_HIVE_VERSION, {Decimal(hive.major_version), Decimal(hive.minor_version)});
  std::u16string state = hive.dirty ? MSG_HIVE_DIRTY : MSG_HIVE_CLEAN;
  if (truncated) state += MSG_HIVE_TRUNCATED;
  out.Format(MSG_INFO_HIVE_SEQUENCE, {Decimal(hive.primary_sequence), Decimal(hive.secondary_sequence), state});
  out.Format(MSG_INFO_HIVE_WRITTEN, {TimeText(hive.last_written)});
  return true;
}

}  // namespace keyscout
