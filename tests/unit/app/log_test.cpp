#include "app/log.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <vector>

#include "platform/paths.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

fs::path TempHost() {
    return *qp::WindowsToHostPath(qp::GetTempPathA());
}

void RemoveOldLogs() {
    for (const auto& entry : fs::directory_iterator(TempHost())) {
        if (entry.path().filename().string().rfind("unit_app", 0) == 0) {
            fs::remove(entry.path());
        }
    }
}

std::string Body(const std::string& log) {
    // Everything after the header's two empty lines.
    size_t end = log.find("\r\n\r\n\r\n");
    return end == std::string::npos ? "" : log.substr(end + 6);
}

const std::regex kLine(R"(\[\d\d\.\d\d\.\d\d\]  )");

TEST(Log, RunsNumberTheirFilesAndWriteTheExactHeader) {
    RemoveOldLogs();
    {
        CLog first("Velmora Printer Installer Program");
        CLog second("Velmora Printer Installer Program");
        ASSERT_TRUE(first.IsOpen());
        EXPECT_EQ(first.FilePath(), qp::GetTempPathA() + "unit_app.log");
        EXPECT_EQ(second.FilePath(), qp::GetTempPathA() + "unit_app0.log");
    }
    CLog third("T");
    EXPECT_EQ(third.FilePath(), qp::GetTempPathA() + "unit_app1.log");

    std::string text = qx::test::ReadHostFile(TempHost() / "unit_app.log");
    const std::string border(60, '/');
    const std::string blank = "//" + std::string(56, ' ') + "//";
    const std::string title = "// Velmora Printer Installer Program" + std::string(22, ' ') + "//";
    ASSERT_EQ(title.size(), 60u);
    std::string expected_start = border + "\r\n" + blank + "\r\n" + title + "\r\n" + blank +
                                 "\r\n" + border + "\r\n\r\nData : ";
    EXPECT_EQ(text.substr(0, expected_start.size()), expected_start);
    std::regex date_line(
        "Data : (Sunday|Monday|Tuesday|Wednesday|Thursday|Friday|Saturday), "
        "(January|February|March|April|May|June|July|August|September|October|November|"
        "December) \\d\\d, \\d{4}\r\n\r\n\r\n$");
    EXPECT_TRUE(std::regex_search(text, date_line)) << text;
}

TEST(Log, LinesCarryTheTimeAndErrorsTheirSystemText) {
    CLog log("T");
    ASSERT_TRUE(log.IsOpen());
    log.Write("Parameter : %s", "/S /U");
    log.WriteWithError(0, "no error %d", 7);
    log.WriteWithError(2, "Open %s", "x.dat");
    log.WriteWithError(987654, "unknown");
    log.Write("with newline\n");
    std::string body = Body(qx::test::ReadHostFile(*qp::WindowsToHostPath(log.FilePath())));
    std::string stripped = std::regex_replace(body, kLine, "[T]  ");
    EXPECT_EQ(stripped,
              "[T]  Parameter : /S /U\r\n"
              "[T]  no error 7\r\n"
              "[T]  Open x.dat\r\n"
              "[T]  Error Code = 2 :The system cannot find the file specified.\r\n \r\n"
              "[T]  unknown\r\n"
              "[T]  Error Code = 987654 : \r\n"
              "[T]  with newline\n\r\n");
}

TEST(Log, OverlongTextIsCutNotOverrun) {
    CLog log("T");
    std::string huge(10000, 'x');
    log.Write("%s", huge.c_str());
    std::string body = Body(qx::test::ReadHostFile(*qp::WindowsToHostPath(log.FilePath())));
    ASSERT_GT(body.size(), 2u);
    EXPECT_EQ(body.substr(body.size() - 2), "\r\n");
    EXPECT_LT(body.size(), 4096u + 2);
}

TEST(Log, ConcurrentWritersNeverInterleaveALine) {
    CLog log("T");
    constexpr int kThreads = 4;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int i = 0; i < kLines; ++i) {
                log.Write("thread %d line %04d %s", t, i, std::string(64, 'a' + t).c_str());
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    std::string body = Body(qx::test::ReadHostFile(*qp::WindowsToHostPath(log.FilePath())));
    const std::regex whole(R"(\[\d\d\.\d\d\.\d\d\]  thread (\d) line \d{4} ([a-d])\2{63}\r)");
    size_t count = 0;
    size_t start = 0;
    while (start < body.size()) {
        size_t end = body.find('\n', start);
        ASSERT_NE(end, std::string::npos);
        std::string line = body.substr(start, end - start);
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, whole)) << line;
        EXPECT_EQ(match[2].str()[0] - 'a', match[1].str()[0] - '0');
        ++count;
        start = end + 1;
    }
    // Lines that met a busy log are dropped, never mixed: at least one made it, none extra.
    EXPECT_GE(count, 1u);
    EXPECT_LE(count, static_cast<size_t>(kThreads * kLines));
}

TEST(Log, WithoutAnApplicationGetLogWritesNothing) {
    SetProcessLog(nullptr);
    CLog* log = GetLog();
    ASSERT_NE(log, nullptr);
    EXPECT_FALSE(log->IsOpen());
    EXPECT_EQ(log->Write("dropped"), 0);
    CLog mine("T");
    SetProcessLog(&mine);
    EXPECT_EQ(GetLog(), &mine);
    SetProcessLog(nullptr);
}

}  // namespace
