#include "app/command_line.h"

#include <gtest/gtest.h>

#include "app/setup_app.h"

namespace {

using qx::app::Switch;

std::string Describe(const std::vector<Switch>& switches) {
    std::string out;
    for (const Switch& s : switches) {
        out += std::string(1, s.letter) + "[" + s.value + "]";
    }
    return out;
}

TEST(CommandLine, SplitsAtEverySlashAndDash) {
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"/S /U", "S[]U[]"},
        {"-s-u", "S[]U[]"},
        {"/A c:\\Program Files\\X-Y", "A[c:\\Program Files\\X]Y[]"},
        {"/A \"C:\\My Folder\" /L 0x412", "A[C:\\My Folder]L[0x412]"},
        {"text before /p LPT2:", "T[ext before]P[LPT2:]"},
        {"/Pusb001\t", "P[usb001]"},
        {"//--", ""},
        {"/ S", " [S]"},
        {"/S /L\t\"1042\"", "S[]L[1042]"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(Describe(qx::app::SplitCommandLine(input)), expected) << input;
    }
}

TEST(CommandLine, JoinsHostArgumentsIntoOneTail) {
    const char* argv[] = {"Setup", "/S", "/A", "C:\\My Folder", ""};
    EXPECT_EQ(qx::app::JoinArguments(5, argv), "/S /A \"C:\\My Folder\" \"\"");
    EXPECT_EQ(qx::app::JoinArguments(1, argv), "");
}

TEST(CommandLine, RunModeAndSilentFlag) {
    const struct {
        const char* line;
        int mode;
        bool silent;
    } cases[] = {
        {"", qx::app::kRunModeInstall, false},
        {"/S /U", qx::app::kRunModeUninstall, true},
        {"-S -U", qx::app::kRunModeUninstall, true},
        {"/r", qx::app::kRunModeReinstall, false},
        {"/D", qx::app::kRunModeDeleteAll, false},
        {"/U /R /D", qx::app::kRunModeDeleteAll, false},
        {"/D /U", qx::app::kRunModeUninstall, false},
        {"/X /Q", qx::app::kRunModeInstall, false},
        {"/silent", qx::app::kRunModeInstall, true},
    };
    for (const auto& c : cases) {
        CSetupApp app(c.line);
        EXPECT_EQ(app.ReadCommandLine(), c.mode) << c.line;
        EXPECT_EQ(app.IsSilent(), c.silent) << c.line;
    }
}

}  // namespace
