#include "platform/machine.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/paths.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

fs::path FreshRoot(const std::string& name) {
    fs::path root = qx::test::MachineRoot() / "machines" / name;
    fs::remove_all(root);
    return root;
}

fs::path HostUnder(const fs::path& root, const std::string& win_path) {
    std::string rest = win_path.substr(3);
    for (char& c : rest) {
        c = c == '\\' ? '/' : c;
    }
    return root / "drive_c" / rest;
}

TEST(Machine, EveryKnownOsCreatesItsFoldersAndReadsBack) {
    for (const qp::OsProfile& os : qp::KnownOsProfiles()) {
        fs::path root = FreshRoot(os.name);
        qp::MachineSetup setup;
        setup.os = os.name;
        setup.system_language = 0x0412;
        setup.user_language = 0x0412;
        setup.code_page = 949;
        setup.administrator = false;
        std::string error;
        ASSERT_TRUE(qp::Machine::Create(root, setup, false, &error)) << error;
        auto machine = qp::Machine::Open(root, &error);
        ASSERT_TRUE(machine) << error;
        const qp::MachineConfig& config = machine->Config();
        EXPECT_EQ(config.os.name, os.name);
        EXPECT_EQ(config.os.platform_id, os.platform_id);
        EXPECT_EQ(config.os.major, os.major);
        EXPECT_EQ(config.os.minor, os.minor);
        EXPECT_EQ(config.os.service_pack, os.service_pack);
        EXPECT_EQ(config.os.is_64bit, os.is_64bit);
        EXPECT_EQ(config.code_page, 949u);
        EXPECT_EQ(config.system_language, 0x0412);
        EXPECT_FALSE(config.administrator);
        for (const std::string& folder :
             {machine->WindowsFolder(), machine->SystemFolder(), machine->InfFolder(),
              machine->ProgramFilesFolder(), machine->TempFolder()}) {
            EXPECT_TRUE(fs::is_directory(HostUnder(root, folder))) << os.name << " " << folder;
        }
    }
}

TEST(Machine, FoldersFollowTheWindowsVersion) {
    const struct {
        const char* os;
        const char* windows;
        const char* system;
        const char* program_files;
        const char* temp;
    } cases[] = {
        {"win98", "C:\\WINDOWS", "C:\\WINDOWS\\SYSTEM", "C:\\Program Files", "C:\\WINDOWS\\TEMP"},
        {"nt4", "C:\\WINNT", "C:\\WINNT\\system32", "C:\\Program Files", "C:\\TEMP"},
        {"xp", "C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\Program Files",
         "C:\\Documents and Settings\\User\\Local Settings\\Temp"},
        {"win7x64", "C:\\Windows", "C:\\Windows\\system32", "C:\\Program Files (x86)",
         "C:\\Users\\User\\AppData\\Local\\Temp"},
    };
    for (const auto& c : cases) {
        auto os = qp::FindOsProfile(c.os);
        ASSERT_TRUE(os) << c.os;
        fs::path root = FreshRoot(std::string("folders-") + c.os);
        std::string error;
        qp::MachineSetup setup;
        setup.os = c.os;
        ASSERT_TRUE(qp::Machine::Create(root, setup, false, &error)) << error;
        auto machine = qp::Machine::Open(root, &error);
        ASSERT_TRUE(machine) << error;
        EXPECT_EQ(machine->WindowsFolder(), c.windows);
        EXPECT_EQ(machine->SystemFolder(), c.system);
        EXPECT_EQ(machine->ProgramFilesFolder(), c.program_files);
        EXPECT_EQ(machine->TempFolder(), c.temp);
    }
}

TEST(Machine, CreateRefusesAnUnknownOsAndAnExistingMachineUnlessForced) {
    fs::path root = FreshRoot("refuse");
    std::string error;
    qp::MachineSetup setup;
    setup.os = "win10";
    EXPECT_FALSE(qp::Machine::Create(root, setup, false, &error));
    EXPECT_NE(error.find("unknown OS 'win10'"), std::string::npos) << error;
    setup.os = "xp";
    ASSERT_TRUE(qp::Machine::Create(root, setup, false, &error)) << error;
    qx::test::WriteHostFile(root / "drive_c" / "left.txt", "x");
    EXPECT_FALSE(qp::Machine::Create(root, setup, false, &error));
    EXPECT_NE(error.find("already exists"), std::string::npos) << error;
    setup.os = "win98";
    ASSERT_TRUE(qp::Machine::Create(root, setup, true, &error)) << error;
    EXPECT_FALSE(fs::exists(root / "drive_c" / "left.txt"));
    EXPECT_EQ(qp::Machine::Open(root, &error)->Config().os.name, "win98");
}

TEST(Machine, MissingKeysTakeTheProfileDefaultsAndBadValuesFailClearly) {
    fs::path root = FreshRoot("sparse");
    fs::create_directories(root);
    std::string error;
    qx::test::WriteHostFile(root / "machine.ini", "[OS]\r\nNAME = xp\r\n");
    auto machine = qp::Machine::Open(root, &error);
    ASSERT_TRUE(machine) << error;
    EXPECT_EQ(machine->Config().os.major, 5u);
    EXPECT_EQ(machine->Config().os.minor, 1u);
    EXPECT_EQ(machine->Config().code_page, 1252u);
    ASSERT_TRUE(machine->FindDrive('C'));
    EXPECT_EQ(machine->FindDrive('C')->host_root, root / "drive_c");
    EXPECT_EQ(machine->FindDrive('C')->type, qp::kDriveFixed);

    const std::pair<const char*, const char*> bad[] = {
        {"[OS]\r\nNAME = beos\r\n", "unknown OS 'beos'"},
        {"[DRIVES]\r\nC = drive_c, floppy\r\n", "unknown type 'floppy'"},
        {"[DRIVES]\r\nC = , fixed\r\n", "names no folder"},
    };
    for (const auto& [text, reason] : bad) {
        qx::test::WriteHostFile(root / "machine.ini", text);
        EXPECT_FALSE(qp::Machine::Open(root, &error)) << text;
        EXPECT_NE(error.find(reason), std::string::npos) << error;
    }
    fs::remove(root / "machine.ini");
    EXPECT_FALSE(qp::Machine::Open(root, &error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
}

TEST(Machine, BinaryMachineIniDoesNotCrash) {
    fs::path root = FreshRoot("binary");
    fs::create_directories(root);
    std::string junk(5000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) {
        junk[i] = static_cast<char>((i * 131) % 256);
    }
    qx::test::WriteHostFile(root / "machine.ini", junk);
    std::string error;
    auto machine = qp::Machine::Open(root, &error);
    // Nothing usable in it: every value is a default.
    ASSERT_TRUE(machine) << error;
    EXPECT_EQ(machine->Config().os.name, "win7x64");
}

TEST(Machine, TransientDrivesTakeTheFirstFreeLetterAndReachChildren) {
    qp::Machine& machine = qp::Machine::Current();
    fs::path first = qx::test::MachineRoot() / "media" / "one";
    fs::path second = qx::test::MachineRoot() / "media" / "two";
    fs::create_directories(first);
    fs::create_directories(second);
    char a = machine.MapTransientDrive(first, qp::kDriveCdrom);
    char b = machine.MapTransientDrive(second, qp::kDriveRemovable);
    EXPECT_GE(a, 'D');
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(machine.MapTransientDrive(first, qp::kDriveFixed), a);
    EXPECT_EQ(qp::GetDriveTypeA(std::string(1, b) + ":\\"), qp::kDriveRemovable);
    const char* published = ::getenv(qp::kTransientDrivesEnv);
    ASSERT_NE(published, nullptr);
    EXPECT_NE(std::string(published).find(std::string(1, b) + "|removable|" + second.string()),
              std::string::npos);
    // A child process opening the same machine sees the same letters.
    std::string error;
    auto child_view = qp::Machine::Open(machine.Root(), &error);
    ASSERT_TRUE(child_view);
    ASSERT_TRUE(child_view->FindDrive(b));
    EXPECT_EQ(child_view->FindDrive(b)->host_root, second);
}

}  // namespace
