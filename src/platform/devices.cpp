#include "platform/devices.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "platform/code_page.h"
#include "platform/ports.h"
#include "platform/registry.h"
#include "platform/system_library.h"

namespace qx::platform {

namespace {

constexpr REGSAM kView = KEY_WOW64_64KEY;
constexpr int kMaxUsbPorts = 999;

std::string WithoutSpaces(const std::string& text) {
    std::string out;
    std::copy_if(text.begin(), text.end(), std::back_inserter(out),
                 [](char c) { return c != ' '; });
    return out;
}

bool SameText(const std::string& a, const std::string& b) {
    return ToUpperMb(a, GetACP()) == ToUpperMb(b, GetACP());
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
    return RegSubkeyNames(root, path.c_str(), kView);
}

std::string ReadString(HKEY key, const char* name) {
    char buffer[4096] = {};
    DWORD size = sizeof(buffer) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != 0 ||
        type != REG_SZ) {
        return {};
    }
    return buffer;
}

DWORD ReadDword(HKEY key, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != 0 ||
        type != REG_DWORD) {
        return 0;
    }
    return value;
}

void WriteString(HKEY key, const char* name, const std::string& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void WriteDword(HKEY key, const char* name, DWORD value) {
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

std::optional<UsbPrinter> ReadDevice(const std::string& path) {
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ | kView, key.Receive()) != 0) {
        return std::nullopt;
    }
    UsbPrinter device;
    device.key = path;
    device.port = ReadString(key.Get(), "Port");
    device.device_id = ReadString(key.Get(), "DeviceID");
    device.hardware_id = ReadString(key.Get(), "HardwareID");
    device.description = ReadString(key.Get(), "DeviceDesc");
    device.vidpid = ReadString(key.Get(), "VidPid");
    device.mfg = ReadString(key.Get(), "Mfg");
    device.mdl = ReadString(key.Get(), "Mdl");
    device.present = ReadDword(key.Get(), "Present") != 0;
    if (device.port.empty()) {
        return std::nullopt;
    }
    return device;
}

bool ValidPortName(const std::string& port) {
    if (port.size() != 6 || !SameText(port.substr(0, 3), "USB")) {
        return false;
    }
    return std::all_of(port.begin() + 3, port.end(),
                       [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; });
}

std::string FreeUsbPort(const std::vector<UsbPrinter>& devices) {
    for (int number = 1; number <= kMaxUsbPorts; ++number) {
        char name[8];
        std::snprintf(name, sizeof(name), "USB%03d", number);
        const bool taken = std::any_of(devices.begin(), devices.end(),
                                       [&](const UsbPrinter& d) { return SameText(d.port, name); });
        if (!taken) {
            return name;
        }
    }
    return {};
}

void SetDeviceInstallValue(const char* name, DWORD value) {
    RegKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kDeviceInstallKey, 0, nullptr, 0,
                        KEY_ALL_ACCESS | kView, nullptr, key.Receive(), nullptr) == 0) {
        WriteDword(key.Get(), name, value);
    }
}

std::string HeldBackDevice() {
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDeviceInstallKey, 0, KEY_READ | kView, key.Receive()) !=
        0) {
        return {};
    }
    return ReadString(key.Get(), kPreventPnPValue);
}

}  // namespace

std::string MakeDeviceId(const std::string& mfg, const std::string& mdl) {
    return "MFG:" + mfg + ";MDL:" + mdl + ";CMD:PJL,PCL,POSTSCRIPT;CLS:PRINTER;DES:" + mfg + " " +
           mdl + ";";
}

std::vector<UsbPrinter> EnumUsbPrinters() {
    std::vector<UsbPrinter> devices;
    for (const std::string& model : SubkeyNames(HKEY_LOCAL_MACHINE, kUsbPrintEnumKey)) {
        const std::string model_path = std::string(kUsbPrintEnumKey) + "\\" + model;
        for (const std::string& instance : SubkeyNames(HKEY_LOCAL_MACHINE, model_path)) {
            if (std::optional<UsbPrinter> device = ReadDevice(model_path + "\\" + instance)) {
                devices.push_back(std::move(*device));
            }
        }
    }
    std::sort(devices.begin(), devices.end(), [](const UsbPrinter& a, const UsbPrinter& b) {
        return ToUpperMb(a.port, GetACP()) < ToUpperMb(b.port, GetACP());
    });
    return devices;
}

std::optional<UsbPrinter> FindUsbPrinterOnPort(const std::string& port) {
    for (UsbPrinter& device : EnumUsbPrinters()) {
        if (SameText(device.port, port)) {
            return std::move(device);
        }
    }
    return std::nullopt;
}

std::optional<std::string> PlugUsbPrinter(const std::string& mfg, const std::string& mdl,
                                          const std::string& vidpid, const std::string& port,
                                          std::string* error) {
    if (mfg.empty() || mdl.empty() || vidpid.empty()) {
        *error = "a device needs a manufacturer, a model and a VID/PID";
        return std::nullopt;
    }
    const std::string model = WithoutSpaces(mfg + mdl);
    if (model.find('\\') != std::string::npos) {
        *error = "manufacturer and model must not contain a backslash";
        return std::nullopt;
    }
    std::vector<UsbPrinter> devices = EnumUsbPrinters();
    std::string chosen = port;
    const std::string model_path = std::string(kUsbPrintEnumKey) + "\\" + model;
    if (chosen.empty()) {
        // A device plugged in again gets the port it had, as the USB monitor remembers it.
        for (const UsbPrinter& device : devices) {
            if (!device.present && device.key.rfind(model_path + "\\", 0) == 0 &&
                SameText(device.vidpid, vidpid)) {
                chosen = device.port;
                break;
            }
        }
    }
    if (chosen.empty()) {
        chosen = FreeUsbPort(devices);
    }
    chosen = ToUpperMb(chosen, GetACP());
    if (!ValidPortName(chosen)) {
        *error = "not a USB port name (USB001 ... USB999): " + chosen;
        return std::nullopt;
    }
    for (const UsbPrinter& device : devices) {
        if (SameText(device.port, chosen) && device.present) {
            *error = "a device is already connected on " + chosen;
            return std::nullopt;
        }
        if (SameText(device.port, chosen) && device.key.rfind(model_path + "\\", 0) != 0) {
            // Another model had this port: its record goes, the port is the new device's.
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, device.key.c_str());
        }
    }
    const std::string path = model_path + "\\QX&0&" + chosen;
    RegKey key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                        nullptr, key.Receive(), nullptr) != 0) {
        *error = "cannot write the device's registry key";
        return std::nullopt;
    }
    WriteString(key.Get(), "DeviceDesc", mfg + " " + mdl);
    WriteString(key.Get(), "HardwareID", "USBPRINT\\" + model);
    WriteString(key.Get(), "DeviceID", MakeDeviceId(mfg, mdl));
    WriteString(key.Get(), "Port", chosen);
    WriteString(key.Get(), "VidPid", vidpid);
    WriteString(key.Get(), "Mfg", mfg);
    WriteString(key.Get(), "Mdl", mdl);
    WriteDword(key.Get(), "Present", 1);

    RegKey port_key;
    const std::string port_path = std::string(kUsbPortsKey) + "\\" + chosen;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, port_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | kView,
                    nullptr, port_key.Receive(), nullptr);
    if (!SameText(WithoutSpaces(HeldBackDevice()), model)) {
        SetDeviceInstallValue(kNewHardwareDialogValue, 1);
    }
    return chosen;
}

bool UnplugUsbPrinter(const std::string& port, std::string* error) {
    std::optional<UsbPrinter> device = FindUsbPrinterOnPort(port);
    if (!device || !device->present) {
        *error = "no device is connected on " + port;
        return false;
    }
    RegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, device->key.c_str(), 0, KEY_ALL_ACCESS | kView,
                      key.Receive()) != 0) {
        *error = "cannot open the device's registry key";
        return false;
    }
    WriteDword(key.Get(), "Present", 0);
    return true;
}

int RemoveAbsentUsbPrinters(const std::string& mfg_mdl, const std::string& vidpid) {
    const std::string model = WithoutSpaces(mfg_mdl);
    int removed = 0;
    for (const UsbPrinter& device : EnumUsbPrinters()) {
        const bool matches =
            (!model.empty() && SameText(WithoutSpaces(device.mfg + device.mdl), model)) ||
            (!vidpid.empty() && SameText(device.vidpid, vidpid));
        if (!device.present && matches &&
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, device.key.c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace qx::platform
