#include "platform/machine_ini.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

#include "platform/code_page.h"
#include "profile/profile.h"

namespace qx::platform {

namespace fs = std::filesystem;

namespace {

// The profile reader fed from a host file: machine.ini is read before any drive exists.
class HostProfile : public CProfile {
  public:
    void LoadBytes(std::string_view bytes) { LoadText(bytes, &m_mainList); }

    std::optional<std::string> Text(const char* section, const char* key) {
        std::vector<char> buffer(4096, '\0');
        if (GetString(section, key, buffer.data(), static_cast<DWORD>(buffer.size()), false) != 0) {
            return std::nullopt;
        }
        return std::string(buffer.data());
    }

    void ReadNumber(const char* section, const char* key, DWORD* value) {
        DWORD number = 0;
        if (GetDword(section, key, &number) == 0) {
            *value = number;
        }
    }

    template <typename T>
    void ReadInto(const char* section, const char* key, T* value) {
        DWORD number = static_cast<DWORD>(*value);
        ReadNumber(section, key, &number);
        *value = static_cast<T>(number);
    }

    void ReadFlag(const char* section, const char* key, bool* value) {
        DWORD number = *value ? 1 : 0;
        ReadNumber(section, key, &number);
        *value = number != 0;
    }

    void ReadText(const char* section, const char* key, std::string* value) {
        if (auto text = Text(section, key)) {
            *value = *text;
        }
    }
};

std::string Trim(std::string text) {
    const char* blanks = " \t";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

bool ReadDrives(HostProfile& ini, std::vector<Drive>* drives, std::string* error) {
    drives->clear();
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char key[2] = {letter, '\0'};
        std::optional<std::string> entry = ini.Text("DRIVES", key);
        if (!entry) {
            continue;
        }
        Drive drive;
        drive.letter = letter;
        size_t comma = entry->rfind(',');
        drive.host_root = Trim(entry->substr(0, comma));
        if (comma != std::string::npos) {
            std::string type = Trim(entry->substr(comma + 1));
            std::optional<UINT> parsed = DriveTypeFromName(type);
            if (!parsed) {
                *error =
                    "machine.ini: drive " + std::string(key) + " has unknown type '" + type + "'";
                return false;
            }
            drive.type = *parsed;
        }
        if (drive.host_root.empty()) {
            *error = "machine.ini: drive " + std::string(key) + " names no folder";
            return false;
        }
        drives->push_back(drive);
    }
    if (drives->empty()) {
        drives->push_back(Drive{'C', "drive_c", kDriveFixed, false});
    }
    return true;
}

// [SYSTEM_FUNCTIONS]: a function set to 0 is switched off, as if this Windows lacked it.
void ReadDisabledFunctions(HostProfile& ini, std::set<std::string>* names) {
    std::vector<char> list(65536, '\0');
    if (ini.GetAllKey("SYSTEM_FUNCTIONS", list.data(), static_cast<DWORD>(list.size()), true) !=
        0) {
        return;
    }
    for (const char* entry = list.data(); *entry != '\0'; entry += std::strlen(entry) + 1) {
        std::string_view line = entry;
        size_t equals = line.find('=');
        if (equals != std::string_view::npos && Trim(std::string(line.substr(equals + 1))) == "0") {
            names->insert(Trim(std::string(line.substr(0, equals))));
        }
    }
}

}  // namespace

bool LoadMachineIni(const fs::path& path, MachineConfig* config, std::vector<Drive>* drives,
                    std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        *error = "cannot read " + path.string();
        return false;
    }
    HostProfile ini;
    ini.LoadBytes(std::string(std::istreambuf_iterator<char>(file), {}));

    std::string os_name = ini.Text("OS", "NAME").value_or("win7x64");
    std::optional<OsProfile> os = FindOsProfile(os_name);
    if (!os) {
        *error = path.string() + ": unknown OS '" + os_name + "' (known: " + KnownOsNames() + ")";
        return false;
    }
    *config = MachineConfig{};
    config->os = *os;
    OsProfile& p = config->os;
    ini.ReadInto("OS", "PLATFORM_ID", &p.platform_id);
    ini.ReadInto("OS", "MAJOR", &p.major);
    ini.ReadInto("OS", "MINOR", &p.minor);
    ini.ReadInto("OS", "BUILD", &p.build);
    ini.ReadText("OS", "SERVICE_PACK", &p.service_pack);
    ini.ReadInto("OS", "PRODUCT_TYPE", &p.product_type);
    ini.ReadInto("OS", "SUITE_MASK", &p.suite_mask);
    ini.ReadFlag("OS", "IS_64BIT", &p.is_64bit);
    ini.ReadFlag("OS", "WOW64", &p.wow64);
    ini.ReadFlag("OS", "EXTENDED_VERSION", &p.has_extended_version);
    ini.ReadText("OS", "VERSION_NUMBER", &p.version_number);
    ini.ReadFlag("OS", "TERMINAL_SERVER", &config->terminal_server);
    ini.ReadText("FOLDERS", "WINDOWS", &p.windows_folder);
    ini.ReadText("FOLDERS", "SYSTEM", &p.system_folder);
    ini.ReadText("FOLDERS", "PROGRAM_FILES", &p.program_files);
    ini.ReadText("FOLDERS", "PROGRAM_FILES_64", &p.program_files_64);
    ini.ReadText("USER", "COMPUTER_NAME", &config->computer_name);
    ini.ReadText("USER", "USER_NAME", &config->user_name);
    ini.ReadFlag("USER", "ADMINISTRATOR", &config->administrator);
    if (size_t user = p.temp_folder.find("{user}"); user != std::string::npos) {
        p.temp_folder.replace(user, 6, config->user_name);
    }
    ini.ReadText("FOLDERS", "TEMP", &p.temp_folder);
    ini.ReadInto("LOCALE", "SYSTEM_LANGUAGE", &config->system_language);
    ini.ReadInto("LOCALE", "USER_LANGUAGE", &config->user_language);
    ini.ReadInto("LOCALE", "CODE_PAGE", &config->code_page);
    ini.ReadInto("SCREEN", "WIDTH", &config->screen_width);
    ini.ReadInto("SCREEN", "HEIGHT", &config->screen_height);
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const char key[2] = {letter, '\0'};
        if (auto bytes = ini.Text("FREE_SPACE", key)) {
            config->free_space_override[letter] = std::strtoull(bytes->c_str(), nullptr, 10);
        }
    }
    ReadDisabledFunctions(ini, &config->disabled_functions);
    return ReadDrives(ini, drives, error);
}

}  // namespace qx::platform
