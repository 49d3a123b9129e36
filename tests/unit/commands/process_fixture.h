// Test support for processes: the test child copied into the machine under any name, the
// record it writes of its arguments and folder, and the machine's shell record, read back.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/shell_seed.h"
#include "support/temp_machine.h"

namespace qx::test {

// Copies the test child to a Windows path of the machine (folders created).
inline void InstallChild(const std::string& win_path) {
    std::optional<std::filesystem::path> host = qx::platform::WindowsToHostPath(win_path);
    ASSERT_TRUE(host) << win_path;
    std::filesystem::create_directories(host->parent_path());
    std::filesystem::copy_file(QXTEST_CHILD, *host,
                               std::filesystem::copy_options::overwrite_existing);
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// Polls until the file has at least count lines (a started program writes on its own time).
inline std::vector<std::string> WaitForLines(const std::filesystem::path& file, size_t count) {
    for (int i = 0; i < 500; ++i) {
        std::vector<std::string> lines = SplitLines(ReadHostFile(file));
        if (lines.size() >= count) {
            return lines;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return SplitLines(ReadHostFile(file));
}

// Where the children of one test write, from construction on.
class ChildRecord {
  public:
    explicit ChildRecord(const std::string& name)
        : m_file(MachineRoot() / "run" / ("child-" + name + ".txt")) {
        std::filesystem::remove(m_file);
        ::setenv("QXTEST_CHILD_RECORD", m_file.c_str(), 1);
    }
    ~ChildRecord() { ::unsetenv("QXTEST_CHILD_RECORD"); }
    std::vector<std::string> Lines() const { return SplitLines(ReadHostFile(m_file)); }
    // The first run's lines up to its "end", waiting for them.
    std::vector<std::string> FirstRun() const {
        std::vector<std::string> run;
        for (int i = 0; i < 500; ++i) {
            std::vector<std::string> lines = Lines();
            for (const std::string& line : lines) {
                if (line == "end") {
                    return run;
                }
                run.push_back(line);
            }
            run.clear();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return run;
    }

  private:
    std::filesystem::path m_file;
};

// The machine's shell, seeded once per binary, and its record of what was opened.
class ShellRecord {
  public:
    ShellRecord() {
        static const bool seeded = [] {
            std::string error;
            bool ok = qx::platform::SeedShell(
                MachineRoot(), qx::platform::Machine::Current().Config(), QXSHELLOPEN, &error);
            EXPECT_TRUE(ok) << error;
            return ok;
        }();
        EXPECT_TRUE(seeded);
        m_start = SplitLines(ReadHostFile(File())).size();
    }
    static std::filesystem::path File() {
        return MachineRoot() / "run" / qx::platform::kShellOpenRecord;
    }
    // Lines recorded since construction, waiting for at least count of them.
    std::vector<std::string> Since(size_t count = 1) const {
        std::vector<std::string> lines = WaitForLines(File(), m_start + count);
        return std::vector<std::string>(lines.begin() + static_cast<long>(m_start), lines.end());
    }

  private:
    size_t m_start = 0;
};

}  // namespace qx::test
