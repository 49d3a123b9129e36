#include "context/install_context.h"

#include <atomic>
#include <cstring>
#include <vector>

#include "app/log.h"
#include "app/system_checks.h"
#include "context/os_identification.h"
#include "context/placeholders.h"
#include "platform/code_page.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/system_info.h"
#include "registry/registry_helper.h"

using qx::platform::DWORD;

namespace {

std::atomic<CInstallContext*> g_context{nullptr};

constexpr const char* kFileInfo = "INSTALLER_FILE_INFO";
constexpr const char* kProgramInfo = "PROGRAM_INFO";

// The folder part of a Windows path (up to, not including, its last backslash).
std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string BaseName(const std::string& file_name) {
    size_t dot = file_name.rfind('.');
    return dot == std::string::npos ? file_name : file_name.substr(0, dot);
}

}  // namespace

namespace qx::context {

std::string FormatWithAbbreviation(const std::string& pattern, const std::string& abbr) {
    // The pattern comes from the disc: only its first %s is filled, nothing else is a format.
    size_t at = pattern.find("%s");
    if (at == std::string::npos) {
        return pattern;
    }
    return pattern.substr(0, at) + abbr + pattern.substr(at + 2);
}

}  // namespace qx::context

CInstallContext::CInstallContext() {
    m_language.system = qx::platform::GetSystemDefaultLangID();
    qx::context::ReadSystemFolders(&m_folders);
    CInstallContext* expected = nullptr;
    g_context.compare_exchange_strong(expected, this);
}

CInstallContext::~CInstallContext() {
    CInstallContext* expected = this;
    g_context.compare_exchange_strong(expected, nullptr);
}

bool CInstallContext::Initialize() {
    return Initialize(qx::platform::GetModuleFileNameA());
}

bool CInstallContext::Initialize(const std::string& module) {
    m_strSourceFolder = FolderOf(module);
    qx::platform::SetCurrentDirectoryA(m_strSourceFolder.empty() ? "\\" : m_strSourceFolder);
    m_strInstallerExe = BaseName(NameOf(module)) + ".exe";

    if (!OpenProfiles(module)) {
        GetLog()->Write("Initialize Profiles fail!!");
        return false;
    }
    ReadVersion();
    ReadOptions();
    if (!ReadProduct()) {
        GetLog()->Write("Initialize Model Variable fail!!");
        if (!m_options.main_only) {
            return false;
        }
    }
    FormatRegistryKeys();
    SetSystemLanguageAbbr();
    SetLanguage(0, false);
    InitRunPaths();
    m_plugins.Load(m_profiles.data);
    LogSummary();
    return true;
}

bool CInstallContext::OpenProfiles(const std::string& module) {
    m_profiles.data_file = m_strSourceFolder + "\\" + BaseName(NameOf(module)) + ".dat";
    if (!qx::app::FileExists(m_profiles.data_file.c_str())) {
        return false;
    }
    const char* data = m_profiles.data_file.c_str();
    m_profiles.data.Open(data, data, "", false);

    const std::string abbr = m_language.abbr;
    const std::string localized_key = "CONFIGURE_FILE." + abbr;
    std::string configure =
        m_profiles.data.Text(kFileInfo, localized_key.c_str())
            .value_or(
                m_profiles.data.Text(kFileInfo, "CONFIGURE_FILE").value_or(".\\data\\qxinst.qxi"));
    m_profiles.configure_file = qx::context::ResolvePath(configure, true);
    if (m_profiles.configure_file.empty()) {
        return false;
    }
    m_profiles.configure.Open(m_profiles.configure_file.c_str(), data, "", false);

    std::string command =
        m_profiles.data.Text(kFileInfo, "COMMAND_FILE").value_or(".\\data\\qxinst.cmd");
    m_profiles.command_file = qx::context::ResolvePath(command, true);
    if (m_profiles.command_file.empty()) {
        return false;
    }
    m_profiles.command.Open(m_profiles.command_file.c_str(), data, "", false);

    m_profiles.string_file_format = m_profiles.data.Text(kFileInfo, "STRING_FILE_FORMAT")
                                        .value_or(".\\data\\String\\Lang_%s.str");
    m_profiles.string_file =
        qx::context::FormatWithAbbreviation(m_profiles.string_file_format, abbr);
    m_profiles.string_file_name = NameOf(m_profiles.string_file);
    m_profiles.strings.Open(m_profiles.string_file.c_str(), data, m_profiles.string_file.c_str(),
                            true);

    std::string setting = m_profiles.data.Text(kFileInfo, "SETTING_FILE").value_or(".\\Config.ini");
    m_profiles.setting_file = qx::context::ResolvePath(setting, true);
    return true;
}

void CInstallContext::ReadVersion() {
    if (auto version = m_profiles.data.Text("VERSION", "VERSION")) {
        m_strVersion = *version;
        return;
    }
    CConfig autorun;
    const std::string path = m_strSourceFolder + "\\Autorun.inf";
    autorun.Open(path.c_str(), "", "", false);
    m_strVersion = autorun.Text("INFOMATION", "VERSION", false).value_or("");
}

bool CInstallContext::ReadProduct() {
    auto mfg = m_profiles.data.Text(kProgramInfo, "MFG");
    auto mdl = m_profiles.data.Text(kProgramInfo, "MDL");
    auto vidpid = m_profiles.data.Text(kProgramInfo, "VIDPID");
    m_product.mfg = mfg.value_or("");
    m_product.mdl = mdl.value_or("");
    m_product.vidpid = vidpid.value_or("");
    m_product.program_name = m_profiles.data.Text(kProgramInfo, "PROGRAM_NAME")
                                 .value_or(qx::context::kDefaultProgramName);
    m_paths.mfg = m_product.mfg;
    m_paths.mdl = m_product.mdl;
    m_paths.vidpid = m_product.vidpid;
    return mfg && mdl && vidpid;
}

void CInstallContext::FormatRegistryKeys() {
    const std::string base = "Software\\" + m_product.mfg + "\\" + m_product.program_name;
    m_keys.installing = base + "\\Installing";
    m_keys.installing_history = base + "\\Installing\\InstHistory";
    m_keys.installed = base + "\\Installed";
    m_keys.installed_history = base + "\\Installed\\InstHistory";
    m_keys.uninstall_info = base + "\\UninstallInfo";
}

void CInstallContext::InitRunPaths() {
    m_paths.module_folder = m_strSourceFolder;
    qx::context::InitDefaultDestination(this);
    qx::context::ApplyPortRule(this, nullptr, false);
    qx::context::IdentifyOs(this);
}

void CInstallContext::SetPort(const char* text) {
    qx::context::ApplyPortRule(this, text, true);
}

bool CInstallContext::FindDevicePort(bool onlyLpt) {
    std::vector<char> ports(QX_PORT_LIST_SIZE, '\0');
    qx::platform::LONG count = 0;
    if (!m_plugins.GetDevicePort(m_product.mfg.c_str(), m_product.mdl.c_str(),
                                 m_product.vidpid.c_str(), ports.data(), &count) ||
        count < 1) {
        return false;
    }
    m_paths.device_found = true;
    for (const std::string& port : qx::modules::SplitPortList(ports.data(), ports.size(), count)) {
        // With onlyLpt the first LPT port the module reports counts, not only its first port.
        if (!onlyLpt || qx::platform::ToUpperMb(port, qx::platform::GetACP()).find("LPT") !=
                            std::string::npos) {
            SetPort(port.c_str());
            return true;
        }
    }
    return false;
}

void CInstallContext::SetIP(const char* text) {
    m_paths.ip = text != nullptr ? text : "";
    GetLog()->Write("Set IP : %s", m_paths.ip.c_str());
}

void CInstallContext::SetPrinterInstalled(bool installed) {
    m_paths.printer_installed = installed;
    if (installed) {
        GetLog()->Write("Printer was installed");
    }
}

int CInstallContext::ShowMessageBox(void* owner, const char* text, const char* caption,
                                    qx::platform::UINT style) {
    if (m_options.right_align) {
        style |= qx::platform::MB_RTLREADING;
    }
    return qx::platform::MessageBoxA(owner, text, caption, style);
}

void CInstallContext::LogSummary() {
    CLog* log = GetLog();
    log->Write(" m_cstrDataFile file name is [%s]\n", m_profiles.data_file.c_str());
    log->Write(" Configure file Name is [%s] \n", m_profiles.configure_file.c_str());
    log->Write(" String file Name is [%s] \n", m_profiles.string_file.c_str());
    log->Write(" Source Directroy = %s\n", m_strSourceFolder.c_str());
    log->Write(" Destination Directroy = %s\n", m_paths.destination.c_str());
    log->Write(" Inf Directroy = %s\n", m_folders.inf.c_str());
    log->Write(" Language Abbreviation = %s\n", m_language.abbr.c_str());
    log->Write(" Original Language Abbreviation = %s\n", m_language.unmapped_abbr.c_str());
    log->Write(" Language directory = %s\n", m_language.dir.c_str());
    log->Write(" Original Language directory = %s\n", m_language.unmapped_dir.c_str());
    log->Write(" OS Directroy = %s\n", m_paths.os_folder.c_str());
    log->Write(" OS String = %s\n", m_paths.os_define.c_str());
    log->Write(" System Directroy = %s\n", m_folders.system.c_str());
    log->Write(" Windows Directroy = %s\n", m_folders.windows.c_str());
    log->Write(" Language ID = 0x%04X\n", m_language.current);
    log->Write(" Program files directory = %s\n", m_folders.program_files.c_str());
    log->Write(" Current Installing registry root key = %s\n", m_keys.installing.c_str());
    log->Write(" Current Installed registry root key = %s\n", m_keys.installed.c_str());
    log->Write(" Temporary directory = %s\n", m_folders.temp.c_str());
}

CInstallContext* GetContext() {
    return g_context.load();
}

namespace {

template <typename T>
T* FromContext(T& (CInstallContext::*member)()) {
    CInstallContext* context = GetContext();
    return context != nullptr ? &(context->*member)() : nullptr;
}

}  // namespace

CConfig* GetDataConfig() {
    CInstallContext* context = GetContext();
    return context != nullptr ? &context->Profiles().data : nullptr;
}
CConfig* GetConfig() {
    CInstallContext* context = GetContext();
    return context != nullptr ? &context->Profiles().configure : nullptr;
}
CConfig* GetCommandConfig() {
    CInstallContext* context = GetContext();
    return context != nullptr ? &context->Profiles().command : nullptr;
}
CConfig* GetStringConfig() {
    CInstallContext* context = GetContext();
    return context != nullptr ? &context->Profiles().strings : nullptr;
}
qx::context::OptionRecord* GetOptions() {
    return FromContext(&CInstallContext::Options);
}
qx::context::RunPaths* GetRunPaths() {
    return FromContext(&CInstallContext::Paths);
}
const qx::context::ProductInfo* GetProductInfo() {
    CInstallContext* context = GetContext();
    return context != nullptr ? &context->ProductInfo() : nullptr;
}
qx::context::RegistryKeys* GetRegistryKeys() {
    return FromContext(&CInstallContext::Keys);
}
qx::context::SystemFolders* GetSystemFolders() {
    return FromContext(&CInstallContext::Folders);
}
qx::context::LanguageRecord* GetLanguage() {
    return FromContext(&CInstallContext::Language);
}
CPlugInBinder* GetPlugIns() {
    return FromContext(&CInstallContext::GetPlugIns);
}
