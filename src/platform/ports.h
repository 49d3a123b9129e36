// The machine's printer ports as the spooler enumerates them: the local ports, the standard
// TCP/IP ports added later and the USB ports the USB monitor made for connected printers.
#pragma once

#include <string>
#include <vector>

namespace qx::platform {

inline constexpr const char* kTcpPortsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Standard TCP/IP Port\\Ports";

// One subkey per USB port ("USB001"), made when a USB printer is first connected
// (devices.h); the port stays when the printer is disconnected.
inline constexpr const char* kUsbPortsKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\USB Monitor\\Ports";

// EnumPorts at level 2 on the local machine, names only, in the spooler's order.
std::vector<std::string> EnumPortNames();

}  // namespace qx::platform
