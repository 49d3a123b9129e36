#include "platform/security.h"

#include <cstring>
#include <new>

#include "platform/errors.h"

namespace qx::platform {

namespace {

constexpr DWORD kErrorUnknownRevision = 1305;
constexpr DWORD kErrorRevisionMismatch = 1306;
constexpr DWORD kErrorInvalidAcl = 1336;
constexpr DWORD kErrorInvalidSid = 1337;
constexpr DWORD kErrorInvalidSecurityDescr = 1338;
constexpr DWORD kErrorAllottedSpaceExceeded = 1344;

constexpr SECURITY_DESCRIPTOR_CONTROL kSeDaclPresent = 0x0004;
constexpr SECURITY_DESCRIPTOR_CONTROL kSeDaclDefaulted = 0x0008;
constexpr SECURITY_DESCRIPTOR_CONTROL kSeSelfRelative = 0x8000;
// The control bits a caller may change: auto-inherit requests, auto-inherited and protected.
constexpr SECURITY_DESCRIPTOR_CONTROL kSettableControl =
    0x0100 | 0x0200 | 0x0400 | 0x0800 | 0x1000 | 0x2000;

constexpr BYTE kSidRevision = 1;
constexpr BYTE kMaxSubAuthorities = 15;
constexpr BYTE kMaxAllocatedSubAuthorities = 8;
constexpr DWORD kSidHeaderSize = 8;

constexpr DWORD kAclHeaderSize = 8;
constexpr BYTE kMinAclRevision = 2;
constexpr BYTE kMaxAclRevision = 4;

constexpr BYTE kAccessAllowedAceType = 0;
constexpr BYTE kAccessDeniedAceType = 1;
constexpr BYTE kAccessAllowedObjectAceType = 5;
constexpr BYTE kAccessDeniedObjectAceType = 6;
constexpr BYTE kValidInheritFlags = 0x1F;
constexpr BYTE kInheritOnlyAce = 0x08;
constexpr DWORD kAceHeaderSize = 4;
constexpr DWORD kObjectTypePresent = 0x1;
constexpr DWORD kInheritedObjectTypePresent = 0x2;
constexpr DWORD kGuidSize = 16;

// The Windows layouts are little-endian and need not be aligned in the caller's buffer.
WORD LoadWord(const BYTE* at) {
    return static_cast<WORD>(at[0] | (at[1] << 8));
}
DWORD LoadDword(const BYTE* at) {
    return static_cast<DWORD>(at[0]) | (static_cast<DWORD>(at[1]) << 8) |
           (static_cast<DWORD>(at[2]) << 16) | (static_cast<DWORD>(at[3]) << 24);
}
void StoreWord(BYTE* at, WORD value) {
    at[0] = static_cast<BYTE>(value);
    at[1] = static_cast<BYTE>(value >> 8);
}
void StoreDword(BYTE* at, DWORD value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<BYTE>(value >> (8 * i));
    }
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Length of a well-formed SID held in at most limit bytes, else 0.
DWORD SidLength(const BYTE* sid, DWORD limit) {
    if (sid == nullptr || limit < kSidHeaderSize) {
        return 0;
    }
    if (sid[0] != kSidRevision || sid[1] > kMaxSubAuthorities) {
        return 0;
    }
    const DWORD length = kSidHeaderSize + 4u * sid[1];
    return length <= limit ? length : 0;
}

bool IsEveryone(const BYTE* sid, DWORD limit) {
    static constexpr BYTE kEveryone[12] = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    return SidLength(sid, limit) == sizeof(kEveryone) &&
           std::memcmp(sid, kEveryone, sizeof(kEveryone)) == 0;
}

bool IsValidDescriptor(const SECURITY_DESCRIPTOR* descriptor) {
    return descriptor->Revision == SECURITY_DESCRIPTOR_REVISION &&
           (descriptor->Control & kSeSelfRelative) == 0;
}

DWORD DescriptorError(const SECURITY_DESCRIPTOR* descriptor) {
    if (descriptor == nullptr) {
        return kErrorInvalidParameter;
    }
    if (descriptor->Revision != SECURITY_DESCRIPTOR_REVISION) {
        return kErrorUnknownRevision;
    }
    return IsValidDescriptor(descriptor) ? kErrorSuccess : kErrorInvalidSecurityDescr;
}

struct AclHeader {
    BYTE revision = 0;
    WORD size = 0;
    WORD count = 0;
};

AclHeader ReadAclHeader(const BYTE* acl) {
    return AclHeader{acl[0], LoadWord(acl + 2), LoadWord(acl + 4)};
}

// Offset just past the last ACE of a well-formed ACL, or 0 when its header or ACEs are broken.
DWORD EndOfAces(const BYTE* acl) {
    const AclHeader header = ReadAclHeader(acl);
    if (header.revision < kMinAclRevision || header.revision > kMaxAclRevision ||
        header.size < kAclHeaderSize) {
        return 0;
    }
    DWORD offset = kAclHeaderSize;
    for (WORD i = 0; i < header.count; ++i) {
        if (header.size - offset < kAceHeaderSize) {
            return 0;
        }
        const WORD ace_size = LoadWord(acl + offset + 2);
        if (ace_size < kAceHeaderSize || ace_size > header.size - offset) {
            return 0;
        }
        offset += ace_size;
    }
    return offset;
}

// The mask and SID of one allow or deny ACE that applies to the object itself.
struct AceView {
    bool applies = false;
    bool allow = false;
    DWORD mask = 0;
    const BYTE* sid = nullptr;
    DWORD sid_limit = 0;
};

AceView ViewAce(const BYTE* ace, DWORD size) {
    AceView view;
    const BYTE type = ace[0];
    const bool object = type == kAccessAllowedObjectAceType || type == kAccessDeniedObjectAceType;
    const bool plain = type == kAccessAllowedAceType || type == kAccessDeniedAceType;
    if ((!object && !plain) || (ace[1] & kInheritOnlyAce) != 0 || size < kAceHeaderSize + 4) {
        return view;
    }
    DWORD offset = kAceHeaderSize + 4;
    if (object) {
        if (size < offset + 4) {
            return view;
        }
        const DWORD flags = LoadDword(ace + offset);
        offset += 4;
        // An ACE limited to one object type or property does not grant the key as a whole.
        if ((flags & kObjectTypePresent) != 0) {
            return view;
        }
        if ((flags & kInheritedObjectTypePresent) != 0) {
            offset += kGuidSize;
        }
    }
    if (offset >= size) {
        return view;
    }
    view.applies = true;
    view.allow = type == kAccessAllowedAceType || type == kAccessAllowedObjectAceType;
    view.mask = LoadDword(ace + kAceHeaderSize);
    view.sid = ace + offset;
    view.sid_limit = size - offset;
    return view;
}

}  // namespace

BOOL InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision) {
    if (descriptor == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    if (revision != SECURITY_DESCRIPTOR_REVISION) {
        return Fail(kErrorUnknownRevision);
    }
    *descriptor = SECURITY_DESCRIPTOR{};
    descriptor->Revision = static_cast<BYTE>(revision);
    return 1;
}

BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD s0,
                              DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6, DWORD s7,
                              PSID* sid) {
    if (authority == nullptr || sid == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    if (count > kMaxAllocatedSubAuthorities) {
        return Fail(kErrorInvalidSid);
    }
    const DWORD sub[kMaxAllocatedSubAuthorities] = {s0, s1, s2, s3, s4, s5, s6, s7};
    BYTE* bytes = new (std::nothrow) BYTE[kSidHeaderSize + 4u * count];
    if (bytes == nullptr) {
        return Fail(kErrorNotEnoughMemory);
    }
    bytes[0] = kSidRevision;
    bytes[1] = count;
    std::memcpy(bytes + 2, authority->Value, sizeof(authority->Value));
    for (BYTE i = 0; i < count; ++i) {
        StoreDword(bytes + kSidHeaderSize + 4u * i, sub[i]);
    }
    *sid = bytes;
    return 1;
}

void* FreeSid(PSID sid) {
    delete[] static_cast<BYTE*>(sid);
    return nullptr;
}

DWORD GetLengthSid(PSID sid) {
    return SidLength(static_cast<const BYTE*>(sid), kSidHeaderSize + 4u * kMaxSubAuthorities);
}

BOOL InitializeAcl(PACL acl, DWORD size, DWORD revision) {
    if (acl == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    if (size < kAclHeaderSize) {
        return Fail(kErrorInsufficientBuffer);
    }
    if (size > 0xFFFF || size % 4 != 0 || revision < kMinAclRevision ||
        revision > kMaxAclRevision) {
        return Fail(kErrorInvalidParameter);
    }
    BYTE* bytes = static_cast<BYTE*>(acl);
    bytes[0] = static_cast<BYTE>(revision);
    bytes[1] = 0;
    StoreWord(bytes + 2, static_cast<WORD>(size));
    StoreWord(bytes + 4, 0);
    StoreWord(bytes + 6, 0);
    return 1;
}

BOOL AddAccessAllowedObjectAce(PACL acl, DWORD revision, DWORD ace_flags, DWORD access_mask,
                               const void* object_type, const void* inherited_type, PSID sid) {
    if (acl == nullptr || sid == nullptr || (ace_flags & ~DWORD{kValidInheritFlags}) != 0) {
        return Fail(kErrorInvalidParameter);
    }
    const DWORD sid_length = GetLengthSid(sid);
    if (sid_length == 0) {
        return Fail(kErrorInvalidSid);
    }
    if (revision != ACL_REVISION_DS) {
        return Fail(kErrorRevisionMismatch);
    }
    BYTE* bytes = static_cast<BYTE*>(acl);
    const DWORD end = EndOfAces(bytes);
    if (end == 0) {
        return Fail(kErrorInvalidAcl);
    }
    DWORD object_flags = 0;
    DWORD ace_size = kAceHeaderSize + 4 + 4 + sid_length;
    if (object_type != nullptr) {
        object_flags |= kObjectTypePresent;
        ace_size += kGuidSize;
    }
    if (inherited_type != nullptr) {
        object_flags |= kInheritedObjectTypePresent;
        ace_size += kGuidSize;
    }
    const AclHeader header = ReadAclHeader(bytes);
    if (ace_size > header.size - end) {
        return Fail(kErrorAllottedSpaceExceeded);
    }
    BYTE* ace = bytes + end;
    ace[0] = kAccessAllowedObjectAceType;
    ace[1] = static_cast<BYTE>(ace_flags);
    StoreWord(ace + 2, static_cast<WORD>(ace_size));
    StoreDword(ace + 4, access_mask);
    StoreDword(ace + 8, object_flags);
    BYTE* next = ace + 12;
    for (const void* guid : {object_type, inherited_type}) {
        if (guid != nullptr) {
            std::memcpy(next, guid, kGuidSize);
            next += kGuidSize;
        }
    }
    std::memcpy(next, sid, sid_length);
    StoreWord(bytes + 4, static_cast<WORD>(header.count + 1));
    // Object ACEs only exist from this revision on: the ACL takes it.
    bytes[0] = static_cast<BYTE>(ACL_REVISION_DS);
    return 1;
}

BOOL SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, BOOL present, PACL dacl,
                               BOOL defaulted) {
    if (DWORD error = DescriptorError(descriptor); error != kErrorSuccess) {
        return Fail(error);
    }
    descriptor->Control &=
        static_cast<SECURITY_DESCRIPTOR_CONTROL>(~(kSeDaclPresent | kSeDaclDefaulted));
    descriptor->Dacl = nullptr;
    if (present == 0) {
        return 1;
    }
    descriptor->Dacl = dacl;
    descriptor->Control |= kSeDaclPresent;
    if (defaulted != 0) {
        descriptor->Control |= kSeDaclDefaulted;
    }
    return 1;
}

BOOL SetSecurityDescriptorControl(SECURITY_DESCRIPTOR* descriptor, SECURITY_DESCRIPTOR_CONTROL mask,
                                  SECURITY_DESCRIPTOR_CONTROL bits) {
    if (DWORD error = DescriptorError(descriptor); error != kErrorSuccess) {
        return Fail(error);
    }
    if ((mask & ~kSettableControl) != 0 || (bits & ~mask) != 0) {
        return Fail(kErrorInvalidParameter);
    }
    descriptor->Control =
        static_cast<SECURITY_DESCRIPTOR_CONTROL>((descriptor->Control & ~mask) | bits);
    return 1;
}

bool DaclGrantsEveryone(const SECURITY_DESCRIPTOR* descriptor, DWORD mask) {
    if (descriptor == nullptr || !IsValidDescriptor(descriptor) ||
        (descriptor->Control & kSeDaclPresent) == 0) {
        return false;
    }
    if (descriptor->Dacl == nullptr) {
        return true;  // a present but null DACL grants everyone everything
    }
    const BYTE* acl = static_cast<const BYTE*>(descriptor->Dacl);
    if (EndOfAces(acl) == 0) {
        return false;
    }
    // ACEs are evaluated in order: a deny for Everyone wins over a later allow.
    const AclHeader header = ReadAclHeader(acl);
    DWORD granted = 0;
    DWORD offset = kAclHeaderSize;
    for (WORD i = 0; i < header.count; ++i) {
        const WORD ace_size = LoadWord(acl + offset + 2);
        const AceView view = ViewAce(acl + offset, ace_size);
        offset += ace_size;
        if (!view.applies || !IsEveryone(view.sid, view.sid_limit)) {
            continue;
        }
        if (!view.allow && (view.mask & mask & ~granted) != 0) {
            return false;
        }
        if (view.allow) {
            granted |= view.mask;
        }
        if ((granted & mask) == mask) {
            return true;
        }
    }
    return false;
}

}  // namespace qx::platform
