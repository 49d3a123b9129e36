// The machine's printer ports as the spooler enumerates them: the local ports and the
// standard TCP/IP ports added later.
#pragma once

#include <string>
#include <vector>

namespace qx::platform {

inline constexpr const char* kTcpPortsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

// EnumPorts at level 2 on the local machine, names only, in the spooler's order.
std::vector<std::string> EnumPortNames();

}  // namespace qx::platform
