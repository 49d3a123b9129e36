#include "platform/system_info.h"

#include <cstring>

#include "platform/errors.h"
#include "platform/machine.h"

namespace qx::platform {

bool GetVersionExA(OSVERSIONINFOEXA* info) {
    if (info == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    const OsProfile& os = Machine::Current().Config().os;
    const DWORD size = info->dwOSVersionInfoSize;
    if (size != kOsVersionInfoSize && size != kOsVersionInfoExSize) {
        SetLastError(kErrorInsufficientBuffer);
        return false;
    }
    if (size == kOsVersionInfoExSize && !os.has_extended_version) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    info->dwBuildNumber = os.platform_id == 1 ? (os.build & 0xFFFF) : os.build;
    info->dwPlatformId = os.platform_id;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    std::strncpy(info->szCSDVersion, os.service_pack.c_str(), sizeof(info->szCSDVersion) - 1);
    if (size == kOsVersionInfoExSize) {
        const bool terminal_server = Machine::Current().Config().terminal_server;
        info->wSuiteMask = static_cast<WORD>(os.suite_mask | (terminal_server ? 0x0010 : 0));
        info->wProductType = os.product_type;
        info->wServicePackMajor = 0;
        const std::string& sp = os.service_pack;
        if (sp.rfind("Service Pack ", 0) == 0) {
            info->wServicePackMajor = static_cast<WORD>(std::atoi(sp.c_str() + 13));
        }
    }
    return true;
}

LANGID GetSystemDefaultLangID() {
    return Machine::Current().Config().system_language;
}

LANGID GetUserDefaultLangID() {
    return Machine::Current().Config().user_language;
}

bool UserIsAdministrator() {
    return Machine::Current().Config().administrator;
}

}  // namespace qx::platform
