// The machine's system libraries: which libraries and functions each Windows version offers,
// LoadLibraryA / GetProcAddress / FreeLibrary over them, and the Kernel32 functions that older
// versions lack and programs therefore bind at run time.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "platform/os_profile.h"
#include "platform/win_types.h"

namespace qx::platform {

struct HINSTANCE__;
using HMODULE = HINSTANCE__*;
using FARPROC = void (*)();
using BOOL = int;

inline constexpr DWORD kErrorCallNotImplemented = 120;
inline constexpr DWORD kErrorModNotFound = 126;
inline constexpr DWORD kErrorProcNotFound = 127;

// Whether a Windows version carries a system library, and a function of it. Library names
// compare without case, with or without ".dll"; function names compare exactly.
bool SystemLibraryExists(const OsProfile& os, std::string_view library);
bool SystemFunctionExists(const OsProfile& os, std::string_view library, std::string_view function);
// The same, minus the functions a machine switches off (names compared without case).
bool SystemFunctionAvailable(const OsProfile& os, const std::set<std::string>& disabled,
                             std::string_view library, std::string_view function);

// A bare library name, or one in the machine's system folder, loads when the machine's Windows
// version has it; anything else fails with 126.
HMODULE LoadLibraryA(const char* name);
// Null with 127 for a function the library lacks on this machine or that is switched off.
FARPROC GetProcAddress(HMODULE module, const char* name);
// Nonzero on success; 0 with 6 for a handle that is not loaded.
BOOL FreeLibrary(HMODULE module);

// Kernel32 functions the table carries.
struct ULARGE_INTEGER {
    std::uint64_t QuadPart = 0;
};

inline constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
inline constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x2;
inline constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x4;
inline constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

// The machine's Windows is 64-bit and runs the product as a 32-bit program.
BOOL IsWow64Process(void* process, BOOL* wow64);

// Device installations the machine has not finished yet are counted by the DWORD
// PendingInstalls under this key; each wait that times out sees one of them complete.
inline constexpr const char* kDeviceInstallKey =
    "SYSTEM\\CurrentControlSet\\Control\\DeviceInstall";
inline constexpr const char* kPendingInstallsValue = "PendingInstalls";
inline constexpr DWORD kWaitFailed = 0xFFFFFFFFu;
// 0 when nothing is pending, 258 when the wait timed out with installations still pending.
DWORD CMP_WaitNoPendingInstallEvents(DWORD timeout);

// Renames within a drive; across drives only with MOVEFILE_COPY_ALLOWED (files). With
// MOVEFILE_DELAY_UNTIL_REBOOT the operation (a delete when new_name is null) is recorded in
// Session Manager's PendingFileRenameOperations for the next restart instead.
BOOL MoveFileExA(const char* existing, const char* new_name, DWORD flags);
// Free and total bytes of the drive holding directory (the current drive when null). A drive
// with a free-space override in machine.ini reports that as its free space.
BOOL GetDiskFreeSpaceExA(const char* directory, ULARGE_INTEGER* free_to_caller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* total_free);

}  // namespace qx::platform
