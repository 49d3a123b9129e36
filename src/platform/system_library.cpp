#include "platform/system_library.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/inf_file.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/security.h"

namespace qx::platform {

namespace {

namespace fs = std::filesystem;

constexpr DWORD kErrorNotSameDevice = 17;

// From which Windows version on a library or function exists.
enum class Since { kAll, kWin95Osr2OrNt, kWin98OrNt5, kNt5, kNtXp, kNt };

bool IsNt(const OsProfile& os) {
    return os.platform_id == 2;
}

bool Meets(const OsProfile& os, Since since) {
    const bool nt = IsNt(os);
    const bool win98 = !nt && (os.major > 4 || os.minor >= 10);
    switch (since) {
        case Since::kAll:
            return true;
        case Since::kWin95Osr2OrNt:
            // The first Windows 95 is build 950; OSR2 and later 4.00 builds are above 1000.
            return nt || os.major > 4 || os.minor > 0 || os.build >= 1000;
        case Since::kWin98OrNt5:
            return win98 || (nt && os.major >= 5);
        case Since::kNt5:
            return nt && os.major >= 5;
        case Since::kNtXp:
            return nt && (os.major > 5 || (os.major == 5 && os.minor >= 1));
        case Since::kNt:
            return nt;
    }
    return false;
}

struct LibraryRule {
    const char* name;  // canonical: upper case, no ".dll"
    Since since;
};

constexpr std::array kLibraries = {
    LibraryRule{"MPR", Since::kAll},
    LibraryRule{"MSIMG32", Since::kWin98OrNt5},
    LibraryRule{"KERNEL32", Since::kAll},
    LibraryRule{"USER32", Since::kAll},
    LibraryRule{"SETUPAPI", Since::kWin98OrNt5},
    LibraryRule{"NETAPI32", Since::kAll},
    LibraryRule{"ADVAPI32", Since::kAll},
};

// Windows 9x exports some NT-only calls (the security ones, MoveFileExA) that only fail.
template <typename... Args>
BOOL NotImplemented(Args...) {
    SetLastError(kErrorCallNotImplemented);
    return 0;
}

void* FreeSidNotImplemented(PSID sid) {
    SetLastError(kErrorCallNotImplemented);
    return sid;
}

template <typename Function>
FARPROC Entry(Function function) {
    return reinterpret_cast<FARPROC>(function);
}

struct FunctionRule {
    const char* library;
    const char* name;
    Since since;
    FARPROC nt = nullptr;     // the machine's implementation; null: not emulated yet
    FARPROC win9x = nullptr;  // what Windows 9x has instead, when it differs
};

const std::vector<FunctionRule>& Functions() {
    static const std::vector<FunctionRule> functions = {
        {"MPR", "WNetAddConnection2A", Since::kAll},
        {"MSIMG32", "GradientFill", Since::kAll},
        {"KERNEL32", "GetDiskFreeSpaceExA", Since::kWin95Osr2OrNt, Entry(&GetDiskFreeSpaceExA)},
        {"KERNEL32", "IsWow64Process", Since::kNtXp, Entry(&IsWow64Process)},
        {"KERNEL32", "MoveFileExA", Since::kAll, Entry(&MoveFileExA),
         Entry(&NotImplemented<const char*, const char*, DWORD>)},
        {"USER32", "RegisterDeviceNotificationA", Since::kWin98OrNt5},
        {"USER32", "UnregisterDeviceNotification", Since::kWin98OrNt5},
        {"USER32", "GetWindowModuleFileNameA", Since::kWin98OrNt5},
        {"SETUPAPI", "SetupDiEnumDeviceInterfaces", Since::kAll},
        {"SETUPAPI", "SetupDiGetDeviceInterfaceDetailA", Since::kAll},
        {"SETUPAPI", "SetupDiOpenDeviceInterfaceRegKey", Since::kAll},
        {"SETUPAPI", "SetupDiGetClassDevsA", Since::kAll},
        {"SETUPAPI", "SetupDiDestroyDeviceInfoList", Since::kAll},
        {"SETUPAPI", "SetupDiEnumDeviceInfo", Since::kAll},
        {"SETUPAPI", "SetupDiGetDeviceRegistryPropertyA", Since::kAll},
        {"SETUPAPI", "SetupDiSetDeviceRegistryPropertyA", Since::kAll},
        {"SETUPAPI", "SetupDiRemoveDevice", Since::kAll},
        {"SETUPAPI", "SetupOpenInfFileA", Since::kAll, Entry(&SetupOpenInfFileA)},
        {"SETUPAPI", "SetupGetLineByIndexA", Since::kAll, Entry(&SetupGetLineByIndexA)},
        {"SETUPAPI", "SetupGetStringFieldA", Since::kAll, Entry(&SetupGetStringFieldA)},
        {"SETUPAPI", "SetupCloseInfFile", Since::kAll, Entry(&SetupCloseInfFile)},
        {"SETUPAPI", "SetupGetLineCountA", Since::kAll, Entry(&SetupGetLineCountA)},
        {"SETUPAPI", "SetupFindFirstLineA", Since::kAll, Entry(&SetupFindFirstLineA)},
        {"SETUPAPI", "SetupFindNextLine", Since::kAll, Entry(&SetupFindNextLine)},
        {"SETUPAPI", "SetupFindNextMatchLineA", Since::kAll, Entry(&SetupFindNextMatchLineA)},
        {"SETUPAPI", "SetupGetFieldCount", Since::kAll, Entry(&SetupGetFieldCount)},
        {"SETUPAPI", "SetupGetLineTextA", Since::kAll, Entry(&SetupGetLineTextA)},
        {"SETUPAPI", "SetupCopyOEMInfA", Since::kAll, Entry(&SetupCopyOEMInfA)},
        {"SETUPAPI", "SetupUninstallOEMInfA", Since::kNtXp, Entry(&SetupUninstallOEMInfA)},
        {"SETUPAPI", "SetupGetInfFileListA", Since::kAll},
        {"SETUPAPI", "SetupGetInfInformationA", Since::kAll},
        {"SETUPAPI", "SetupQueryInfFileInformationA", Since::kAll},
        {"SETUPAPI", "SetupQueryInfVersionInformationA", Since::kAll},
        {"SETUPAPI", "CMP_WaitNoPendingInstallEvents", Since::kNt5,
         Entry(&CMP_WaitNoPendingInstallEvents)},
        {"NETAPI32", "NetWkstaGetInfo", Since::kNt},
        {"ADVAPI32", "InitializeSecurityDescriptor", Since::kAll,
         Entry(&InitializeSecurityDescriptor), Entry(&NotImplemented<SECURITY_DESCRIPTOR*, DWORD>)},
        {"ADVAPI32", "AllocateAndInitializeSid", Since::kAll, Entry(&AllocateAndInitializeSid),
         Entry(&NotImplemented<const SID_IDENTIFIER_AUTHORITY*, BYTE, DWORD, DWORD, DWORD, DWORD,
                               DWORD, DWORD, DWORD, DWORD, PSID*>)},
        {"ADVAPI32", "InitializeAcl", Since::kAll, Entry(&InitializeAcl),
         Entry(&NotImplemented<PACL, DWORD, DWORD>)},
        {"ADVAPI32", "AddAccessAllowedObjectAce", Since::kNt5, Entry(&AddAccessAllowedObjectAce)},
        {"ADVAPI32", "SetSecurityDescriptorDacl", Since::kAll, Entry(&SetSecurityDescriptorDacl),
         Entry(&NotImplemented<SECURITY_DESCRIPTOR*, BOOL, PACL, BOOL>)},
        {"ADVAPI32", "SetSecurityDescriptorControl", Since::kNt5,
         Entry(&SetSecurityDescriptorControl)},
        {"ADVAPI32", "FreeSid", Since::kAll, Entry(&FreeSid), Entry(&FreeSidNotImplemented)},
    };
    return functions;
}

std::string CanonicalLibrary(std::string_view name) {
    std::string upper = ToUpperMb(name, 1252);
    constexpr std::string_view kExtension = ".DLL";
    if (upper.size() > kExtension.size() && upper.ends_with(kExtension)) {
        upper.resize(upper.size() - kExtension.size());
    }
    return upper;
}

const LibraryRule* FindLibrary(std::string_view library) {
    const std::string canonical = CanonicalLibrary(library);
    for (const LibraryRule& rule : kLibraries) {
        if (canonical == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

const FunctionRule* FindFunction(std::string_view library, std::string_view function) {
    const std::string canonical = CanonicalLibrary(library);
    for (const FunctionRule& rule : Functions()) {
        if (canonical == rule.library && function == rule.name) {
            return &rule;
        }
    }
    return nullptr;
}

bool IsDisabled(const std::set<std::string>& disabled, std::string_view function) {
    for (const std::string& name : disabled) {
        if (EqualsNoCaseMb(name, function, 1252)) {
            return true;
        }
    }
    return false;
}

// How often each library is loaded; the handle is the address of its counter.
struct LoadTable {
    std::mutex mutex;
    std::array<int, kLibraries.size()> counts{};
};

LoadTable& Loads() {
    static LoadTable table;
    return table;
}

std::optional<size_t> LibraryIndex(HMODULE module) {
    LoadTable& table = Loads();
    const int* counter = reinterpret_cast<const int*>(module);
    for (size_t i = 0; i < table.counts.size(); ++i) {
        if (counter == &table.counts[i]) {
            return i;
        }
    }
    return std::nullopt;
}

// The library part of a name: a bare name, or a path into the system folder.
std::optional<std::string> SystemLibraryName(std::string_view name) {
    const size_t slash = name.find_last_of("\\/");
    if (slash == std::string_view::npos) {
        return std::string(name);
    }
    std::optional<std::string> full = FullWindowsPath(name);
    const std::string system = Machine::Current().SystemFolder();
    if (!full || full->size() <= system.size() + 1 ||
        !EqualsNoCaseMb(std::string_view(*full).substr(0, system.size()), system, GetACP()) ||
        (*full)[system.size()] != '\\' ||
        full->find('\\', system.size() + 1) != std::string::npos) {
        return std::nullopt;
    }
    return full->substr(system.size() + 1);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Session Manager's list of restart-time renames: pairs of source and target, an empty target
// deleting the source, a leading '!' on the target replacing an existing file.
BOOL ScheduleAtRestart(const std::string& source, const std::string& target) {
    RegKey key;
    LONG result = RegCreateKeyExA(
        HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, nullptr,
        REG_OPTION_NON_VOLATILE, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.Receive(), nullptr);
    if (result != 0) {
        return Fail(static_cast<DWORD>(result));
    }
    constexpr const char* kValue = "PendingFileRenameOperations";
    DWORD type = 0;
    DWORD size = 0;
    std::string list;
    result = RegQueryValueExA(key.Get(), kValue, nullptr, &type, nullptr, &size);
    if (result == 0 && type == REG_MULTI_SZ && size > 0) {
        list.resize(size);
        result = RegQueryValueExA(key.Get(), kValue, nullptr, &type,
                                  reinterpret_cast<BYTE*>(list.data()), &size);
        if (result != 0) {
            return Fail(static_cast<DWORD>(result));
        }
        list.resize(size);
    }
    // Drop only the list's closing NUL: an empty target before it is a string of its own.
    if (list.find_first_not_of('\0') == std::string::npos) {
        list.clear();
    } else if (list.size() >= 2 && list.ends_with(std::string_view("\0\0", 2))) {
        list.pop_back();
    } else if (!list.empty() && list.back() != '\0') {
        list.push_back('\0');
    }
    list += source;
    list.push_back('\0');
    list += target;
    list.push_back('\0');
    list.push_back('\0');
    result =
        RegSetValueExA(key.Get(), kValue, 0, REG_MULTI_SZ,
                       reinterpret_cast<const BYTE*>(list.data()), static_cast<DWORD>(list.size()));
    if (result != 0) {
        return Fail(static_cast<DWORD>(result));
    }
    SetLastError(kErrorSuccess);
    return 1;
}

BOOL MoveAtRestart(const char* existing, const char* new_name, DWORD flags) {
    std::optional<std::string> source = FullWindowsPath(existing);
    if (!source) {
        return Fail(kErrorPathNotFound);
    }
    std::string target;
    if (new_name != nullptr && *new_name != '\0') {
        std::optional<std::string> full = FullWindowsPath(new_name);
        if (!full) {
            return Fail(kErrorPathNotFound);
        }
        target = ((flags & MOVEFILE_REPLACE_EXISTING) != 0 ? "!\\??\\" : "\\??\\") + *full;
    }
    return ScheduleAtRestart("\\??\\" + *source, target);
}

char DriveLetter(const std::string& full_path) {
    return static_cast<char>(ToUpperMb(full_path.substr(0, 1), 1252)[0]);
}

BOOL CopyAcross(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (fs::is_directory(from, ec)) {
        return Fail(kErrorNotSameDevice);
    }
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (!ec) {
        fs::remove(from, ec);
    }
    return ec ? Fail(ErrorFromErrno(ec.value())) : 1;
}

}  // namespace

bool SystemLibraryExists(const OsProfile& os, std::string_view library) {
    const LibraryRule* rule = FindLibrary(library);
    return rule != nullptr && Meets(os, rule->since);
}

bool SystemFunctionExists(const OsProfile& os, std::string_view library,
                          std::string_view function) {
    const FunctionRule* rule = FindFunction(library, function);
    return rule != nullptr && SystemLibraryExists(os, library) && Meets(os, rule->since);
}

bool SystemFunctionAvailable(const OsProfile& os, const std::set<std::string>& disabled,
                             std::string_view library, std::string_view function) {
    return SystemFunctionExists(os, library, function) && !IsDisabled(disabled, function);
}

HMODULE LoadLibraryA(const char* name) {
    if (name == nullptr || *name == '\0') {
        SetLastError(kErrorInvalidParameter);
        return nullptr;
    }
    std::optional<std::string> library = SystemLibraryName(name);
    const LibraryRule* rule = library ? FindLibrary(*library) : nullptr;
    if (rule == nullptr || !Meets(Machine::Current().Config().os, rule->since)) {
        SetLastError(kErrorModNotFound);
        return nullptr;
    }
    LoadTable& table = Loads();
    std::lock_guard lock(table.mutex);
    int& count = table.counts[static_cast<size_t>(rule - kLibraries.data())];
    ++count;
    return reinterpret_cast<HMODULE>(&count);
}

FARPROC GetProcAddress(HMODULE module, const char* name) {
    std::optional<size_t> index = LibraryIndex(module);
    if (!index) {
        SetLastError(kErrorInvalidHandle);
        return nullptr;
    }
    // Values below 64K are ordinals, which none of these libraries is bound by here.
    if (reinterpret_cast<std::uintptr_t>(name) < 0x10000) {
        SetLastError(kErrorProcNotFound);
        return nullptr;
    }
    const MachineConfig& config = Machine::Current().Config();
    const char* library = kLibraries[*index].name;
    const FunctionRule* rule = FindFunction(library, name);
    if (rule == nullptr ||
        !SystemFunctionAvailable(config.os, config.disabled_functions, library, name)) {
        SetLastError(kErrorProcNotFound);
        return nullptr;
    }
    FARPROC address = !IsNt(config.os) && rule->win9x != nullptr ? rule->win9x : rule->nt;
    if (address == nullptr) {
        SetLastError(kErrorProcNotFound);
    }
    return address;
}

BOOL FreeLibrary(HMODULE module) {
    std::optional<size_t> index = LibraryIndex(module);
    LoadTable& table = Loads();
    std::lock_guard lock(table.mutex);
    if (!index || table.counts[*index] == 0) {
        return Fail(kErrorInvalidHandle);
    }
    --table.counts[*index];
    return 1;
}

BOOL IsWow64Process(void* /*process*/, BOOL* wow64) {
    if (wow64 == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    *wow64 = Machine::Current().Config().os.wow64 ? 1 : 0;
    return 1;
}

DWORD CMP_WaitNoPendingInstallEvents(DWORD timeout) {
    RegKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDeviceInstallKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, key.Receive(), nullptr) != 0) {
        return kWaitFailed;
    }
    DWORD pending = 0;
    DWORD type = 0;
    DWORD size = sizeof(pending);
    if (RegQueryValueExA(key.Get(), kPendingInstallsValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(&pending), &size) != 0 ||
        type != REG_DWORD || pending == 0) {
        return 0;
    }
    // One pending installation completes during each wait that times out.
    Sleep(std::min<DWORD>(timeout, 10));
    --pending;
    RegSetValueExA(key.Get(), kPendingInstallsValue, 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&pending), sizeof(pending));
    return kWaitTimeout;
}

BOOL MoveFileExA(const char* existing, const char* new_name, DWORD flags) {
    constexpr DWORD kKnownFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED |
                                  MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_WRITE_THROUGH;
    const bool at_restart = (flags & MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
    const bool no_target = new_name == nullptr || *new_name == '\0';
    if (existing == nullptr || *existing == '\0' || (flags & ~kKnownFlags) != 0 ||
        (at_restart && (flags & MOVEFILE_COPY_ALLOWED) != 0) || (no_target && !at_restart)) {
        return Fail(kErrorInvalidParameter);
    }
    if (at_restart) {
        return MoveAtRestart(existing, new_name, flags);
    }
    std::optional<std::string> source = FullWindowsPath(existing);
    std::optional<std::string> target = FullWindowsPath(new_name);
    std::optional<fs::path> from = source ? WindowsToHostPath(*source) : std::nullopt;
    std::optional<fs::path> to = target ? WindowsToHostPath(*target) : std::nullopt;
    std::error_code ec;
    if (!from || !fs::exists(fs::symlink_status(*from, ec))) {
        return Fail(kErrorFileNotFound);
    }
    if (!to || !fs::is_directory(to->parent_path(), ec)) {
        return Fail(kErrorPathNotFound);
    }
    if (fs::exists(fs::symlink_status(*to, ec)) && !fs::equivalent(*from, *to, ec)) {
        if ((flags & MOVEFILE_REPLACE_EXISTING) == 0) {
            return Fail(kErrorAlreadyExists);
        }
        if (fs::is_directory(*to, ec)) {
            return Fail(kErrorAccessDenied);
        }
    }
    if (DriveLetter(*source) != DriveLetter(*target)) {
        if ((flags & MOVEFILE_COPY_ALLOWED) == 0) {
            return Fail(kErrorNotSameDevice);
        }
        return CopyAcross(*from, *to);
    }
    fs::rename(*from, *to, ec);
    if (ec.value() == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) != 0) {
        return CopyAcross(*from, *to);
    }
    if (ec) {
        return Fail(ec.value() == EXDEV ? kErrorNotSameDevice : ErrorFromErrno(ec.value()));
    }
    SetLastError(kErrorSuccess);
    return 1;
}

BOOL GetDiskFreeSpaceExA(const char* directory, ULARGE_INTEGER* free_to_caller,
                         ULARGE_INTEGER* total, ULARGE_INTEGER* total_free) {
    std::string folder = directory != nullptr && *directory != '\0'
                             ? std::string(directory)
                             : GetCurrentDirectoryA().substr(0, 3);
    std::optional<std::string> full = FullWindowsPath(folder);
    std::optional<fs::path> host = full ? WindowsToHostPath(*full) : std::nullopt;
    std::error_code ec;
    if (!host || !fs::is_directory(*host, ec)) {
        return Fail(full ? kErrorPathNotFound : kErrorInvalidName);
    }
    struct statvfs stats {};
    if (::statvfs(host->c_str(), &stats) != 0) {
        return Fail(ErrorFromErrno(errno));
    }
    const std::uint64_t block = stats.f_frsize != 0 ? stats.f_frsize : stats.f_bsize;
    std::uint64_t available = stats.f_bavail * block;
    std::uint64_t size = stats.f_blocks * block;
    std::uint64_t free = stats.f_bfree * block;
    const auto& overrides = Machine::Current().Config().free_space_override;
    if (auto it = overrides.find(DriveLetter(*full)); it != overrides.end()) {
        available = free = it->second;
        size = std::max<std::uint64_t>(size, it->second);
    }
    if (free_to_caller != nullptr) {
        free_to_caller->QuadPart = available;
    }
    if (total != nullptr) {
        total->QuadPart = size;
    }
    if (total_free != nullptr) {
        total_free->QuadPart = free;
    }
    SetLastError(kErrorSuccess);
    return 1;
}

}  // namespace qx::platform
