// The Windows versions a machine can be: version identity and the folders each lays out.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace qx::platform {

inline constexpr BYTE kVerNtWorkstation = 1;
inline constexpr BYTE kVerNtDomainController = 2;
inline constexpr BYTE kVerNtServer = 3;
inline constexpr WORD kVerSuiteTerminal = 0x0010;

struct OsProfile {
    std::string name;  // win95 ... win7x64
    DWORD platform_id = 2;
    DWORD major = 6;
    DWORD minor = 1;
    DWORD build = 7601;
    std::string service_pack;  // szCSDVersion
    BYTE product_type = kVerNtWorkstation;
    WORD suite_mask = 0;
    bool is_64bit = true;
    bool wow64 = true;                 // a 32-bit program on 64-bit Windows
    bool has_extended_version = true;  // OSVERSIONINFOEX answered
    std::string version_number;        // 9x registry VersionNumber, empty on NT
    // Windows paths, no trailing backslash. {user} stands for the user name.
    std::string windows_folder;
    std::string system_folder;
    std::string program_files;     // what a 32-bit program reads as ProgramFilesDir
    std::string program_files_64;  // the native one on 64-bit Windows, else empty
    std::string temp_folder;
};

const std::vector<OsProfile>& KnownOsProfiles();
std::optional<OsProfile> FindOsProfile(std::string_view name);
std::string KnownOsNames();  // "win95 win95osr2 ..."

}  // namespace qx::platform
