// Test support: a machine of another Windows version in a temporary folder, and a helper
// program run inside it (a process has one machine, so per-version checks need a child).
#pragma once

#include <stdlib.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/machine.h"

namespace qx::test {

class OtherMachine {
  public:
    // extra_ini is appended to the machine's machine.ini.
    explicit OtherMachine(const std::string& os, std::string_view extra_ini = {}) {
        char pattern[] = "/tmp/qxtest-other-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            return;
        }
        m_root = pattern;
        qx::platform::MachineSetup setup;
        setup.os = os;
        std::string error;
        if (!qx::platform::Machine::Create(m_root / "machine", setup, true, &error)) {
            m_error = error;
            return;
        }
        std::ofstream ini(m_root / "machine" / "machine.ini", std::ios::binary | std::ios::app);
        ini << "\r\n" << extra_ini << "\r\n";
    }
    ~OtherMachine() {
        std::error_code ec;
        if (!m_root.empty() && std::getenv("QXTEST_KEEP") == nullptr) {
            std::filesystem::remove_all(m_root, ec);
        }
    }
    OtherMachine(const OtherMachine&) = delete;
    OtherMachine& operator=(const OtherMachine&) = delete;

    bool Ready() const { return !m_root.empty() && m_error.empty(); }
    const std::string& Error() const { return m_error; }
    std::filesystem::path Root() const { return m_root / "machine"; }

    // Runs program with arguments (each passed as one word) in this machine; its output.
    std::string Run(const std::string& program, const std::string& args) const {
        const std::string command = "env -u QXSETUP_TRANSIENT_DRIVES QXSETUP_MACHINE='" +
                                    Root().string() + "' '" + program + "' " + args + " 2>&1";
        std::string output;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) {
            return output;
        }
        std::array<char, 4096> buffer;
        size_t read = 0;
        while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
            output.append(buffer.data(), read);
        }
        ::pclose(pipe);
        return output;
    }

  private:
    std::filesystem::path m_root;
    std::string m_error;
};

}  // namespace qx::test
