// Test support for the installer context: a disc written for one test under the machine's C:
// drive, a context initialized on it, the run's log read back line by line, and the registry
// values the context writes, read in the program's own (32-bit) view.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/log.h"
#include "context/install_context.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "registry/registry_helper.h"
#include "support/temp_machine.h"

namespace qx::test {

class DiscTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : m_name) {
            if (c == '/') {
                c = '_';
            }
        }
        m_folder = MakeTestFolder(m_name, &m_host);
        m_log = std::make_unique<CLog>("T");
        SetProcessLog(m_log.get());
        CRegistry::DeleteKey(ProductKey().c_str(), false, qx::platform::HKEY_LOCAL_MACHINE);
    }

    void TearDown() override { SetProcessLog(nullptr); }

    // The disc's folder ("C:\qxtest\<test>") and its host path.
    const std::string& Folder() const { return m_folder; }
    const std::filesystem::path& Host() const { return m_host; }
    std::string Module() const { return m_folder + "\\Setup.exe"; }

    // A file of the disc, by its path relative to the disc folder with backslashes.
    void Write(std::string relative, std::string_view text) const {
        for (char& c : relative) {
            if (c == '\\') {
                c = '/';
            }
        }
        WriteHostFile(m_host / relative, text);
    }

    // The product identification every disc of these tests carries; its registry keys are
    // the test's own.
    std::string ProgramInfo(std::string_view more = {}) const {
        return "[PROGRAM_INFO]\r\nMFG = QxCtx\r\nMDL = M1\r\nVIDPID = VID_1&PID_2\r\n"
               "PROGRAM_NAME = " +
               m_name + "\r\n" + std::string(more) + "\r\n";
    }
    std::string ProductKey() const { return "Software\\QxCtx\\" + m_name; }
    std::string InstallingKey() const { return ProductKey() + "\\Installing"; }
    std::string InstalledKey() const { return ProductKey() + "\\Installed"; }

    // A disc with the default file set beside the given data file.
    void WriteDisc(std::string_view data) const {
        Write("Setup.dat", data);
        Write("data\\qxinst.qxi", "[INSTALL_START_INFO]\r\n");
        Write("data\\qxinst.cmd", "[CMD]\r\n");
        Write("data\\String\\Lang_EN.str", "[MESSAGES]\r\nMSG_HELLO = Hello\r\n");
    }

    bool Init(CInstallContext& context) const { return context.Initialize(Module()); }

    // The log's lines after its header, each without its time stamp.
    std::vector<std::string> LogLines() const {
        std::string text = ReadHostFile(*qx::platform::WindowsToHostPath(m_log->FilePath()));
        std::vector<std::string> lines;
        size_t start = text.find("\r\n\r\n\r\n");
        if (start == std::string::npos) {
            return lines;
        }
        start += 6;
        while (start < text.size()) {
            size_t end = text.find("\r\n", start);
            if (end == std::string::npos) {
                end = text.size();
            }
            std::string line = text.substr(start, end - start);
            // "[HH.MM.SS]  " before the text.
            lines.push_back(line.size() >= 12 ? line.substr(12) : line);
            start = end + 2;
        }
        return lines;
    }

    // Lines written from now on are those after Mark's count.
    size_t Mark() const { return LogLines().size(); }
    std::vector<std::string> LinesSince(size_t mark) const {
        std::vector<std::string> lines = LogLines();
        return std::vector<std::string>(
            lines.begin() + static_cast<long>(std::min(mark, lines.size())), lines.end());
    }

    static bool HasLine(const std::vector<std::string>& lines, std::string_view line) {
        for (const std::string& each : lines) {
            if (each == line) {
                return true;
            }
        }
        return false;
    }

    static std::string RegText(const std::string& key, const char* name) {
        std::vector<char> buffer(4096, '\0');
        if (CRegistry::GetValue(key.c_str(), name, buffer.data(), qx::platform::HKEY_LOCAL_MACHINE,
                                static_cast<qx::platform::DWORD>(buffer.size())) != 0) {
            return "<missing>";
        }
        return buffer.data();
    }

    static long RegNumber(const std::string& key, const char* name) {
        qx::platform::DWORD value = 0;
        if (CRegistry::GetValue(key.c_str(), name, &value, qx::platform::HKEY_LOCAL_MACHINE, 0) !=
            0) {
            return -1;
        }
        return static_cast<long>(value);
    }

    std::string m_name;
    std::string m_folder;
    std::filesystem::path m_host;
    std::unique_ptr<CLog> m_log;
};

}  // namespace qx::test
