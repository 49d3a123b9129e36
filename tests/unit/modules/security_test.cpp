#include "platform/security.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/errors.h"

namespace qp = qx::platform;

namespace {

using Bytes = std::vector<qp::BYTE>;

constexpr qp::DWORD kKeyAllAccess = 0xF003F;
constexpr qp::BYTE kGuid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

// A SID owned by the test.
struct Sid {
    explicit Sid(const qp::SID_IDENTIFIER_AUTHORITY& authority, qp::BYTE count, qp::DWORD s0 = 0,
                 qp::DWORD s1 = 0) {
        ok = qp::AllocateAndInitializeSid(&authority, count, s0, s1, 0, 0, 0, 0, 0, 0, &sid);
    }
    ~Sid() { qp::FreeSid(sid); }
    Bytes Layout() const {
        const auto* bytes = static_cast<const qp::BYTE*>(sid);
        return Bytes(bytes, bytes + qp::GetLengthSid(sid));
    }
    qp::PSID sid = nullptr;
    qp::BOOL ok = 0;
};

Bytes EmptyAcl(qp::DWORD size) {
    Bytes acl(size, 0xCC);
    EXPECT_TRUE(qp::InitializeAcl(acl.data(), size, qp::ACL_REVISION_DS));
    return acl;
}

qp::WORD Word(const Bytes& bytes, size_t at) {
    return static_cast<qp::WORD>(bytes[at] | (bytes[at + 1] << 8));
}

qp::DWORD LastErrorOf(qp::BOOL result) {
    return result ? 0 : qp::GetLastError();
}

TEST(Sid, HasTheWindowsLayout) {
    Sid everyone(qp::SECURITY_WORLD_SID_AUTHORITY, 1, qp::SECURITY_WORLD_RID);
    ASSERT_TRUE(everyone.ok);
    EXPECT_EQ(everyone.Layout(), (Bytes{1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}));

    Sid administrators(qp::SECURITY_NT_AUTHORITY, 2, 32, 544);
    ASSERT_TRUE(administrators.ok);
    EXPECT_EQ(administrators.Layout(),
              (Bytes{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0}));
}

TEST(Sid, RejectsBadArguments) {
    qp::PSID sid = nullptr;
    EXPECT_EQ(LastErrorOf(qp::AllocateAndInitializeSid(&qp::SECURITY_WORLD_SID_AUTHORITY, 9, 0, 0,
                                                       0, 0, 0, 0, 0, 0, &sid)),
              1337u);
    EXPECT_EQ(LastErrorOf(qp::AllocateAndInitializeSid(nullptr, 1, 0, 0, 0, 0, 0, 0, 0, 0, &sid)),
              87u);
    EXPECT_EQ(sid, nullptr);
    EXPECT_EQ(qp::GetLengthSid(nullptr), 0u);
    qp::BYTE broken[8] = {2, 1, 0, 0, 0, 0, 0, 1};  // revision 2 does not exist
    EXPECT_EQ(qp::GetLengthSid(broken), 0u);
}

TEST(Acl, InitializesTheHeader) {
    Bytes acl = EmptyAcl(64);
    EXPECT_EQ(Bytes(acl.begin(), acl.begin() + 8), (Bytes{4, 0, 64, 0, 0, 0, 0, 0}));

    Bytes buffer(0x10004, 0);
    const struct {
        qp::DWORD size;
        qp::DWORD revision;
        qp::DWORD error;
    } cases[] = {
        {4, 2, 122}, {62, 2, 87}, {0x10004, 2, 87}, {64, 1, 87}, {64, 5, 87}, {8, 2, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LastErrorOf(qp::InitializeAcl(buffer.data(), c.size, c.revision)), c.error)
            << c.size << " " << c.revision;
    }
}

TEST(Acl, ObjectAceHasTheWindowsLayout) {
    Sid everyone(qp::SECURITY_WORLD_SID_AUTHORITY, 1);
    Bytes acl = EmptyAcl(12 + 52);
    ASSERT_TRUE(qp::AddAccessAllowedObjectAce(acl.data(), qp::ACL_REVISION_DS, 0x12, kKeyAllAccess,
                                              nullptr, nullptr, everyone.sid));
    EXPECT_EQ(Word(acl, 4), 1);  // AceCount
    const Bytes ace(acl.begin() + 8, acl.begin() + 8 + 24);
    EXPECT_EQ(ace, (Bytes{5, 0x12, 24, 0, 0x3F, 0, 0x0F, 0, 0, 0, 0, 0,
                          1, 1,    0,  0, 0,    0, 0,    1, 0, 0, 0, 0}));

    // With an object type: the flag and the GUID come before the SID.
    Bytes typed = EmptyAcl(64);
    ASSERT_TRUE(qp::AddAccessAllowedObjectAce(typed.data(), qp::ACL_REVISION_DS, 0, 1, kGuid,
                                              nullptr, everyone.sid));
    EXPECT_EQ(Word(typed, 8 + 2), 40);
    EXPECT_EQ(typed[8 + 8], 1);
    EXPECT_EQ(std::memcmp(typed.data() + 8 + 12, kGuid, 16), 0);
    EXPECT_EQ(typed[8 + 28], 1);  // the SID's revision
}

TEST(Acl, AddingAnAceChecksSpaceHeaderAndArguments) {
    Sid everyone(qp::SECURITY_WORLD_SID_AUTHORITY, 1);
    const auto add = [&](Bytes& acl, qp::DWORD revision = qp::ACL_REVISION_DS, qp::DWORD flags = 0,
                         qp::PSID sid = nullptr) {
        return LastErrorOf(qp::AddAccessAllowedObjectAce(acl.data(), revision, flags, 1, nullptr,
                                                         nullptr, sid ? sid : everyone.sid));
    };
    Bytes exact = EmptyAcl(8 + 24);
    EXPECT_EQ(add(exact), 0u);
    EXPECT_EQ(add(exact), 1344u);  // full: nothing written past AclSize
    EXPECT_EQ(Word(exact, 4), 1);

    Bytes acl = EmptyAcl(64);
    EXPECT_EQ(add(acl, 2), 1306u);
    EXPECT_EQ(add(acl, qp::ACL_REVISION_DS, 0x20), 87u);
    qp::BYTE broken_sid[12] = {1, 16};
    EXPECT_EQ(add(acl, qp::ACL_REVISION_DS, 0, broken_sid), 1337u);
    EXPECT_EQ(LastErrorOf(
                  qp::AddAccessAllowedObjectAce(nullptr, 4, 0, 1, nullptr, nullptr, everyone.sid)),
              87u);

    Bytes bad_revision = EmptyAcl(64);
    bad_revision[0] = 9;
    EXPECT_EQ(add(bad_revision), 1336u);
    Bytes lying_count = EmptyAcl(16);
    lying_count[4] = 3;  // three ACEs claimed in 8 bytes
    EXPECT_EQ(add(lying_count), 1336u);
}

TEST(Descriptor, DaclAndControl) {
    qp::SECURITY_DESCRIPTOR descriptor;
    EXPECT_EQ(LastErrorOf(qp::InitializeSecurityDescriptor(&descriptor, 2)), 1305u);
    EXPECT_EQ(LastErrorOf(qp::SetSecurityDescriptorDacl(&descriptor, 1, nullptr, 0)), 1305u);
    ASSERT_TRUE(qp::InitializeSecurityDescriptor(&descriptor, qp::SECURITY_DESCRIPTOR_REVISION));
    EXPECT_EQ(descriptor.Revision, 1);
    EXPECT_EQ(descriptor.Control, 0);

    Bytes acl = EmptyAcl(64);
    ASSERT_TRUE(qp::SetSecurityDescriptorDacl(&descriptor, 1, acl.data(), 1));
    EXPECT_EQ(descriptor.Control, 0x000C);  // present and defaulted
    EXPECT_EQ(descriptor.Dacl, acl.data());
    ASSERT_TRUE(qp::SetSecurityDescriptorDacl(&descriptor, 1, acl.data(), 0));
    EXPECT_EQ(descriptor.Control, 0x0004);

    ASSERT_TRUE(qp::SetSecurityDescriptorControl(&descriptor, qp::SE_DACL_AUTO_INHERITED,
                                                 qp::SE_DACL_AUTO_INHERITED));
    EXPECT_EQ(descriptor.Control, 0x0404);
    ASSERT_TRUE(qp::SetSecurityDescriptorControl(&descriptor, qp::SE_DACL_AUTO_INHERITED, 0));
    EXPECT_EQ(descriptor.Control, 0x0004);
    // The DACL-present bit belongs to SetSecurityDescriptorDacl, and bits must be in the mask.
    EXPECT_EQ(LastErrorOf(qp::SetSecurityDescriptorControl(&descriptor, 0x0004, 0)), 87u);
    EXPECT_EQ(LastErrorOf(qp::SetSecurityDescriptorControl(&descriptor, 0x1000, 0x0400)), 87u);

    ASSERT_TRUE(qp::SetSecurityDescriptorDacl(&descriptor, 0, acl.data(), 1));
    EXPECT_EQ(descriptor.Control, 0x0000);
    EXPECT_EQ(descriptor.Dacl, nullptr);
}

// ACEs written by hand: type, flags, mask, and the SID (or raw bytes) after them.
struct AceFields {
    qp::BYTE type;
    qp::BYTE flags;
    qp::DWORD mask;
    Bytes sid;
    qp::DWORD object_flags = 0;
};

const Bytes kEveryone = {1, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
const Bytes kAdministrators = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};

Bytes BuildAcl(const std::vector<AceFields>& aces) {
    Bytes acl = {4, 0, 0, 0, 0, 0, 0, 0};
    for (const AceFields& fields : aces) {
        const bool object = fields.type == 5 || fields.type == 6;
        Bytes ace = {fields.type, fields.flags, 0, 0};
        for (int i = 0; i < 4; ++i) {
            ace.push_back(static_cast<qp::BYTE>(fields.mask >> (8 * i)));
        }
        if (object) {
            for (int i = 0; i < 4; ++i) {
                ace.push_back(static_cast<qp::BYTE>(fields.object_flags >> (8 * i)));
            }
            if (fields.object_flags & 1) {
                ace.insert(ace.end(), kGuid, kGuid + 16);
            }
        }
        ace.insert(ace.end(), fields.sid.begin(), fields.sid.end());
        ace[2] = static_cast<qp::BYTE>(ace.size());
        acl.insert(acl.end(), ace.begin(), ace.end());
        acl[4]++;
    }
    acl[2] = static_cast<qp::BYTE>(acl.size());
    acl[3] = static_cast<qp::BYTE>(acl.size() >> 8);
    return acl;
}

bool Grants(Bytes acl, qp::DWORD mask = kKeyAllAccess) {
    qp::SECURITY_DESCRIPTOR descriptor;
    qp::InitializeSecurityDescriptor(&descriptor, 1);
    qp::SetSecurityDescriptorDacl(&descriptor, 1, acl.data(), 0);
    return qp::DaclGrantsEveryone(&descriptor, mask);
}

TEST(DaclGrantsEveryone, ReadsAllowAndDenyAcesInOrder) {
    const struct {
        const char* what;
        std::vector<AceFields> aces;
        bool grants;
    } cases[] = {
        {"allow ace", {{0, 0, kKeyAllAccess, kEveryone}}, true},
        {"allow object ace", {{5, 0x12, kKeyAllAccess, kEveryone}}, true},
        {"too few rights", {{0, 0, 0x20019, kEveryone}}, false},
        {"rights over two aces", {{0, 0, 0x20019, kEveryone}, {5, 0, 0xF0026, kEveryone}}, true},
        {"another group", {{0, 0, kKeyAllAccess, kAdministrators}}, false},
        {"deny first", {{1, 0, 0x10000, kEveryone}, {0, 0, kKeyAllAccess, kEveryone}}, false},
        {"deny after the grant",
         {{0, 0, kKeyAllAccess, kEveryone}, {1, 0, 0x10000, kEveryone}},
         true},
        {"inherit only", {{0, 0x08, kKeyAllAccess, kEveryone}}, false},
        {"one object type only", {{5, 0, kKeyAllAccess, kEveryone, 1}}, false},
        {"audit ace", {{2, 0, kKeyAllAccess, kEveryone}}, false},
        {"empty", {}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Grants(BuildAcl(c.aces)), c.grants) << c.what;
    }
}

TEST(DaclGrantsEveryone, DescriptorStates) {
    qp::SECURITY_DESCRIPTOR descriptor;
    qp::InitializeSecurityDescriptor(&descriptor, 1);
    EXPECT_FALSE(qp::DaclGrantsEveryone(&descriptor, kKeyAllAccess));  // no DACL
    qp::SetSecurityDescriptorDacl(&descriptor, 1, nullptr, 0);
    EXPECT_TRUE(qp::DaclGrantsEveryone(&descriptor, kKeyAllAccess));  // a null DACL allows all
    EXPECT_FALSE(qp::DaclGrantsEveryone(nullptr, kKeyAllAccess));
}

TEST(DaclGrantsEveryone, HostileAclsAreReadWithinTheirSize) {
    const Bytes valid = BuildAcl({{0, 0, kKeyAllAccess, kEveryone}});
    std::vector<Bytes> hostile;
    Bytes many = valid;
    many[4] = 200;  // more ACEs than the ACL holds
    hostile.push_back(many);
    Bytes zero_size = valid;
    zero_size[8 + 2] = 0;  // an ACE of size 0 would never advance
    hostile.push_back(zero_size);
    Bytes long_sid = valid;
    long_sid[8 + 8 + 1] = 15;  // fifteen sub-authorities in a 12-byte SID
    hostile.push_back(long_sid);
    Bytes short_size = valid;
    short_size[2] = 12;  // AclSize cuts the ACE
    hostile.push_back(short_size);
    Bytes tiny_ace = BuildAcl({{0, 0, kKeyAllAccess, {}}});  // an ACE with no SID at all
    hostile.push_back(tiny_ace);
    for (const Bytes& acl : hostile) {
        // Copied into a buffer of exactly the claimed size, so a read beyond it is caught.
        const size_t size = static_cast<size_t>(acl[2] | (acl[3] << 8));
        Bytes exact(acl.begin(), acl.begin() + static_cast<long>(std::min(size, acl.size())));
        EXPECT_FALSE(Grants(exact));
    }
}

}  // namespace
