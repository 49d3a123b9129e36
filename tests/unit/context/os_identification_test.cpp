#include "context/os_identification.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/install_context.h"
#include "context/placeholders.h"
#include "context_fixture.h"
#include "platform/machine.h"

namespace {

namespace qp = qx::platform;

class OsIdentificationTest : public qx::test::DiscTest {
  protected:
    void SetUp() override {
        DiscTest::SetUp();
        const qp::OsProfile& os = qp::Machine::Current().Config().os;
        // 64-bit Windows 7, which the program learns from IsWow64Process.
        ASSERT_EQ(os.name, "win7x64") << "these cases are written for the default test machine";
    }

    // Initializes a context on a disc with the given OS tables; the lines IdentifyOs wrote.
    std::vector<std::string> Identify(CInstallContext& context, const std::string& tables) {
        WriteDisc(ProgramInfo() + tables);
        EXPECT_TRUE(Init(context));
        const size_t mark = Mark();
        qx::context::IdentifyOs(&context);
        return LinesSince(mark);
    }
};

TEST_F(OsIdentificationTest, PlatformKeysJoinPlatformMajorAndMinorInHex) {
    EXPECT_EQ(qx::context::PlatformKey(2, 5, 1), "0X00020501");
    EXPECT_EQ(qx::context::PlatformKey(1, 4, 10), "0X0001040A");
    EXPECT_EQ(qx::context::PlatformKey(1, 4, 90), "0X0001045A");
    EXPECT_EQ(qx::context::PlatformKey(2, 6, 1), "0X00020601");
}

TEST_F(OsIdentificationTest, AKeyTheTableHoldsGivesTheDefineWithoutASearch) {
    CInstallContext context;
    const std::vector<std::string> lines =
        Identify(context,
                 "[OS_DEFINE]\r\n0X00020601 = SEVEN\r\n0X00020501 = WXP\r\n"
                 "[OS_DIR]\r\nSEVEN = Win7Dir\r\n");
    const std::vector<std::string> expected = {"OS Define String = SEVEN",
                                               "OS Directory = Win7Dir"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(context.Paths().os_define, "SEVEN");
    EXPECT_EQ(context.Paths().os_folder, "Win7Dir");
    EXPECT_EQ(qx::context::ExpandPlaceholders("$OS_DIR$"), "Win7Dir");
}

TEST_F(OsIdentificationTest, WithoutAnOsDirEntryTheFolderIsTheDefineString) {
    CInstallContext context;
    Identify(context, "[OS_DEFINE]\r\n0X00020601 = SEVEN\r\n");
    EXPECT_EQ(context.Paths().os_folder, "SEVEN");
}

TEST_F(OsIdentificationTest, OnSixtyFourBitWindowsTheSixtyFourBitKeyComesFirst) {
    CInstallContext context;
    EXPECT_TRUE(context.Folders().is_64bit);
    Identify(context,
             "[OS_DEFINE]\r\n0X00020601 = SEVEN\r\n0X00020601.64.PRO = SEVEN64PRO\r\n"
             "0X00020601.64 = SEVEN64\r\n");
    EXPECT_EQ(context.Paths().os_define, "SEVEN64");
    Identify(context, "[OS_DEFINE]\r\n0X00020601 = SEVEN\r\n0X00020601.64.PRO = SEVEN64PRO\r\n");
    EXPECT_EQ(context.Paths().os_define, "SEVEN64PRO");
}

TEST_F(OsIdentificationTest, AnUnknownVersionSearchesOlderVersionsDownToTheFirstHit) {
    CInstallContext context;
    const std::vector<std::string> lines =
        Identify(context,
                 "[OS_DEFINE]\r\n0X00020501 = WXP\r\n0X00020502.64 = WXP64\r\n"
                 "0X00020501.64 = WXP64OLD\r\n");
    const std::vector<std::string> expected = {
        "OS Define not found, so installer finds Lastest Version OS Define",
        "OS Major Version [0x0006] , minor version [0x0001], 64bit [1]",
        "Find Define ==> (0X00020601.64.PRO)",
        "Find Define ==> (0X00020601.64)",
        "Find Define ==> (0X00020600.64.PRO)",
        "Find Define ==> (0X00020600.64)",
        "Find Define ==> (0X00020505.64.PRO)",
        "Find Define ==> (0X00020505.64)",
        "Find Define ==> (0X00020504.64.PRO)",
        "Find Define ==> (0X00020504.64)",
        "Find Define ==> (0X00020503.64.PRO)",
        "Find Define ==> (0X00020503.64)",
        "Find Define ==> (0X00020502.64.PRO)",
        "Find Define ==> (0X00020502.64)",
        "OS String was found ==> [WXP64]",
        "OS Define String = WXP64",
        "OS Directory = WXP64",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(context.Paths().os_define, "WXP64");
}

TEST_F(OsIdentificationTest, ATableWithoutAnyMatchLeavesDefineAndFolderEmpty) {
    CInstallContext context;
    const std::vector<std::string> lines =
        Identify(context, "[OS_DEFINE]\r\n0X00010400 = W95\r\n0X00020701 = FUTURE\r\n");
    EXPECT_EQ(context.Paths().os_define, "");
    EXPECT_EQ(context.Paths().os_folder, "");
    EXPECT_EQ(qx::context::ExpandPlaceholders("[$OS_DIR$]"), "[]");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "OS Define not found, so installer finds Lastest Version OS Define");
    // The search ends with the oldest candidate, 4.0.
    EXPECT_EQ(lines.back().substr(0, 26), "Find Define ==> (0X0002040");
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("OS String was found"), std::string::npos) << line;
        EXPECT_EQ(line.find("OS Define String"), std::string::npos) << line;
    }
}

TEST_F(OsIdentificationTest, SystemFoldersComeFromTheMachine) {
    CInstallContext context;
    const qp::Machine& machine = qp::Machine::Current();
    const qx::context::SystemFolders& folders = context.Folders();
    EXPECT_EQ(folders.windows, machine.WindowsFolder());
    EXPECT_EQ(folders.system, machine.SystemFolder());
    EXPECT_EQ(folders.inf, machine.WindowsFolder() + "\\Inf");
    EXPECT_EQ(folders.temp, machine.TempFolder());
    EXPECT_NE(folders.temp.back(), '\\');
    // The 32-bit program's view of the registry value.
    EXPECT_EQ(folders.program_files, machine.ProgramFilesFolder());
}

}  // namespace
