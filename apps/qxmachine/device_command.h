// qxmachine device: connects and disconnects the machine's USB printers and lists them, so that
// a test can put a printer on a port before the setup program looks for it.
#pragma once

#include <string>
#include <vector>

namespace qx::tools {

// Runs "qxmachine device ARGS" (help included); returns the exit status.
int RunDeviceCommand(const std::vector<std::string>& args);

}  // namespace qx::tools
