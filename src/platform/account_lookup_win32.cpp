#include <cstring>

#include "platform/account_lookup.h"
#include "platform/windows_api.h"

namespace keyscout {

// Choice: on Windows only the naming of a SID is the system's (its
// LookupAccountSidW also knows the machine's and the domain's own accounts,
// which no table can). Reading the descriptor, its ACLs, ACEs and SIDs stays
// our own bounded code on every platform: the system's versions of those
// calls take no lengths and would read past the end of a damaged descriptor.
AccountLookup PlatformLookupAccount(const SidBytes& sid, std::u16string* domain, std::u16string* name,
                                    uint32_t* use) {
  // The system reads as many bytes as the SID's own count says; the copy
  // holds the whole SID, checked by the caller, and the system checks again.
  static_assert(sizeof sid.bytes == SECURITY_MAX_SID_SIZE, "a SID copy holds the largest SID");
  if (sid.length > sizeof sid.bytes) return AccountLookup::kUnavailable;
  alignas(DWORD) BYTE copy[SECURITY_MAX_SID_SIZE] = {};
  std::memcpy(copy, sid.bytes, sid.length);
  if (!::IsValidSid(copy) || ::GetLengthSid(copy) != sid.length) return AccountLookup::kUnavailable;

  // One call with room for the usual names; a second one sized as the first
  // reported when a name is longer.
  DWORD name_room = 64;
  DWORD domain_room = 64;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::wstring name_buffer(name_room, L'\0');
    std::wstring domain_buffer(domain_room, L'\0');
    DWORD name_size = name_room;
    DWORD domain_size = domain_room;
    SID_NAME_USE name_use = SidTypeUnknown;
    if (::LookupAccountSidW(nullptr, copy, name_buffer.data(), &name_size, domain_buffer.data(), &domain_size,
                            &name_use)) {
      // Each name ends at its first zero unit, looking no further than its room.
      auto assign = [](const std::wstring& from, std::u16string* to) {
        to->clear();
        for (const wchar_t unit : from) {
          if (unit == 0) break;
          to->push_back(static_cast<char16_t>(unit));
        }
      };
      assign(name_buffer, name);
      assign(domain_buffer, domain);
      *use = static_cast<uint32_t>(name_use);
      return AccountLookup::kMapped;
    }
    // Choice: a SID the system cannot name (ERROR_NONE_MAPPED among others)
    // is left to the tool's own naming (the table of well-known SIDs, then
    // the services of the hive and the compiled service names), as where
    // there is no system to ask, rather than shown without a name: older or
    // trimmed systems (and Wine) lack some names that the table holds, and
    // the system knows only the services installed on itself.
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
    // A name or domain never needs more than a few hundred units; anything
    // else is not an answer to act on.
    if (name_size <= name_room && domain_size <= domain_room) break;
    if (name_size > 4096 || domain_size > 4096) break;
    name_room = name_size > name_room ? name_size : name_room;
    domain_room = domain_size > domain_room ? domain_size : domain_room;
  }
  return AccountLookup::kUnavailable;
}

}  // namespace keyscout
