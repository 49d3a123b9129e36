// The machine's shell: the file associations, URL and folder handlers and the App Paths entry
// of the browser that `qxmachine init` writes, all served by the helper program qxshellopen
// (copied to C:\Windows\qxshellopen.exe and as the browser, see platform/process.h).
#pragma once

#include <filesystem>
#include <string>

#include "platform/machine.h"

namespace qx::platform {

// Where the helper lives in the machine and the command every association runs.
inline constexpr const char* kShellHelperName = "qxshellopen.exe";
// The record the helper appends to, under the machine's run/ folder.
inline constexpr const char* kShellOpenRecord = "shell-open.log";

// Copies helper_program into the machine at root (C:\Windows\qxshellopen.exe and
// <Program Files>\Internet Explorer\iexplore.exe) and writes HKCR .txt .htm .html .pdf .rtf,
// http, https, Folder, Directory and App Paths\IEXPLORE.EXE in the native registry view.
bool SeedShell(const std::filesystem::path& root, const MachineConfig& config,
               const std::filesystem::path& helper_program, std::string* error);

}  // namespace qx::platform
