#include "context/os_identification.h"

#include <cstdio>
#include <optional>
#include <vector>

#include "app/log.h"
#include "context/install_context.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "platform/system_library.h"
#include "registry/registry_helper.h"

namespace qp = qx::platform;
using qp::DWORD;

namespace qx::context {

namespace {

constexpr const char* kCurrentVersion = "Software\\Microsoft\\Windows\\CurrentVersion";

std::optional<std::string> RegistryText(const char* key, const char* name) {
    std::vector<char> buffer(4096, '\0');
    if (CRegistry::GetValue(key, name, buffer.data(), qp::HKEY_LOCAL_MACHINE,
                            static_cast<DWORD>(buffer.size())) != 0) {
        return std::nullopt;
    }
    return std::string(buffer.data());
}

bool IsWow64() {
    using IsWow64ProcessFn = qp::BOOL (*)(void*, qp::BOOL*);
    qp::HMODULE kernel = qp::LoadLibraryA("Kernel32.dll");
    if (kernel == nullptr) {
        return false;
    }
    auto function =
        reinterpret_cast<IsWow64ProcessFn>(qp::GetProcAddress(kernel, "IsWow64Process"));
    qp::BOOL wow64 = 0;
    bool result = function != nullptr && function(nullptr, &wow64) != 0 && wow64 != 0;
    qp::FreeLibrary(kernel);
    return result;
}

// Suffixes after the key, in the order they are tried, for a product type.
std::vector<std::string> TypeSuffixes(qp::BYTE product_type) {
    switch (product_type) {
        case qp::kVerNtWorkstation:
            return {".PRO"};
        case qp::kVerNtDomainController:
            return {".DOM", ".SER"};
        default:
            return {".SER"};
    }
}

std::optional<std::string> Lookup(CConfig& data, const std::string& key) {
    return data.Text("OS_DEFINE", key.c_str());
}

std::optional<std::string> SearchOlderVersions(CConfig& data, const qp::OSVERSIONINFOEXA& info,
                                               bool has_type, bool is_64bit) {
    CLog* log = GetLog();
    log->Write("OS Define not found, so installer finds Lastest Version OS Define");
    log->Write("OS Major Version [0x%04x] , minor version [0x%04x], 64bit [%d]",
               info.dwMajorVersion, info.dwMinorVersion, is_64bit ? 1 : 0);
    for (DWORD major = info.dwMajorVersion; major >= 4 && major <= info.dwMajorVersion; --major) {
        const DWORD first_minor = major == info.dwMajorVersion ? info.dwMinorVersion : 5;
        for (DWORD minor = first_minor + 1; minor-- > 0;) {
            std::string key =
                PlatformKey(info.dwPlatformId, major, minor) + (is_64bit ? ".64" : "");
            if (has_type) {
                for (const std::string& suffix : TypeSuffixes(info.wProductType)) {
                    log->Write("Find Define ==> (%s)", (key + suffix).c_str());
                    if (auto found = Lookup(data, key + suffix)) {
                        return found;
                    }
                }
            }
            log->Write("Find Define ==> (%s)", key.c_str());
            if (auto found = Lookup(data, key)) {
                return found;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> FindDefine(CConfig& data, const SystemFolders& folders) {
    qp::OSVERSIONINFOEXA info;
    info.dwOSVersionInfoSize = qp::kOsVersionInfoExSize;
    bool has_type = qp::GetVersionExA(&info);
    if (!has_type) {
        info = qp::OSVERSIONINFOEXA{};
        info.dwOSVersionInfoSize = qp::kOsVersionInfoSize;
        if (!qp::GetVersionExA(&info)) {
            GetLog()->WriteWithError(qp::GetLastError(), "Get OS Version fail");
            return std::nullopt;
        }
    }
    std::string key = PlatformKey(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
    if (folders.is_64bit) {
        std::vector<std::string> candidates = {key + ".64"};
        if (has_type) {
            for (const std::string& suffix : TypeSuffixes(info.wProductType)) {
                candidates.push_back(key + ".64" + suffix);
            }
        }
        for (const std::string& candidate : candidates) {
            if (auto found = Lookup(data, candidate)) {
                return found;
            }
        }
    }
    if (info.dwPlatformId == 1 && info.dwMajorVersion == 4 && info.dwMinorVersion == 10) {
        auto number = RegistryText(kCurrentVersion, "VersionNumber");
        if (number && number->find("4.90.") != std::string::npos) {
            key = "0X0001045A";
        }
    }
    if (auto found = Lookup(data, key)) {
        return found;
    }
    if (info.dwPlatformId != 2) {
        return std::nullopt;
    }
    auto found = SearchOlderVersions(data, info, has_type, folders.is_64bit);
    if (found) {
        GetLog()->Write("OS String was found ==> [%s]", found->c_str());
    }
    return found;
}

}  // namespace

std::string PlatformKey(DWORD platform_id, DWORD major, DWORD minor) {
    char key[32];
    std::snprintf(key, sizeof(key), "0X%04X%02X%02X", platform_id & 0xFFFF, major & 0xFF,
                  minor & 0xFF);
    return key;
}

void ReadSystemFolders(SystemFolders* folders) {
    qp::OSVERSIONINFOEXA info;
    info.dwOSVersionInfoSize = qp::kOsVersionInfoExSize;
    const bool terminal_server = qp::GetVersionExA(&info) && info.dwPlatformId == 2 &&
                                 info.wProductType == qp::kVerNtServer &&
                                 (info.wSuiteMask & qp::kVerSuiteTerminal) != 0;
    folders->system = qp::GetSystemDirectoryA();
    if (terminal_server) {
        auto root = RegistryText("Software\\Microsoft\\Windows NT\\CurrentVersion", "SystemRoot");
        folders->windows = root ? *root : folders->system.substr(0, folders->system.rfind('\\'));
    } else {
        folders->windows = qp::GetWindowsDirectoryA();
    }
    folders->inf = folders->windows.empty() ? "" : folders->windows + "\\Inf";
    std::string temp = qp::GetTempPathA();
    if (!temp.empty() && temp.back() == '\\') {
        temp.pop_back();
    }
    folders->temp = temp;
    folders->program_files = RegistryText(kCurrentVersion, "ProgramFilesDir").value_or("");
    folders->is_64bit = IsWow64();
}

void IdentifyOs(CInstallContext* context) {
    RunPaths& paths = context->Paths();
    CConfig& data = context->Profiles().data;
    std::optional<std::string> define = FindDefine(data, context->Folders());
    if (!define) {
        paths.os_define.clear();
        paths.os_folder.clear();
        return;
    }
    paths.os_define = *define;
    GetLog()->Write("OS Define String = %s", define->c_str());
    paths.os_folder = data.Text("OS_DIR", define->c_str()).value_or(*define);
    GetLog()->Write("OS Directory = %s", paths.os_folder.c_str());
}

}  // namespace qx::context
