// Security descriptors, SIDs and ACLs as far as the program builds them: an ACL granting a
// group access to a registry key. Byte layouts follow the Windows ones the functions fill.
#pragma once

#include "platform/win_types.h"

namespace qx::platform {

using PSID = void*;
using PACL = void*;
using SECURITY_DESCRIPTOR_CONTROL = WORD;

struct SID_IDENTIFIER_AUTHORITY {
    BYTE Value[6];
};

inline constexpr SID_IDENTIFIER_AUTHORITY SECURITY_WORLD_SID_AUTHORITY = {{0, 0, 0, 0, 0, 1}};
inline constexpr SID_IDENTIFIER_AUTHORITY SECURITY_NT_AUTHORITY = {{0, 0, 0, 0, 0, 5}};
inline constexpr DWORD SECURITY_WORLD_RID = 0;
inline constexpr DWORD SECURITY_DESCRIPTOR_REVISION = 1;
inline constexpr DWORD ACL_REVISION_DS = 4;
inline constexpr SECURITY_DESCRIPTOR_CONTROL SE_DACL_AUTO_INHERITED = 0x0400;
inline constexpr BYTE CONTAINER_INHERIT_ACE = 0x02;
inline constexpr BYTE INHERITED_ACE = 0x10;

// SECURITY_DESCRIPTOR in its absolute form (Windows x86: 20 bytes).
struct SECURITY_DESCRIPTOR {
    BYTE Revision = 0;
    BYTE Sbz1 = 0;
    SECURITY_DESCRIPTOR_CONTROL Control = 0;
    PSID Owner = nullptr;
    PSID Group = nullptr;
    PACL Sacl = nullptr;
    PACL Dacl = nullptr;
};

// The seven functions the registry helper binds at run time (from the system library table,
// "Advapi32.dll"). Results: nonzero success, 0 failure with the last error set.
using BOOL = int;
BOOL InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision);
BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD s0,
                              DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7,
                              PSID* sid);
BOOL InitializeAcl(PACL acl, DWORD size, DWORD revision);
BOOL AddAccessAllowedObjectAce(PACL acl, DWORD revision, DWORD ace_flags, DWORD access_mask,
                               const void* object_type, const void* inherited_type, PSID sid);
BOOL SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, BOOL present, PACL dacl,
                               BOOL defaulted);
BOOL SetSecurityDescriptorControl(SECURITY_DESCRIPTOR* descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                                  SECURITY_DESCRIPTOR_CONTROL bits);
void* FreeSid(PSID sid);
DWORD GetLengthSid(PSID sid);

// Whether a descriptor's DACL grants Everyone (S-1-1-0) every right of mask.
bool DaclGrantsEveryone(const SECURITY_DESCRIPTOR* descriptor, DWORD mask);

}  // namespace qx::platform
