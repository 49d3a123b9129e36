#include "context/placeholders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "context/install_context.h"
#include "context_fixture.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/registry_seed.h"

namespace {

namespace fs = std::filesystem;
namespace qp = qx::platform;
using qx::context::ExpandPlaceholders;
using qx::context::ResolvePath;

class PlaceholderTest : public qx::test::DiscTest {
  protected:
    void SetUp() override {
        DiscTest::SetUp();
        WriteDisc("[VERSION]\r\nVERSION = 2.5.1\r\n" + ProgramInfo());
        ASSERT_TRUE(Init(m_context));
    }

    CInstallContext m_context;
};

TEST_F(PlaceholderTest, EveryPlaceholderIsReplacedByItsValue) {
    qx::context::LanguageRecord& language = m_context.Language();
    language.current = 0x0412;
    language.unmapped = 0x0416;
    language.abbr = "KR";
    language.unmapped_abbr = "BP";
    language.dir = "Korean";
    language.unmapped_dir = "Portuguese";
    qx::context::RunPaths& paths = m_context.Paths();
    paths.destination = "C:\\Dest";
    paths.destination_install = "C:\\Dest\\Install";
    paths.os_folder = "x64";
    paths.ip = "127.0.0.9";
    paths.port = "LPT2:";
    paths.installed = true;
    qx::context::SystemFolders& folders = m_context.Folders();
    folders.windows = "C:\\Win";
    folders.system = "C:\\Win\\sys";
    folders.inf = "C:\\Win\\Inf";
    folders.program_files = "C:\\PF";
    qx::context::ProfileSet& profiles = m_context.Profiles();
    profiles.configure_file = "C:\\d\\c.qxi";
    profiles.string_file = "C:\\d\\s.str";
    profiles.string_file_name = "s.str";

    const std::string source = Folder();
    struct Case {
        const char* placeholder;
        std::string value;
    };
    const Case cases[] = {
        {"$LANG_ABBR$", "KR"},
        {"$ORG_LANG_ABBR$", "BP"},
        {"$SRC_DIR$", source},
        {"$DEST_DIR$", "C:\\Dest"},
        {"$DEST_INST_DIR$", "C:\\Dest\\Install"},
        {"$WIN_DIR$", "C:\\Win"},
        {"$SYS_DIR$", "C:\\Win\\sys"},
        {"$INF_DIR$", "C:\\Win\\Inf"},
        {"$OS_DIR$", "x64"},
        {"$PROGRAM_FILES_DIR$", "C:\\PF"},
        {"$LANG_DIR$", "Korean"},
        {"$ORG_LANG_DIR$", "Portuguese"},
        {"$DATA_FILE$", source + "\\Setup.dat"},
        {"$CONFIG_FILE$", "C:\\d\\c.qxi"},
        {"$STRING_FILE$", "C:\\d\\s.str"},
        {"$VERSION$", "2.5.1"},
        {"$INSTALLER_EXE$", "Setup.exe"},
        {"$IP$", "127.0.0.9"},
        {"$STRING_FILE_NAME$", "s.str"},
        {"$PORT$", "LPT2:"},
        {"$LCID$", "0412"},
        {"$ORG_LCID$", "0416"},
        {"$BOOL_INSTALLED$", "1"},
        {"$BOOL_!INSTALLED$", "0"},
    };
    for (const Case& c : cases) {
        const std::string text = std::string("<") + c.placeholder + "|" + c.placeholder + ">";
        EXPECT_EQ(ExpandPlaceholders(text), "<" + c.value + "|" + c.value + ">") << c.placeholder;
    }
    paths.installed = false;
    EXPECT_EQ(ExpandPlaceholders("$BOOL_INSTALLED$$BOOL_!INSTALLED$"), "01");
}

TEST_F(PlaceholderTest, ReplacementsRunInTableOrderOnlyUpperCaseAndKnownNames) {
    m_context.Folders().windows = "C:\\Win";
    // A value holding a later placeholder is expanded too, an earlier one is not.
    m_context.Paths().destination = "$WIN_DIR$\\x";
    EXPECT_EQ(ExpandPlaceholders("$DEST_DIR$"), "C:\\Win\\x");
    m_context.Paths().destination = "$LANG_ABBR$\\x";
    EXPECT_EQ(ExpandPlaceholders("$DEST_DIR$"), "$LANG_ABBR$\\x");

    EXPECT_EQ(ExpandPlaceholders("$lang_abbr$ $Lang_Abbr$"), "$lang_abbr$ $Lang_Abbr$");
    EXPECT_EQ(ExpandPlaceholders("$UNKNOWN$ $ $$ cost $5"), "$UNKNOWN$ $ $$ cost $5");
    EXPECT_EQ(ExpandPlaceholders(""), "");
}

TEST_F(PlaceholderTest, CallerLanguageOverridesReplaceOnlyTheCurrentLanguageValues) {
    m_context.Language().dir = "English";
    m_context.Language().unmapped_dir = "US";
    const char* text = "$LANG_ABBR$ $LANG_DIR$ $LCID$ | $ORG_LANG_ABBR$ $ORG_LANG_DIR$ $ORG_LCID$";
    EXPECT_EQ(ExpandPlaceholders(text, 0x040D, "HB", "Hebrew"), "HB Hebrew 040D | EN US 0009");
    // 0 and empty texts select the current language.
    EXPECT_EQ(ExpandPlaceholders(text, 0, "", nullptr), "EN English 0009 | EN US 0009");
}

class ResolvePathTest : public qx::test::DiscTest {};

TEST_F(ResolvePathTest, RelativeTextsAreTakenAgainstTheSourceFolderOthersStayUnchanged) {
    // The program runs from <test>\disc\setup.
    const std::string disc = Folder() + "\\disc";
    const std::string source = disc + "\\setup";
    Write("disc\\setup\\Setup.dat", ProgramInfo());
    Write("disc\\setup\\data\\qxinst.qxi", "");
    Write("disc\\setup\\data\\qxinst.cmd", "");
    CInstallContext context;
    ASSERT_TRUE(context.Initialize(source + "\\Setup.exe"));
    ASSERT_EQ(context.SourceFolder(), source);

    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"$SRC_DIR$\\data", source + "\\data"},
        {".\\data", source + "\\data"},
        {"data", source + "\\data"},
        {"data\\x.dll", source + "\\data\\x.dll"},
        {"..\\common\\x.dll", disc + "\\common\\x.dll"},
        {".", source},
        {"..", disc},
        {"c:", "c:"},
        {"E:\\abs\\x.dll", "E:\\abs\\x.dll"},
        {"\\\\server\\share\\x.dll", "\\\\server\\share\\x.dll"},
        {"sub\\$SRC_DIR$", source + "\\sub\\" + source},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ResolvePath(c.text, false), c.expected) << c.text;
    }
}

TEST_F(ResolvePathTest, MustExistNeedsAReadableFileAndLogsTheResolvedPathOtherwise) {
    WriteDisc(ProgramInfo());
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const size_t mark = Mark();
    EXPECT_EQ(ResolvePath(".\\data\\qxinst.cmd", true), Folder() + "\\data\\qxinst.cmd");
    EXPECT_EQ(ResolvePath("data\\none.dll", true), "");
    // A folder is no file.
    EXPECT_EQ(ResolvePath(".\\data", true), "");
    EXPECT_EQ(ResolvePath(".\\data", false), Folder() + "\\data");
    const std::vector<std::string> expected = {
        "(" + Folder() + "\\data\\none.dll) file does not exist.",
        "(" + Folder() + "\\data) file does not exist.",
    };
    EXPECT_EQ(LinesSince(mark), expected);
}

class DestinationTest : public qx::test::DiscTest {
  protected:
    bool HostExists(const std::string& windows) const {
        std::optional<fs::path> host = qp::WindowsToHostPath(windows);
        return host && fs::is_directory(*host);
    }
};

TEST_F(DestinationTest, DefaultComesFromTheEarlierInstallationThenTheDataFileThenProgramFiles) {
    WriteDisc(ProgramInfo());
    {
        CInstallContext context;
        ASSERT_TRUE(Init(context));
        const std::string expected = context.Folders().program_files + "\\QxCtx\\" + m_name;
        EXPECT_EQ(context.Paths().destination, expected);
        EXPECT_EQ(context.Paths().default_destination, expected);
        EXPECT_EQ(context.Paths().destination_install, expected + "\\Install");
        EXPECT_TRUE(HostExists(expected));
    }
    WriteDisc(ProgramInfo("DESTINATION_DIR = $SRC_DIR$\\Dest\\\r\n"));
    {
        CInstallContext context;
        ASSERT_TRUE(Init(context));
        EXPECT_EQ(context.Paths().destination, Folder() + "\\Dest");
        EXPECT_TRUE(HostExists(Folder() + "\\Dest"));
    }
    ASSERT_EQ(CRegistry::SetValue(InstalledKey().c_str(), "Dest_Dir",
                                  (Folder() + "\\Earlier").c_str(), qp::HKEY_LOCAL_MACHINE),
              0u);
    {
        CInstallContext context;
        ASSERT_TRUE(Init(context));
        EXPECT_EQ(context.Paths().destination, Folder() + "\\Earlier");
        EXPECT_TRUE(HostExists(Folder() + "\\Earlier"));
    }
}

TEST_F(DestinationTest, SettingTheSameFolderChangesAndWritesNothing) {
    WriteDisc(ProgramInfo("DESTINATION_DIR = " + Folder() + "\\A\\B\r\n"));
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const size_t mark = Mark();
    std::string same = Folder() + "\\a\\b";
    for (char& c : same) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    context.SetDestination(same.c_str());
    EXPECT_EQ(context.Paths().destination, Folder() + "\\A\\B");
    EXPECT_TRUE(LinesSince(mark).empty());
    EXPECT_EQ(RegText(InstallingKey(), "Dest_Dir"), "<missing>");
    EXPECT_TRUE(HostExists(Folder() + "\\A\\B"));
}

TEST_F(DestinationTest, ChangingRemovesTheEmptiedOldChainCreatesTheNewOneAndRecordsIt) {
    WriteDisc(ProgramInfo("DESTINATION_DIR = " + Folder() + "\\A\\B\r\n"));
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    ASSERT_TRUE(HostExists(Folder() + "\\A\\B"));
    const size_t mark = Mark();
    const std::string target = Folder() + "\\C\\D";
    context.SetDestination((target + "\\").c_str());

    EXPECT_FALSE(HostExists(Folder() + "\\A\\B"));
    EXPECT_FALSE(HostExists(Folder() + "\\A"));
    // The disc's own folder is not empty and stays.
    EXPECT_TRUE(HostExists(Folder()));
    EXPECT_TRUE(HostExists(target));
    EXPECT_EQ(context.Paths().destination, target);
    EXPECT_EQ(context.Paths().destination_install, target + "\\Install");
    EXPECT_EQ(RegText(InstallingKey(), "Dest_Dir"), target);
    EXPECT_EQ(LinesSince(mark), std::vector<std::string>{"Set Destination ==> " + target + "\\"});

    // A folder that holds something is left where it is, and so are its parents.
    Write("C\\keep.txt", "x");
    context.SetDestination((Folder() + "\\E").c_str());
    EXPECT_FALSE(HostExists(target));
    EXPECT_TRUE(HostExists(Folder() + "\\C"));
}

TEST_F(DestinationTest, AnEmptyFolderRestoresTheDefaultWithItsLogLine) {
    WriteDisc(ProgramInfo("DESTINATION_DIR = " + Folder() + "\\Default\r\n"));
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    context.SetDestination((Folder() + "\\Other").c_str());
    const size_t mark = Mark();
    context.SetDestination("");
    const std::vector<std::string> expected = {
        "Reset Destination Directory [" + Folder() + "\\Default]",
        "Set Destination ==> " + Folder() + "\\Default",
    };
    EXPECT_EQ(LinesSince(mark), expected);
    EXPECT_EQ(context.Paths().destination, Folder() + "\\Default");
    EXPECT_FALSE(HostExists(Folder() + "\\Other"));
    EXPECT_TRUE(HostExists(Folder() + "\\Default"));
}

TEST_F(DestinationTest, TheMachinesSystemFoldersAreNeverRemoved) {
    // The default destination lies in the (empty) Program Files folder of a fresh machine.
    WriteDisc(ProgramInfo());
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const std::string program_files = context.Folders().program_files;
    ASSERT_FALSE(program_files.empty());
    const std::string old = context.Paths().destination;
    ASSERT_TRUE(HostExists(old));

    context.SetDestination((Folder() + "\\New").c_str());
    EXPECT_FALSE(HostExists(old));
    EXPECT_TRUE(HostExists(program_files));

    // Directly in a system folder, and the system folder itself.
    const qp::Machine& machine = qp::Machine::Current();
    for (const std::string& system :
         {machine.TempFolder(), machine.WindowsFolder(), machine.SystemFolder(), program_files}) {
        context.SetDestination((system + "\\QxDest").c_str());
        context.SetDestination(system.c_str());
        context.SetDestination((Folder() + "\\New").c_str());
        EXPECT_TRUE(HostExists(system)) << system;
        EXPECT_FALSE(HostExists(system + "\\QxDest")) << system;
    }
}

class PortTest : public qx::test::DiscTest {
  protected:
    std::string PortAfterInit(const std::string& program_info_more, const char* options = "") {
        WriteDisc(ProgramInfo(program_info_more) + "[OPTION]\r\n" + options);
        CInstallContext context;
        EXPECT_TRUE(Init(context));
        return context.Paths().port;
    }
};

TEST_F(PortTest, StartUpTakesAnExistingDefaultPortElseLpt1ElseFile) {
    EXPECT_EQ(PortAfterInit("DEFAULT_PORT = COM1:\r\n"), "COM1:");
    EXPECT_EQ(PortAfterInit("DEFAULT_PORT = LPT7:\r\n"), "LPT1:");
    EXPECT_EQ(PortAfterInit(""), "LPT1:");
    EXPECT_EQ(PortAfterInit("", "USB_ONLY = 1\r\n"), "FILE:");
    EXPECT_EQ(PortAfterInit("DEFAULT_PORT = COM1:\r\n", "USB_ONLY = 1\r\n"), "COM1:");

    // A machine without LPT1.
    qp::RegKey ports;
    ASSERT_EQ(qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE,
                                qp::LocalPortsKey(qp::Machine::Current().Config().os), 0,
                                qp::KEY_ALL_ACCESS | qp::KEY_WOW64_64KEY, ports.Receive()),
              0);
    ASSERT_EQ(qp::RegDeleteValueA(ports.Get(), "LPT1:"), 0);
    EXPECT_EQ(PortAfterInit(""), "FILE:");
    qp::RegSetValueExA(ports.Get(), "LPT1:", 0, qp::REG_SZ, reinterpret_cast<const qp::BYTE*>(""),
                       1);
}

TEST_F(PortTest, SetPortTakesAnyTextLogsItAndFallsBackOnAnEmptyOne) {
    WriteDisc(ProgramInfo("DEFAULT_PORT = COM1:\r\n"));
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const size_t mark = Mark();
    context.SetPort("LPT2:");
    EXPECT_EQ(context.Paths().port, "LPT2:");
    context.SetPort("");
    EXPECT_EQ(context.Paths().port, "COM1:");
    context.SetIP("127.0.0.5");
    context.SetPrinterInstalled(false);
    context.SetPrinterInstalled(true);
    const std::vector<std::string> expected = {
        "Set Port : LPT2:", "Set Port : COM1:", "Set IP : 127.0.0.5", "Printer was installed"};
    EXPECT_EQ(LinesSince(mark), expected);
    EXPECT_TRUE(context.Paths().printer_installed);
    EXPECT_EQ(context.Paths().ip, "127.0.0.5");
}

}  // namespace
