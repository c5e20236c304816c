#include "app/security_report.h"

#include <optional>
#include <string>

#include "app/messages.h"
#include "hive/key_node.h"
#include "hive/services.h"
#include "platform/account_lookup.h"
#include "security/account_names.h"
#include "security/security_desc.h"
#include "security/sid.h"

namespace keyscout {

namespace {

// The names are copied out before printing: asking for the domain may run
// the lookup again, which rewrites the account text. They are printed as text
// from the hive, control characters escaped: a service SID is named by a
// service the hive holds.
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
    out.Format(format, {texts.sid, FromHive{texts.domain}, FromHive{texts.account}, mask, type, flags});
  }
}

}  // namespace

void ShowKeySecurity(const HiveImage& image, Cell key, Console& out) {
  const std::optional<ByteReader> stored = StoredKeyDescriptor(image, key);
  // The header stands even when the descriptor turns out unreadable.
  out.Wide(MSG_SECURITY_HEADER);
  // Choice: a key whose security field cannot be read, or whose descriptor
  // lies outside its cell or the file, is a failure of the model
  // (E_INVALIDARG) like any other unreadable descriptor, not an empty table.
  if (!stored) AtlThrow(E_INVALIDARG);

  // Names come from the system, then the table of well-known SIDs, then,
  // for a service SID, the services of this hive (ControlSet001's first, the
  // other control sets' only for a SID that those do not name) and the
  // compiled names. The hive's services are read only when a service SID is
  // met that the sources before them do not name, and at most once; the
  // context ends with the report, so nothing reads the image after it.
  AccountNames names(PlatformLookupAccount, {[&image] { return ReadFirstControlSetServices(image); },
                                             [&image] { return ReadOtherControlSetServices(image); }});
  CSecurityDesc descriptor;
  descriptor.LoadStored(*stored);
  CSid row(names);
  CSacl sacl;
  CDacl dacl;

  PSID sid;
  bool defaulted = false;
  if (GetSecurityDescriptorOwner(descriptor.DescriptorCopy(), &sid, &defaulted)) {
    row.AssignRaw(sid);
    const RowTexts texts = FetchTexts(row);
    out.Format(MSG_OWNER_ROW, {texts.sid, FromHive{texts.domain}, FromHive{texts.account}});
  }
  if (GetSecurityDescriptorGroup(descriptor.DescriptorCopy(), &sid, &defaulted)) {
    row.AssignRaw(sid);
    const RowTexts texts = FetchTexts(row);
    out.Format(MSG_GROUP_ROW, {texts.sid, FromHive{texts.domain}, FromHive{texts.account}});
  }

  // SACL rows before DACL rows, whatever the order of the parts in the bytes.
  uint16_t control = 0;
  uint32_t revision = 0;
  if (!GetSecurityDescriptorControl(descriptor.DescriptorCopy(), &control, &revision)) return;
  if ((control & SE_SACL_PRESENT) != 0 && descriptor.ExtractSacl(sacl)) PrintAceRows(sacl, MSG_SACL_ROW, row, out);
  if ((control & SE_DACL_PRESENT) != 0 && descriptor.ExtractDacl(dacl)) PrintAceRows(dacl, MSG_DACL_ROW, row, out);
}

}  // namespace keyscout
