// The plug-in module binder: loads the modules the data file names once at start-up, binds their
// exports by name and offers one guarded call per function, which logs the call and turns a
// missing function or a module's fault into a log line and the function's failure value.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "modules/plugin_api.h"
#include "platform/modules.h"
#include "platform/win_types.h"
#include "profile/config.h"

namespace qx::modules {

// The modules, in the order they are loaded.
enum class PlugIn : int {
    kInstaller = 0,
    kUtility,
    kRemoteInstall,
    kDiagnosis,
    kTestPage,
    kNetwork,
    kResource,
    kPreinstaller,
    kSetIp,
    kCount
};

// The names in a GetDevicePort port list: at most count of them, never past the buffer's end
// (a name the module left unterminated is dropped).
std::vector<std::string> SplitPortList(const char* ports, size_t size, long count);

}  // namespace qx::modules

class CPlugInBinder {
  public:
    using DWORD = qx::platform::DWORD;
    using LONG = qx::platform::LONG;
    using PlugIn = qx::modules::PlugIn;

    CPlugInBinder() = default;
    virtual ~CPlugInBinder() = default;
    CPlugInBinder(const CPlugInBinder&) = delete;
    CPlugInBinder& operator=(const CPlugInBinder&) = delete;

    // Reads INSTALLER_FILE_INFO of the data file and loads every module; a module that
    // fails to load is logged and its functions answer with their failure values. A second call
    // starts over.
    void Load(CConfig& data);
    void Unload();

    // The resolved path of a module (empty when not configured) and whether it is loaded.
    const std::string& Path(PlugIn which) const;
    bool IsLoaded(PlugIn which) const;
    // Paths of the programs that are kept, not loaded.
    const std::string& UninstallerPath() const { return m_strUninstallerExe; }
    const std::string& ManualViewerPath() const { return m_strQxopenExe; }
    // Picture resources come from this module's file.
    const qx::platform::ModuleHandle& ResourceModule() const { return Module(PlugIn::kResource); }
    // The remote-install thread calls this itself, unguarded; null when missing.
    QxDoRemoteInstallFn DoRemoteInstallAddress() const;

    // Installer module.
    bool MyInstall(const char* installing_key, const char* item_key, bool installed);
    bool MyCreateShortCut(const char* installing_key, const char* shortcut_key);

    // Utility module. ports receives QX_PORT_LIST_SIZE bytes.
    bool GetDevicePort(const char* mfg, const char* mdl, const char* vidpid, char* ports,
                       LONG* count);
    bool StartPreventPnP(const char* mfg_mdl);
    bool EndPreventPnP(const char* mfg_mdl);
    bool RemoveHardwareWizardDialog();
    bool MySetForegroundNHWdDialog();
    bool SystemRefresh(const char* mfg_mdl, const char* vidpid);
    bool RemoveUnknownDev(const char* mfg_mdl, const char* vidpid);
    bool SaveFile(const char* file, const char* key);
    DWORD GetDiskFreeSpaceQX(const char* folder);
    // device_id receives QX_DEVICE_ID_SIZE bytes.
    bool MyGetDeviceIDFromPort(const char* port, char* device_id);

    // Diagnosis and test-page modules.
    int Diagnosis(const char* mfg, const char* printer, const char* mdl, const char* vidpid);
    int DiagnosisEx(const char* mfg, const char* printer, const char* mdl, const char* vidpid);
    int PrintTestPage(const char* printer, const char* param2, const char* param3,
                      const char* param4);
    int MetaTestPage(const char* printer, const char* file);
    int PrintPrnFile(const char* printer, const char* file);

    // Pre-installer module.
    int Preinstall(const char* command_line, void* window);

    // Network module; the Adv forms fall back to the plain ones when a module lacks them.
    DWORD MyGetPrinterDesc(const char* address, char* device_id, bool use_public_oid,
                           const char* community);
    bool MyGetIPX(const char* address, char* ipx, const char* community);
    bool MySetNetworkPort(const char* port, const char* address, const char* mac, const char* ipx,
                          const char* monitor, const char* monitor_file, const char* mutex_name,
                          bool standard_port, const char* community);
    bool MyDelNetworkPort(const char* port, const char* mutex_name, bool standard_port);
    int SnmpDiscovery(void* callback, const char* community);

    // Address-setting module.
    DWORD SetIP(const char* address1, const char* address2, const char* address3,
                const char* address4);
    DWORD GetNetPrinter(void* entries, DWORD size, DWORD* count);

  private:
    struct Slot {
        std::string path;
        qx::platform::ModuleHandle module;
    };

    void LoadOne(CConfig& data, PlugIn which, const char* key, const std::string& fallback,
                 const char* failure);
    const qx::platform::ModuleHandle& Module(PlugIn which) const;
    template <typename Fn>
    Fn Find(PlugIn which, const char* name) const;

    std::array<Slot, static_cast<size_t>(PlugIn::kCount)> m_slots;
    std::string m_strUninstallerExe;
    std::string m_strQxopenExe;
};
