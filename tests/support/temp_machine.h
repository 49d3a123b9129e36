// Test support: every test binary runs in a fresh machine made in a temporary folder before
// the first test, with a few helpers to place and read files in it.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace qx::test {

// Makes a machine in a new temporary folder, points QXSETUP_MACHINE at it and maps the running
// binary's folder to a drive; the root, or an empty path (with a message) on failure.
std::filesystem::path EnterScratchMachine();
// Removes it again, unless QXTEST_KEEP is set.
void LeaveScratchMachine(const std::filesystem::path& root);

// Root folder of the machine this test binary runs in.
std::filesystem::path MachineRoot();

// A fresh, empty folder under the machine's C: drive for one test; returns its Windows path
// (for example "C:\qxtest\Name") and, through host, its host path.
std::string MakeTestFolder(std::string_view name, std::filesystem::path* host = nullptr);

// Writes bytes to a host file (parents created) and reads one back whole.
void WriteHostFile(const std::filesystem::path& path, std::string_view bytes);
std::string ReadHostFile(const std::filesystem::path& path);

}  // namespace qx::test
