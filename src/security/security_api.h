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
#include "security/atl_exception.h"
#include "security/security_constants.h"

namespace keyscout {

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
// How an operation fails: leaves `code` for GetLastError and returns false.
bool FailWith(uint32_t code);

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

// Raises CAtlException with the HRESULT of GetLastError's code.
[[noreturn]] void AtlThrowLastWin32();

// The fields of a SID, as its string form shows them.
struct SidParts {
  uint8_t revision = 0;
  uint64_t authority = 0;  // the 48-bit identifier authority
  uint8_t count = 0;       // of sub-authorities
  uint32_t sub_authorities[SID_MAX_SUB_AUTHORITIES] = {};
};

// The fields of a valid SID; false, with `parts` unspecified, for a SID that
// IsValidSid rejects.
bool ReadSidParts(PSID sid, SidParts* parts);

// The string form of a SID into `out`; false, with `out` unspecified, for an
// invalid SID. Raises std::bad_alloc when memory runs out (callers that must
// report that as an error code use ConvertSidToStringSidW).
bool FormatSid(PSID sid, std::u16string* out);
// The same for the fields of a SID read before.
void FormatSid(const SidParts& parts, std::u16string* out);

}  // namespace keyscout
