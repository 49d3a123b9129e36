// Reading machine.ini, the machine's identity file, with the product's own profile reader.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/machine.h"

namespace qx::platform {

// Fills config and drives from a machine.ini host file. Keys that are missing take the
// defaults of the named OS profile; an unreadable file or an unknown OS fails with a reason.
bool LoadMachineIni(const std::filesystem::path& path, MachineConfig* config,
                    std::vector<Drive>* drives, std::string* error);

}  // namespace qx::platform
