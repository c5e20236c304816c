#include "security/security_report.h"

#include <string>

#include "security/security_desc.h"
#include "security/sid.h"

namespace keyscout {

namespace {

// The table's lines. Header and rows do not line up: scripts read them as
// they are.
constexpr char16_t MSG_SECURITY_HEADER[] = u"CLASS      SID\t       Domain&Account\t\tAccess\tType\tFlags\n";
constexpr char16_t MSG_OWNER_ROW[] = u"Owner    : %s    %s\\%s\n";
constexpr char16_t MSG_GROUP_ROW[] = u"Group    : %s    %s\\%s\n";
constexpr char16_t MSG_SACL_ROW[] = u"SACL ACE : %s    %s\\%s %08X %02X %02X\n";
constexpr char16_t MSG_DACL_ROW[] = u"DACL ACE : %s    %s\\%s %08X %02X %02X\n";

// The descriptor bytes of a security cell: from +0x18 to the end of the cell
// by its size field, cut at the end of the file. Null when the cell's size
// field cannot be read or nothing of the descriptor lies in the file.
//
// Choice: the cell's length is the magnitude of its size field, whether it
// is marked allocated or not; the security cell is otherwise taken as the key
// names it, without the cell test, and only its length bounds the copy.
PSECURITY_DESCRIPTOR StoredDescriptor(const HiveImage& image, Cell cell) {
  int32_t size_field = 0;
  if (!image.CellI32(cell, CELL_SIZE, &size_field)) return PSECURITY_DESCRIPTOR{};
  const uint32_t cell_length =
      size_field < 0 ? 0u - static_cast<uint32_t>(size_field) : static_cast<uint32_t>(size_field);
  if (cell_length <= SK_DESCRIPTOR) return PSECURITY_DESCRIPTOR{};
  const ByteReader& reader = image.reader();
  const uint64_t start = cell.FileOffset() + SK_DESCRIPTOR;
  uint64_t length = cell_length - SK_DESCRIPTOR;
  if (!reader.Contains(start, length)) {
    if (!reader.Contains(start, 1)) return PSECURITY_DESCRIPTOR{};
    length = reader.size() - start;  // the cell runs past the end of the file
  }
  const uint8_t* bytes = reader.Span(start, length);
  if (bytes == nullptr) return PSECURITY_DESCRIPTOR{};
  return PSECURITY_DESCRIPTOR{bytes, static_cast<uint32_t>(length)};
}

// The names are copied out before printing: asking for the domain may run
// the lookup again, which rewrites the account text.
struct RowTexts {
  std::u16string account;
  std::u16string domain;
  std::u16string sid;
};

RowTexts FetchTexts(CSid& row) {
  RowTexts texts;
  texts.account = row.AccountText();
  texts.domain = row.DomainText();
  texts.sid = row.SidText();
  return texts;
}

void PrintAceRows(const CAcl& acl, const char16_t* format, CSid& row, Console& out) {
  for (size_t i = 0; i < acl.AceCount(); ++i) {
    const CAcl::CAce& ace = acl.AceAt(i);
    row.AssignCopy(ace.TrusteeSid());
    const uint32_t mask = ace.Mask();
    const uint32_t type = ace.TypeCode();
    const uint32_t flags = ace.Flags();
    const RowTexts texts = FetchTexts(row);
    out.Format(format, {texts.sid, texts.domain, texts.account, mask, type, flags});
  }
}

}  // namespace

void ShowKeySecurity(const HiveImage& image, Cell key, Console& out) {
  uint32_t security_index = 0;
  const bool field_read = image.CellU32(key, NK_SECURITY, &security_index);
  // The header stands even when the descriptor turns out unreadable.
  out.Wide(MSG_SECURITY_HEADER);
  // Choice: a key whose security field cannot be read, or whose descriptor
  // lies outside its cell or the file, is a failure of the model
  // (E_INVALIDARG) like any other unreadable descriptor, not an empty table.
  if (!field_read) AtlThrow(E_INVALIDARG);
  const PSECURITY_DESCRIPTOR stored = StoredDescriptor(image, CellAt(image, security_index));
  if (stored.IsNull()) AtlThrow(E_INVALIDARG);

  CSecurityDesc descriptor;
  descriptor.LoadStored(stored);
  CSid row;
  CSacl sacl;
  CDacl dacl;

  PSID sid;
  bool defaulted = false;
  if (GetSecurityDescriptorOwner(descriptor.DescriptorCopy(), &sid, &defaulted)) {
    row.AssignRaw(sid);
    const RowTexts texts = FetchTexts(row);
    out.Format(MSG_OWNER_ROW, {texts.sid, texts.domain, texts.account});
  }
  if (GetSecurityDescriptorGroup(descriptor.DescriptorCopy(), &sid, &defaulted)) {
    row.AssignRaw(sid);
    const RowTexts texts = FetchTexts(row);
    out.Format(MSG_GROUP_ROW, {texts.sid, texts.domain, texts.account});
  }

  // SACL rows before DACL rows, whatever the order of the parts in the bytes.
  uint16_t control = 0;
  uint32_t revision = 0;
  if (GetSecurityDescriptorControl(descriptor.DescriptorCopy(), &control, &revision) &&
      (control & SE_SACL_PRESENT) != 0 && descriptor.ExtractSacl(sacl)) {
    PrintAceRows(sacl, MSG_SACL_ROW, row, out);
  }
  if (GetSecurityDescriptorControl(descriptor.DescriptorCopy(), &control, &revision) &&
      (control & SE_DACL_PRESENT) != 0 && descriptor.ExtractDacl(dacl)) {
    PrintAceRows(dacl, MSG_DACL_ROW, row, out);
  }
}

}  // namespace keyscout
