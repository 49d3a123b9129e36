// The process-wide record of what the installer knows about its run: file set, options,
// product, registry keys, language, OS, folders and run paths, and the accessors that reach it.
#pragma once

#include <memory>
#include <string>

#include "modules/plugin_binder.h"
#include "platform/win_types.h"
#include "profile/config.h"

namespace qx::context {

inline constexpr const char* kDefaultProgramName = "Velmora Printer Installer Program";

struct OptionRecord {
    bool usb_only = false;
    bool network = false;
    bool wireless = false;
    bool remote_installation = false;
    bool device_install = true;
    bool show_install_error = false;
    bool right_align = false;
    bool precreate_dialogs = true;
    bool main_only = false;
    bool set_source_path = false;
    bool use_public_oid = false;
    bool use_ipx = false;
    bool stop_firewall = false;
    bool oriel = false;
    bool oriel_given = false;
    bool maintenance = true;
    qx::platform::DWORD community_size = 14;
    bool firmware_updated = false;
    bool manual_fw_down = false;
    qx::platform::DWORD max_fw_down_time = 30000;
};

struct ProfileSet {
    CConfig data;
    CConfig configure;
    CConfig command;
    CConfig strings;
    std::string data_file;
    std::string string_file;
    std::string configure_file;
    std::string command_file;
    std::string string_file_format;
    std::string string_file_name;
    std::string setting_file;
};

struct LanguageRecord {
    qx::platform::LANGID current = 9;
    qx::platform::LANGID system = 0;
    qx::platform::LANGID unmapped = 9;
    std::string abbr = "EN";
    std::string system_abbr = "EN";
    std::string unmapped_abbr = "EN";
    std::string dir;
    std::string unmapped_dir;
};

struct SystemFolders {
    std::string windows;
    std::string system;
    std::string inf;
    std::string program_files;
    std::string temp;  // without its trailing backslash
    bool is_64bit = false;
};

struct ProductInfo {
    std::string mfg;
    std::string mdl;
    std::string vidpid;
    std::string program_name = kDefaultProgramName;
};

struct RegistryKeys {
    std::string installing;
    std::string installing_history;
    std::string installed;
    std::string installed_history;
    std::string uninstall_info;
};

struct RunPaths {
    std::string module_folder;
    std::string destination;
    std::string default_destination;
    std::string destination_install;
    std::string os_folder;
    std::string os_define;
    std::string port;
    std::string ip;
    bool port_from_command_line = false;
    bool printer_installed = false;
    bool device_found = false;
    bool installed = false;
    std::string mfg;
    std::string mdl;
    std::string vidpid;
};

}  // namespace qx::context

class CInstallContext {
  public:
    CInstallContext();
    virtual ~CInstallContext();
    CInstallContext(const CInstallContext&) = delete;
    CInstallContext& operator=(const CInstallContext&) = delete;

    // Reads the disc's file set and everything start-up needs from it.
    bool Initialize();
    // The same for a program at module_path: tests place a disc anywhere on the machine.
    bool Initialize(const std::string& module_path);

    void SetPort(const char* text);
    void SetIP(const char* text);
    void SetPrinterInstalled(bool installed);
    // The system message box, right-to-left when RIGHT_ALIGN is on; the pressed button.
    int ShowMessageBox(void* owner, const char* text, const char* caption,
                       qx::platform::UINT style);

    // Language: the choice from a requested id (0 = the one recorded or the system's).
    bool SetLanguage(qx::platform::LANGID lang_id, bool show_window);
    void SetSystemLanguageAbbr();
    // Destination folder: an empty text restores the default.
    void SetDestination(const char* folder);
    // Reads OPTION (its resolved variant first) into the option record, with its log lines.
    void ReadOptions();

    const std::string& Version() const { return m_strVersion; }
    const std::string& InstallerExe() const { return m_strInstallerExe; }
    const std::string& SourceFolder() const { return m_strSourceFolder; }
    qx::context::OptionRecord& Options() { return m_options; }
    qx::context::ProfileSet& Profiles() { return m_profiles; }
    qx::context::LanguageRecord& Language() { return m_language; }
    qx::context::SystemFolders& Folders() { return m_folders; }
    qx::context::ProductInfo& Product() { return m_product; }
    const qx::context::ProductInfo& ProductInfo() const { return m_product; }
    qx::context::RegistryKeys& Keys() { return m_keys; }
    qx::context::RunPaths& Paths() { return m_paths; }
    CPlugInBinder& GetPlugIns() { return m_plugins; }

    // Asks the utility module for a connected device of the product; a port it reports becomes
    // the printer port (with onlyLpt only an LPT port). True when a port was set.
    bool FindDevicePort(bool onlyLpt);

  private:
    bool OpenProfiles(const std::string& module_path);
    void ReadVersion();
    bool ReadProduct();
    void FormatRegistryKeys();
    void InitRunPaths();
    void SwitchLanguageFiles();
    void LogSummary();

    std::string m_strVersion;
    std::string m_strInstallerExe;
    std::string m_strSourceFolder;
    qx::context::OptionRecord m_options;
    qx::context::ProfileSet m_profiles;
    qx::context::LanguageRecord m_language;
    qx::context::SystemFolders m_folders;
    qx::context::ProductInfo m_product;
    qx::context::RegistryKeys m_keys;
    qx::context::RunPaths m_paths;
    // Last: the modules go before the rest of the context they may still be reading.
    CPlugInBinder m_plugins;
};

// The context of the running application (null before one is constructed).
CInstallContext* GetContext();
CConfig* GetDataConfig();
CConfig* GetConfig();
CConfig* GetCommandConfig();
CConfig* GetStringConfig();
qx::context::OptionRecord* GetOptions();
qx::context::RunPaths* GetRunPaths();
const qx::context::ProductInfo* GetProductInfo();
qx::context::RegistryKeys* GetRegistryKeys();
qx::context::SystemFolders* GetSystemFolders();
qx::context::LanguageRecord* GetLanguage();
// The context's module binder (null before a context exists).
CPlugInBinder* GetPlugIns();
