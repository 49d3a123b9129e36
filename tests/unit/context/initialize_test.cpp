#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/install_context.h"
#include "context_fixture.h"
#include "platform/machine.h"
#include "platform/paths.h"

namespace {

namespace qp = qx::platform;

class InitializeTest : public qx::test::DiscTest {};

TEST_F(InitializeTest, WithoutADataFileTheProfilesFail) {
    CInstallContext context;
    EXPECT_FALSE(Init(context));
    EXPECT_EQ(LogLines(), std::vector<std::string>{"Initialize Profiles fail!!"});
}

TEST_F(InitializeTest, AMissingConfigureOrCommandFileIsLoggedWithItsPathAndFails) {
    struct Case {
        const char* file_info;
        const char* missing;
    };
    const Case cases[] = {
        {"CONFIGURE_FILE = .\\data\\missing.qxi\r\n", "\\data\\missing.qxi"},
        {"COMMAND_FILE = cmd\\missing.cmd\r\n", "\\cmd\\missing.cmd"},
        // The English configure file is the one looked for at start-up.
        {"CONFIGURE_FILE.EN = .\\data\\en.qxi\r\n", "\\data\\en.qxi"},
    };
    for (const Case& c : cases) {
        WriteDisc("[INSTALLER_FILE_INFO]\r\n" + std::string(c.file_info) + ProgramInfo());
        CInstallContext context;
        const size_t mark = Mark();
        EXPECT_FALSE(Init(context)) << c.file_info;
        const std::vector<std::string> expected = {
            "(" + Folder() + c.missing + ") file does not exist.",
            "Initialize Profiles fail!!",
        };
        EXPECT_EQ(LinesSince(mark), expected) << c.file_info;
    }
}

TEST_F(InitializeTest, TheFileSetFollowsInstallerFileInfo) {
    WriteDisc(
        "[INSTALLER_FILE_INFO]\r\n"
        "CONFIGURE_FILE = .\\data\\other.qxi\r\n"
        "CONFIGURE_FILE.EN = $SRC_DIR$\\data\\english.qxi\r\n"
        "COMMAND_FILE = data\\qxinst.cmd\r\n"
        "STRING_FILE_FORMAT = .\\data\\Texts_%s.str\r\n"
        "SETTING_FILE = .\\setting.ini\r\n" +
        ProgramInfo());
    Write("data\\english.qxi", "[EN_PAGES]\r\n");
    Write("data\\Texts_EN.str", "[MESSAGES]\r\nMSG_HELLO = Hi\r\n");
    Write("setting.ini", "[INSTALL]\r\nSILENT = 0\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const qx::context::ProfileSet& profiles = context.Profiles();
    EXPECT_EQ(profiles.data_file, Folder() + "\\Setup.dat");
    EXPECT_EQ(profiles.configure_file, Folder() + "\\data\\english.qxi");
    EXPECT_EQ(profiles.command_file, Folder() + "\\data\\qxinst.cmd");
    EXPECT_EQ(profiles.string_file_format, ".\\data\\Texts_%s.str");
    EXPECT_EQ(profiles.string_file, Folder() + "\\data\\Texts_EN.str");
    EXPECT_EQ(profiles.string_file_name, "Texts_EN.str");
    EXPECT_EQ(profiles.setting_file, Folder() + "\\setting.ini");
    EXPECT_EQ(context.SourceFolder(), Folder());
    EXPECT_EQ(qp::GetCurrentDirectoryA(), Folder());
    EXPECT_EQ(context.InstallerExe(), "Setup.exe");
    EXPECT_EQ(context.Profiles().data.ApplyMessages("@MSG_HELLO@"), "Hi");
}

TEST_F(InitializeTest, AMissingSettingFileIsLoggedButNoFailure) {
    WriteDisc(ProgramInfo());
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    EXPECT_EQ(context.Profiles().setting_file, "");
    EXPECT_TRUE(HasLine(LogLines(), "(" + Folder() + "\\Config.ini) file does not exist."));
}

TEST_F(InitializeTest, AMissingProductValueFailsUnlessMainOnly) {
    const std::string partial = "[PROGRAM_INFO]\r\nMFG = QxCtx\r\nMDL = M1\r\n";
    WriteDisc(partial);
    {
        CInstallContext context;
        const size_t mark = Mark();
        EXPECT_FALSE(Init(context));
        const std::vector<std::string> lines = LinesSince(mark);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "Initialize Model Variable fail!!");
    }
    WriteDisc(partial + "[OPTION]\r\nMAIN_ONLY = 1\r\n");
    {
        CInstallContext context;
        EXPECT_TRUE(Init(context));
        EXPECT_TRUE(HasLine(LogLines(), "Initialize Model Variable fail!!"));
        EXPECT_EQ(context.Product().program_name, qx::context::kDefaultProgramName);
        EXPECT_EQ(context.Keys().installing,
                  "Software\\QxCtx\\Velmora Printer Installer Program\\Installing");
    }
}

TEST_F(InitializeTest, ProductKeysAndVersionComeFromTheDataFileOrAutorun) {
    WriteDisc(ProgramInfo());
    Write("Autorun.inf", "[INFOMATION]\r\nVERSION = 3.2.1\r\n");
    {
        CInstallContext context;
        ASSERT_TRUE(Init(context));
        EXPECT_EQ(context.Version(), "3.2.1");
        EXPECT_EQ(context.Product().mfg, "QxCtx");
        EXPECT_EQ(context.Product().mdl, "M1");
        EXPECT_EQ(context.Product().vidpid, "VID_1&PID_2");
        EXPECT_EQ(context.Paths().vidpid, "VID_1&PID_2");
        const qx::context::RegistryKeys& keys = context.Keys();
        EXPECT_EQ(keys.installing, ProductKey() + "\\Installing");
        EXPECT_EQ(keys.installing_history, ProductKey() + "\\Installing\\InstHistory");
        EXPECT_EQ(keys.installed, ProductKey() + "\\Installed");
        EXPECT_EQ(keys.installed_history, ProductKey() + "\\Installed\\InstHistory");
        EXPECT_EQ(keys.uninstall_info, ProductKey() + "\\UninstallInfo");
    }
    WriteDisc("[VERSION]\r\nVERSION = 9.9\r\n" + ProgramInfo());
    {
        CInstallContext context;
        ASSERT_TRUE(Init(context));
        EXPECT_EQ(context.Version(), "9.9");
    }
}

TEST_F(InitializeTest, TheSummaryEndsTheStartUpInItsOrder) {
    WriteDisc(ProgramInfo("DESTINATION_DIR = $SRC_DIR$\\Dest\r\n") +
              "[OS_DEFINE]\r\n0X00020601 = SEVEN\r\n[OS_DIR]\r\nSEVEN = Vista\r\n"
              "[PROGRAM_LANG_INFO]\r\n0x0409\r\n[LANGUAGE_DIR]\r\n0x0409 = English\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const qp::Machine& machine = qp::Machine::Current();
    const std::vector<std::string> expected = {
        " m_cstrDataFile file name is [" + Folder() + "\\Setup.dat]\n",
        " Configure file Name is [" + Folder() + "\\data\\qxinst.qxi] \n",
        " String file Name is [" + Folder() + "\\data\\String\\Lang_EN.str] \n",
        " Source Directroy = " + Folder() + "\n",
        " Destination Directroy = " + Folder() + "\\Dest\n",
        " Inf Directroy = " + machine.WindowsFolder() + "\\Inf\n",
        " Language Abbreviation = EN\n",
        " Original Language Abbreviation = EN\n",
        " Language directory = English\n",
        " Original Language directory = English\n",
        " OS Directroy = Vista\n",
        " OS String = SEVEN\n",
        " System Directroy = " + machine.SystemFolder() + "\n",
        " Windows Directroy = " + machine.WindowsFolder() + "\n",
        " Language ID = 0x0409\n",
        " Program files directory = " + machine.ProgramFilesFolder() + "\n",
        " Current Installing registry root key = " + ProductKey() + "\\Installing\n",
        " Current Installed registry root key = " + ProductKey() + "\\Installed\n",
        " Temporary directory = " + machine.TempFolder() + "\n",
    };
    const std::vector<std::string> lines = LogLines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(
        std::vector<std::string>(lines.end() - static_cast<long>(expected.size()), lines.end()),
        expected);
}

TEST_F(InitializeTest, StartUpReadsOptionsChoosesTheLanguageThenIdentifiesTheOs) {
    WriteDisc(ProgramInfo() +
              "[OS_DEFINE]\r\n0X00020601 = SEVEN\r\n[PROGRAM_LANG_INFO]\r\n0x0409\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const std::vector<std::string> lines = LogLines();
    auto index_of = [&lines](const std::string& line) {
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i] == line) {
                return static_cast<long>(i);
            }
        }
        return -1L;
    };
    const long options = index_of("USB ONLY Option is OFF");
    const long language = index_of("Set Language : Language ID\t\t= 0X0409");
    const long os = index_of("OS Define String = SEVEN");
    const long summary = index_of(" m_cstrDataFile file name is [" + Folder() + "\\Setup.dat]\n");
    ASSERT_GE(options, 0);
    EXPECT_LT(options, language);
    EXPECT_LT(language, os);
    EXPECT_LT(os, summary);
    // The language is recorded for the installer module right away.
    EXPECT_EQ(RegNumber(InstallingKey(), "LangCode"), 0x0409);
    EXPECT_EQ(RegText(InstallingKey(), "LangAbbr"), "EN");
}

}  // namespace
