#include "app/system_checks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "context/install_context.h"
#include "context_fixture.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/ports.h"
#include "platform/registry.h"
#include "platform/registry_seed.h"
#include "platform/services.h"
#include "platform/system_library.h"

namespace {

namespace fs = std::filesystem;
namespace qp = qx::platform;
using namespace qx::app;

class SystemChecksTest : public qx::test::DiscTest {
  protected:
    bool HostExists(const std::string& windows) const {
        std::optional<fs::path> host = qp::WindowsToHostPath(windows);
        return host && fs::exists(*host);
    }
};

TEST_F(SystemChecksTest, TheDefaultTestMachineIsAnNtFiveOrLaterWorkstationOfVersionSix) {
    ASSERT_EQ(qp::Machine::Current().Config().os.name, "win7x64");
    int code = 0;
    int family = 0;
    ASSERT_TRUE(GetOSCode(&code, &family));
    EXPECT_EQ(code, 18);
    EXPECT_EQ(family, 17);
}

TEST_F(SystemChecksTest, DriveKindsAreRenumberedAndDefaultToTheProgramsDrive) {
    // The test binary's folder is a CD-ROM drive, as a disc would be.
    EXPECT_EQ(GetDriveKind(nullptr), 3);
    EXPECT_EQ(GetDriveKind(""), 3);
    EXPECT_EQ(GetDriveKind("C:\\Windows"), 2);
    EXPECT_EQ(GetDriveKind("c:"), 2);
    // A drive the machine does not have.
    EXPECT_EQ(GetDriveKind("Q:\\x"), 1);
}

TEST_F(SystemChecksTest, IsInListComparesTrimmedPiecesWithoutCase) {
    struct Case {
        const char* list;
        const char* name;
        const char* delimiters;
        bool expected;
    };
    const Case cases[] = {
        {"WXP, W2K ,\tWIN7", "w2k", ",", true},
        {"WXP, W2K ,\tWIN7", "WIN7", ",", true},
        {"WXP, W2K ,\tWIN7", "WIN", ",", false},
        {"WXP;W2K|WIN7", "W2K", ";|", true},
        {"WXP W2K", "WXP W2K", ",", true},
        {"WXP", "WXP", "", false},
        {"", "WXP", ",", false},
        {"WXP", "", ",", false},
        {nullptr, "WXP", ",", false},
        {"WXP", nullptr, ",", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsInList(c.list, c.name, c.delimiters), c.expected)
            << (c.list ? c.list : "null") << " / " << (c.name ? c.name : "null");
    }
}

TEST_F(SystemChecksTest, GetTokenSplitsAtAnyDelimiterCharacter) {
    struct Case {
        const char* text;
        const char* delimiters;
        int index;
        bool found;
        const char* token;
    };
    const Case cases[] = {
        {"/S /Lx", "/-", 0, true, "S "}, {"/S /Lx", "/-", 1, true, "Lx"},
        {"/S /Lx", "/-", 2, false, ""},  {"a-b/c", "/-", 2, true, "c"},
        {"//a//b", "/", 1, true, "b"},   {"abc", "/", 0, true, "abc"},
        {"abc", "/", -1, false, ""},     {"", "/", 0, false, ""},
        {"abc", "", 0, false, ""},
    };
    for (const Case& c : cases) {
        char out[16];
        std::memset(out, 'x', sizeof(out));
        EXPECT_EQ(GetToken(c.text, c.delimiters, c.index, out, sizeof(out)), c.found)
            << c.text << " #" << c.index;
        if (c.found) {
            EXPECT_STREQ(out, c.token) << c.text << " #" << c.index;
        }
    }
    // The copy stops at the size given, with its NUL.
    char small[4] = {'x', 'x', 'x', 'x'};
    ASSERT_TRUE(GetToken("abcdef", "/", 0, small, sizeof(small)));
    EXPECT_STREQ(small, "abc");
}

TEST_F(SystemChecksTest, ToHexWritesTwoUpperCaseDigitsPerByte) {
    const unsigned char bytes[] = {0x00, 0x0F, 0xA5, 0xFF, 0x10};
    char out[16] = {};
    ToHex(bytes, 5, out);
    EXPECT_STREQ(out, "000FA5FF10");
}

TEST_F(SystemChecksTest, FileExistsOnlyForFilesThatCanBeOpened) {
    Write("file.txt", "x");
    Write("folder\\inner.txt", "y");
    EXPECT_TRUE(FileExists((Folder() + "\\file.txt").c_str()));
    EXPECT_TRUE(FileExists((Folder() + "\\FILE.TXT").c_str()));
    EXPECT_FALSE(FileExists((Folder() + "\\folder").c_str()));
    EXPECT_FALSE(FileExists((Folder() + "\\none.txt").c_str()));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(nullptr));
}

TEST_F(SystemChecksTest, PortExistsKnowsTheLocalAndTheTcpPortsWithoutCase) {
    for (const char* port : {"LPT1:", "lpt1:", "COM1:", "FILE:"}) {
        EXPECT_TRUE(PortExists(port)) << port;
    }
    for (const char* port : {"LPT9:", "LPT1", "", "IP_127.0.0.7"}) {
        EXPECT_FALSE(PortExists(port)) << port;
    }
    EXPECT_FALSE(PortExists(nullptr));
    const std::string key = std::string(qp::kTcpPortsKey) + "\\IP_127.0.0.7";
    qp::RegKey created;
    ASSERT_EQ(qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                  qp::KEY_ALL_ACCESS | qp::KEY_WOW64_64KEY, nullptr,
                                  created.Receive(), nullptr),
              0);
    EXPECT_TRUE(PortExists("ip_127.0.0.7"));
}

class ServiceTest : public SystemChecksTest {
  protected:
    void SetUp() override {
        SystemChecksTest::SetUp();
        CreateService("QxTestSvc", qp::SERVICE_STOPPED);
    }

    static void CreateService(const char* name, qp::DWORD state) {
        const std::string key = std::string(qp::kServicesKey) + "\\" + name;
        qp::RegKey created;
        ASSERT_EQ(qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                      qp::KEY_ALL_ACCESS, nullptr, created.Receive(), nullptr),
                  0);
        auto set = [&created](const char* value, qp::DWORD number) {
            qp::RegSetValueExA(created.Get(), value, 0, qp::REG_DWORD,
                               reinterpret_cast<const qp::BYTE*>(&number), sizeof(number));
        };
        set(qp::kServiceStateValue, state);
        set("PendingQueries", 3);
        set("WaitHint", 2000);
    }

    static qp::DWORD RawState(const char* name) {
        const std::string key = std::string(qp::kServicesKey) + "\\" + name;
        qp::RegKey opened;
        qp::DWORD value = 0;
        qp::DWORD size = sizeof(value);
        if (qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, key.c_str(), 0, qp::KEY_READ,
                              opened.Receive()) != 0 ||
            qp::RegQueryValueExA(opened.Get(), qp::kServiceStateValue, nullptr, nullptr,
                                 reinterpret_cast<qp::BYTE*>(&value), &size) != 0) {
            return 0;
        }
        return value;
    }
};

TEST_F(ServiceTest, StartAndStopWaitThroughThePendingStates) {
    int state = 0;
    ASSERT_EQ(QueryServiceState("QxTestSvc", &state), 0u);
    EXPECT_EQ(state, 1);

    ASSERT_EQ(StartServiceAndWait("QxTestSvc", &state), 0u);
    EXPECT_EQ(state, 4);
    EXPECT_EQ(RawState("QxTestSvc"), qp::SERVICE_RUNNING);
    ASSERT_EQ(QueryServiceState("QxTestSvc", &state), 0u);
    EXPECT_EQ(state, 4);
    // Already running: answered at once.
    state = 0;
    ASSERT_EQ(StartServiceAndWait("QxTestSvc", &state), 0u);
    EXPECT_EQ(state, 4);

    ASSERT_EQ(StopServiceAndWait("QxTestSvc", &state), 0u);
    EXPECT_EQ(state, 1);
    EXPECT_EQ(RawState("QxTestSvc"), qp::SERVICE_STOPPED);
    state = 0;
    ASSERT_EQ(StopServiceAndWait("QxTestSvc", &state), 0u);
    EXPECT_EQ(state, 1);
}

TEST_F(ServiceTest, TheMachinesFirewallServiceStopsAndStartsAgain) {
    const std::string name = qp::FirewallServiceName(qp::Machine::Current().Config().os);
    ASSERT_EQ(name, "mpssvc");
    int state = 0;
    ASSERT_EQ(QueryServiceState(name.c_str(), &state), 0u);
    EXPECT_EQ(state, 4);
    ASSERT_EQ(StopServiceAndWait(name.c_str(), &state), 0u);
    EXPECT_EQ(state, 1);
    ASSERT_EQ(StartServiceAndWait(name.c_str(), &state), 0u);
    EXPECT_EQ(state, 4);
}

TEST_F(ServiceTest, AMissingServiceOrOutputIsAnError) {
    int state = 7;
    EXPECT_EQ(StartServiceAndWait("QxNoSuchService", &state), 1060u);
    EXPECT_EQ(StopServiceAndWait("QxNoSuchService", &state), 1060u);
    EXPECT_EQ(QueryServiceState("QxNoSuchService", &state), 1060u);
    EXPECT_EQ(state, 7);
    EXPECT_EQ(QueryServiceState("QxTestSvc", nullptr), 87u);
}

TEST_F(SystemChecksTest, WaitNoPendingInstallWaitsOutTheMachinesPendingInstallations) {
    auto set_pending = [](qp::DWORD count) {
        qp::RegKey key;
        ASSERT_EQ(qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, qp::kDeviceInstallKey, 0, nullptr, 0,
                                      qp::KEY_WRITE, nullptr, key.Receive(), nullptr),
                  0);
        qp::RegSetValueExA(key.Get(), qp::kPendingInstallsValue, 0, qp::REG_DWORD,
                           reinterpret_cast<const qp::BYTE*>(&count), sizeof(count));
    };
    auto pending = [] {
        qp::RegKey key;
        qp::DWORD count = 99;
        qp::DWORD size = sizeof(count);
        qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, qp::kDeviceInstallKey, 0, qp::KEY_READ,
                          key.Receive());
        qp::RegQueryValueExA(key.Get(), qp::kPendingInstallsValue, nullptr, nullptr,
                             reinterpret_cast<qp::BYTE*>(&count), &size);
        return count;
    };
    set_pending(0);
    EXPECT_FALSE(qx::app::WaitNoPendingInstall(false));  // nothing pending: no wait at all
    set_pending(3);
    EXPECT_TRUE(qx::app::WaitNoPendingInstall(false));
    EXPECT_EQ(pending(), 0u);
    // More than a minute's worth of pending work: the wait gives up after 60 more calls.
    set_pending(100);
    EXPECT_TRUE(qx::app::WaitNoPendingInstall(false));
    EXPECT_EQ(pending(), 100u - 61u);  // the first call and 60 more
    set_pending(0);
}

TEST_F(SystemChecksTest, DeleteFileAndFoldersRemovesEmptiedFoldersUpToOneThatHoldsSomething) {
    Write("keep.txt", "k");
    Write("a\\b\\f.txt", "f");
    const size_t mark = Mark();
    EXPECT_TRUE(DeleteFileAndFolders((Folder() + "\\a\\b\\f.txt").c_str(), false));
    EXPECT_FALSE(HostExists(Folder() + "\\a"));
    EXPECT_TRUE(HostExists(Folder() + "\\keep.txt"));
    const std::vector<std::string> lines = LinesSince(mark);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "nTime = 0");
    EXPECT_EQ(lines[1], "nTime = 0");
    EXPECT_EQ(lines[2], Folder() + " directory was not removed !!");
    EXPECT_EQ(lines[3].substr(0, 18), "Error Code = 145 :");
}

TEST_F(SystemChecksTest, DeleteFileAndFoldersCanKeepTheFoldersAndFailsForAMissingFile) {
    Write("a\\f.txt", "f");
    const size_t mark = Mark();
    EXPECT_TRUE(DeleteFileAndFolders((Folder() + "\\a\\f.txt").c_str(), true));
    EXPECT_FALSE(HostExists(Folder() + "\\a\\f.txt"));
    EXPECT_TRUE(HostExists(Folder() + "\\a"));
    EXPECT_FALSE(DeleteFileAndFolders((Folder() + "\\a\\f.txt").c_str(), false));
    EXPECT_FALSE(DeleteFileAndFolders("", false));
    EXPECT_TRUE(LinesSince(mark).empty());
    EXPECT_TRUE(HostExists(Folder() + "\\a"));
}

TEST_F(SystemChecksTest, DeleteFileAndFoldersNeverTakesASystemFolder) {
    const std::string windows = qp::Machine::Current().WindowsFolder();
    qp::WriteWholeFile(windows + "\\qxonly.txt", "x");
    const size_t mark = Mark();
    EXPECT_TRUE(DeleteFileAndFolders((windows + "\\qxonly.txt").c_str(), false));
    EXPECT_TRUE(HostExists(windows));
    const std::vector<std::string> lines = LinesSince(mark);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], windows + " directory was not removed !!");
}

TEST_F(SystemChecksTest, RemoveFolderChainRemovesEmptyFoldersUpwardsAndStopsAtOthers) {
    Write("keep.txt", "k");
    ASSERT_TRUE(qp::CreateDirectoryA(Folder() + "\\x"));
    ASSERT_TRUE(qp::CreateDirectoryA(Folder() + "\\x\\y"));
    ASSERT_TRUE(qp::CreateDirectoryA(Folder() + "\\x\\y\\z"));
    EXPECT_TRUE(RemoveFolderChain(Folder() + "\\x\\y\\z"));
    EXPECT_FALSE(HostExists(Folder() + "\\x"));
    EXPECT_TRUE(HostExists(Folder()));
    // A folder that is not there ends the chain at once.
    EXPECT_TRUE(RemoveFolderChain(Folder() + "\\none"));
    EXPECT_TRUE(HostExists(Folder()));
    EXPECT_FALSE(RemoveFolderChain(""));

    // The machine's Program Files folder is empty on a fresh machine, and stays.
    const qp::Machine& machine = qp::Machine::Current();
    for (const std::string& system :
         {machine.ProgramFilesFolder(), machine.Config().os.program_files_64}) {
        if (system.empty()) {
            continue;
        }
        ASSERT_TRUE(qp::CreateDirectoryA(system + "\\QxChain"));
        EXPECT_TRUE(RemoveFolderChain(system + "\\QxChain"));
        EXPECT_FALSE(HostExists(system + "\\QxChain"));
        EXPECT_TRUE(HostExists(system)) << system;
        EXPECT_TRUE(RemoveFolderChain(system));
        EXPECT_TRUE(HostExists(system)) << system;
    }
}

TEST_F(SystemChecksTest, RestoreSourcePathPutsTheOriginalBackInTheSixtyFourBitView) {
    const char* path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup";
    qp::RegKey key;
    ASSERT_EQ(qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, path, 0, nullptr, 0,
                                  qp::KEY_ALL_ACCESS | qp::KEY_WOW64_64KEY, nullptr, key.Receive(),
                                  nullptr),
              0);
    const std::string original = "D:\\I386";
    const std::string changed = "C:\\qxsource";
    qp::RegSetValueExA(key.Get(), "SourcePath_ORG", 0, qp::REG_SZ,
                       reinterpret_cast<const qp::BYTE*>(original.c_str()),
                       static_cast<qp::DWORD>(original.size() + 1));
    qp::RegSetValueExA(key.Get(), "SourcePath", 0, qp::REG_SZ,
                       reinterpret_cast<const qp::BYTE*>(changed.c_str()),
                       static_cast<qp::DWORD>(changed.size() + 1));

    EXPECT_EQ(RestoreSourcePath(), 0u);
    char text[64] = {};
    qp::DWORD size = sizeof(text);
    qp::DWORD type = 0;
    ASSERT_EQ(qp::RegQueryValueExA(key.Get(), "SourcePath", nullptr, &type,
                                   reinterpret_cast<qp::BYTE*>(text), &size),
              0);
    EXPECT_EQ(type, qp::REG_SZ);
    EXPECT_STREQ(text, "D:\\I386");
    EXPECT_NE(qp::RegQueryValueExA(key.Get(), "SourcePath_ORG", nullptr, nullptr, nullptr, &size),
              0);
}

class RequirementTest : public SystemChecksTest {
  protected:
    void SetUp() override {
        SystemChecksTest::SetUp();
        qp::SetMessageBoxPresenter(
            [this](void*, const std::string& text, const std::string& caption, qp::UINT style) {
                m_boxes.push_back({text, caption, style});
                return qp::IDOK;
            });
    }
    void TearDown() override {
        qp::SetMessageBoxPresenter(nullptr);
        SystemChecksTest::TearDown();
    }

    struct Box {
        std::string text;
        std::string caption;
        qp::UINT style;
    };
    std::vector<Box> m_boxes;
};

TEST_F(RequirementTest, WithoutARequirementSectionTheCheckPasses) {
    WriteDisc(ProgramInfo());
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    context.Paths().os_define = "W95";
    CRequirement requirement;
    EXPECT_FALSE(requirement.m_bPresent);
    EXPECT_TRUE(requirement.Check(false, false));
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(RequirementTest, AnUnsupportedOsFailsWithTheDefaultTextInABox) {
    WriteDisc(ProgramInfo() +
              "[system_requirement]\r\nUNSUPPORTED_OS = 0X00010400, 0X0001040A\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    context.Paths().os_define = "0X0001040A";
    CRequirement requirement;
    EXPECT_TRUE(requirement.m_bPresent);
    EXPECT_FALSE(requirement.Check(false, false));
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text,
              "This Windows Version is not supported.\r\nThe Setup program will be terminated.");
    EXPECT_EQ(m_boxes[0].caption, m_name);
    EXPECT_EQ(m_boxes[0].style, qp::MB_OK);

    m_boxes.clear();
    struct Case {
        const char* define;
        bool passes;
    };
    for (const Case& c : {Case{"0x00010400", false}, Case{"0X00020501", true}, Case{"", true}}) {
        context.Paths().os_define = c.define;
        EXPECT_EQ(requirement.Check(false, false), c.passes) << c.define;
    }
    EXPECT_EQ(m_boxes.size(), 1u);
}

TEST_F(RequirementTest, TheListIsTrimmedSplitAtSpacesAndCommasAndTheTextIsExpanded) {
    WriteDisc(ProgramInfo() +
              "[SYSTEM_REQUIREMENT]\r\nUNSUPPORTED_OS = \"\tW95,W98 wme,,\"\r\n"
              "MSG_NOT_SUPPORTED_OS = %TITLE% is not for $OS_DIR$\r\n"
              "[OPTION]\r\nRIGHT_ALIGN = 1\r\n[STRINGS]\r\n%TITLE% = \"Qx Product\"\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    context.Paths().os_folder = "Win9x";
    CRequirement requirement;
    for (const char* define : {"W95", "w98", "WME"}) {
        context.Paths().os_define = define;
        EXPECT_FALSE(requirement.Check(false, false)) << define;
    }
    context.Paths().os_define = "WXP";
    EXPECT_TRUE(requirement.Check(false, false));
    ASSERT_EQ(m_boxes.size(), 3u);
    // The text was expanded when the data file was read.
    EXPECT_EQ(m_boxes[0].text, "Qx Product is not for Win9x");
    EXPECT_EQ(m_boxes[0].style, qp::MB_OK | qp::MB_RTLREADING);
}

TEST_F(RequirementTest, TheSpaceMessageNamesTheRequiredMegabytes) {
    WriteDisc(ProgramInfo() + "[SYSTEM_REQUIREMENT]\r\nFREE_SPACE = 200\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    CRequirement requirement;
    EXPECT_EQ(requirement.m_dwFreeSpace, 200u);
    requirement.ShowMessage(CRequirement::kNoFreeSpace);
    requirement.ShowMessage(CRequirement::kUsbNotAvailable);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0].text,
              "The available Disk space is not enough. Please increase available disk space "
              "about \"200MB\" and try again.");
    EXPECT_EQ(m_boxes[1].text,
              "USB Devic is not available. Please check the configuration of system and BIOS "
              "then USB device as available status and try again.");
}

}  // namespace
