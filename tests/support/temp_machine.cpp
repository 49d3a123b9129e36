#include "support/temp_machine.h"

#include <stdlib.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>

#include "platform/machine.h"
#include "platform/paths.h"

namespace qx::test {

namespace fs = std::filesystem;

fs::path EnterScratchMachine() {
    char pattern[] = "/tmp/qxtest-machine-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::cerr << "cannot create a temporary machine folder\n";
        return {};
    }
    fs::path root = pattern;
    ::setenv("QXSETUP_MACHINE", root.c_str(), 1);
    ::unsetenv(qx::platform::kTransientDrivesEnv);
    std::string error;
    if (!qx::platform::Machine::Create(root, qx::platform::MachineSetup{}, false, &error)) {
        std::cerr << "cannot create the scratch machine: " << error << "\n";
        return {};
    }
    // Code that names its own module (the log) needs the binary's folder on a drive.
    qx::platform::MapProgramFolder();
    return root;
}

void LeaveScratchMachine(const fs::path& root) {
    if (std::getenv("QXTEST_KEEP") != nullptr) {
        std::cerr << "scratch machine kept at " << root << "\n";
        return;
    }
    std::error_code ec;
    fs::remove_all(root, ec);
}

fs::path MachineRoot() {
    return qx::platform::Machine::Current().Root();
}

std::string MakeTestFolder(std::string_view name, fs::path* host) {
    fs::path folder = MachineRoot() / "drive_c" / "qxtest" / std::string(name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    if (host != nullptr) {
        *host = folder;
    }
    return "C:\\qxtest\\" + std::string(name);
}

void WriteHostFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::string ReadHostFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace qx::test
