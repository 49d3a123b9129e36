#include "app/setup_app.h"

#include <chrono>
#include <cstdio>
#include <optional>
#include <system_error>
#include <vector>

#include "app/command_line.h"
#include "app/system_checks.h"
#include "commands/cmd_operator.h"
#include "context/language.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "platform/registry.h"
#include "registry/registry_helper.h"

namespace {

namespace qp = qx::platform;
using namespace qx::app;
using qp::DWORD;

std::atomic<CSetupApp*> g_app{nullptr};

bool HasSilentSwitch(const std::string& command_line) {
    for (const Switch& entry : SplitCommandLine(command_line)) {
        if (entry.letter == 'S') {
            return true;
        }
    }
    return false;
}

bool InstalledValueExists(const char* name) {
    std::vector<char> buffer(4096, '\0');
    const qx::context::RegistryKeys* keys = GetRegistryKeys();
    return keys != nullptr &&
           CRegistry::GetValue(keys->installed.c_str(), name, buffer.data(), qp::HKEY_LOCAL_MACHINE,
                               static_cast<DWORD>(buffer.size())) == 0;
}

// A windowless run shows no wizard and chooses no start section for one; its end command comes
// from the section the run mode would start with. Setup_Type is left to the silent forms.
std::string WindowlessStartSection(int mode) {
    CConfig* config = GetConfig();
    if (config == nullptr) {
        return {};
    }
    const bool disc = GetDriveKind(nullptr) == 3;
    std::vector<const char*> names;
    if (mode == kRunModeReinstall) {
        names = {disc ? "REINST_START_INFO_CD" : "REINST_START_INFO_LOCAL", "REINST_START_INFO",
                 "UNINST_START_INFO", "INSTALL_START_INFO"};
    } else if (mode == kRunModeUninstall) {
        names = {"UNINST_START_INFO", "REINST_START_INFO",
                 disc ? "REINST_START_INFO_CD" : "REINST_START_INFO_LOCAL", "INSTALL_START_INFO"};
    } else {
        names = {"INSTALL_START_INFO"};
    }
    for (const char* name : names) {
        if (std::optional<std::string> section = config->Section(name)) {
            return *section;
        }
    }
    return {};
}

}  // namespace

CSetupApp::CSetupApp(std::string command_line)
    : m_log(m_context.ProductInfo().program_name), m_strCommandLine(std::move(command_line)) {
    SetProcessLog(&m_log);
    g_app.store(this);
}

CSetupApp::~CSetupApp() {
    JoinPnPThreads();
    g_app.store(nullptr);
    SetProcessLog(nullptr);
}

CSetupApp* GetApp() {
    return g_app.load();
}

int CSetupApp::Run() {
    // There is no main window yet, so a successful start-up has no loop to run.
    InitInstance();
    return ExitInstance();
}

bool CSetupApp::InitInstance() {
    if (!m_context.Initialize()) {
        GetLog()->Write("Initilize global variable fail");
        return false;
    }
    if (!CheckSingleInstance()) {
        GetLog()->Write(
            "There is a previous running instance of this application, so it is terminated.");
        return false;
    }
    if (!CheckAdministrator()) {
        return false;
    }
    m_nRunMode = ReadCommandLine();
    if (m_nRunMode == kRunModeInstall && !CheckInstallRequirements()) {
        return false;
    }
    if (m_bSilent) {
        RunSilently();
        return false;
    }
    // The wizard comes with the user interface.
    return false;
}

bool CSetupApp::CheckAdministrator() {
    int code = 0;
    int family = 0;
    const bool nine_x = GetOSCode(&code, &family) && family == 10;
    if (!m_context.Options().device_install || nine_x || IsAdministrator()) {
        return true;
    }
    auto text = m_context.Profiles().data.Text("SYSTEM_REQUIREMENT", "MSG_IS_NOT_ADMIN");
    if (!text) {
        return true;
    }
    // A silent run never waits for a person: the message goes to the log instead.
    if (HasSilentSwitch(m_strCommandLine)) {
        GetLog()->Write("%s", text->c_str());
    } else {
        m_context.ShowMessageBox(nullptr, text->c_str(), m_context.Product().program_name.c_str(),
                                 qp::MB_OK);
    }
    return false;
}

bool CSetupApp::CheckInstallRequirements() {
    if (!InstalledValueExists("Dest_Dir")) {
        CRequirement requirement;
        if (!requirement.Check(m_context.Options().usb_only, m_context.Options().network)) {
            GetLog()->Write("This system could not satisfy the installer Minimum Requirement!");
            return false;
        }
    }
    const std::string& setting = m_context.Profiles().setting_file;
    if (!setting.empty() && FileExists(setting.c_str())) {
        char value[260] = {};
        qp::GetPrivateProfileStringA("INSTALL", "SILENT", "", value, sizeof(value), setting);
        if (std::string(value) == "1") {
            m_bSilent = true;
            m_nRunMode = kRunModeScript;
        }
    }
    return true;
}

void CSetupApp::RunSilently() {
    std::vector<char> buffer(4096, '\0');
    if (CRegistry::GetValue(m_context.Keys().installed.c_str(), "Dest_Dir", buffer.data(),
                            qp::HKEY_LOCAL_MACHINE, static_cast<DWORD>(buffer.size())) == 0) {
        m_context.SetDestination(buffer.data());
    }
    // Commands of a windowless run go through an interpreter of its own: there is no wizard.
    CCmdOperator commands;
    qx::commands::SetCommandOperator(&commands);
    const bool installing = m_nRunMode == kRunModeInstall || m_nRunMode == kRunModeScript;
    if (installing) {
        WriteRunInfo(true);
        RunPreInstaller(nullptr);
    }
    // The silent installation and removal themselves come with the installation engine.
    if (installing) {
        m_strStartSection = WindowlessStartSection(m_nRunMode);
        qx::commands::RunStartSectionCommand(commands, m_strStartSection, "END_CMD");
    }
    qx::commands::SetCommandOperator(nullptr);
}

bool CSetupApp::OnIdle(long /*count*/) {
    if (m_bInitialized && !m_bStarted) {
        GetLog()->Write("Start installation");
        m_bStarted = true;
    }
    return false;
}

int CSetupApp::ExitInstance() {
    GetLog()->Write("End of installation");
    if (m_mutex.IsValid()) {
        m_mutex.Release();
    }
    if (m_context.Options().device_install) {
        StopCompressPnPThread();
        StopActivePnPThread();
    }
    JoinPnPThreads();
    return 0;
}

void CSetupApp::RunPreInstaller(void* window) {
    const qx::context::ProfileSet& profiles = m_context.Profiles();
    const qx::context::RunPaths& paths = m_context.Paths();
    const qx::context::LanguageRecord& language = m_context.Language();
    const std::string command = "/P " + profiles.data_file + " /S " + paths.module_folder + " /D " +
                                paths.destination + " /R " + m_context.Keys().installing_history +
                                " /L " + language.dir + " /A " + language.abbr;
    GetLog()->Write("Call Pre-Installer : Command ==> %s", command.c_str());
    m_context.GetPlugIns().Preinstall(command.c_str(), window);
}

bool CSetupApp::StartPnPThread(std::atomic<int>& run_flag, std::thread& thread, bool remove_dialog,
                               const char* failure) {
    int code = 0;
    int family = 0;
    GetOSCode(&code, &family);
    if (code == 3 || code == 4 || code == 11 || code == 12) {
        return true;
    }
    const int was_running = run_flag.exchange(1);
    if (thread.joinable()) {
        if (was_running == 1) {
            return true;
        }
        thread.join();  // stopped but perhaps not yet gone: at most one nap away
    }
    CPlugInBinder* plugins = &m_context.GetPlugIns();
    try {
        thread = std::thread([&run_flag, plugins, remove_dialog] {
            while (run_flag.load() == 1) {
                if (remove_dialog) {
                    plugins->RemoveHardwareWizardDialog();
                } else {
                    plugins->MySetForegroundNHWdDialog();
                }
                // 5 s between calls, in short naps so that a stop is seen soon.
                for (int nap = 0; nap < 50 && run_flag.load() == 1; ++nap) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                }
            }
        });
    } catch (const std::system_error& error) {
        GetLog()->WriteWithError(qp::ErrorFromErrno(error.code().value()), "%s", failure);
        return false;
    }
    return true;
}

bool CSetupApp::StartCompressPnPThread() {
    return StartPnPThread(m_nCompressPnPRun, m_compressPnPThread, true,
                          "Create Compress PnP Thread error!!");
}

void CSetupApp::StopCompressPnPThread() {
    m_nCompressPnPRun = 0;
}

bool CSetupApp::StartActivePnPThread() {
    return StartPnPThread(m_nActivePnPRun, m_activePnPThread, false,
                          "Create Active PnP Thread error!!");
}

void CSetupApp::StopActivePnPThread() {
    m_nActivePnPRun = 0;
}

void CSetupApp::JoinPnPThreads() {
    m_nCompressPnPRun = 0;
    m_nActivePnPRun = 0;
    for (std::thread* thread : {&m_compressPnPThread, &m_activePnPThread}) {
        if (thread->joinable()) {
            thread->join();
        }
    }
}

int CSetupApp::ReadCommandLine() {
    GetLog()->Write("Parameter : %s", m_strCommandLine.c_str());
    int mode = kRunModeInstall;
    for (const Switch& entry : SplitCommandLine(m_strCommandLine)) {
        switch (entry.letter) {
            case 'A':
                m_context.SetDestination(entry.value.c_str());
                break;
            case 'D':
                mode = kRunModeDeleteAll;
                break;
            case 'L':
                m_context.SetLanguage(
                    static_cast<qp::LANGID>(qx::context::ParseConfiguredNumber(entry.value)),
                    false);
                break;
            case 'P':
                m_context.SetPort(entry.value.c_str());
                m_context.Paths().port_from_command_line = true;
                break;
            case 'R':
                mode = kRunModeReinstall;
                break;
            case 'U':
                mode = kRunModeUninstall;
                break;
            case 'S':
                m_bSilent = true;
                break;
            default:
                break;
        }
    }
    return mode;
}

bool CSetupApp::CheckSingleInstance() {
    const std::string name = m_context.ProductInfo().program_name + " Installer Program";
    qp::NamedMutex mutex = qp::CreateMutexA(true, name);
    DWORD error = qp::GetLastError();
    if (error == qp::kErrorSuccess && mutex.IsValid()) {
        m_mutex = std::move(mutex);
        return true;
    }
    if (error != qp::kErrorAlreadyExists) {
        return true;
    }
    if (qp::FindWindowA(name)) {
        qp::SendMessageToClass(name, qp::kWmUserActivate, 0, 0);
        return true;
    }
    return false;
}

void CSetupApp::WriteRunInfo(bool withProduct) {
    if (m_context.Options().main_only) {
        return;
    }
    const char* key = m_context.Keys().installing.c_str();
    const qp::HKEY root = qp::HKEY_LOCAL_MACHINE;
    const qx::context::ProductInfo& product = m_context.Product();
    if (withProduct) {
        CRegistry::SetValue(key, "MFG", product.mfg.c_str(), root);
        CRegistry::SetValue(key, "MDL", product.mdl.c_str(), root);
        CRegistry::SetValue(key, "VIDPID", product.vidpid.c_str(), root);
        CRegistry::SetValue(key, "Printer_Port", product.vidpid.c_str(), root);
        CRegistry::SetValue(key, "Program_Name", product.program_name.c_str(), root);
    }
    const qx::context::LanguageRecord& language = m_context.Language();
    CRegistry::SetValue(key, "LangCode", static_cast<DWORD>(language.unmapped), root);
    CRegistry::SetValue(key, "LangAbbr", language.abbr.c_str(), root);
    CRegistry::SetValue(key, "Dest_Dir", m_context.Paths().destination.c_str(), root);
    CRegistry::SetValue(key, "Win_Dir", m_context.Folders().windows.c_str(), root);
    CRegistry::SetValue(key, "Temp_Dir", m_context.Folders().temp.c_str(), root);
    CRegistry::SetValue(key, "STR_FILE", m_context.Profiles().string_file.c_str(), root);
    int code = 0;
    int family = 0;
    GetOSCode(&code, &family);
    DWORD os_version = family == 10 ? 1 : (family == 15 ? 2 : 4);
    if (os_version == 4 && m_context.Folders().is_64bit) {
        os_version = 5;
    }
    CRegistry::SetValue(key, "OS_Ver", os_version, root);
}
