// The Windows names of the security model: error codes, descriptor control
// bits, ACE types and flags, ACL revisions, SID limits, and the enumerations
// and result layouts the operations of security_api.h take and give.
#pragma once

#include <cstdint>

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

}  // namespace keyscout
