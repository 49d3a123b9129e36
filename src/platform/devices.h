// The machine's USB printers, kept in the registry where Windows keeps them: one instance key
// per device under Enum\USBPRINT, with its IEEE-1284 device ID and the USB port the USB
// monitor gave it. Plugging and unplugging a device is what `qxmachine device` does.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace qx::platform {

// HKLM, 64-bit view. Each device: <MFG+MDL without spaces>\<instance>, values DeviceDesc,
// HardwareID, DeviceID, Port, VidPid (strings) and Present (DWORD).
inline constexpr const char* kUsbPrintEnumKey = "SYSTEM\\CurrentControlSet\\Enum\\USBPRINT";

// The new-hardware dialog Windows opens for a device it has no driver for, as DWORDs under
// kDeviceInstallKey (system_library.h): shown, and brought to the front.
inline constexpr const char* kNewHardwareDialogValue = "NewHardwareDialog";
inline constexpr const char* kNewHardwareForegroundValue = "NewHardwareDialogForeground";
// The device for which the new-hardware dialog is held back (StartPreventPnP), a string.
inline constexpr const char* kPreventPnPValue = "PreventPnPDevice";

struct UsbPrinter {
    std::string mfg;
    std::string mdl;
    std::string vidpid;  // "VID_2F1A&PID_0220"
    std::string port;    // "USB001"
    std::string device_id;
    std::string hardware_id;
    std::string description;
    std::string key;  // the instance key's path under HKLM
    bool present = false;
};

// Every device the machine has seen, plugged in or not, ordered by port.
std::vector<UsbPrinter> EnumUsbPrinters();
// The device recorded for a port (present or not).
std::optional<UsbPrinter> FindUsbPrinterOnPort(const std::string& port);

// Connects a device: records it (Present 1) on the given port, else on the port it had before
// or the first free USB port, adds that port to the USB monitor's ports and opens the
// new-hardware dialog unless it is held back for this device. The port used, or nullopt with
// a reason.
std::optional<std::string> PlugUsbPrinter(const std::string& mfg, const std::string& mdl,
                                          const std::string& vidpid, const std::string& port,
                                          std::string* error);
// Disconnects the device on a port (Present 0); the port stays, as the USB monitor keeps it.
bool UnplugUsbPrinter(const std::string& port, std::string* error);
// Forgets the devices that are not connected and match mfg_mdl (spaces ignored) or vidpid;
// the number removed.
int RemoveAbsentUsbPrinters(const std::string& mfg_mdl, const std::string& vidpid);

// The IEEE-1284 device ID a printer of this make and model reports.
std::string MakeDeviceId(const std::string& mfg, const std::string& mdl);

}  // namespace qx::platform
