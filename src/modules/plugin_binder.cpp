#include "modules/plugin_binder.h"

#include <cstdint>
#include <cstring>

#include "app/log.h"
#include "context/placeholders.h"
#include "modules/fault_guard.h"
#include "platform/errors.h"

namespace {

namespace qp = qx::platform;
using qx::modules::CallOutcome;
using qx::modules::PlugIn;

constexpr const char* kFileInfo = "INSTALLER_FILE_INFO";

// The key's value from the resolved variant of the section, else from the plain section.
std::optional<std::string> FileInfoValue(CConfig& data, const char* key) {
    if (std::optional<std::string> variant = data.Section(kFileInfo);
        variant && *variant != kFileInfo) {
        if (std::optional<std::string> value = data.Text(variant->c_str(), key)) {
            return value;
        }
    }
    return data.Text(kFileInfo, key);
}

// Calls fn with args under the fault guard. A fault or an exception logs one line and gives the
// failure value.
template <typename R, typename Fn, typename... Args>
R CallGuarded(const char* name, R failure, Fn fn, Args... args) {
    R result = failure;
    CallOutcome outcome = qx::modules::RunGuarded([&] { result = static_cast<R>(fn(args...)); });
    if (outcome != CallOutcome::kReturned) {
        GetLog()->Write("Call %s() ==> GPF!!!!", name);
        return failure;
    }
    return result;
}

bool LogIfMissing(const void* fn, const char* name) {
    if (fn != nullptr) {
        return false;
    }
    GetLog()->Write("Call %s ==> NULL", name);
    return true;
}

const char* Text(const char* text) {
    return text != nullptr ? text : "";
}

}  // namespace

namespace qx::modules {

std::vector<std::string> SplitPortList(const char* ports, size_t size, long count) {
    std::vector<std::string> names;
    size_t at = 0;
    while (ports != nullptr && count > 0 && static_cast<long>(names.size()) < count && at < size) {
        const void* end = std::memchr(ports + at, '\0', size - at);
        if (end == nullptr || end == ports + at) {
            break;
        }
        const size_t length = static_cast<const char*>(end) - (ports + at);
        names.emplace_back(ports + at, length);
        at += length + 1;
    }
    return names;
}

}  // namespace qx::modules

void CPlugInBinder::Load(CConfig& data) {
    Unload();
    const std::string diagnosis =
        FileInfoValue(data, "DIAGNOSIS_DLL").value_or(".\\data\\Qxdiag.dll");
    LoadOne(data, PlugIn::kInstaller, "INSTALLER_DLL", ".\\data\\Qxrun.dll",
            "Load installer DLL fail (%s)");
    LoadOne(data, PlugIn::kUtility, "UTILITY_DLL", ".\\data\\Qxutil.dll",
            "Load Utility DLL fail (%s)");
    LoadOne(data, PlugIn::kRemoteInstall, "REMOTE_INSTALL_DLL", ".\\data\\Qxrmtint.dll",
            "Load Remote DLL fail (%s)");
    LoadOne(data, PlugIn::kDiagnosis, "DIAGNOSIS_DLL", ".\\data\\Qxdiag.dll",
            "Load Diagnosis DLL fail (%s)");
    LoadOne(data, PlugIn::kTestPage, "TESTPAGE_DLL", diagnosis, "Load TestPage DLL fail (%s)");
    LoadOne(data, PlugIn::kNetwork, "NETWORKMAN_DLL", ".\\data\\QxNetMan.dll",
            "Load Netmanager DLL fail (%s)");
    LoadOne(data, PlugIn::kResource, "RESOURCE_DLL", ".\\QXres.dll", "Load Resource DLL fail (%s)");
    LoadOne(data, PlugIn::kPreinstaller, "PREINSTALLER_DLL", ".\\data\\QXpre.dll",
            "Load Preinstaller DLL fail (%s)");
    LoadOne(data, PlugIn::kSetIp, "SETIP_DLL", ".\\data\\Setip.dll", "Load SetIP DLL fail (%s)");
    m_strUninstallerExe = qx::context::ResolvePath(
        FileInfoValue(data, "UNINSTALLER_EXE").value_or(".\\data\\QXDelAll.exe"), false);
    m_strQxopenExe = qx::context::ResolvePath(
        FileInfoValue(data, "QXOPEN_EXE").value_or(".\\data\\Qxopen.exe"), false);
}

void CPlugInBinder::LoadOne(CConfig& data, PlugIn which, const char* key,
                            const std::string& fallback, const char* failure) {
    Slot& slot = m_slots[static_cast<size_t>(which)];
    const std::string text = FileInfoValue(data, key).value_or(fallback);
    if (text.empty()) {
        if (which == PlugIn::kNetwork) {
            GetLog()->Write("Get network Netmanager DLL fail");
        }
        return;
    }
    slot.path = qx::context::ResolvePath(text, false);
    if (slot.path.empty()) {
        return;
    }
    slot.module = qp::LoadModule(slot.path.c_str());
    if (!slot.module.IsValid()) {
        GetLog()->WriteWithError(qp::GetLastError(), failure, slot.path.c_str());
    }
}

void CPlugInBinder::Unload() {
    for (Slot& slot : m_slots) {
        slot.module.Reset();
        slot.path.clear();
    }
    m_strUninstallerExe.clear();
    m_strQxopenExe.clear();
}

const std::string& CPlugInBinder::Path(PlugIn which) const {
    return m_slots[static_cast<size_t>(which)].path;
}

bool CPlugInBinder::IsLoaded(PlugIn which) const {
    return Module(which).IsValid();
}

const qp::ModuleHandle& CPlugInBinder::Module(PlugIn which) const {
    return m_slots[static_cast<size_t>(which)].module;
}

template <typename Fn>
Fn CPlugInBinder::Find(PlugIn which, const char* name) const {
    const qp::ModuleHandle& module = Module(which);
    if (!module.IsValid()) {
        return nullptr;
    }
    return reinterpret_cast<Fn>(qp::GetModuleProcAddress(module, name));
}

QxDoRemoteInstallFn CPlugInBinder::DoRemoteInstallAddress() const {
    return Find<QxDoRemoteInstallFn>(PlugIn::kRemoteInstall, "DoRemoteInstall");
}

// Installer module.

bool CPlugInBinder::MyInstall(const char* installing_key, const char* item_key, bool installed) {
    auto fn = Find<QxMyInstallFn>(PlugIn::kInstaller, "MyInstall");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "MyInstall")) {
        return false;
    }
    GetLog()->Write("Call MyInstall(%d,%s,%s,%d)", 0, Text(installing_key), Text(item_key),
                    installed ? 1 : 0);
    return CallGuarded<QX_BOOL>("MyInstall", 0, fn, nullptr, installing_key, item_key,
                                installed ? 1 : 0) != 0;
}

bool CPlugInBinder::MyCreateShortCut(const char* installing_key, const char* shortcut_key) {
    auto fn = Find<QxMyCreateShortCutFn>(PlugIn::kInstaller, "MyCreateShortCut");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "MyCreateShortCut")) {
        return false;
    }
    GetLog()->Write("Call MyCreateShortCut(%d,%s,%s)", 0, Text(installing_key), Text(shortcut_key));
    return CallGuarded<QX_BOOL>("MyCreateShortCut", 0, fn, nullptr, installing_key, shortcut_key) !=
           0;
}

// Utility module.

bool CPlugInBinder::GetDevicePort(const char* mfg, const char* mdl, const char* vidpid, char* ports,
                                  LONG* count) {
    auto fn = Find<QxGetDevicePortFn>(PlugIn::kUtility, "GetDevicePort");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "GetDevicePort")) {
        return false;
    }
    GetLog()->Write("Call GetDevicePort(%s,%s,%s)", Text(mfg), Text(mdl), Text(vidpid));
    return CallGuarded<QX_BOOL>("GetDevicePort", 0, fn, mfg, mdl, vidpid, ports, count) != 0;
}

namespace {

bool CallPreventPnP(QxPreventPnPFn fn, const char* name, const char* mfg_mdl) {
    if (LogIfMissing(reinterpret_cast<const void*>(fn), name)) {
        return false;
    }
    GetLog()->Write("Call %s(%s)", name, Text(mfg_mdl));
    return CallGuarded<QX_BOOL>(name, 0, fn, mfg_mdl) != 0;
}

bool CallDialog(QxNewHardwareDialogFn fn, const char* name) {
    if (LogIfMissing(reinterpret_cast<const void*>(fn), name)) {
        return false;
    }
    GetLog()->Write("Call %s()", name);
    return CallGuarded<QX_BOOL>(name, 0, fn) != 0;
}

bool CallRefresh(QxDeviceRefreshFn fn, const char* name, const char* mfg_mdl, const char* vidpid) {
    if (LogIfMissing(reinterpret_cast<const void*>(fn), name)) {
        return false;
    }
    GetLog()->Write("Call %s(%s,%s)", name, Text(mfg_mdl), Text(vidpid));
    return CallGuarded<QX_BOOL>(name, 0, fn, mfg_mdl, vidpid) != 0;
}

}  // namespace

bool CPlugInBinder::StartPreventPnP(const char* mfg_mdl) {
    return CallPreventPnP(Find<QxPreventPnPFn>(PlugIn::kUtility, "StartPreventPnP"),
                          "StartPreventPnP", mfg_mdl);
}

bool CPlugInBinder::EndPreventPnP(const char* mfg_mdl) {
    return CallPreventPnP(Find<QxPreventPnPFn>(PlugIn::kUtility, "EndPreventPnP"), "EndPreventPnP",
                          mfg_mdl);
}

bool CPlugInBinder::RemoveHardwareWizardDialog() {
    return CallDialog(Find<QxNewHardwareDialogFn>(PlugIn::kUtility, "RemoveHardwareWizardDialog"),
                      "RemoveHardwareWizardDialog");
}

bool CPlugInBinder::MySetForegroundNHWdDialog() {
    return CallDialog(Find<QxNewHardwareDialogFn>(PlugIn::kUtility, "MySetForegroundNHWdDialog"),
                      "MySetForegroundNHWdDialog");
}

bool CPlugInBinder::SystemRefresh(const char* mfg_mdl, const char* vidpid) {
    return CallRefresh(Find<QxDeviceRefreshFn>(PlugIn::kUtility, "SystemRefresh"), "SystemRefresh",
                       mfg_mdl, vidpid);
}

bool CPlugInBinder::RemoveUnknownDev(const char* mfg_mdl, const char* vidpid) {
    return CallRefresh(Find<QxDeviceRefreshFn>(PlugIn::kUtility, "RemoveUnknownDev"),
                       "RemoveUnknownDev", mfg_mdl, vidpid);
}

bool CPlugInBinder::SaveFile(const char* file, const char* key) {
    auto fn = Find<QxSaveFileFn>(PlugIn::kUtility, "SaveFile");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "SaveFile")) {
        return false;
    }
    GetLog()->Write("Call SaveFile(%s,%s)", Text(file), Text(key));
    return CallGuarded<QX_BOOL>("SaveFile", 0, fn, file, key, QX_DWORD{0}) != 0;
}

CPlugInBinder::DWORD CPlugInBinder::GetDiskFreeSpaceQX(const char* folder) {
    auto fn = Find<QxGetDiskFreeSpaceQXFn>(PlugIn::kUtility, "GetDiskFreeSpaceQX");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "GetDiskFreeSpaceQX")) {
        return 0;
    }
    GetLog()->Write("Call GetDiskFreeSpaceQX(%s)", Text(folder));
    return CallGuarded<DWORD>("GetDiskFreeSpaceQX", 0, fn, Text(folder));
}

bool CPlugInBinder::MyGetDeviceIDFromPort(const char* port, char* device_id) {
    auto fn = Find<QxMyGetDeviceIDFromPortFn>(PlugIn::kUtility, "MyGetDeviceIDFromPort");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "MyGetDeviceIDFromPort")) {
        return false;
    }
    GetLog()->Write("Call MyGetDeviceIDFromPort(%s)", Text(port));
    return CallGuarded<QX_BOOL>("MyGetDeviceIDFromPort", 0, fn, port, device_id) != 0;
}

// Diagnosis and test-page modules.

int CPlugInBinder::Diagnosis(const char* mfg, const char* printer, const char* mdl,
                             const char* vidpid) {
    auto fn = Find<QxDiagnosisFn>(PlugIn::kDiagnosis, "Diagnosis");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "Diagnosis")) {
        return 1;
    }
    GetLog()->Write("Call Diagnosis(%s,%s,%s,%s)", Text(mfg), Text(printer), Text(mdl),
                    Text(vidpid));
    return CallGuarded<int>("Diagnosis", 1, fn, mfg, printer, mdl, vidpid);
}

int CPlugInBinder::DiagnosisEx(const char* mfg, const char* printer, const char* mdl,
                               const char* vidpid) {
    auto fn = Find<QxDiagnosisExFn>(PlugIn::kDiagnosis, "DiagnosisEx");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "DiagnosisEx")) {
        return 1;
    }
    GetLog()->Write("Call DiagnosisEx(%s,%s,%s,%s,%d)", Text(mfg), Text(printer), Text(mdl),
                    Text(vidpid), 0);
    return CallGuarded<int>("DiagnosisEx", 1, fn, mfg, printer, mdl, vidpid, QX_DWORD{0});
}

int CPlugInBinder::PrintTestPage(const char* printer, const char* param2, const char* param3,
                                 const char* param4) {
    auto fn = Find<QxPrintTestPageFn>(PlugIn::kTestPage, "PrintTestPage");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "PrintTestPage")) {
        return -1;
    }
    const char* resource = Path(PlugIn::kResource).c_str();
    GetLog()->Write("Call PrintTestPage(%s,%s,%s,%s,%s)", Text(printer), Text(param2), Text(param3),
                    resource, Text(param4));
    return CallGuarded<int>("PrintTestPage", -1, fn, printer, param2, param3, resource, param4);
}

int CPlugInBinder::MetaTestPage(const char* printer, const char* file) {
    auto fn = Find<QxPrintFileFn>(PlugIn::kTestPage, "MetaTestPage");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "MetaTestPage")) {
        return -1;
    }
    GetLog()->Write("Call MetaTestPage(%s,%s)", Text(printer), Text(file));
    return CallGuarded<int>("MetaTestPage", -1, fn, printer, file);
}

int CPlugInBinder::PrintPrnFile(const char* printer, const char* file) {
    auto fn = Find<QxPrintFileFn>(PlugIn::kTestPage, "PrintPrnFile");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "PrintPrnFile")) {
        return 1;
    }
    GetLog()->Write("Call PrintPrnFile(%s,%s)", Text(printer), Text(file));
    return CallGuarded<int>("PrintPrnFile", 1, fn, printer, file);
}

// Pre-installer module.

int CPlugInBinder::Preinstall(const char* command_line, void* window) {
    auto fn = Find<QxPreinstallFn>(PlugIn::kPreinstaller, "Preinstall");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "Preinstall")) {
        return -1;
    }
    GetLog()->Write("Call Preinstall(%s)", Text(command_line));
    return CallGuarded<int>("Preinstall", -1, fn, command_line, window);
}

// Network module. The SNMP community is a password of sorts and stays out of the log.

CPlugInBinder::DWORD CPlugInBinder::MyGetPrinterDesc(const char* address, char* device_id,
                                                     bool use_public_oid, const char* community) {
    const QX_BOOL public_oid = use_public_oid ? 1 : 0;
    if (auto adv = Find<QxMyGetPrinterDescAdvFn>(PlugIn::kNetwork, "MyGetPrinterDescAdv")) {
        GetLog()->Write("Call MyGetPrinterDescAdv(%s,%d)", Text(address), public_oid);
        return CallGuarded<DWORD>("MyGetPrinterDescAdv", 1, adv, address, device_id, public_oid,
                                  community);
    }
    auto fn = Find<QxMyGetPrinterDescFn>(PlugIn::kNetwork, "MyGetPrinterDesc");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "MyGetPrinterDesc")) {
        return 4096;
    }
    GetLog()->Write("Call MyGetPrinterDesc(%s,%d)", Text(address), public_oid);
    return CallGuarded<DWORD>("MyGetPrinterDesc", 4096, fn, address, device_id, public_oid);
}

bool CPlugInBinder::MyGetIPX(const char* address, char* ipx, const char* community) {
    if (auto adv = Find<QxMyGetIPXAdvFn>(PlugIn::kNetwork, "MyGetIPXAdv")) {
        GetLog()->Write("Call MyGetIPXAdv(%s)", Text(address));
        // A fault must not read as "address in the buffer", so it answers false like the rest.
        return CallGuarded<QX_BOOL>("MyGetIPXAdv", 0, adv, address, ipx, community) != 0;
    }
    auto fn = Find<QxMyGetIPXFn>(PlugIn::kNetwork, "MyGetIPX");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "MyGetIPX")) {
        return false;
    }
    GetLog()->Write("Call MyGetIPX(%s)", Text(address));
    return CallGuarded<QX_BOOL>("MyGetIPX", 0, fn, address, ipx) != 0;
}

bool CPlugInBinder::MySetNetworkPort(const char* port, const char* address, const char* mac,
                                     const char* ipx, const char* monitor, const char* monitor_file,
                                     const char* mutex_name, bool standard_port,
                                     const char* community) {
    const QX_BOOL standard = standard_port ? 1 : 0;
    if (auto adv = Find<QxMySetNetworkPortAdvFn>(PlugIn::kNetwork, "MySetNetworkPortAdv")) {
        GetLog()->Write("Call MySetNetworkPortAdv(%s,%s,%s,%s,%s,%s,%s,%d)", Text(port),
                        Text(address), Text(mac), Text(ipx), Text(monitor), Text(monitor_file),
                        Text(mutex_name), standard);
        return CallGuarded<QX_BOOL>("MySetNetworkPortAdv", 0, adv, port, address, mac, ipx, monitor,
                                    monitor_file, mutex_name, standard, community) != 0;
    }
    auto fn = Find<QxMySetNetworkPortExFn>(PlugIn::kNetwork, "MySetNetworkPortEx");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "MySetNetworkPortEx")) {
        return false;
    }
    GetLog()->Write("Call MySetNetworkPortEx(%s,%s,%s,%s,%s,%s,%s,%d)", Text(port), Text(address),
                    Text(mac), Text(ipx), Text(monitor), Text(monitor_file), Text(mutex_name),
                    standard);
    return CallGuarded<QX_BOOL>("MySetNetworkPortEx", 0, fn, port, address, mac, ipx, monitor,
                                monitor_file, mutex_name, standard) != 0;
}

bool CPlugInBinder::MyDelNetworkPort(const char* port, const char* mutex_name, bool standard_port) {
    auto fn = Find<QxMyDelNetworkPortFn>(PlugIn::kNetwork, "MyDelNetworkPort");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "MyDelNetworkPort")) {
        return false;
    }
    const QX_BOOL standard = standard_port ? 1 : 0;
    GetLog()->Write("Call MyDelNetworkPort(%s,%s,%d)", Text(port), Text(mutex_name), standard);
    return CallGuarded<QX_BOOL>("MyDelNetworkPort", 0, fn, port, mutex_name, standard) != 0;
}

int CPlugInBinder::SnmpDiscovery(void* callback, const char* community) {
    if (auto adv = Find<QxSnmpDiscoveryAdvFn>(PlugIn::kNetwork, "SnmpDiscoveryAdv")) {
        GetLog()->Write("Call SnmpDiscoveryAdv()");
        return CallGuarded<int>("SnmpDiscoveryAdv", 1, adv, callback, community);
    }
    auto fn = Find<QxSnmpDiscoveryFn>(PlugIn::kNetwork, "SnmpDiscovery");
    if (fn == nullptr) {
        // The line has always read this way; log readers match it.
        GetLog()->Write("Call SnmpDisvoery ==> NULL");
        return 0;
    }
    GetLog()->Write("Call SnmpDiscovery()");
    return CallGuarded<int>("SnmpDiscovery", 0, fn, callback);
}

// Address-setting module.

CPlugInBinder::DWORD CPlugInBinder::SetIP(const char* address1, const char* address2,
                                          const char* address3, const char* address4) {
    auto fn = Find<QxSetIPFn>(PlugIn::kSetIp, "SetIP");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "SetIP")) {
        return 1;
    }
    GetLog()->Write("Call SetIP(%s,%s,%s,%s)", Text(address1), Text(address2), Text(address3),
                    Text(address4));
    return CallGuarded<DWORD>("SetIP", 1, fn, address1, address2, address3, address4);
}

CPlugInBinder::DWORD CPlugInBinder::GetNetPrinter(void* entries, DWORD size, DWORD* count) {
    auto fn = Find<QxGetNetPrinterFn>(PlugIn::kSetIp, "GetNetPrinter");
    if (LogIfMissing(reinterpret_cast<const void*>(fn), "GetNetPrinter")) {
        return 1;
    }
    GetLog()->Write("Call GetNetPrinter(%u)", size);
    return CallGuarded<DWORD>("GetNetPrinter", 1, fn, entries, size, count);
}
