#include "platform/os_profile.h"

#include "platform/code_page.h"

namespace qx::platform {

namespace {

OsProfile Win9x(std::string name, DWORD minor, DWORD build, std::string sp, std::string number) {
    OsProfile p;
    p.name = std::move(name);
    p.platform_id = 1;
    p.major = 4;
    p.minor = minor;
    p.build = build;
    p.service_pack = std::move(sp);
    p.product_type = 0;
    p.is_64bit = false;
    p.wow64 = false;
    p.has_extended_version = false;
    p.version_number = std::move(number);
    p.windows_folder = "C:\\WINDOWS";
    p.system_folder = "C:\\WINDOWS\\SYSTEM";
    p.program_files = "C:\\Program Files";
    p.temp_folder = "C:\\WINDOWS\\TEMP";
    return p;
}

OsProfile Nt(std::string name, DWORD major, DWORD minor, DWORD build, std::string sp,
             BYTE product_type, WORD suite, bool is_64bit) {
    OsProfile p;
    p.name = std::move(name);
    p.platform_id = 2;
    p.major = major;
    p.minor = minor;
    p.build = build;
    p.service_pack = std::move(sp);
    p.product_type = product_type;
    p.suite_mask = suite;
    p.is_64bit = is_64bit;
    p.wow64 = is_64bit;
    const bool nt4_2000 = major < 5 || (major == 5 && minor == 0);
    const std::string windows =
        major >= 6 ? "C:\\Windows" : (nt4_2000 ? "C:\\WINNT" : "C:\\WINDOWS");
    p.windows_folder = windows;
    p.system_folder = windows + "\\system32";
    p.program_files = is_64bit ? "C:\\Program Files (x86)" : "C:\\Program Files";
    p.program_files_64 = is_64bit ? "C:\\Program Files" : "";
    if (major >= 6) {
        p.temp_folder = "C:\\Users\\{user}\\AppData\\Local\\Temp";
    } else if (major == 4) {
        p.temp_folder = "C:\\TEMP";
    } else {
        p.temp_folder = "C:\\Documents and Settings\\{user}\\Local Settings\\Temp";
    }
    return p;
}

}  // namespace

const std::vector<OsProfile>& KnownOsProfiles() {
    static const std::vector<OsProfile> profiles = {
        Win9x("win95", 0, 950, "", "4.00.950"),
        Win9x("win95osr2", 0, 1111, "B", "4.00.1111"),
        Win9x("win98", 10, 1998, "", "4.10.1998"),
        Win9x("win98se", 10, 2222, "A", "4.10.2222"),
        Win9x("winme", 90, 3000, "", "4.90.3000"),
        Nt("nt4", 4, 0, 1381, "Service Pack 6", kVerNtWorkstation, 0, false),
        Nt("win2000", 5, 0, 2195, "Service Pack 4", kVerNtWorkstation, 0, false),
        Nt("xp", 5, 1, 2600, "Service Pack 3", kVerNtWorkstation, 0x0100, false),
        Nt("xp64", 5, 2, 3790, "Service Pack 2", kVerNtWorkstation, 0x0100, true),
        Nt("server2003", 5, 2, 3790, "Service Pack 2", kVerNtServer, 0, false),
        Nt("vista", 6, 0, 6002, "Service Pack 2", kVerNtWorkstation, 0x0100, false),
        Nt("vista64", 6, 0, 6002, "Service Pack 2", kVerNtWorkstation, 0x0100, true),
        Nt("win7", 6, 1, 7601, "Service Pack 1", kVerNtWorkstation, 0x0100, false),
        Nt("win7x64", 6, 1, 7601, "Service Pack 1", kVerNtWorkstation, 0x0100, true),
    };
    return profiles;
}

std::optional<OsProfile> FindOsProfile(std::string_view name) {
    for (const auto& profile : KnownOsProfiles()) {
        if (EqualsNoCaseMb(profile.name, name, 1252)) {
            return profile;
        }
    }
    return std::nullopt;
}

std::string KnownOsNames() {
    std::string names;
    for (const auto& profile : KnownOsProfiles()) {
        if (!names.empty()) {
            names += ' ';
        }
        names += profile.name;
    }
    return names;
}

}  // namespace qx::platform
