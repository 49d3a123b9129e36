#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "process_fixture.h"

namespace {

namespace qp = qx::platform;
using qx::test::ChildRecord;
using qx::test::InstallChild;

class ProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_folder = qx::test::MakeTestFolder(m_name, &m_host);
    }

    // Starts a command line; the process or an invalid handle.
    static qp::ProcessHandle Start(const std::string& line, const char* folder = nullptr) {
        qp::PROCESS_INFORMATION info;
        if (!qp::CreateProcessA(nullptr, line.c_str(), false, qp::kNormalPriorityClass, folder,
                                &info)) {
            return {};
        }
        EXPECT_EQ(info.dwProcessId, info.hProcess.ProcessId());
        return info.hProcess;
    }

    std::string m_name;
    std::string m_folder;
    std::filesystem::path m_host;
};

TEST_F(ProcessTest, TheChildGetsItsArgumentsAndFolder) {
    const std::string program = m_folder + "\\my tools\\child.exe";
    InstallChild(program);
    std::filesystem::create_directories(m_host / "work");
    ChildRecord record(m_name);
    qp::ProcessHandle process = Start("\"" + program + "\" plain \"two words\" a\\\"b C:\\dir\\",
                                      (m_folder + "\\WORK").c_str());
    ASSERT_TRUE(process);
    EXPECT_EQ(qp::WaitForSingleObject(process, qp::kInfinite), qp::kWaitObject0);
    const std::vector<std::string> expected = {"cwd=" + (m_host / "work").string(),
                                               "arg=" + program,
                                               "arg=plain",
                                               "arg=two words",
                                               "arg=a\"b",
                                               "arg=C:\\dir\\"};
    EXPECT_EQ(record.FirstRun(), expected);
}

TEST_F(ProcessTest, WaitsTimeOutWhileItRunsAndReportTheExitCode) {
    const std::string program = m_folder + "\\child.exe";
    InstallChild(program);
    qp::ProcessHandle process = Start(program + " --sleep=300 --exit=7");
    ASSERT_TRUE(process);
    qp::DWORD code = 0;
    EXPECT_EQ(qp::WaitForSingleObject(process, 0), qp::kWaitTimeout);
    ASSERT_TRUE(qp::GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, qp::kStillActive);
    // Two threads wait at once; the process is reaped once and both see its end.
    qp::DWORD other_result = 1;
    std::thread other([&] { other_result = qp::WaitForSingleObject(process, 10000); });
    EXPECT_EQ(qp::WaitForSingleObject(process, qp::kInfinite), qp::kWaitObject0);
    other.join();
    EXPECT_EQ(other_result, qp::kWaitObject0);
    ASSERT_TRUE(qp::GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 7u);
    // Waiting again on an ended process returns at once.
    EXPECT_EQ(qp::WaitForSingleObject(process, 0), qp::kWaitObject0);
}

TEST_F(ProcessTest, FailuresSetTheWindowsErrors) {
    InstallChild(m_folder + "\\child.exe");
    qx::test::WriteHostFile(m_host / "notes.exe", "not a program");
    std::filesystem::permissions(m_host / "notes.exe", std::filesystem::perms::owner_all);
    struct Case {
        std::string line;
        const char* folder;
        qp::DWORD error;
    };
    const Case cases[] = {
        {m_folder + "\\missing.exe", nullptr, qp::kErrorFileNotFound},
        {"\"" + m_folder + "\\missing dir\\x.exe\" a", nullptr, qp::kErrorFileNotFound},
        {"no_such_program_anywhere", nullptr, qp::kErrorFileNotFound},
        {"", nullptr, qp::kErrorInvalidParameter},
        {m_folder + "\\child.exe", "C:\\no\\such\\folder", qp::kErrorDirectory},
        {m_folder + "\\notes.exe", nullptr, qp::kErrorBadExeFormat},
    };
    for (const Case& c : cases) {
        qp::SetLastError(0);
        EXPECT_FALSE(Start(c.line, c.folder)) << c.line;
        EXPECT_EQ(qp::GetLastError(), c.error) << c.line;
    }
    EXPECT_EQ(qp::WaitForSingleObject(qp::ProcessHandle(), 0), qp::kWaitFailed);
    EXPECT_EQ(qp::GetLastError(), qp::kErrorInvalidHandle);
}

TEST_F(ProcessTest, ProgramLookupFollowsWindows) {
    const std::string system_child = qp::GetSystemDirectoryA() + "\\qxsyschild.exe";
    InstallChild(system_child);
    InstallChild(m_folder + "\\plain");  // no extension: found as it is
    InstallChild(m_folder + "\\dotted.exe");
    InstallChild(m_folder + "\\my dir\\prog.exe");
    ASSERT_TRUE(qp::SetCurrentDirectoryA(m_folder));
    struct Case {
        std::string name;
        std::string found;  // empty: not found
    };
    const Case cases[] = {
        {"qxsyschild", system_child},
        {"QXSYSCHILD.EXE", qp::GetSystemDirectoryA() + "\\QXSYSCHILD.EXE"},
        {"plain", m_folder + "\\plain"},
        {"dotted", m_folder + "\\dotted.exe"},
        {".\\dotted", m_folder + "\\dotted.exe"},
        {"dotted.com", ""},
        {"nothing", ""},
    };
    for (const Case& c : cases) {
        std::optional<std::string> found = qp::SearchProgram(c.name);
        EXPECT_EQ(found.value_or(""), c.found) << c.name;
    }
    // An unquoted path with blanks is tried piece by piece; the rest are the arguments.
    std::string rest;
    std::optional<std::string> found =
        qp::FindProgram(m_folder + "\\my dir\\prog.exe --exit=3", &rest);
    EXPECT_EQ(found.value_or(""), m_folder + "\\my dir\\prog.exe");
    EXPECT_EQ(rest, " --exit=3");
    ChildRecord record(m_name);
    qp::ProcessHandle process = Start(m_folder + "\\my dir\\prog --exit=3");
    ASSERT_TRUE(process);
    ASSERT_EQ(qp::WaitForSingleObject(process, 10000), qp::kWaitObject0);
    qp::DWORD code = 0;
    ASSERT_TRUE(qp::GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 3u);
    const std::vector<std::string> run = record.FirstRun();
    ASSERT_GE(run.size(), 3u);
    EXPECT_EQ(run[1], "arg=" + m_folder + "\\my dir\\prog");
    EXPECT_EQ(run[2], "arg=--exit=3");
    std::filesystem::remove(*qp::WindowsToHostPath(system_child));
    qp::SetCurrentDirectoryA("C:\\");
}

}  // namespace
