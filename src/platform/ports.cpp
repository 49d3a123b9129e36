#include "platform/ports.h"

#include <vector>

#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/registry_seed.h"

namespace qx::platform {

std::vector<std::string> EnumPortNames() {
    std::vector<std::string> ports = RegValueNames(
        HKEY_LOCAL_MACHINE, LocalPortsKey(Machine::Current().Config().os), KEY_WOW64_64KEY);
    for (const char* monitor : {kTcpPortsKey, kUsbPortsKey}) {
        for (std::string& name : RegSubkeyNames(HKEY_LOCAL_MACHINE, monitor, KEY_WOW64_64KEY)) {
            ports.push_back(std::move(name));
        }
    }
    return ports;
}

}  // namespace qx::platform
