#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/process.h"

namespace {

namespace qp = qx::platform;

using Args = std::vector<std::string>;

TEST(CommandLineTest, SplitsAsTheWindowsParserDoes) {
    struct Case {
        const char* line;
        Args args;
    };
    const Case cases[] = {
        {"", {}},
        {"   \t ", {}},
        {"prog", {"prog"}},
        {"  prog  a   b ", {"prog", "a", "b"}},
        {"prog a\tb", {"prog", "a", "b"}},
        {R"(prog "a b" c)", {"prog", "a b", "c"}},
        {R"(prog a"b c"d)", {"prog", "ab cd"}},
        // Backslashes are literal unless they come before a quote.
        {R"(prog C:\a\b\ x)", {"prog", R"(C:\a\b\)", "x"}},
        {R"(prog a\\b)", {"prog", R"(a\\b)"}},
        {R"(prog \"a)", {"prog", R"("a)"}},
        {R"(prog \\"a b")", {"prog", R"(\a b)"}},
        {R"(prog \\\"a)", {"prog", R"(\"a)"}},
        {R"(prog "C:\dir\\")", {"prog", R"(C:\dir\)"}},
        // A doubled quote inside quotes is a quote and stays inside.
        {R"(prog "a""b c")", {"prog", R"(a"b c)"}},
        {R"(prog "" x)", {"prog", "", "x"}},
        // An open quote runs to the end.
        {R"(prog "a b)", {"prog", "a b"}},
        {R"(prog a "b c\)", {"prog", "a", R"(b c\)"}},
        // The program's token: quotes group, backslashes never escape.
        {R"("C:\Program Files\a.exe" /x)", {R"(C:\Program Files\a.exe)", "/x"}},
        {R"(C:\dir\"x y" z)", {R"(C:\dir\x y)", "z"}},
        {R"("C:\a\" b)", {R"(C:\a\)", "b"}},
        {R"("unbalanced program)", {"unbalanced program"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qp::CommandLineToArgs(c.line), c.args) << c.line;
    }
}

TEST(CommandLineTest, QuotingRoundTrips) {
    const Args samples[] = {
        {"prog"},
        {"prog", ""},
        {"prog", "plain", "two words", "tab\there"},
        {"prog", R"(C:\dir\)", R"(C:\with space\)", R"(a"b)", R"(\"\\")", R"(end\\)"},
        {R"(C:\Program Files\a.exe)", "x"},
    };
    for (const Args& args : samples) {
        const std::string line = qp::ArgsToCommandLine(args);
        EXPECT_EQ(qp::CommandLineToArgs(line), args) << line;
    }
    EXPECT_EQ(qp::QuoteArgument("simple"), "simple");
    EXPECT_EQ(qp::QuoteArgument(R"(C:\a b\)"), R"("C:\a b\\")");
    EXPECT_EQ(qp::QuoteArgument(R"(say "hi")"), R"("say \"hi\"")");
}

}  // namespace
