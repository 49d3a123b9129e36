// The pre-installer module: runs before the items are installed. This one records the command
// line it was given, so that what the installer passed can be checked afterwards.
#include "modules/plugin_api.h"
#include "platform/registry.h"
#include "registry/registry_helper.h"

QX_PLUGIN_EXPORT int Preinstall(const char* command_line, void* /*window*/) {
    const char* key = "Software\\qxsetup\\Preinstall";
    return CRegistry::SetValue(key, "LastCommandLine", command_line != nullptr ? command_line : "",
                               qx::platform::HKEY_LOCAL_MACHINE) == 0
               ? 0
               : -1;
}
