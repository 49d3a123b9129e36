#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "commands/launch.h"
#include "context/install_context.h"
#include "context_fixture.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "process_fixture.h"

namespace {

namespace qc = qx::commands;
namespace qp = qx::platform;
using qx::test::ChildRecord;
using qx::test::InstallChild;
using qx::test::ShellRecord;

// The wizard's side of a wait, as the tests see it.
class RecordingHost : public qc::WaitHost {
  public:
    void DisableFrameAndBackground() override { ++disabled; }
    void EnableFrameAndBackground() override { ++enabled; }
    void PostEndWait(qp::BYTE flag) override {
        end_flag = flag;
        ended = true;
    }
    bool WaitForEnd() const {
        for (int i = 0; i < 1000 && !ended; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return ended;
    }
    std::atomic<int> disabled{0};
    std::atomic<int> enabled{0};
    std::atomic<int> end_flag{-1};
    std::atomic<bool> ended{false};
};

class LaunchTest : public qx::test::DiscTest {
  protected:
    void SetUp() override {
        DiscTest::SetUp();
        WriteDisc("[INSTALLER_FILE_INFO]\r\n" + m_file_info + ProgramInfo());
        m_context = std::make_unique<CInstallContext>();
        ASSERT_TRUE(Init(*m_context));
    }
    void TearDown() override {
        m_context.reset();
        DiscTest::TearDown();
    }
    // The log's line for an error number; the system text's own line break leaves a line
    // holding the blank after it (kErrorTail).
    static std::string ErrorLine(qp::DWORD error) {
        std::string text = qp::FormatSystemMessage(error);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        return "Error Code = " + std::to_string(error) + " :" + text;
    }
    static constexpr const char* kErrorTail = " ";

    std::string m_file_info;
    std::unique_ptr<CInstallContext> m_context;
};

TEST_F(LaunchTest, AMissingProgramStartsNothing) {
    RecordingHost host;
    qc::WaitRecord wait{&host, nullptr};
    const std::string missing_line = "(" + Folder() + "\\missing.exe) file does not exist.";
    size_t mark = Mark();
    EXPECT_FALSE(qc::ExeFileNoWait("missing.exe", ""));
    EXPECT_EQ(LinesSince(mark), std::vector<std::string>{missing_line});
    mark = Mark();
    EXPECT_TRUE(qc::ExeFileWait(".\\missing.exe", "", wait, 1));
    EXPECT_EQ(LinesSince(mark), std::vector<std::string>{missing_line});
    EXPECT_EQ(host.disabled, 0);
    EXPECT_EQ(wait.thread, nullptr);
    bool terminated = false;
    EXPECT_TRUE(qc::ExeAndTerminate("missing.exe", "", [&] { terminated = true; }));
    EXPECT_FALSE(terminated);
    EXPECT_FALSE(qc::ExeFileNoWait("", ""));
}

TEST_F(LaunchTest, AProgramStartsInItsFolderAndTheWaitEndsWithItsFlag) {
    InstallChild(Folder() + "\\bin\\child.exe");
    ChildRecord record(m_name);
    RecordingHost host;
    qc::WaitRecord wait{&host, nullptr};
    EXPECT_TRUE(qc::ExeFileWait("bin\\child.exe", "--sleep=200 \"$SRC_DIR$\"", wait, 1));
    EXPECT_EQ(host.disabled, 1);
    ASSERT_NE(wait.thread, nullptr);
    EXPECT_FALSE(host.ended);  // still running
    ASSERT_TRUE(host.WaitForEnd());
    EXPECT_EQ(host.end_flag, 1);
    const std::vector<std::string> expected = {"cwd=" + (Host() / "bin").string(),
                                               "arg=" + Folder() + "\\bin\\child.exe",
                                               "arg=--sleep=200", "arg=" + Folder()};
    EXPECT_EQ(record.FirstRun(), expected);

    // CT_EXE_FILE_ACTIVE's flag is 0; a silent run (no host) neither disables nor waits.
    RecordingHost active;
    qc::WaitRecord active_wait{&active, nullptr};
    EXPECT_TRUE(qc::ExeFileWait("bin\\child.exe", "", active_wait, 0));
    ASSERT_TRUE(active.WaitForEnd());
    EXPECT_EQ(active.end_flag, 0);
    qc::WaitRecord silent;
    EXPECT_TRUE(qc::ExeFileWait("bin\\child.exe", "", silent, 1));
    EXPECT_EQ(silent.thread, nullptr);
    bool terminated = false;
    EXPECT_TRUE(qc::ExeAndTerminate("bin\\child.exe", "", [&] { terminated = true; }));
    EXPECT_TRUE(terminated);
    EXPECT_TRUE(qc::ExeFileNoWait("bin\\child.exe", ""));
}

TEST_F(LaunchTest, DroppingTheWaitStopsItWithoutEndingIt) {
    InstallChild(Folder() + "\\child.exe");
    RecordingHost host;
    qc::WaitRecord wait{&host, nullptr};
    EXPECT_TRUE(qc::ExeFileWait("child.exe", "--sleep=3000", wait, 1));
    const auto start = std::chrono::steady_clock::now();
    wait.thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(host.ended);
}

TEST_F(LaunchTest, DocumentsAndFoldersOpenThroughTheShell) {
    Write("docs\\readme.txt", "hi");
    {
        ShellRecord shell;
        EXPECT_TRUE(qc::OpenFile("docs\\readme.txt"));
        EXPECT_EQ(shell.Since(),
                  std::vector<std::string>{"open\t" + Folder() + "\\docs\\readme.txt"});
    }
    const size_t mark = Mark();
    EXPECT_FALSE(qc::OpenFile("docs\\missing.txt"));
    EXPECT_EQ(LinesSince(mark), std::vector<std::string>{
                                    "(" + Folder() + "\\docs\\missing.txt) file does not exist."});
    // No association: the error is shown (no window here), the command still succeeds.
    Write("docs\\data.xyz", "?");
    EXPECT_TRUE(qc::OpenFile("docs\\data.xyz"));

    struct Case {
        std::string folder;
        std::string opened;
        std::string recorded;  // the shell hands on the folder's full path
    };
    const Case cases[] = {
        {"docs", Folder() + "\\docs\\", Folder() + "\\docs"},
        {"$SRC_DIR$\\docs\\", Folder() + "\\docs\\", Folder() + "\\docs"},
        // Empty: the root of the program's drive.
        {"", Folder().substr(0, 3), Folder().substr(0, 3)},
    };
    for (const Case& c : cases) {
        ShellRecord shell;
        const size_t browse_mark = Mark();
        EXPECT_TRUE(qc::OpenBrowse(c.folder));
        EXPECT_EQ(LinesSince(browse_mark), std::vector<std::string>{"Open Browse : " + c.opened});
        EXPECT_EQ(shell.Since(), std::vector<std::string>{"open\t" + c.recorded}) << c.folder;
    }
    // A folder that does not exist is still announced; the failure is only shown.
    EXPECT_TRUE(qc::OpenBrowse("nowhere"));
}

TEST_F(LaunchTest, WebAddressesTryTheBrowserThenTheirAssociation) {
    {
        ShellRecord shell;
        const size_t mark = Mark();
        EXPECT_TRUE(qc::OpenUrl("http://printer.test/reg"));
        EXPECT_EQ(LinesSince(mark), std::vector<std::string>{});
        EXPECT_EQ(shell.Since(), std::vector<std::string>{"open\thttp://printer.test/reg"});
    }
    // Without the browser's App Paths entry the address opens by itself.
    const char* app_paths = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths";
    {
        qp::RegKey parent;
        ASSERT_EQ(qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, app_paths, 0,
                                    qp::KEY_ALL_ACCESS | qp::KEY_WOW64_64KEY, parent.Receive()),
                  0);
        ASSERT_EQ(qp::RegDeleteKeyA(parent.Get(), "IEXPLORE.EXE"), 0);
    }
    {
        ShellRecord shell;
        const size_t mark = Mark();
        EXPECT_TRUE(qc::OpenUrl("http://printer.test/fallback"));
        const std::vector<std::string> expected = {"Open IEXPLORE.EXE", ErrorLine(2), kErrorTail};
        EXPECT_EQ(LinesSince(mark), expected);
        EXPECT_EQ(shell.Since(), std::vector<std::string>{"open\thttp://printer.test/fallback"});
    }
    const size_t mark = Mark();
    EXPECT_FALSE(qc::OpenUrl("zzunknown://nothing"));
    const std::vector<std::string> expected = {
        "Open IEXPLORE.EXE", ErrorLine(2), kErrorTail,
        "There is no association for the specified file type.", ""};
    EXPECT_EQ(LinesSince(mark), expected);
    // Put the browser back for the other tests.
    std::string error;
    EXPECT_TRUE(qp::SeedShell(qx::test::MachineRoot(), qp::Machine::Current().Config(), QXSHELLOPEN,
                              &error))
        << error;
}

class ManualTest : public LaunchTest {
  protected:
    void SetUp() override {
        m_file_info = "QXOPEN_EXE = .\\bin\\viewer.exe\r\n";
        LaunchTest::SetUp();
    }
};

TEST_F(ManualTest, TheViewerGetsTheManualAndTheWaitHasFlagZero) {
    InstallChild(Folder() + "\\bin\\viewer.exe");
    Write("manual\\guide.pdf", "%PDF");
    ChildRecord record(m_name);
    RecordingHost host;
    qc::WaitRecord wait{&host, nullptr};
    EXPECT_TRUE(qc::OpenManual("manual\\guide.pdf", "EN", wait));
    EXPECT_EQ(host.disabled, 1);
    ASSERT_TRUE(host.WaitForEnd());
    EXPECT_EQ(host.end_flag, 0);
    const std::vector<std::string> run = record.FirstRun();
    const std::vector<std::string> args(run.begin() + 1, run.end());
    const std::vector<std::string> expected = {"arg=" + Folder() + "\\bin\\viewer.exe", "arg=/T",
                                               "arg=" + Folder() + "\\manual\\guide.pdf", "arg=EN"};
    EXPECT_EQ(args, expected);
    EXPECT_FALSE(qc::OpenManual("manual\\missing.pdf", "EN", wait));
}

TEST_F(LaunchTest, WithoutTheViewerTheManualOpensByItself) {
    Write("manual\\guide.pdf", "%PDF");
    RecordingHost host;
    qc::WaitRecord wait{&host, nullptr};
    ShellRecord shell;
    const size_t mark = Mark();
    EXPECT_TRUE(qc::OpenManual("manual\\guide.pdf", "", wait));
    EXPECT_EQ(LinesSince(mark),
              (std::vector<std::string>{"Open Manual", ErrorLine(2), kErrorTail}));
    EXPECT_EQ(shell.Since(), std::vector<std::string>{"open\t" + Folder() + "\\manual\\guide.pdf"});
    EXPECT_EQ(host.disabled, 0);
    Write("manual\\guide.xyz", "?");
    EXPECT_FALSE(qc::OpenManual("manual\\guide.xyz", "", wait));
}

TEST_F(LaunchTest, RunExecuteReportsAsTheFirmwareUpdateExpects) {
    InstallChild(Folder() + "\\fw tool\\update.exe");
    const std::string program = "\"" + Folder() + "\\fw tool\\update.exe\"";
    struct Case {
        std::string line;
        qp::DWORD wait;
        qp::DWORD result;
        qp::DWORD exit_code;  // left at 12345 when not stored
        std::vector<std::string> log;
    };
    const std::string exec = "[RunExecute] Execute command  = [";
    const Case cases[] = {
        {"", 1000, 87, 12345, {"Fail !!! Invalid Parameter in RunExecute !!!"}},
        {program + " --exit=5",
         qp::kInfinite,
         0,
         5,
         {exec + program + " --exit=5], wait time = -1", "[RunExecute] Process Exit Code = 5"}},
        {program + " --sleep=2000",
         0,
         258,
         12345,
         {exec + program + " --sleep=2000], wait time = 0"}},
        {"C:\\no\\such\\fw.exe /u",
         5000,
         2,
         12345,
         {exec + "C:\\no\\such\\fw.exe /u], wait time = 5000", "[RunExecute] Run Execute FAIL!!!!",
          ErrorLine(2), kErrorTail}},
        {"\"unbalanced quote",
         10,
         2,
         12345,
         {exec + "\"unbalanced quote], wait time = 10", "[RunExecute] Run Execute FAIL!!!!",
          ErrorLine(2), kErrorTail}},
    };
    for (const Case& c : cases) {
        qp::DWORD exit_code = 12345;
        const size_t mark = Mark();
        EXPECT_EQ(qc::RunExecute(c.line.c_str(), &exit_code, c.wait), c.result) << c.line;
        EXPECT_EQ(exit_code, c.exit_code) << c.line;
        EXPECT_EQ(LinesSince(mark), c.log) << c.line;
    }
    EXPECT_EQ(qc::RunExecute(nullptr, nullptr, 0), 87u);
    EXPECT_EQ(qc::RunExecute((program + " --exit=1").c_str(), nullptr, qp::kInfinite), 0u);
}

}  // namespace
