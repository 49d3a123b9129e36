#include "platform/ports.h"

#include <vector>

#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/registry_seed.h"

namespace qx::platform {

namespace {

std::vector<std::string> ValueNames(const char* path) {
    std::vector<std::string> names;
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, key.Receive()) !=
        0) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char name[260] = {};
        DWORD size = sizeof(name);
        if (RegEnumValueA(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr) != 0) {
            break;
        }
        names.emplace_back(name);
    }
    return names;
}

std::vector<std::string> SubkeyNames(const char* path) {
    std::vector<std::string> names;
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WOW64_64KEY, key.Receive()) !=
        0) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char name[260] = {};
        DWORD size = sizeof(name);
        if (RegEnumKeyExA(key.Get(), index, name, &size, nullptr, nullptr, nullptr, nullptr) != 0) {
            break;
        }
        names.emplace_back(name);
    }
    return names;
}

}  // namespace

std::vector<std::string> EnumPortNames() {
    std::vector<std::string> ports = ValueNames(LocalPortsKey(Machine::Current().Config().os));
    for (const char* monitor : {kTcpPortsKey, kUsbPortsKey}) {
        for (std::string& name : SubkeyNames(monitor)) {
            ports.push_back(std::move(name));
        }
    }
    return ports;
}

}  // namespace qx::platform
