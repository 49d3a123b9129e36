#include "platform/system_library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "other_machine.h"
#include "platform/errors.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

qp::OsProfile Os(const char* name) {
    std::optional<qp::OsProfile> os = qp::FindOsProfile(name);
    EXPECT_TRUE(os) << name;
    return os.value_or(qp::OsProfile{});
}

TEST(SystemLibraries, FollowTheWindowsVersion) {
    const struct {
        const char* os;
        const char* library;
        const char* function;
        bool exists;
    } cases[] = {
        {"win95", "Msimg32.dll", "GradientFill", false},
        {"nt4", "Msimg32.dll", "GradientFill", false},
        {"win98", "Msimg32.dll", "GradientFill", true},
        {"win2000", "Msimg32.dll", "GradientFill", true},
        {"win95", "SetupAPI.dll", "SetupOpenInfFileA", false},
        {"nt4", "SetupAPI.dll", "SetupOpenInfFileA", false},
        {"win98", "SetupAPI.dll", "SetupOpenInfFileA", true},
        {"win98", "SetupAPI.dll", "CMP_WaitNoPendingInstallEvents", false},
        {"winme", "SetupAPI.dll", "CMP_WaitNoPendingInstallEvents", false},
        {"win2000", "SetupAPI.dll", "CMP_WaitNoPendingInstallEvents", true},
        {"win7x64", "SetupAPI.dll", "CMP_WaitNoPendingInstallEvents", true},
        {"win95", "Kernel32.dll", "GetDiskFreeSpaceExA", false},
        {"win95osr2", "Kernel32.dll", "GetDiskFreeSpaceExA", true},
        {"nt4", "Kernel32.dll", "GetDiskFreeSpaceExA", true},
        {"win95", "Kernel32.dll", "MoveFileExA", true},
        {"win95", "User32.dll", "RegisterDeviceNotificationA", false},
        {"nt4", "User32.dll", "RegisterDeviceNotificationA", false},
        {"win98", "User32.dll", "RegisterDeviceNotificationA", true},
        {"xp", "User32.dll", "UnregisterDeviceNotification", true},
        {"win98se", "Netapi32.dll", "NetWkstaGetInfo", false},
        {"nt4", "Netapi32.dll", "NetWkstaGetInfo", true},
        {"nt4", "Advapi32.dll", "InitializeSecurityDescriptor", true},
        {"nt4", "Advapi32.dll", "AddAccessAllowedObjectAce", false},
        {"nt4", "Advapi32.dll", "SetSecurityDescriptorControl", false},
        {"win2000", "Advapi32.dll", "AddAccessAllowedObjectAce", true},
        {"xp", "Kernel32.dll", "GradientFill", false},  // a function of another library
        {"xp", "Kernel32.dll", "NoSuchFunction", false},
        {"xp", "kernel32", "MoveFileExA", true},
        {"xp", "KERNEL32.DLL", "MoveFileExA", true},
        {"xp", "Kernel32.dll", "movefileexa", false},  // function names are exact
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qp::SystemFunctionExists(Os(c.os), c.library, c.function), c.exists)
            << c.os << " " << c.library << " " << c.function;
    }
    EXPECT_FALSE(qp::SystemLibraryExists(Os("win95"), "Msimg32"));
    EXPECT_TRUE(qp::SystemLibraryExists(Os("win95"), "mpr.DLL"));
    EXPECT_FALSE(qp::SystemLibraryExists(Os("win7x64"), "Qxrun.dll"));
}

TEST(SystemLibraries, AMachineCanSwitchFunctionsOff) {
    const std::set<std::string> disabled = {"movefileexa", "GradientFill"};
    const qp::OsProfile xp = Os("xp");
    EXPECT_FALSE(qp::SystemFunctionAvailable(xp, disabled, "Kernel32.dll", "MoveFileExA"));
    EXPECT_FALSE(qp::SystemFunctionAvailable(xp, disabled, "Msimg32.dll", "GradientFill"));
    EXPECT_TRUE(qp::SystemFunctionAvailable(xp, disabled, "Kernel32.dll", "GetDiskFreeSpaceExA"));
}

TEST(SystemLibraries, MachineIniNamesTheFunctionsSwitchedOff) {
    qx::test::OtherMachine machine("xp",
                                   "[SYSTEM_FUNCTIONS]\r\nMoveFileExA = 0\r\nGradientFill = 1\r\n"
                                   "  FreeSid=0 // not this machine's FreeSid\r\n");
    ASSERT_TRUE(machine.Ready()) << machine.Error();
    std::string error;
    auto opened = qp::Machine::Open(machine.Root(), &error);
    ASSERT_TRUE(opened) << error;
    EXPECT_EQ(opened->Config().disabled_functions,
              (std::set<std::string>{"FreeSid", "MoveFileExA"}));
}

TEST(LoadLibrary, NamesAndHandles) {
    for (const char* name : {"Advapi32.dll", "advapi32", "ADVAPI32.DLL"}) {
        qp::HMODULE module = qp::LoadLibraryA(name);
        ASSERT_NE(module, nullptr) << name;
        EXPECT_NE(qp::GetProcAddress(module, "InitializeAcl"), nullptr) << name;
        EXPECT_TRUE(qp::FreeLibrary(module));
    }
    const std::string in_system = qp::Machine::Current().SystemFolder() + "\\Kernel32.dll";
    qp::HMODULE kernel = qp::LoadLibraryA(in_system.c_str());
    EXPECT_NE(kernel, nullptr);
    qp::FreeLibrary(kernel);

    for (const char* name : {"D:\\Disc\\Kernel32.dll", "Qxrun.dll", "C:\\Kernel32.dll"}) {
        qp::SetLastError(0);
        EXPECT_EQ(qp::LoadLibraryA(name), nullptr) << name;
        EXPECT_EQ(qp::GetLastError(), 126u) << name;
    }
}

TEST(LoadLibrary, GetProcAddressAndFreeLibraryCheckTheirArguments) {
    qp::HMODULE kernel = qp::LoadLibraryA("Kernel32.dll");
    ASSERT_NE(kernel, nullptr);
    qp::SetLastError(0);
    EXPECT_EQ(qp::GetProcAddress(kernel, "NoSuchFunction"), nullptr);
    EXPECT_EQ(qp::GetLastError(), 127u);
    EXPECT_EQ(qp::GetProcAddress(kernel, "InitializeAcl"), nullptr);  // in Advapi32
    EXPECT_EQ(qp::GetProcAddress(kernel, reinterpret_cast<const char*>(1)), nullptr);

    int not_a_module = 0;
    qp::HMODULE bogus = reinterpret_cast<qp::HMODULE>(&not_a_module);
    qp::SetLastError(0);
    EXPECT_EQ(qp::GetProcAddress(bogus, "MoveFileExA"), nullptr);
    EXPECT_EQ(qp::GetLastError(), 6u);
    EXPECT_FALSE(qp::FreeLibrary(bogus));

    // Each load is released once; one release too many fails.
    qp::HMODULE again = qp::LoadLibraryA("kernel32");
    EXPECT_EQ(again, kernel);
    EXPECT_TRUE(qp::FreeLibrary(kernel));
    EXPECT_TRUE(qp::FreeLibrary(again));
    EXPECT_FALSE(qp::FreeLibrary(kernel));
}

// Host path of a test folder's file.
fs::path HostFile(const fs::path& folder, const char* name) {
    return folder / name;
}

TEST(MoveFileEx, RenamesWithinADrive) {
    fs::path host;
    const std::string folder = qx::test::MakeTestFolder("move", &host);
    qx::test::WriteHostFile(HostFile(host, "a.txt"), "A");
    qx::test::WriteHostFile(HostFile(host, "b.txt"), "B");

    EXPECT_TRUE(qp::MoveFileExA((folder + "\\a.txt").c_str(), (folder + "\\c.txt").c_str(), 0));
    EXPECT_FALSE(fs::exists(HostFile(host, "a.txt")));
    EXPECT_EQ(qx::test::ReadHostFile(HostFile(host, "c.txt")), "A");

    qp::SetLastError(0);
    EXPECT_FALSE(qp::MoveFileExA((folder + "\\c.txt").c_str(), (folder + "\\B.TXT").c_str(), 0));
    EXPECT_EQ(qp::GetLastError(), 183u);
    EXPECT_TRUE(qp::MoveFileExA((folder + "\\c.txt").c_str(), (folder + "\\B.TXT").c_str(),
                                qp::MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(qx::test::ReadHostFile(HostFile(host, "b.txt")), "A");

    const struct {
        std::string from;
        std::string to;
        qp::DWORD flags;
        qp::DWORD error;
    } failures[] = {
        {folder + "\\missing.txt", folder + "\\x.txt", 0, 2},
        {folder + "\\b.txt", folder + "\\no\\x.txt", 0, 3},
        {folder + "\\b.txt", "", 0, 87},
        {folder + "\\b.txt", folder + "\\x.txt", 0x100, 87},
        {folder + "\\b.txt", folder + "\\x.txt",
         qp::MOVEFILE_DELAY_UNTIL_REBOOT | qp::MOVEFILE_COPY_ALLOWED, 87},
    };
    for (const auto& f : failures) {
        qp::SetLastError(0);
        EXPECT_FALSE(qp::MoveFileExA(f.from.c_str(), f.to.c_str(), f.flags)) << f.from << f.to;
        EXPECT_EQ(qp::GetLastError(), f.error) << f.from << " " << f.to;
    }
    EXPECT_EQ(qx::test::ReadHostFile(HostFile(host, "b.txt")), "A");
}

TEST(MoveFileEx, AnotherDriveNeedsCopyAllowed) {
    fs::path host;
    const std::string folder = qx::test::MakeTestFolder("move_drive", &host);
    qx::test::WriteHostFile(HostFile(host, "a.txt"), "A");
    fs::path other = qx::test::MachineRoot() / "other_drive";
    fs::create_directories(other);
    const char letter = qp::Machine::Current().MapTransientDrive(other, qp::kDriveFixed);
    const std::string target = std::string(1, letter) + ":\\a.txt";

    qp::SetLastError(0);
    EXPECT_FALSE(qp::MoveFileExA((folder + "\\a.txt").c_str(), target.c_str(), 0));
    EXPECT_EQ(qp::GetLastError(), 17u);
    EXPECT_TRUE(
        qp::MoveFileExA((folder + "\\a.txt").c_str(), target.c_str(), qp::MOVEFILE_COPY_ALLOWED));
    EXPECT_FALSE(fs::exists(HostFile(host, "a.txt")));
    EXPECT_EQ(qx::test::ReadHostFile(other / "a.txt"), "A");
}

std::string PendingRenames() {
    qp::RegKey key;
    if (qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE,
                          "System\\CurrentControlSet\\Control\\Session Manager", 0, qp::KEY_READ,
                          key.Receive()) != 0) {
        return "<no key>";
    }
    char data[4096] = {};
    qp::DWORD size = sizeof(data);
    qp::DWORD type = 0;
    if (qp::RegQueryValueExA(key.Get(), "PendingFileRenameOperations", nullptr, &type,
                             reinterpret_cast<qp::BYTE*>(data), &size) != 0 ||
        type != qp::REG_MULTI_SZ) {
        return "<no value>";
    }
    return std::string(data, size);
}

TEST(MoveFileEx, AtRestartAppendsToThePendingRenames) {
    fs::path host;
    const std::string folder = qx::test::MakeTestFolder("move_restart", &host);
    qx::test::WriteHostFile(HostFile(host, "old.dll"), "old");

    ASSERT_TRUE(
        qp::MoveFileExA((folder + "\\old.dll").c_str(), nullptr, qp::MOVEFILE_DELAY_UNTIL_REBOOT));
    ASSERT_TRUE(qp::MoveFileExA((folder + "\\new.dll").c_str(), (folder + "\\old.dll").c_str(),
                                qp::MOVEFILE_DELAY_UNTIL_REBOOT | qp::MOVEFILE_REPLACE_EXISTING));
    const std::string expected = "\\??\\" + folder + "\\old.dll" + '\0' + '\0' + "\\??\\" + folder +
                                 "\\new.dll" + '\0' + "!\\??\\" + folder + "\\old.dll" + '\0' +
                                 '\0';
    EXPECT_EQ(PendingRenames(), expected);
    EXPECT_EQ(qx::test::ReadHostFile(HostFile(host, "old.dll")), "old");  // nothing moved yet
}

TEST(GetDiskFreeSpaceEx, AnswersForExistingFolders) {
    qp::ULARGE_INTEGER available;
    qp::ULARGE_INTEGER total;
    qp::ULARGE_INTEGER free;
    ASSERT_TRUE(qp::GetDiskFreeSpaceExA("C:\\", &available, &total, &free));
    EXPECT_GT(total.QuadPart, 0u);
    EXPECT_LE(available.QuadPart, total.QuadPart);
    EXPECT_LE(free.QuadPart, total.QuadPart);
    qp::SetLastError(0);
    EXPECT_FALSE(qp::GetDiskFreeSpaceExA("C:\\no\\such\\folder", &available, nullptr, nullptr));
    EXPECT_EQ(qp::GetLastError(), 3u);
}

TEST(SystemLibraries, PerWindowsVersionInAChildProcess) {
    const struct {
        const char* os;
        const char* extra_ini;
        const char* command;
        const char* output;
    } cases[] = {
        {"win98", "[FREE_SPACE]\r\nC = 123456\r\n", "free 'C:\\'",
         "result=1 available=123456 free=123456\n"},
        {"win95", "", "free 'C:\\'", "unbound\n"},
        {"win98", "", "move 'C:\\a' 'C:\\b'", "result=0 error=120\n"},
        {"xp", "[SYSTEM_FUNCTIONS]\r\nMoveFileExA = 0\r\n", "move 'C:\\a' 'C:\\b'",
         "result=0 error=0\n"},
    };
    for (const auto& c : cases) {
        qx::test::OtherMachine machine(c.os, c.extra_ini);
        ASSERT_TRUE(machine.Ready()) << machine.Error();
        EXPECT_EQ(machine.Run(QXAPI_PROBE, c.command), c.output) << c.os << " " << c.command;
    }
}

}  // namespace
