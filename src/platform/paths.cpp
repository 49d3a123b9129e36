#include "platform/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/machine.h"

namespace qx::platform {

namespace fs = std::filesystem;

namespace {

std::mutex g_cwd_mutex;
std::string g_cwd;  // the process's current folder, a Windows path

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

bool HasDrive(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]));
}

std::vector<std::string> SplitComponents(std::string_view path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (IsSeparator(c)) {
            if (!current.empty()) {
                parts.push_back(current);
            }
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        parts.push_back(current);
    }
    return parts;
}

// The host entry of dir that matches name case-insensitively, or name converted as it stands.
fs::path MatchComponent(const fs::path& dir, const std::string& name, UINT code_page) {
    std::string utf8 = CodePageToUtf8(name, code_page);
    std::error_code ec;
    if (fs::exists(dir / utf8, ec)) {
        return dir / utf8;
    }
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        std::string entry_name = Utf8ToCodePage(entry.path().filename().string(), code_page);
        if (EqualsNoCaseMb(entry_name, name, code_page)) {
            return entry.path();
        }
    }
    return dir / utf8;
}

std::string InitialDirectory() {
    char buffer[4096];
    if (::getcwd(buffer, sizeof(buffer)) != nullptr) {
        if (auto win = HostToWindowsPath(buffer)) {
            return *win;
        }
    }
    return "C:\\";
}

}  // namespace

std::optional<std::string> FullWindowsPath(std::string_view path) {
    std::string base;
    std::string_view rest = path;
    if (HasDrive(path)) {
        base =
            std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) +
            ":";
        rest = path.substr(2);
        if (rest.empty() || !IsSeparator(rest[0])) {
            // "C:name" is relative to the current folder of that drive; we keep one per process.
            std::string cwd = GetCurrentDirectoryA();
            base = (cwd.size() >= 2 && std::toupper(static_cast<unsigned char>(cwd[0])) == base[0])
                       ? cwd
                       : base;
        }
    } else if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        return std::nullopt;  // UNC names have no drive on this machine
    } else if (!path.empty() && IsSeparator(path[0])) {
        base = GetCurrentDirectoryA().substr(0, 2);
    } else {
        base = GetCurrentDirectoryA();
    }
    std::vector<std::string> parts = SplitComponents(base.substr(2));
    for (const std::string& part : SplitComponents(rest)) {
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
            continue;
        }
        parts.push_back(part);
    }
    std::string full = base.substr(0, 2) + "\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        full += (i > 0 ? "\\" : "") + parts[i];
    }
    return full;
}

std::optional<fs::path> WindowsToHostPath(std::string_view path) {
    std::optional<std::string> full = FullWindowsPath(path);
    if (!full) {
        return std::nullopt;
    }
    Machine& machine = Machine::Current();
    std::optional<Drive> drive = machine.FindDrive((*full)[0]);
    if (!drive) {
        return std::nullopt;
    }
    UINT code_page = machine.Config().code_page;
    fs::path host = drive->host_root;
    for (const std::string& part : SplitComponents(std::string_view(*full).substr(2))) {
        host = MatchComponent(host, part, code_page);
    }
    return host;
}

std::optional<std::string> HostToWindowsPath(const fs::path& host) {
    std::error_code ec;
    // Drives are mapped by their canonical folders, so a path through a link must be too.
    fs::path absolute = fs::weakly_canonical(fs::absolute(host, ec), ec);
    if (ec) {
        absolute = fs::absolute(host, ec).lexically_normal();
    }
    Machine& machine = Machine::Current();
    std::optional<Drive> drive = machine.DriveOfHostPath(absolute);
    if (!drive) {
        return std::nullopt;
    }
    fs::path relative = absolute.lexically_relative(drive->host_root.lexically_normal());
    std::string win = std::string(1, drive->letter) + ":\\";
    bool first = true;
    for (const auto& part : relative) {
        std::string name = part.string();
        if (name.empty() || name == ".") {
            continue;
        }
        win += (first ? "" : "\\") + Utf8ToCodePage(name, machine.Config().code_page);
        first = false;
    }
    return win;
}

std::optional<std::string> MapHostFile(const fs::path& host_file) {
    std::error_code ec;
    fs::path path = fs::weakly_canonical(fs::absolute(host_file, ec), ec);
    if (ec || path.filename().empty() || !fs::is_directory(path.parent_path(), ec)) {
        return std::nullopt;
    }
    if (std::optional<std::string> on_drive = HostToWindowsPath(path)) {
        return on_drive;
    }
    Machine::Current().MapTransientDrive(path.parent_path(), kDriveFixed);
    return HostToWindowsPath(path);
}

std::string GetCurrentDirectoryA() {
    std::lock_guard lock(g_cwd_mutex);
    if (g_cwd.empty()) {
        g_cwd = InitialDirectory();
    }
    return g_cwd;
}

bool SetCurrentDirectoryA(std::string_view path) {
    std::optional<std::string> full = FullWindowsPath(path);
    std::optional<fs::path> host = full ? WindowsToHostPath(*full) : std::nullopt;
    std::error_code ec;
    if (!host || !fs::is_directory(*host, ec)) {
        SetLastError(host ? kErrorFileNotFound : kErrorPathNotFound);
        return false;
    }
    std::lock_guard lock(g_cwd_mutex);
    g_cwd = *full;
    return true;
}

std::string GetModuleFileNameA() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        SetLastError(ErrorFromErrno(ec.value()));
        return {};
    }
    return HostToWindowsPath(exe).value_or("");
}

void MapProgramFolder() {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return;
    }
    Machine& machine = Machine::Current();
    if (machine.DriveOfHostPath(exe)) {
        return;
    }
    UINT type = kDriveCdrom;
    if (const char* name = std::getenv("QXSETUP_DRIVE_TYPE"); name != nullptr && *name != '\0') {
        type = DriveTypeFromName(name).value_or(kDriveCdrom);
    }
    machine.MapTransientDrive(exe.parent_path(), type);
}

std::string GetTempPathA() {
    return Machine::Current().TempFolder() + "\\";
}

std::string GetWindowsDirectoryA() {
    return Machine::Current().WindowsFolder();
}

std::string GetSystemDirectoryA() {
    return Machine::Current().SystemFolder();
}

UINT GetDriveTypeA(std::string_view root) {
    if (!HasDrive(root)) {
        return kDriveNoRootDir;
    }
    std::optional<Drive> drive = Machine::Current().FindDrive(root[0]);
    return drive ? drive->type : kDriveNoRootDir;
}

}  // namespace qx::platform
