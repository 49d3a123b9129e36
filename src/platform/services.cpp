#include "platform/services.h"

#include <string>

#include "platform/registry.h"
#include "platform/registry_seed.h"
#include "platform/system_info.h"

namespace qx::platform {

namespace {

constexpr DWORD kDefaultPendingQueries = 2;
constexpr DWORD kDefaultWaitHint = 200;

std::string ServiceKey(const char* name) {
    return std::string(kServicesKey) + "\\" + name;
}

DWORD ReadDword(HKEY key, const char* name, DWORD fallback) {
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != 0 ||
        type != REG_DWORD) {
        return fallback;
    }
    return value;
}

void WriteDword(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

DWORD OpenKey(const char* name, RegKey* key) {
    if (name == nullptr || *name == '\0') {
        return kErrorInvalidParameter;
    }
    if (!UserIsAdministrator()) {
        return kErrorAccessDenied;
    }
    const std::string path = ServiceKey(name);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, key->Receive()) != 0) {
        return kErrorServiceDoesNotExist;
    }
    return kErrorSuccess;
}

// Moves a service into a pending state that settles after its configured number of queries.
void EnterPending(HKEY key, DWORD pending) {
    WriteDword(key, kServiceStateValue, pending);
    WriteDword(key, "CheckPoint", 0);
    WriteDword(key, "QueriesLeft", ReadDword(key, "PendingQueries", kDefaultPendingQueries));
}

void Fill(HKEY key, SERVICE_STATUS* status) {
    status->dwCurrentState = ReadDword(key, kServiceStateValue, SERVICE_STOPPED);
    status->dwCheckPoint = ReadDword(key, "CheckPoint", 0);
    const bool pending = status->dwCurrentState == SERVICE_START_PENDING ||
                         status->dwCurrentState == SERVICE_STOP_PENDING;
    status->dwWaitHint = pending ? ReadDword(key, "WaitHint", kDefaultWaitHint) : 0;
    status->dwControlsAccepted = status->dwCurrentState == SERVICE_RUNNING ? 1 : 0;
}

}  // namespace

DWORD OpenServiceForControl(const char* name) {
    RegKey key;
    return OpenKey(name, &key);
}

DWORD StartServiceA(const char* name) {
    RegKey key;
    if (DWORD error = OpenKey(name, &key); error != 0) {
        return error;
    }
    DWORD state = ReadDword(key.Get(), kServiceStateValue, SERVICE_STOPPED);
    if (state == SERVICE_RUNNING || state == SERVICE_START_PENDING) {
        return kErrorServiceAlreadyRunning;
    }
    EnterPending(key.Get(), SERVICE_START_PENDING);
    return kErrorSuccess;
}

DWORD StopService(const char* name, SERVICE_STATUS* status) {
    RegKey key;
    if (DWORD error = OpenKey(name, &key); error != 0) {
        return error;
    }
    DWORD state = ReadDword(key.Get(), kServiceStateValue, SERVICE_STOPPED);
    if (state == SERVICE_STOPPED) {
        return kErrorServiceNotActive;
    }
    if (state != SERVICE_STOP_PENDING) {
        EnterPending(key.Get(), SERVICE_STOP_PENDING);
    }
    if (status != nullptr) {
        Fill(key.Get(), status);
    }
    return kErrorSuccess;
}

DWORD QueryServiceStatus(const char* name, SERVICE_STATUS* status) {
    if (status == nullptr) {
        return kErrorInvalidParameter;
    }
    RegKey key;
    if (DWORD error = OpenKey(name, &key); error != 0) {
        return error;
    }
    DWORD state = ReadDword(key.Get(), kServiceStateValue, SERVICE_STOPPED);
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING) {
        DWORD left = ReadDword(key.Get(), "QueriesLeft", 0);
        if (left == 0) {
            WriteDword(key.Get(), kServiceStateValue,
                       state == SERVICE_START_PENDING ? SERVICE_RUNNING : SERVICE_STOPPED);
        } else {
            WriteDword(key.Get(), "QueriesLeft", left - 1);
            WriteDword(key.Get(), "CheckPoint", ReadDword(key.Get(), "CheckPoint", 0) + 1);
        }
    }
    Fill(key.Get(), status);
    return kErrorSuccess;
}

}  // namespace qx::platform
