// The security operations the descriptor model stands on, under their Windows
// names and with their Windows error codes, implemented here over the
// published binary formats of security descriptors, ACLs, ACEs and SIDs.
//
// The bytes they read come from a hive file, so every reference carries the
// number of bytes it may read, and no operation reads past them: a descriptor
// part must lie inside the descriptor, an ACE inside its ACL's declared size,
// a SID inside the bytes it was handed. An operation that fails returns false
// (or null / 0 where the Windows one has no failure result) and leaves its
// error code for GetLastError. None of them prints.
#pragma once

#include <cstdint>
#include <string>

#include "hive/byte_reader.h"
#include "hive/layout.h"
#include "platform/account_lookup.h"
#include "security/atl_exception.h"

namespace keyscout {

// The Windows names below keep their Windows values. <windows.h> defines most
// of them as macros of the same value; where it was included first, its
// macros serve and these are not declared, so both can be included in one
// file.

// Windows error codes the operations leave behind.
#ifndef ERROR_SUCCESS
inline constexpr uint32_t ERROR_SUCCESS = 0;
#endif
#ifndef ERROR_NOT_ENOUGH_MEMORY
inline constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
#endif
#ifndef ERROR_NOT_SUPPORTED
inline constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
#endif
#ifndef ERROR_INVALID_PARAMETER
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
#endif
#ifndef ERROR_INSUFFICIENT_BUFFER
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
#endif
#ifndef ERROR_UNKNOWN_REVISION
inline constexpr uint32_t ERROR_UNKNOWN_REVISION = 1305;
#endif
#ifndef ERROR_NONE_MAPPED
inline constexpr uint32_t ERROR_NONE_MAPPED = 1332;
#endif
#ifndef ERROR_INVALID_ACL
inline constexpr uint32_t ERROR_INVALID_ACL = 1336;
#endif
#ifndef ERROR_INVALID_SID
inline constexpr uint32_t ERROR_INVALID_SID = 1337;
#endif
#ifndef ERROR_INVALID_SECURITY_DESCR
inline constexpr uint32_t ERROR_INVALID_SECURITY_DESCR = 1338;
#endif

// Control bits of a security descriptor.
#ifndef SE_OWNER_DEFAULTED
inline constexpr uint16_t SE_OWNER_DEFAULTED = 0x0001;
#endif
#ifndef SE_GROUP_DEFAULTED
inline constexpr uint16_t SE_GROUP_DEFAULTED = 0x0002;
#endif
#ifndef SE_DACL_PRESENT
inline constexpr uint16_t SE_DACL_PRESENT = 0x0004;
#endif
#ifndef SE_DACL_DEFAULTED
inline constexpr uint16_t SE_DACL_DEFAULTED = 0x0008;
#endif
#ifndef SE_SACL_PRESENT
inline constexpr uint16_t SE_SACL_PRESENT = 0x0010;
#endif
#ifndef SE_SACL_DEFAULTED
inline constexpr uint16_t SE_SACL_DEFAULTED = 0x0020;
#endif
#ifndef SE_SELF_RELATIVE
inline constexpr uint16_t SE_SELF_RELATIVE = 0x8000;
#endif
#ifndef SECURITY_DESCRIPTOR_REVISION
inline constexpr uint8_t SECURITY_DESCRIPTOR_REVISION = 1;
#endif

// ACE types and flags.
#ifndef ACCESS_ALLOWED_ACE_TYPE
inline constexpr uint8_t ACCESS_ALLOWED_ACE_TYPE = 0x00;
#endif
#ifndef ACCESS_DENIED_ACE_TYPE
inline constexpr uint8_t ACCESS_DENIED_ACE_TYPE = 0x01;
#endif
#ifndef SYSTEM_AUDIT_ACE_TYPE
inline constexpr uint8_t SYSTEM_AUDIT_ACE_TYPE = 0x02;
#endif
#ifndef SYSTEM_ALARM_ACE_TYPE
inline constexpr uint8_t SYSTEM_ALARM_ACE_TYPE = 0x03;
#endif
#ifndef ACCESS_ALLOWED_OBJECT_ACE_TYPE
inline constexpr uint8_t ACCESS_ALLOWED_OBJECT_ACE_TYPE = 0x05;
#endif
#ifndef ACCESS_DENIED_OBJECT_ACE_TYPE
inline constexpr uint8_t ACCESS_DENIED_OBJECT_ACE_TYPE = 0x06;
#endif
#ifndef SYSTEM_AUDIT_OBJECT_ACE_TYPE
inline constexpr uint8_t SYSTEM_AUDIT_OBJECT_ACE_TYPE = 0x07;
#endif
#ifndef ACCESS_ALLOWED_CALLBACK_ACE_TYPE
inline constexpr uint8_t ACCESS_ALLOWED_CALLBACK_ACE_TYPE = 0x09;
#endif
#ifndef SYSTEM_MANDATORY_LABEL_ACE_TYPE
inline constexpr uint8_t SYSTEM_MANDATORY_LABEL_ACE_TYPE = 0x11;
#endif
#ifndef INHERITED_ACE
inline constexpr uint8_t INHERITED_ACE = 0x10;
#endif
#ifndef SUCCESSFUL_ACCESS_ACE_FLAG
inline constexpr uint8_t SUCCESSFUL_ACCESS_ACE_FLAG = 0x40;
#endif
#ifndef FAILED_ACCESS_ACE_FLAG
inline constexpr uint8_t FAILED_ACCESS_ACE_FLAG = 0x80;
#endif
#ifndef ACE_OBJECT_TYPE_PRESENT
inline constexpr uint32_t ACE_OBJECT_TYPE_PRESENT = 0x1;
#endif
#ifndef ACE_INHERITED_OBJECT_TYPE_PRESENT
inline constexpr uint32_t ACE_INHERITED_OBJECT_TYPE_PRESENT = 0x2;
#endif

// ACL revisions: the lowest and highest a valid ACL carries.
#ifndef ACL_REVISION
inline constexpr uint32_t ACL_REVISION = 2;
#endif
#ifndef ACL_REVISION_DS
inline constexpr uint32_t ACL_REVISION_DS = 4;
#endif

// SIDs.
#ifndef SID_REVISION
inline constexpr uint8_t SID_REVISION = 1;
#endif
#ifndef SID_MAX_SUB_AUTHORITIES
inline constexpr uint32_t SID_MAX_SUB_AUTHORITIES = 15;
#endif
#ifndef SECURITY_MAX_SID_SIZE
inline constexpr uint32_t SECURITY_MAX_SID_SIZE = 68;
#endif

enum SID_NAME_USE : uint32_t {
  SidTypeUser = 1,
  SidTypeGroup = 2,
  SidTypeDomain = 3,
  SidTypeAlias = 4,
  SidTypeWellKnownGroup = 5,
  SidTypeDeletedAccount = 6,
  SidTypeInvalid = 7,
  SidTypeUnknown = 8,
  SidTypeComputer = 9,
  SidTypeLabel = 10,
};

enum ACL_INFORMATION_CLASS : uint32_t {
  AclRevisionInformation = 1,
  AclSizeInformation = 2,
};

// The results of GetAclInformation, as Windows lays them out.
struct ACL_REVISION_INFORMATION {
  uint32_t AclRevision;
};
struct ACL_SIZE_INFORMATION {
  uint32_t AceCount;
  uint32_t AclBytesInUse;
  uint32_t AclBytesFree;
};

// Where Windows hands over a bare pointer to a descriptor, an ACL, an ACE or
// a SID, these operations hand over a ByteReader over the bytes it may read,
// so that the bound travels with the reference. The null reader stands for a
// null pointer.
using PSECURITY_DESCRIPTOR = ByteReader;
using PSID = ByteReader;
using PACL = ByteReader;
using PACE = ByteReader;

// The error code of the operation that failed last on this thread.
uint32_t GetLastError();

// The length of a self-relative descriptor: the end of its furthest part (the
// owner and group SIDs, and each ACL that the control word marks present),
// never less than the 20-byte header. 0 when the header, or a field needed to
// measure a part, does not lie inside `sd`. A descriptor without the
// self-relative bit measures as its header alone (its references cannot be
// followed). The result may exceed sd.size: the caller compares.
uint32_t GetSecurityDescriptorLength(PSECURITY_DESCRIPTOR sd);

// The control word and revision. Fails (ERROR_INVALID_SECURITY_DESCR) when
// the header does not lie inside `sd`, or (ERROR_UNKNOWN_REVISION) when its
// revision is not 1.
bool GetSecurityDescriptorControl(PSECURITY_DESCRIPTOR sd, uint16_t* control, uint32_t* revision);

// Writes the self-relative form of an absolute descriptor into `out`.
// Descriptors here are bytes from a file, and the references of an absolute
// descriptor are addresses in the memory of whoever wrote it, so none can be
// followed: this always fails, with ERROR_INVALID_PARAMETER, without reading
// them.
bool MakeSelfRelativeSD(PSECURITY_DESCRIPTOR absolute, uint8_t* out, uint32_t* out_length);

// The owner (group) SID of a self-relative descriptor: a reference from the
// SID to the end of the descriptor, or null when the descriptor has none.
// Fails (ERROR_INVALID_SECURITY_DESCR) when the descriptor is unreadable or
// not self-relative, or the SID's offset lies past its end.
bool GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR sd, PSID* owner, bool* defaulted);
bool GetSecurityDescriptorGroup(PSECURITY_DESCRIPTOR sd, PSID* group, bool* defaulted);

// Whether the SACL (DACL) is present and, when it is, the ACL: a reference of
// exactly its declared size, or null for a present but null ACL. Fails
// (ERROR_INVALID_SECURITY_DESCR) when the descriptor is unreadable or not
// self-relative, or the ACL's header or declared size runs past its end.
bool GetSecurityDescriptorSacl(PSECURITY_DESCRIPTOR sd, bool* present, PACL* sacl, bool* defaulted);
bool GetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR sd, bool* present, PACL* dacl, bool* defaulted);

// Fills ACL_REVISION_INFORMATION or ACL_SIZE_INFORMATION. Fails with
// ERROR_INSUFFICIENT_BUFFER when `info_length` is too small for the class,
// ERROR_INVALID_PARAMETER for another class, and ERROR_INVALID_ACL when the
// ACL's header does not lie inside it, its declared size is smaller than its
// header, its revision is not 2 to 4, or (for the size class) an entry runs
// past the declared size.
bool GetAclInformation(PACL acl, void* info, uint32_t info_length, ACL_INFORMATION_CLASS info_class);

// The entry at `index` (from 0, in stored order): a reference of exactly its
// declared size. Fails with ERROR_INVALID_PARAMETER when the index is not
// below the ACL's count, and with ERROR_INVALID_ACL when the ACL's header is
// bad (as for GetAclInformation) or that entry, or one before it, is shorter
// than an entry header or runs past the ACL's declared size.
bool GetAce(PACL acl, uint32_t index, PACE* ace);

// True for a SID of revision 1 with at most 15 sub-authorities whose whole
// length lies inside `sid`; false for a null reference.
bool IsValidSid(PSID sid);
// 8 + 4 per sub-authority; 0 when not even the count can be read.
uint32_t GetLengthSid(PSID sid);
// Copies a valid SID into `dest`. Fails with ERROR_INVALID_SID or
// ERROR_INSUFFICIENT_BUFFER.
bool CopySid(uint32_t dest_length, uint8_t* dest, PSID source);

// The SID's string form "S-1-<authority>-<sub>-...", newly allocated; release
// it with LocalFree. Fails with ERROR_INVALID_SID or ERROR_NOT_ENOUGH_MEMORY.
bool ConvertSidToStringSidW(PSID sid, char16_t** text);
// Releases a text from ConvertSidToStringSidW; returns null.
void* LocalFree(void* memory);

// Names a SID: the platform's account service when it has one, else the
// table of well-known SIDs, else, for a service SID, the service names (see
// FindServiceSidName). Sizes are in 16-bit units. On success both names
// are zero-terminated in their buffers, the sizes become the name lengths
// without terminator and `use` is set. Fails with ERROR_INSUFFICIENT_BUFFER
// (both sizes then hold the sizes needed, terminator included),
// ERROR_NONE_MAPPED for a SID nobody can name, ERROR_INVALID_SID, or
// ERROR_NOT_SUPPORTED for a non-empty system name (only the local system is
// known).
bool LookupAccountSidW(const char16_t* system_name, PSID sid, char16_t* name, uint32_t* name_size,
                       char16_t* domain, uint32_t* domain_size, SID_NAME_USE* use);

// Where LookupAccountSidW asks before the table. The product uses the
// platform's answer; tests put their own here to reach names the table does
// not hold. Returns the previous source.
using AccountSource = AccountLookup (*)(const SidBytes& sid, std::u16string* domain, std::u16string* name,
                                        uint32_t* use);
AccountSource SetAccountSource(AccountSource source);

// Raises CAtlException with the HRESULT of GetLastError's code.
[[noreturn]] void AtlThrowLastWin32();

// The string form of a valid SID into `out` (no allocation failure path:
// callers that must report one use ConvertSidToStringSidW). False for an
// invalid SID.
bool FormatSid(PSID sid, std::u16string* out);

}  // namespace keyscout
