#include "platform/paths.h"

#include <gtest/gtest.h>

#include "platform/machine.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

TEST(Paths, FullPathsNormaliseAgainstTheCurrentFolder) {
    fs::path host;
    std::string folder = qx::test::MakeTestFolder("full", &host);
    ASSERT_TRUE(qp::SetCurrentDirectoryA(folder));
    const std::pair<const char*, std::string> cases[] = {
        {"a\\b.txt", folder + "\\a\\b.txt"},
        {".\\a\\..\\b.txt", folder + "\\b.txt"},
        {"..\\x", "C:\\qxtest\\x"},
        {"\\Windows", "C:\\Windows"},
        {"c:/Windows//System32/", "C:\\Windows\\System32"},
        {"C:\\..\\..\\x", "C:\\x"},
        {"C:", folder},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(qp::FullWindowsPath(input).value_or("<none>"), expected) << input;
    }
    EXPECT_FALSE(qp::FullWindowsPath("\\\\server\\share\\x"));
}

TEST(Paths, ResolvesExistingNamesCaseInsensitively) {
    fs::path host;
    std::string folder = qx::test::MakeTestFolder("Case", &host);
    qx::test::WriteHostFile(host / "Data" / "QxInst.QXI", "x");
    auto resolved = qp::WindowsToHostPath("c:\\QXTEST\\case\\DATA\\qxinst.qxi");
    ASSERT_TRUE(resolved);
    EXPECT_EQ(*resolved, host / "Data" / "QxInst.QXI");
    // A name that does not exist yet keeps its spelling under the matched folders.
    EXPECT_EQ(*qp::WindowsToHostPath(folder + "\\data\\New.txt"), host / "Data" / "New.txt");
    EXPECT_FALSE(qp::WindowsToHostPath("Q:\\nothing"));
}

TEST(Paths, HostNamesAreUtf8AndWindowsNamesAreCodePageBytes) {
    fs::path host;
    std::string folder = qx::test::MakeTestFolder("names", &host);
    auto resolved = qp::WindowsToHostPath(folder + "\\caf\xE9.txt");
    ASSERT_TRUE(resolved);
    EXPECT_EQ(resolved->filename().string(), "caf\xC3\xA9.txt");
    EXPECT_EQ(qp::HostToWindowsPath(*resolved).value_or(""), folder + "\\caf\xE9.txt");
    EXPECT_FALSE(qp::HostToWindowsPath("/definitely/not/in/a/drive"));
}

TEST(Paths, SystemFoldersComeFromTheMachine) {
    EXPECT_EQ(qp::GetWindowsDirectoryA(), "C:\\Windows");
    EXPECT_EQ(qp::GetSystemDirectoryA(), "C:\\Windows\\system32");
    EXPECT_EQ(qp::GetTempPathA(), "C:\\Users\\User\\AppData\\Local\\Temp\\");
    EXPECT_TRUE(fs::is_directory(*qp::WindowsToHostPath(qp::GetTempPathA())));
    EXPECT_EQ(qp::GetDriveTypeA("C:\\"), qp::kDriveFixed);
    EXPECT_EQ(qp::GetDriveTypeA("Q:\\"), qp::kDriveNoRootDir);
    EXPECT_EQ(qp::GetDriveTypeA(""), qp::kDriveNoRootDir);
}

TEST(Paths, TheRunningProgramHasAModulePathOnAMappedDrive) {
    // The test main maps the test binary's folder, as Setup does with its own.
    std::string module = qp::GetModuleFileNameA();
    ASSERT_GE(module.size(), 4u);
    EXPECT_EQ(module.substr(1, 2), ":\\");
    EXPECT_EQ(qp::GetDriveTypeA(module.substr(0, 3)), qp::kDriveCdrom);
    EXPECT_TRUE(fs::exists(*qp::WindowsToHostPath(module)));
}

TEST(Paths, SettingAMissingCurrentFolderFails) {
    std::string before = qp::GetCurrentDirectoryA();
    EXPECT_FALSE(qp::SetCurrentDirectoryA("C:\\no\\such\\folder"));
    EXPECT_EQ(qp::GetCurrentDirectoryA(), before);
}

}  // namespace
