#include "modules/api_function.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "other_machine.h"
#include "platform/errors.h"
#include "platform/system_library.h"

namespace qp = qx::platform;
namespace qm = qx::modules;

namespace {

// The INF calls the machine implements.
const std::set<std::string> kInfReading = {"SetupOpenInfFileA", "SetupGetLineByIndexA",
                                           "SetupGetStringFieldA", "SetupCloseInfFile",
                                           "SetupGetLineCountA"};

const std::set<std::string> kSecurity = {"InitializeSecurityDescriptor",
                                         "AllocateAndInitializeSid",
                                         "InitializeAcl",
                                         "AddAccessAllowedObjectAce",
                                         "SetSecurityDescriptorDacl",
                                         "SetSecurityDescriptorControl",
                                         "FreeSid"};

std::set<std::string> BoundNames(const CAPIFunction& api) {
    std::set<std::string> bound;
    for (const qm::SystemBinding& binding : qm::SystemBindings()) {
        if (api.IsBound(binding.function)) {
            bound.insert(binding.function);
        }
    }
    return bound;
}

TEST(CAPIFunction, BindsWhatThisMachineImplements) {
    CAPIFunction api;
    EXPECT_TRUE(BoundNames(api).empty());  // nothing before Load
    EXPECT_TRUE(api.Load());
    std::set<std::string> expected = kSecurity;
    expected.insert({"MoveFileExA", "GetDiskFreeSpaceExA", "CMP_WaitNoPendingInstallEvents"});
    expected.insert(kInfReading.begin(), kInfReading.end());
    EXPECT_EQ(BoundNames(api), expected);
    EXPECT_FALSE(api.IsBound("GetLengthSid"));  // not one of the bound names
    EXPECT_FALSE(api.IsBound(nullptr));
}

TEST(CAPIFunction, MissingFunctionsAnswerWithoutCallingAnything) {
    CAPIFunction api;  // not loaded: every pointer is null
    qp::SetLastError(4242);
    qp::SECURITY_DESCRIPTOR descriptor;
    qp::PSID sid = nullptr;
    unsigned char acl[64] = {};
    EXPECT_EQ(api.RegisterDeviceNotificationA(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(api.UnregisterDeviceNotification(reinterpret_cast<void*>(1)), 0);
    EXPECT_EQ(api.CMP_WaitNoPendingInstallEvents(1000), 0xFFFFFFFFu);
    EXPECT_EQ(api.MoveFileExA("C:\\a", "C:\\b", 0), 0);
    EXPECT_EQ(api.GradientFill(nullptr, nullptr, 0, nullptr, 0, 0), 0);
    EXPECT_EQ(api.InitializeSecurityDescriptor(&descriptor, 1), 0);
    EXPECT_EQ(api.AllocateAndInitializeSid(&qp::SECURITY_WORLD_SID_AUTHORITY, 1, 0, 0, 0, 0, 0, 0,
                                           0, 0, &sid),
              0);
    EXPECT_EQ(api.InitializeAcl(acl, sizeof(acl), 4), 0);
    EXPECT_EQ(api.AddAccessAllowedObjectAce(acl, 4, 0, 1, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(api.SetSecurityDescriptorDacl(&descriptor, 1, acl, 0), 0);
    EXPECT_EQ(api.SetSecurityDescriptorControl(&descriptor, 0x400, 0x400), 0);
    EXPECT_EQ(api.FreeSid(nullptr), nullptr);
    EXPECT_EQ(qp::GetLastError(), 4242u);
    EXPECT_EQ(descriptor.Revision, 0);  // untouched
    EXPECT_EQ(sid, nullptr);

    // Loaded, the functions this machine lacks still answer the same way.
    api.Load();
    qp::SetLastError(4242);
    EXPECT_EQ(api.RegisterDeviceNotificationA(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(api.GradientFill(nullptr, nullptr, 0, nullptr, 0, 0), 0);
    EXPECT_EQ(qp::GetLastError(), 4242u);
}

TEST(CAPIFunction, BoundWrappersPassTheirArgumentsOn) {
    CAPIFunction api;
    api.Load();
    qp::SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(api.InitializeSecurityDescriptor(&descriptor, 1));
    qp::PSID everyone = nullptr;
    ASSERT_TRUE(api.AllocateAndInitializeSid(&qp::SECURITY_WORLD_SID_AUTHORITY, 1, 0, 0, 0, 0, 0, 0,
                                             0, 0, &everyone));
    std::vector<qp::BYTE> acl(qp::GetLengthSid(everyone) + 52);
    ASSERT_TRUE(api.InitializeAcl(acl.data(), static_cast<qp::DWORD>(acl.size()), 4));
    ASSERT_TRUE(
        api.AddAccessAllowedObjectAce(acl.data(), 4, 0x12, 0xF003F, nullptr, nullptr, everyone));
    ASSERT_TRUE(api.SetSecurityDescriptorDacl(&descriptor, 1, acl.data(), 0));
    ASSERT_TRUE(api.SetSecurityDescriptorControl(&descriptor, 0x400, 0x400));
    EXPECT_TRUE(qp::DaclGrantsEveryone(&descriptor, 0xF003F));
    EXPECT_EQ(api.FreeSid(everyone), nullptr);

    qp::SetLastError(0);
    EXPECT_EQ(api.InitializeSecurityDescriptor(&descriptor, 7), 0);
    EXPECT_EQ(qp::GetLastError(), 1305u);  // the function's own error comes through
}

TEST(CAPIFunction, ReleasesEveryLibraryItLoaded) {
    {
        CAPIFunction api;
        api.Load();
        api.Load();  // a second load starts over rather than adding references
    }
    for (const char* library : {"MPR.dll", "Msimg32.dll", "Kernel32.dll", "User32.dll",
                                "SetupAPI.dll", "Netapi32.dll", "Advapi32.dll"}) {
        qp::HMODULE module = qp::LoadLibraryA(library);
        ASSERT_NE(module, nullptr) << library;
        EXPECT_TRUE(qp::FreeLibrary(module)) << library;
        EXPECT_FALSE(qp::FreeLibrary(module)) << library << " still held";
    }
}

std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.insert(line);
    }
    return lines;
}

TEST(CAPIFunction, BindsPerWindowsVersion) {
    const std::set<std::string> nt4 = {"InitializeSecurityDescriptor",
                                       "AllocateAndInitializeSid",
                                       "InitializeAcl",
                                       "SetSecurityDescriptorDacl",
                                       "FreeSid",
                                       "MoveFileExA",
                                       "GetDiskFreeSpaceExA"};
    std::set<std::string> win95 = nt4;
    win95.erase("GetDiskFreeSpaceExA");
    std::set<std::string> win2000 = nt4;
    win2000.insert({"AddAccessAllowedObjectAce", "SetSecurityDescriptorControl",
                    "CMP_WaitNoPendingInstallEvents"});
    win2000.insert(kInfReading.begin(), kInfReading.end());  // SetupAPI arrived with Windows 2000
    std::set<std::string> xp_without = win2000;
    xp_without.erase("AddAccessAllowedObjectAce");
    const struct {
        const char* os;
        const char* extra_ini;
        std::set<std::string> bound;
    } cases[] = {
        {"win95", "", win95},
        {"win95osr2", "", nt4},
        {"nt4", "", nt4},
        {"win2000", "", win2000},
        {"xp", "[SYSTEM_FUNCTIONS]\r\nAddAccessAllowedObjectAce = 0\r\n", xp_without},
    };
    for (const auto& c : cases) {
        qx::test::OtherMachine machine(c.os, c.extra_ini);
        ASSERT_TRUE(machine.Ready()) << machine.Error();
        EXPECT_EQ(Lines(machine.Run(QXAPI_PROBE, "bound")), c.bound) << c.os;
    }
}

}  // namespace
