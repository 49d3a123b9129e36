#include "platform/machine.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/code_page.h"
#include "platform/machine_ini.h"
#include "platform/registry_seed.h"

namespace qx::platform {

namespace fs = std::filesystem;

namespace {

std::atomic<Machine*> g_loaded{nullptr};

std::string ReplaceUser(std::string text, const std::string& user) {
    const std::string token = "{user}";
    for (size_t pos = text.find(token); pos != std::string::npos; pos = text.find(token)) {
        text.replace(pos, token.size(), user);
    }
    return text;
}

// Host folder under a drive root for a Windows path on drive C: ("C:\a\b" -> root/a/b).
fs::path HostUnder(const fs::path& drive_root, const std::string& win_path) {
    fs::path out = drive_root;
    std::string rest = win_path.size() > 3 ? win_path.substr(3) : "";
    std::stringstream parts(rest);
    std::string part;
    while (std::getline(parts, part, '\\')) {
        if (!part.empty()) {
            out /= part;
        }
    }
    return out;
}

std::string Hex4(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%04X", value);
    return buffer;
}

std::vector<Drive> ParseTransientDrives(const char* text) {
    std::vector<Drive> drives;
    if (text == nullptr) {
        return drives;
    }
    std::stringstream entries(text);
    std::string entry;
    while (std::getline(entries, entry, ';')) {
        // L|type|host folder
        if (entry.size() < 5 || entry[1] != '|') {
            continue;
        }
        size_t bar = entry.find('|', 2);
        if (bar == std::string::npos) {
            continue;
        }
        Drive drive;
        drive.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(entry[0])));
        if (drive.letter < 'A' || drive.letter > 'Z') {
            continue;
        }
        drive.type = DriveTypeFromName(entry.substr(2, bar - 2)).value_or(kDriveFixed);
        drive.host_root = entry.substr(bar + 1);
        drive.transient = true;
        drives.push_back(drive);
    }
    return drives;
}

void CreateFolders(const fs::path& drive_c, const MachineConfig& config) {
    const OsProfile& os = config.os;
    for (const std::string& folder :
         {os.windows_folder, os.system_folder, os.windows_folder + "\\Inf",
          os.windows_folder + "\\Temp", os.program_files, os.program_files_64, os.temp_folder}) {
        if (folder.size() > 3) {
            fs::create_directories(HostUnder(drive_c, folder));
        }
    }
    if (os.is_64bit) {
        fs::create_directories(HostUnder(drive_c, os.windows_folder + "\\SysWOW64"));
    }
}

}  // namespace

std::optional<UINT> DriveTypeFromName(std::string_view name) {
    std::string lower = ToLowerMb(name, 1252);
    if (lower == "cdrom" || lower == "cd-rom") {
        return kDriveCdrom;
    }
    if (lower == "fixed") {
        return kDriveFixed;
    }
    if (lower == "removable") {
        return kDriveRemovable;
    }
    if (lower == "remote") {
        return kDriveRemote;
    }
    if (lower == "ramdisk") {
        return kDriveRamdisk;
    }
    return std::nullopt;
}

std::string DriveTypeName(UINT type) {
    switch (type) {
        case kDriveCdrom:
            return "cdrom";
        case kDriveRemovable:
            return "removable";
        case kDriveRemote:
            return "remote";
        case kDriveRamdisk:
            return "ramdisk";
        default:
            return "fixed";
    }
}

UINT GetACP() {
    Machine* machine = g_loaded.load(std::memory_order_acquire);
    return machine != nullptr ? machine->Config().code_page : 1252;
}

Machine::Machine(fs::path root, MachineConfig config, std::vector<Drive> drives)
    : m_root(std::move(root)), m_config(std::move(config)), m_drives(std::move(drives)) {}

fs::path Machine::DefaultRoot() {
    if (const char* env = std::getenv("QXSETUP_MACHINE"); env != nullptr && *env != '\0') {
        return fs::absolute(env);
    }
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
        return fs::path(xdg) / "qxsetup" / "machine";
    }
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr ? home : "/tmp") / ".local" / "share" / "qxsetup" / "machine";
}

Machine& Machine::Current() {
    static std::unique_ptr<Machine> machine = [] {
        fs::path root = DefaultRoot();
        std::string error;
        if (!fs::exists(root / "machine.ini") && !Create(root, MachineSetup{}, false, &error)) {
            std::cerr << "qxsetup: cannot create the machine at " << root << ": " << error << "\n";
        }
        std::unique_ptr<Machine> opened = Open(root, &error);
        if (!opened) {
            std::cerr << "qxsetup: " << error << "; using a default machine\n";
            MachineConfig config;
            config.os = *FindOsProfile("win7x64");
            config.os.temp_folder = ReplaceUser(config.os.temp_folder, config.user_name);
            Drive c{'C', root / "drive_c", kDriveFixed, false};
            opened.reset(new Machine(root, config, {c}));
        }
        return opened;
    }();
    g_loaded.store(machine.get(), std::memory_order_release);
    return *machine;
}

bool Machine::Create(const fs::path& root, const MachineSetup& setup, bool force,
                     std::string* error) {
    std::optional<OsProfile> os = FindOsProfile(setup.os);
    if (!os) {
        *error = "unknown OS '" + setup.os + "' (known: " + KnownOsNames() + ")";
        return false;
    }
    std::error_code ec;
    if (fs::exists(root / "machine.ini", ec)) {
        if (!force) {
            *error =
                "a machine already exists at " + root.string() + " (use --force to replace it)";
            return false;
        }
        for (const auto& entry : fs::directory_iterator(root, ec)) {
            std::string name = entry.path().filename().string();
            if (name == "machine.ini" || name == "run" || name.rfind("drive_", 0) == 0 ||
                name.rfind("registry.db", 0) == 0) {
                fs::remove_all(entry.path(), ec);
            }
        }
    }
    MachineConfig config;
    config.os = *os;
    config.system_language = setup.system_language;
    config.user_language = setup.user_language;
    config.code_page = setup.code_page;
    config.administrator = setup.administrator;
    config.os.temp_folder = ReplaceUser(config.os.temp_folder, config.user_name);

    fs::create_directories(root / "drive_c", ec);
    fs::create_directories(root / "run", ec);
    if (ec) {
        *error = "cannot create " + root.string() + ": " + ec.message();
        return false;
    }
    try {
        CreateFolders(root / "drive_c", config);
    } catch (const fs::filesystem_error& e) {
        *error = e.what();
        return false;
    }
    std::ofstream ini(root / "machine.ini", std::ios::binary | std::ios::trunc);
    ini << MachineIniText(config);
    if (!ini) {
        *error = "cannot write " + (root / "machine.ini").string();
        return false;
    }
    return SeedRegistry(root, config, error);
}

std::unique_ptr<Machine> Machine::Open(const fs::path& root, std::string* error) {
    MachineConfig config;
    std::vector<Drive> drives;
    if (!LoadMachineIni(root / "machine.ini", &config, &drives, error)) {
        return nullptr;
    }
    for (Drive& drive : drives) {
        if (drive.host_root.is_relative()) {
            drive.host_root = root / drive.host_root;
        }
        std::error_code ec;
        fs::path canonical = fs::weakly_canonical(drive.host_root, ec);
        if (!ec) {
            drive.host_root = canonical;
        }
    }
    for (const Drive& drive : ParseTransientDrives(std::getenv(kTransientDrivesEnv))) {
        bool taken = false;
        for (const Drive& existing : drives) {
            taken = taken || existing.letter == drive.letter;
        }
        if (!taken) {
            drives.push_back(drive);
        }
    }
    return std::unique_ptr<Machine>(new Machine(root, std::move(config), std::move(drives)));
}

std::vector<Drive> Machine::Drives() const {
    std::lock_guard lock(m_mutex);
    return m_drives;
}

std::optional<Drive> Machine::FindDrive(char letter) const {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    std::lock_guard lock(m_mutex);
    for (const Drive& drive : m_drives) {
        if (drive.letter == letter) {
            return drive;
        }
    }
    return std::nullopt;
}

std::optional<Drive> Machine::DriveOfHostPath(const fs::path& host_path) const {
    fs::path target = host_path.lexically_normal();
    std::optional<Drive> best;
    size_t best_length = 0;
    std::lock_guard lock(m_mutex);
    for (const Drive& drive : m_drives) {
        fs::path root = drive.host_root.lexically_normal();
        fs::path relative = target.lexically_relative(root);
        if (relative.empty() || *relative.begin() == "..") {
            continue;
        }
        size_t length = root.string().size();
        if (!best || length > best_length) {
            best = drive;
            best_length = length;
        }
    }
    return best;
}

char Machine::MapTransientDrive(const fs::path& host_folder, UINT type) {
    std::error_code ec;
    fs::path folder = fs::weakly_canonical(host_folder, ec);
    if (ec) {
        folder = fs::absolute(host_folder);
    }
    char mapped = '\0';
    {
        std::lock_guard lock(m_mutex);
        for (const Drive& drive : m_drives) {
            std::error_code ec2;
            if (fs::equivalent(drive.host_root, folder, ec2)) {
                return drive.letter;
            }
        }
        for (char letter = 'D'; letter <= 'Z' && mapped == '\0'; ++letter) {
            bool used = false;
            for (const Drive& drive : m_drives) {
                used = used || drive.letter == letter;
            }
            if (!used) {
                m_drives.push_back(Drive{letter, folder, type, true});
                mapped = letter;
            }
        }
    }
    if (mapped != '\0') {
        PublishTransientDrives();
    }
    return mapped;
}

void Machine::PublishTransientDrives() const {
    std::string text;
    std::lock_guard lock(m_mutex);
    for (const Drive& drive : m_drives) {
        if (!drive.transient) {
            continue;
        }
        if (!text.empty()) {
            text += ';';
        }
        text += std::string(1, drive.letter) + "|" + DriveTypeName(drive.type) + "|" +
                drive.host_root.string();
    }
    ::setenv(kTransientDrivesEnv, text.c_str(), 1);
}

std::string Machine::WindowsFolder() const {
    return m_config.os.windows_folder;
}
std::string Machine::SystemFolder() const {
    return m_config.os.system_folder;
}
std::string Machine::InfFolder() const {
    return m_config.os.windows_folder + "\\Inf";
}
std::string Machine::ProgramFilesFolder() const {
    return m_config.os.program_files;
}
std::string Machine::TempFolder() const {
    return m_config.os.temp_folder;
}

std::string MachineIniText(const MachineConfig& config) {
    const OsProfile& os = config.os;
    std::ostringstream out;
    out << "// qxsetup emulated machine\r\n"
        << "[OS]\r\n"
        << "NAME = " << os.name << "\r\n"
        << "PLATFORM_ID = " << os.platform_id << "\r\n"
        << "MAJOR = " << os.major << "\r\n"
        << "MINOR = " << os.minor << "\r\n"
        << "BUILD = " << os.build << "\r\n"
        << "SERVICE_PACK = " << os.service_pack << "\r\n"
        << "PRODUCT_TYPE = " << static_cast<unsigned>(os.product_type) << "\r\n"
        << "SUITE_MASK = " << Hex4(os.suite_mask) << "\r\n"
        << "IS_64BIT = " << (os.is_64bit ? 1 : 0) << "\r\n"
        << "WOW64 = " << (os.wow64 ? 1 : 0) << "\r\n"
        << "EXTENDED_VERSION = " << (os.has_extended_version ? 1 : 0) << "\r\n"
        << "VERSION_NUMBER = " << os.version_number << "\r\n"
        << "TERMINAL_SERVER = " << (config.terminal_server ? 1 : 0) << "\r\n"
        << "\r\n[FOLDERS]\r\n"
        << "WINDOWS = " << os.windows_folder << "\r\n"
        << "SYSTEM = " << os.system_folder << "\r\n"
        << "PROGRAM_FILES = " << os.program_files << "\r\n"
        << "PROGRAM_FILES_64 = " << os.program_files_64 << "\r\n"
        << "TEMP = " << os.temp_folder << "\r\n"
        << "\r\n[LOCALE]\r\n"
        << "SYSTEM_LANGUAGE = " << Hex4(config.system_language) << "\r\n"
        << "USER_LANGUAGE = " << Hex4(config.user_language) << "\r\n"
        << "CODE_PAGE = " << config.code_page << "\r\n"
        << "\r\n[USER]\r\n"
        << "COMPUTER_NAME = " << config.computer_name << "\r\n"
        << "USER_NAME = " << config.user_name << "\r\n"
        << "ADMINISTRATOR = " << (config.administrator ? 1 : 0) << "\r\n"
        << "\r\n[SCREEN]\r\n"
        << "WIDTH = " << config.screen_width << "\r\n"
        << "HEIGHT = " << config.screen_height << "\r\n"
        << "\r\n[DRIVES]\r\n"
        << "C = drive_c, fixed\r\n"
        << "\r\n[FREE_SPACE]\r\n";
    for (const auto& [letter, bytes] : config.free_space_override) {
        out << letter << " = " << bytes << "\r\n";
    }
    return out.str();
}

}  // namespace qx::platform
