#include "registry/registry_helper.h"

#include <gtest/gtest.h>

#include <string>

#include "other_machine.h"
#include "registry_fixture.h"

namespace qp = qx::platform;

namespace {

using qx::test::RegistryTest;
using DWORD = qp::DWORD;

const qp::HKEY kHklm = qp::HKEY_LOCAL_MACHINE;

// The protected steps, for the tests that look at one of them alone.
class RegistrySteps : public CRegistry {
  public:
    using CRegistry::DeleteEmptyParent;
    using CRegistry::SetDaclPermission;
};

TEST_F(RegistryTest, StringValueNeedsRoomForItsStoredSize) {
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "v", "hello", kHklm), 0u);
    EXPECT_EQ(Raw(Key(), "v"), std::string("1:hello") + '\0');  // stored with its NUL

    const struct {
        DWORD out_size;
        DWORD result;
    } cases[] = {{6, 0}, {5, 122}, {1, 122}, {0, 122}, {0xFFFFFFFF, 0}, {4096, 0}};
    for (const auto& c : cases) {
        char out[16] = "untouched";
        EXPECT_EQ(CRegistry::GetValue(Key().c_str(), "v", out, kHklm, c.out_size), c.result)
            << c.out_size;
        EXPECT_STREQ(out, c.result == 0 ? "hello" : "untouched") << c.out_size;
    }
}

TEST_F(RegistryTest, StringStoredWithoutItsNulStillEndsInTheBuffer) {
    SetRaw(Key(), "bare", qp::REG_SZ, "abc");  // 3 bytes, no NUL
    char out[8] = "xxxxxxx";
    EXPECT_EQ(CRegistry::GetValue(Key().c_str(), "bare", out, kHklm, 3), 122u);
    EXPECT_EQ(CRegistry::GetValue(Key().c_str(), "bare", out, kHklm, 4), 0u);
    EXPECT_STREQ(out, "abc");
}

TEST_F(RegistryTest, ValuesOfTheWrongTypeGive87) {
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "n", DWORD{255}, kHklm), 0u);
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "s", "255", kHklm), 0u);
    SetRaw(Key(), "short", qp::REG_DWORD, "ab");
    EXPECT_EQ(Raw(Key(), "n"), std::string("4:\xff\0\0\0", 6));
    EXPECT_EQ(Number(Key(), "n"), "255");
    EXPECT_EQ(Text(Key(), "n"), "error 87");
    EXPECT_EQ(Number(Key(), "s"), "error 87");
    EXPECT_EQ(Number(Key(), "short"), "error 13");
    EXPECT_EQ(Text(Key(), "missing"), "error 2");
    EXPECT_EQ(Text(Key("NoSuchKey"), "v"), "error 2");
}

TEST_F(RegistryTest, RequiredArgumentsGive87) {
    char out[8];
    DWORD number = 0;
    const std::string key = Key();
    const DWORD results[] = {
        CRegistry::GetValue(nullptr, "v", out, kHklm, sizeof(out)),
        CRegistry::GetValue("", "v", out, kHklm, sizeof(out)),
        CRegistry::GetValue(key.c_str(), "", out, kHklm, sizeof(out)),
        CRegistry::GetValue(key.c_str(), "v", static_cast<char*>(nullptr), kHklm, 8),
        CRegistry::GetValue(key.c_str(), nullptr, &number, kHklm, 0),
        CRegistry::SetValue(key.c_str(), "v", static_cast<const char*>(nullptr), kHklm),
        CRegistry::SetValue(key.c_str(), "", "x", kHklm),
        CRegistry::SetValue("", "v", DWORD{1}, kHklm),
        CRegistry::DeleteKey(nullptr, false, kHklm),
        CRegistry::DeleteKey("", true, kHklm),
        CRegistry::CopyKey(key.c_str(), "", true, kHklm, kHklm),
        CRegistry::CopyKey(nullptr, key.c_str(), true, kHklm, kHklm),
    };
    for (size_t i = 0; i < std::size(results); ++i) {
        EXPECT_EQ(results[i], 87u) << "call " << i;
    }
    EXPECT_FALSE(Exists(key));
}

TEST_F(RegistryTest, DeleteValue) {
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "v", "x", kHklm), 0u);
    EXPECT_EQ(CRegistry::DeleteValue(Key().c_str(), "v", kHklm), 0u);
    EXPECT_EQ(CRegistry::DeleteValue(Key().c_str(), "v", kHklm), 2u);
    EXPECT_EQ(CRegistry::DeleteValue(Key("Missing").c_str(), "v", kHklm), 2u);
    EXPECT_TRUE(Exists(Key()));
}

TEST_F(RegistryTest, DeleteKeyRemovesTheSubtreeAndParentsLeftEmpty) {
    const struct {
        const char* what;
        const char* sibling_key;  // below A, beside B
        const char* a_value;
        bool a_stays;
    } cases[] = {
        {"A holds another key", "Other", nullptr, true},
        {"A holds a value", nullptr, "keep", true},
        {"A holds nothing else", nullptr, nullptr, false},
    };
    for (const auto& c : cases) {
        const std::string a = Key(c.what);
        CRegistry::DeleteKey(a.c_str(), false, kHklm);
        ASSERT_EQ(CRegistry::SetValue((a + "\\B\\C\\D").c_str(), "deep", "1", kHklm), 0u);
        ASSERT_EQ(CRegistry::SetValue((a + "\\B\\C").c_str(), "c", "1", kHklm), 0u);
        if (c.sibling_key != nullptr) {
            CreateKey(a + "\\" + c.sibling_key);
        }
        if (c.a_value != nullptr) {
            ASSERT_EQ(CRegistry::SetValue(a.c_str(), c.a_value, "1", kHklm), 0u);
        }
        EXPECT_EQ(CRegistry::DeleteKey((a + "\\B\\C").c_str(), false, kHklm), 0u) << c.what;
        EXPECT_FALSE(Exists(a + "\\B")) << c.what;
        EXPECT_EQ(Exists(a), c.a_stays) << c.what;
    }
    EXPECT_TRUE(Exists("Software"));
}

TEST_F(RegistryTest, DeleteKeyNeverRemovesTheFirstComponent) {
    const qp::HKEY hkcu = qp::HKEY_CURRENT_USER;
    ASSERT_EQ(CRegistry::SetValue("QxOnly\\A\\B", "v", "1", hkcu), 0u);
    EXPECT_EQ(CRegistry::DeleteKey("QxOnly\\A\\B", false, hkcu), 0u);
    EXPECT_FALSE(Exists("QxOnly\\A", hkcu));
    EXPECT_TRUE(Exists("QxOnly", hkcu));  // empty now, but the walk stops below it
}

TEST_F(RegistryTest, DeleteKeyWithATrailingBackslashStillClearsItsParents) {
    ASSERT_EQ(CRegistry::SetValue(Key("A\\B").c_str(), "v", "1", kHklm), 0u);
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "keep", "1", kHklm), 0u);
    EXPECT_EQ(CRegistry::DeleteKey((Key("A\\B") + "\\").c_str(), false, kHklm), 0u);
    EXPECT_FALSE(Exists(Key("A")));
    EXPECT_TRUE(Exists(Key()));
}

TEST_F(RegistryTest, DeleteKeyOfAMissingKeyReportsIt) {
    EXPECT_EQ(CRegistry::DeleteKey(Key("Missing").c_str(), false, kHklm), 2u);
    EXPECT_EQ(CRegistry::DeleteKey(Key("Missing").c_str(), true, kHklm), 2u);
}

TEST_F(RegistryTest, RefusedDeletionOpensTheKeyToEveryoneAndRetries) {
    for (bool only_this_key : {true, false}) {
        const std::string key = Key(only_this_key ? "Only" : "Tree");
        ASSERT_EQ(CRegistry::SetValue(key.c_str(), "v", "1", kHklm), 0u);
        ASSERT_EQ(qp::SetKeyDenyDelete(kHklm, key.c_str(), true), 0);
        ASSERT_EQ(qp::RegDeleteKeyA(kHklm, key.c_str()), 5);  // refused as such
        EXPECT_EQ(CRegistry::DeleteKey(key.c_str(), only_this_key, kHklm), 0u);
        EXPECT_FALSE(Exists(key));
    }
}

TEST_F(RegistryTest, OnlyThisKeyLeavesAKeyWithSubkeys) {
    ASSERT_EQ(CRegistry::SetValue(Key("Child").c_str(), "v", "1", kHklm), 0u);
    EXPECT_NE(CRegistry::DeleteKey(Key().c_str(), true, kHklm), 0u);
    EXPECT_TRUE(Exists(Key("Child")));
}

TEST_F(RegistryTest, SetDaclPermissionLiftsTheRule) {
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "v", "1", kHklm), 0u);
    ASSERT_EQ(qp::SetKeyDenyDelete(kHklm, Key().c_str(), true), 0);
    EXPECT_EQ(RegistrySteps::SetDaclPermission(Key().c_str(), kHklm), 0u);
    EXPECT_EQ(qp::RegDeleteKeyA(kHklm, Key().c_str()), 0);
    EXPECT_EQ(RegistrySteps::SetDaclPermission(Key().c_str(), kHklm), 2u);
    EXPECT_EQ(RegistrySteps::SetDaclPermission("", kHklm), 87u);
}

TEST_F(RegistryTest, WithoutTheSecurityFunctionsTheRefusalStands) {
    // A process has one machine: the check runs in a child on a machine that lacks them.
    for (const char* switched_off : {"AddAccessAllowedObjectAce", "InitializeAcl"}) {
        qx::test::OtherMachine machine(
            "win7", std::string("[SYSTEM_FUNCTIONS]\r\n") + switched_off + " = 0\r\n");
        ASSERT_TRUE(machine.Ready()) << machine.Error();
        EXPECT_EQ(machine.Run(QXAPI_PROBE, "delete-denied 'Software\\QxDenied'"),
                  "result=5 exists=1\n")
            << switched_off;
    }
}

TEST_F(RegistryTest, DeleteEmptyParentStopsAtTheFirstKeyInUse) {
    ASSERT_EQ(CRegistry::SetValue(Key().c_str(), "keep", "1", kHklm), 0u);
    CreateKey(Key("A\\B\\C"));
    EXPECT_EQ(RegistrySteps::DeleteEmptyParent(Key("A\\B\\C\\Gone").c_str(), kHklm), 0u);
    EXPECT_FALSE(Exists(Key("A")));
    EXPECT_TRUE(Exists(Key()));
    EXPECT_EQ(RegistrySteps::DeleteEmptyParent(Key("Missing\\X").c_str(), kHklm), 2u);
}

TEST_F(RegistryTest, CopyKeyCopiesStringsAndNumbersOnly) {
    const std::string from = Key("From");
    const std::string to = Key("To");
    ASSERT_EQ(CRegistry::SetValue(from.c_str(), "s", "text", kHklm), 0u);
    ASSERT_EQ(CRegistry::SetValue(from.c_str(), "n", DWORD{7}, kHklm), 0u);
    SetRaw(from, "b", qp::REG_BINARY, "\x01\x02");
    SetRaw(from, "m", qp::REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    ASSERT_EQ(CRegistry::SetValue((from + "\\Sub\\Leaf").c_str(), "deep", "1", kHklm), 0u);
    CreateKey(from + "\\Empty");

    EXPECT_EQ(CRegistry::CopyKey(from.c_str(), to.c_str(), true, kHklm, qp::HKEY_CURRENT_USER), 0u);
    const qp::HKEY hkcu = qp::HKEY_CURRENT_USER;
    EXPECT_EQ(Text(to, "s", hkcu), "text");
    EXPECT_EQ(Number(to, "n", hkcu), "7");
    EXPECT_EQ(Raw(to, "b", hkcu), "error 2");
    EXPECT_EQ(Raw(to, "m", hkcu), "error 2");
    EXPECT_EQ(Text(to + "\\Sub\\Leaf", "deep", hkcu), "1");
    EXPECT_FALSE(Exists(to + "\\Empty", hkcu));  // a key without values is not created

    EXPECT_EQ(CRegistry::CopyKey(from.c_str(), Key("Flat").c_str(), false, kHklm, kHklm), 0u);
    EXPECT_EQ(Text(Key("Flat"), "s"), "text");
    EXPECT_FALSE(Exists(Key("Flat\\Sub")));
    EXPECT_EQ(CRegistry::CopyKey(Key("Missing").c_str(), to.c_str(), true, kHklm, kHklm), 2u);
}

TEST_F(RegistryTest, CopyKeyWritesValuesAfterSubkeys) {
    // A subkey whose copy fails (its default value has no name SetValue accepts) stops the
    // copy before the parent's own values are written.
    const std::string from = Key("From");
    const std::string to = Key("To");
    ASSERT_EQ(CRegistry::SetValue(from.c_str(), "parent", "1", kHklm), 0u);
    SetRaw(from + "\\Child", "", qp::REG_SZ, std::string("default", 8));
    ASSERT_EQ(CRegistry::SetValue((from + "\\Child").c_str(), "named", "1", kHklm), 0u);

    EXPECT_EQ(CRegistry::CopyKey(from.c_str(), to.c_str(), true, kHklm, kHklm), 87u);
    EXPECT_EQ(Text(to + "\\Child", "named"), "1");
    EXPECT_EQ(Raw(to, "parent"), "error 2");
}

}  // namespace
