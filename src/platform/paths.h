// Windows paths of the emulated machine: resolution to host paths (case-insensitive, code page
// to UTF-8), the process's current folder, module path and the system folders.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace qx::platform {

// Lexically normalised absolute Windows path ("C:\a\b"), relative paths taken against the
// current folder; nullopt for paths this machine cannot name (UNC, no drive).
std::optional<std::string> FullWindowsPath(std::string_view path);

// Host path of a Windows path. Existing components are matched case-insensitively; the rest
// are converted from the code page as they stand. nullopt when the drive does not exist.
std::optional<std::filesystem::path> WindowsToHostPath(std::string_view path);

// Windows path of a host path inside one of the machine's drives.
std::optional<std::string> HostToWindowsPath(const std::filesystem::path& host);

// Windows path of a host file (which need not exist yet) for tools given host paths: its folder
// must exist and is mapped as a fixed drive for this process when no drive holds it.
std::optional<std::string> MapHostFile(const std::filesystem::path& host_file);

std::string GetCurrentDirectoryA();
bool SetCurrentDirectoryA(std::string_view path);

// The running program's Windows path; empty when no drive maps it.
std::string GetModuleFileNameA();
// Maps the running program's folder to a drive when none does (see Machine::MapTransientDrive),
// with the type QXSETUP_DRIVE_TYPE names (CD-ROM by default).
void MapProgramFolder();

std::string GetTempPathA();  // with its trailing backslash
std::string GetWindowsDirectoryA();
std::string GetSystemDirectoryA();
UINT GetDriveTypeA(std::string_view root);

}  // namespace qx::platform
