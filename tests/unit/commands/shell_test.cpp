#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "process_fixture.h"

namespace {

namespace qp = qx::platform;
using qx::test::ChildRecord;
using qx::test::InstallChild;
using qx::test::ShellRecord;

class ShellTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_folder = qx::test::MakeTestFolder(m_name, &m_host);
    }

    // ShellExecuteExA "open" with the process kept, waited for; the hInstApp result.
    static std::intptr_t OpenAndWait(const std::string& file, const char* parameters = nullptr) {
        qp::SHELLEXECUTEINFOA info;
        info.fMask = qp::SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = file.c_str();
        info.lpParameters = parameters;
        const bool ok = qp::ShellExecuteExA(&info);
        EXPECT_EQ(ok, info.hInstApp > 32) << file;
        if (ok) {
            EXPECT_TRUE(info.hProcess) << file;
            EXPECT_EQ(qp::WaitForSingleObject(info.hProcess, 10000), qp::kWaitObject0) << file;
        }
        return info.hInstApp;
    }

    std::string m_name;
    std::string m_folder;
    std::filesystem::path m_host;
};

TEST_F(ShellTest, AProgramStartsWithItsParameters) {
    InstallChild(m_folder + "\\tool.exe");
    ChildRecord record(m_name);
    EXPECT_GT(OpenAndWait(m_folder + "\\tool.exe", "one \"two three\""), 32);
    const std::vector<std::string> run = record.FirstRun();
    ASSERT_EQ(run.size(), 4u);
    EXPECT_EQ(run[2], "arg=one");
    EXPECT_EQ(run[3], "arg=two three");
}

TEST_F(ShellTest, TargetsOpenThroughTheMachinesAssociations) {
    qx::test::WriteHostFile(m_host / "read me.txt", "hello");
    qx::test::WriteHostFile(m_host / "page.HTML", "<p>");
    std::filesystem::create_directories(m_host / "sub");
    struct Case {
        std::string file;
        const char* parameters;
        std::string recorded;
    };
    const Case cases[] = {
        {m_folder + "\\read me.txt", nullptr, "open\t" + m_folder + "\\read me.txt"},
        {m_folder + "\\page.HTML", nullptr, "open\t" + m_folder + "\\page.HTML"},
        {m_folder + "\\sub", nullptr, "open\t" + m_folder + "\\sub"},
        {"http://printer.test/a?b=1", nullptr, "open\thttp://printer.test/a?b=1"},
        {"HTTPS://printer.test/", nullptr, "open\tHTTPS://printer.test/"},
        // The browser through App Paths: the parameters are its arguments.
        {"IEXPLORE.EXE", "http://printer.test/x", "open\thttp://printer.test/x"},
        {"iexplore", "http://printer.test/y", "open\thttp://printer.test/y"},
    };
    for (const Case& c : cases) {
        ShellRecord shell;
        EXPECT_GT(OpenAndWait(c.file, c.parameters), 32) << c.file;
        EXPECT_EQ(shell.Since(), std::vector<std::string>{c.recorded}) << c.file;
    }
}

TEST_F(ShellTest, FailuresGiveTheShellErrors) {
    ShellRecord shell;  // seeded
    qx::test::WriteHostFile(m_host / "data.xyz", "?");
    qx::test::WriteHostFile(m_host / "noext", "?");
    struct Case {
        std::string file;
        std::intptr_t result;
        qp::DWORD error;
    };
    const Case cases[] = {
        {m_folder + "\\missing.txt", qp::kSeErrFileNotFound, qp::kErrorFileNotFound},
        {m_folder + "\\no dir\\missing.txt", qp::kSeErrPathNotFound, qp::kErrorPathNotFound},
        {"NoSuchBrowser.exe", qp::kSeErrFileNotFound, qp::kErrorFileNotFound},
        {"", qp::kSeErrFileNotFound, qp::kErrorFileNotFound},
        {m_folder + "\\data.xyz", qp::kSeErrNoAssoc, qp::kErrorNoAssociation},
        {m_folder + "\\noext", qp::kSeErrNoAssoc, qp::kErrorNoAssociation},
        {"zzunknown://x", qp::kSeErrNoAssoc, qp::kErrorNoAssociation},
    };
    for (const Case& c : cases) {
        qp::SetLastError(0);
        EXPECT_EQ(
            qp::ShellExecuteA(nullptr, "open", c.file.c_str(), nullptr, nullptr, qp::SW_SHOWNORMAL),
            c.result)
            << c.file;
        EXPECT_EQ(qp::GetLastError(), c.error) << c.file;
    }
    qp::SHELLEXECUTEINFOA info;
    info.fMask = qp::SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = "C:\\nowhere\\x.txt";
    EXPECT_FALSE(qp::ShellExecuteExA(&info));
    EXPECT_EQ(info.hInstApp, qp::kSeErrPathNotFound);
    EXPECT_FALSE(info.hProcess);
}

TEST_F(ShellTest, AnAssociationFillsItsCommand) {
    InstallChild(m_folder + "\\viewer.exe");
    qx::test::WriteHostFile(m_host / "doc.qxd", "x");
    qp::RegKey key;
    ASSERT_EQ(qp::RegCreateKeyExA(qp::HKEY_CLASSES_ROOT, ".qxd", 0, nullptr, 0, qp::KEY_ALL_ACCESS,
                                  nullptr, key.Receive(), nullptr),
              0);
    const std::string prog_id = "qxdfile";
    ASSERT_EQ(qp::RegSetValueExA(key.Get(), nullptr, 0, qp::REG_SZ,
                                 reinterpret_cast<const qp::BYTE*>(prog_id.c_str()),
                                 static_cast<qp::DWORD>(prog_id.size() + 1)),
              0);
    ASSERT_EQ(qp::RegCreateKeyExA(qp::HKEY_CLASSES_ROOT, "qxdfile\\shell\\open\\command", 0,
                                  nullptr, 0, qp::KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              0);
    const std::string command = "\"" + m_folder + "\\viewer.exe\" /view \"%1\" %2 %% %*";
    ASSERT_EQ(qp::RegSetValueExA(key.Get(), nullptr, 0, qp::REG_SZ,
                                 reinterpret_cast<const qp::BYTE*>(command.c_str()),
                                 static_cast<qp::DWORD>(command.size() + 1)),
              0);
    ChildRecord record(m_name);
    EXPECT_GT(OpenAndWait(m_folder + "\\doc.qxd", "p1 p2"), 32);
    const std::vector<std::string> expected = {
        "cwd=" + qp::WindowsToHostPath(qp::GetCurrentDirectoryA())->string(),
        "arg=" + m_folder + "\\viewer.exe",
        "arg=/view",
        "arg=" + m_folder + "\\doc.qxd",
        "arg=p1",
        "arg=%",
        "arg=p1",
        "arg=p2"};
    EXPECT_EQ(record.FirstRun(), expected);
}

}  // namespace
