// The utility module: answers the installer's questions about the machine's devices and disks
// and stands in for the device-manager chores the installer asks of it.
#include <algorithm>
#include <cstring>
#include <string>

#include "modules/plugin_api.h"
#include "platform/code_page.h"
#include "platform/devices.h"
#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/system_library.h"
#include "registry/registry_helper.h"

namespace {

namespace qp = qx::platform;

bool SameText(const std::string& a, const std::string& b) {
    return qp::ToUpperMb(a, qp::GetACP()) == qp::ToUpperMb(b, qp::GetACP());
}

// Windows 95 and NT before 5 have no USB printing.
bool UsbAvailable() {
    const qp::OsProfile& os = qp::Machine::Current().Config().os;
    if (os.platform_id == 2) {
        return os.major >= 5;
    }
    return !(os.major == 4 && os.minor == 0);
}

bool Matches(const qp::UsbPrinter& device, const char* mfg, const char* mdl, const char* vidpid) {
    if (vidpid != nullptr && *vidpid != '\0' && SameText(device.vidpid, vidpid)) {
        return true;
    }
    return mfg != nullptr && mdl != nullptr && *mfg != '\0' && *mdl != '\0' &&
           SameText(device.mfg, mfg) && SameText(device.mdl, mdl);
}

bool SetDeviceInstallValue(const char* name, const char* text, qp::DWORD number, bool is_text) {
    qp::RegKey key;
    if (qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, qp::kDeviceInstallKey, 0, nullptr, 0,
                            qp::KEY_ALL_ACCESS | qp::KEY_WOW64_64KEY, nullptr, key.Receive(),
                            nullptr) != 0) {
        return false;
    }
    if (is_text) {
        return qp::RegSetValueExA(key.Get(), name, 0, qp::REG_SZ,
                                  reinterpret_cast<const qp::BYTE*>(text),
                                  static_cast<qp::DWORD>(std::strlen(text) + 1)) == 0;
    }
    return qp::RegSetValueExA(key.Get(), name, 0, qp::REG_DWORD,
                              reinterpret_cast<const qp::BYTE*>(&number), sizeof(number)) == 0;
}

qp::DWORD DeviceInstallNumber(const char* name) {
    qp::RegKey key;
    qp::DWORD value = 0;
    qp::DWORD size = sizeof(value);
    if (qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, qp::kDeviceInstallKey, 0,
                          qp::KEY_READ | qp::KEY_WOW64_64KEY, key.Receive()) != 0 ||
        qp::RegQueryValueExA(key.Get(), name, nullptr, nullptr, reinterpret_cast<qp::BYTE*>(&value),
                             &size) != 0) {
        return 0;
    }
    return value;
}

}  // namespace

QX_PLUGIN_EXPORT QX_BOOL GetDevicePort(const char* mfg, const char* mdl, const char* vidpid,
                                       char* ports, QX_LONG* count) {
    if (ports == nullptr || count == nullptr) {
        return 0;
    }
    std::memset(ports, 0, QX_PORT_LIST_SIZE);
    if (!UsbAvailable()) {
        *count = -1;
        return 1;
    }
    QX_LONG found = 0;
    size_t at = 0;
    for (const qp::UsbPrinter& device : qp::EnumUsbPrinters()) {
        // Each name keeps its terminator and one more byte for the list's end.
        if (!device.present || !Matches(device, mfg, mdl, vidpid) ||
            at + device.port.size() + 2 > QX_PORT_LIST_SIZE) {
            continue;
        }
        std::memcpy(ports + at, device.port.c_str(), device.port.size());
        at += device.port.size() + 1;
        ++found;
    }
    *count = found;
    return 1;
}

QX_PLUGIN_EXPORT QX_BOOL MyGetDeviceIDFromPort(const char* port, char* device_id) {
    if (port == nullptr || device_id == nullptr) {
        return 0;
    }
    std::optional<qp::UsbPrinter> device = qp::FindUsbPrinterOnPort(port);
    if (!device || !device->present || device->device_id.size() >= QX_DEVICE_ID_SIZE) {
        return 0;
    }
    std::memcpy(device_id, device->device_id.c_str(), device->device_id.size() + 1);
    return 1;
}

// Free megabytes of the folder's drive; an empty folder means the system drive, where the
// product is installed.
QX_PLUGIN_EXPORT QX_DWORD GetDiskFreeSpaceQX(const char* folder) {
    std::string path = folder != nullptr && *folder != '\0'
                           ? std::string(folder)
                           : qp::Machine::Current().WindowsFolder().substr(0, 3);
    qp::ULARGE_INTEGER free_to_caller;
    qp::ULARGE_INTEGER total;
    qp::ULARGE_INTEGER total_free;
    if (!qp::GetDiskFreeSpaceExA(path.c_str(), &free_to_caller, &total, &total_free)) {
        return 0;
    }
    const std::uint64_t megabytes = free_to_caller.QuadPart / (1024 * 1024);
    return static_cast<QX_DWORD>(std::min<std::uint64_t>(megabytes, 0xFFFFFFFFu));
}

QX_PLUGIN_EXPORT QX_BOOL SaveFile(const char* file, const char* key, QX_DWORD /*reserved*/) {
    if (file == nullptr || key == nullptr) {
        return 0;
    }
    return CRegistry::SaveToFile(key, file, qp::HKEY_LOCAL_MACHINE) == 0 ? 1 : 0;
}

// The machine finds connected devices as they are plugged in, so a refresh has nothing left
// to discover.
QX_PLUGIN_EXPORT QX_BOOL SystemRefresh(const char* /*mfg_mdl*/, const char* /*vidpid*/) {
    return 1;
}

// Devices of the product the machine remembers but that are no longer connected.
QX_PLUGIN_EXPORT QX_BOOL RemoveUnknownDev(const char* mfg_mdl, const char* vidpid) {
    qp::RemoveAbsentUsbPrinters(mfg_mdl != nullptr ? mfg_mdl : "", vidpid != nullptr ? vidpid : "");
    return 1;
}

// While prevented, connecting this device opens no new-hardware dialog.
QX_PLUGIN_EXPORT QX_BOOL StartPreventPnP(const char* mfg_mdl) {
    return SetDeviceInstallValue(qp::kPreventPnPValue, mfg_mdl != nullptr ? mfg_mdl : "", 0, true);
}

QX_PLUGIN_EXPORT QX_BOOL EndPreventPnP(const char* /*mfg_mdl*/) {
    return SetDeviceInstallValue(qp::kPreventPnPValue, "", 0, true);
}

// Closes the new-hardware dialog; true when one was open.
QX_PLUGIN_EXPORT QX_BOOL RemoveHardwareWizardDialog(void) {
    if (DeviceInstallNumber(qp::kNewHardwareDialogValue) == 0) {
        return 0;
    }
    SetDeviceInstallValue(qp::kNewHardwareForegroundValue, nullptr, 0, false);
    return SetDeviceInstallValue(qp::kNewHardwareDialogValue, nullptr, 0, false);
}

// Brings the new-hardware dialog to the front; true when one is open.
QX_PLUGIN_EXPORT QX_BOOL MySetForegroundNHWdDialog(void) {
    if (DeviceInstallNumber(qp::kNewHardwareDialogValue) == 0) {
        return 0;
    }
    return SetDeviceInstallValue(qp::kNewHardwareForegroundValue, nullptr, 1, false);
}
