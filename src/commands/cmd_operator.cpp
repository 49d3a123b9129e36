#include "commands/cmd_operator.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

#include "app/log.h"
#include "app/setup_app.h"
#include "app/system_checks.h"
#include "commands/registry_commands.h"
#include "context/install_context.h"
#include "context/language.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/message_box.h"
#include "registry/registry_helper.h"

namespace qp = qx::platform;
using qx::commands::CommandRecord;

namespace {

constexpr const char* kDefaultCancelText =
    "Setup is not complete. If you quit the setup program now, the components you requested "
    "to add/remove will not be installed/uninstalled.\r\nYou may run the setup program at a "
    "later time to complete the operations.\r\nAre you sure you want to quit the setup?";

// Message box styles of the cancel question: warning icon with resume/exit or yes/no.
constexpr qp::UINT kStyleResumeExit = 54;
constexpr qp::UINT kStyleYesNo = 52;

std::string Upper(const std::string& text) {
    return qp::ToUpperMb(text, qp::GetACP());
}

bool SameNoCase(const std::string& a, const std::string& b) {
    return qp::EqualsNoCaseMb(a, b, qp::GetACP());
}

std::string Param(const CommandRecord& record, int index) {
    return record.param[index - 1];
}

bool IsSilentRun() {
    CSetupApp* app = GetApp();
    return app != nullptr && app->IsSilent();
}

std::string InstallingKey() {
    const qx::context::RegistryKeys* keys = GetRegistryKeys();
    return keys != nullptr ? keys->installing : std::string();
}

std::string MfgMdl() {
    const qx::context::ProductInfo* product = GetProductInfo();
    return product != nullptr ? product->mfg + product->mdl : std::string();
}

std::string Vidpid() {
    const qx::context::ProductInfo* product = GetProductInfo();
    return product != nullptr ? product->vidpid : std::string();
}

int ReadCancelType() {
    CConfig* config = GetConfig();
    if (config == nullptr) {
        return 0;
    }
    const std::string word = Upper(config->Text("DLG_COMMON", "CANCEL_TYPE").value_or(""));
    if (word == "OK_CANCEL") {
        return 1;
    }
    return word == "NULL" ? 2 : 0;
}

// The posting queue: copies of records, run in order on the user-interface thread.
std::atomic<CCmdOperator*> g_operator{nullptr};
std::mutex g_posted_mutex;
std::deque<std::unique_ptr<CommandRecord>> g_posted;

}  // namespace

const CCmdOperator::Entry CCmdOperator::kTable[] = {
    {"CT_OPEN_DLG", &CCmdOperator::OnOpenDialog},
    {"CT_DLG_BACK", &CCmdOperator::OnDialogBack},
    {"CT_DLG_CANCEL", &CCmdOperator::OnCancel},
    {"CT_APP_TERMINATE", &CCmdOperator::OnTerminate},
    {"CT_DLG_HELP", &CCmdOperator::OnNothing},
    {"CT_RUNDLL", &CCmdOperator::OnNothing},
    {"CT_RUNDLL_AND_TERMINATE", &CCmdOperator::OnNothing},
    {"CT_VIEW_LICESNE", &CCmdOperator::OnNothing},
    {"CT_EXE_FILE_WAIT", &CCmdOperator::OnExeWait},
    {"CT_EXE_FILE_NOWAIT", &CCmdOperator::OnExeNoWait},
    {"CT_EXE_FILE_ACTIVE", &CCmdOperator::OnExeActive},
    {"CT_EXE_AND_TERMINATE", &CCmdOperator::OnExeAndTerminate},
    {"CT_OPEN_FILE_WAIT", &CCmdOperator::OnOpenFile},
    {"CT_OPEN_FILE_NOWAIT", &CCmdOperator::OnOpenFile},
    {"CT_OPEN_URL", &CCmdOperator::OnOpenUrl},
    {"CT_OPEN_BROWSE", &CCmdOperator::OnOpenBrowse},
    {"CT_OPEN_MANUAL", &CCmdOperator::OnOpenManual},
    {"CT_ADDREG", &CCmdOperator::OnAddRegistry},
    {"CT_DELREG", &CCmdOperator::OnDeleteRegistry},
    {"CT_COPY_FILE", &CCmdOperator::OnCopyFile},
    {"CT_DELETE_FILE", &CCmdOperator::OnDeleteFile},
    {"CT_RUN_REMOTE_INSTALL", &CCmdOperator::OnRemoteInstall},
    {"CT_DELETE_ALL", &CCmdOperator::OnDeleteAll},
    {"CT_INSTALL_UPDATE", &CCmdOperator::OnInstallUpdate},
    {"CT_COMMAND", &CCmdOperator::OnCommand},
    {"CT_DO_MODAL", &CCmdOperator::OnDoModal},
    {"CT_FIND_LOCAL_PRINTER", &CCmdOperator::OnFindLocalPrinter},
    {"CT_CHECK_ITEM", &CCmdOperator::OnCheckItem},
    {"CT_OPEN_TEST_PAGE", &CCmdOperator::OnOpenTestPage},
    {"CT_PRINT_TEST_PAGE", &CCmdOperator::OnPrintTestPage},
    {"CT_PRINT_META_TEST_PAGE", &CCmdOperator::OnPrintMetaTestPage},
    {"CT_PRINT_PRN_TEST_PAGE", &CCmdOperator::OnPrintPrnTestPage},
    {"CT_REFRESH_SYSTEM", &CCmdOperator::OnRefreshSystem},
    {"CT_REMOVE_DEV", &CCmdOperator::OnRemoveDevice},
    {"CT_RMHW_DLG", &CCmdOperator::OnRemoveHardwareDialog},
    {"CT_START_PREVENT_PNP", &CCmdOperator::OnStartPreventPnP},
    {"CT_END_PREVENT_PNP", &CCmdOperator::OnEndPreventPnP},
    {"CT_DIAGNOSIS", &CCmdOperator::OnDiagnosis},
    {"CT_WRITE_ITEM_INFO", &CCmdOperator::OnWriteItemInfo},
    {"CT_CHANGE_LANG", &CCmdOperator::OnChangeLanguage},
    {"CT_SET_REMOTE_INSTALL", &CCmdOperator::OnSetRemoteInstall},
    {"CT_SET_INST_TYPE", &CCmdOperator::OnSetInstallType},
    {"CT_SET_SETUP_TYPE", &CCmdOperator::OnSetSetupType},
    {"CT_SHOW_TOGGLE", &CCmdOperator::OnShowToggle},
};

CCmdOperator::CCmdOperator() : m_nCancelType(ReadCancelType()) {}

CCmdOperator::~CCmdOperator() {
    // Stop a running wait before the host it would tell goes away.
    m_wait.thread.reset();
    CCmdOperator* self = this;
    g_operator.compare_exchange_strong(self, nullptr);
}

void CCmdOperator::SetHosts(const qx::commands::CommandHosts& hosts) {
    m_hosts = hosts;
    m_wait.host = hosts.wizard;
}

bool CCmdOperator::RunCommand(const CommandRecord* record) {
    if (record == nullptr) {
        return false;
    }
    // A private copy: the sender's record may be reused while this one runs.
    const std::unique_ptr<CommandRecord> copy = std::make_unique<CommandRecord>(*record);
    copy->type[qx::commands::kCommandFieldSize - 1] = '\0';
    for (char* field : copy->param) {
        field[qx::commands::kCommandFieldSize - 1] = '\0';
    }
    GetLog()->Write("Call Command : Type = %s, Param1=%s,Param2=%s,Param3=%s,Param4=%s,Param5=%s",
                    copy->type, copy->param[0], copy->param[1], copy->param[2], copy->param[3],
                    copy->param[4]);
    return Dispatch(*copy);
}

bool CCmdOperator::RunCommand(const std::string& type, const std::string& p1, const std::string& p2,
                              const std::string& p3, const std::string& p4, const std::string& p5) {
    return RunCommand(qx::commands::MakeRecord(type, p1, p2, p3, p4, p5).get());
}

bool CCmdOperator::Dispatch(const CommandRecord& record) {
    const std::string type = Upper(record.type);
    for (const Entry& entry : kTable) {
        if (type == entry.name) {
            return (this->*entry.handler)(record);
        }
    }
    return true;
}

bool CCmdOperator::Missing(const CommandRecord& record, const char* part) {
    GetLog()->Write("Command %s not run: %s is not available", record.type, part);
    return false;
}

void* CCmdOperator::Window() const {
    return m_hosts.wizard != nullptr && !IsSilentRun() ? m_hosts.wizard->Window() : nullptr;
}

// The pressed button in the order the buttons are shown: 1 first, 2 second.
int CCmdOperator::AskButton(const std::string& text, qp::UINT style) {
    CInstallContext* context = GetContext();
    int answer = 0;
    if (IsSilentRun() || context == nullptr) {
        answer = qp::DefaultMessageBoxAnswer(style);
    } else {
        answer = context->ShowMessageBox(Window(), text.c_str(),
                                         context->Product().program_name.c_str(), style);
    }
    if (answer == qp::IDYES) {
        return 1;
    }
    return answer == qp::IDNO ? 2 : answer;
}

bool CCmdOperator::RunChoice(const std::string& text) {
    if (text.size() >= 3 && SameNoCase(text.substr(0, 3), "CT_")) {
        return RunCommand(qx::commands::ParseSectionLine(text).get());
    }
    return RunCommand("CT_OPEN_DLG", text);
}

bool CCmdOperator::RunCommandSection(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    CConfig* configure = GetConfig();
    CConfig* command = GetCommandConfig();
    CConfig* source = nullptr;
    if (configure != nullptr && configure->HasSection(name.c_str())) {
        source = configure;
    } else if (command != nullptr && command->HasSection(name.c_str())) {
        source = command;
    }
    if (source == nullptr) {
        return false;
    }
    if (m_vecSections.size() >= static_cast<size_t>(qx::commands::kMaxSectionDepth)) {
        GetLog()->Write("Command section [%s] refused: sections nested deeper than %d",
                        name.c_str(), qx::commands::kMaxSectionDepth);
        // Unwind the cycle this name belongs to (from its first run on); the section that
        // entered the cycle goes on with its next line. A deep chain without a cycle unwinds
        // whole.
        m_nUnwindTo = 0;
        for (size_t i = 0; i < m_vecSections.size(); ++i) {
            if (SameNoCase(m_vecSections[i], name)) {
                m_nUnwindTo = static_cast<int>(i);
                break;
            }
        }
        return false;
    }
    const int level = static_cast<int>(m_vecSections.size());
    m_vecSections.push_back(name);
    for (const std::string& line : source->Entries(name.c_str())) {
        RunCommand(qx::commands::ParseSectionLine(line).get());
        if (m_nUnwindTo >= 0 && level >= m_nUnwindTo) {
            break;
        }
    }
    m_vecSections.pop_back();
    if (level == m_nUnwindTo) {
        m_nUnwindTo = -1;
    }
    return true;
}

bool CCmdOperator::IsSectionApplicable(const std::string& name) {
    return qx::commands::IsSectionApplicable(name);
}

void CCmdOperator::Terminate(bool cancelled) {
    const qx::context::RegistryKeys* keys = GetRegistryKeys();
    const qp::HKEY hklm = qp::HKEY_LOCAL_MACHINE;
    if (keys != nullptr && m_hosts.history != nullptr) {
        m_hosts.history->CopyHistory(keys->installing_history, keys->installed_history);
    } else {
        GetLog()->Write("Terminate: installation history not available, not copied");
    }
    // Without the item list it is unknown whether anything was installed, and removing the
    // installed records of a working installation cannot be undone: they are kept.
    if (m_hosts.items == nullptr) {
        GetLog()->Write("Terminate: item list not available, installed records kept");
    } else if (keys != nullptr && !m_hosts.items->IsThereInstalledItem()) {
        const qx::context::OptionRecord* options = GetOptions();
        if (cancelled && options != nullptr && options->network && m_hosts.printers != nullptr) {
            m_hosts.printers->DeleteRecordedPorts();
        }
        if (m_hosts.history != nullptr) {
            m_hosts.history->RemoveHistory(keys->installed_history);
        }
        CRegistry::DeleteKey(keys->installed.c_str(), false, hklm);
    }
    if (keys != nullptr && !keys->installing.empty()) {
        CRegistry::DeleteKey(keys->installing.c_str(), false, hklm);
    }
    m_bQuitRequested = true;
    if (m_hosts.wizard != nullptr) {
        m_hosts.wizard->PostQuit();
    }
}

// ---- Handlers

bool CCmdOperator::OnOpenDialog(const CommandRecord& record) {
    if (m_hosts.wizard == nullptr) {
        return Missing(record, "the wizard");
    }
    m_hosts.wizard->OpenDialog(0, Param(record, 1));
    return true;
}

bool CCmdOperator::OnDialogBack(const CommandRecord& record) {
    if (m_hosts.wizard == nullptr) {
        return Missing(record, "the wizard");
    }
    m_hosts.wizard->OpenDialog(-1, Param(record, 1));
    return true;
}

bool CCmdOperator::OnCancel(const CommandRecord& /*record*/) {
    std::string text = kDefaultCancelText;
    if (CConfig* config = GetConfig()) {
        text = config->Text("CANCEL_DLG", "CANCEL_MSG").value_or(text);
    }
    bool quit = true;
    if (m_nCancelType == 0) {
        quit = AskButton(text, kStyleResumeExit) == 2;
    } else if (m_nCancelType == 1) {
        quit = AskButton(text, kStyleYesNo) == 1;
    }
    if (quit) {
        Terminate(true);
    }
    return true;
}

bool CCmdOperator::OnTerminate(const CommandRecord& /*record*/) {
    Terminate(false);
    return true;
}

bool CCmdOperator::OnNothing(const CommandRecord& /*record*/) {
    return true;
}

bool CCmdOperator::OnExeWait(const CommandRecord& record) {
    return qx::commands::ExeFileWait(Param(record, 1), Param(record, 2), m_wait, 1);
}

bool CCmdOperator::OnExeNoWait(const CommandRecord& record) {
    return qx::commands::ExeFileNoWait(Param(record, 1), Param(record, 2));
}

bool CCmdOperator::OnExeActive(const CommandRecord& record) {
    return qx::commands::ExeFileWait(Param(record, 1), Param(record, 2), m_wait, 0);
}

bool CCmdOperator::OnExeAndTerminate(const CommandRecord& record) {
    return qx::commands::ExeAndTerminate(Param(record, 1), Param(record, 2),
                                         [this] { Terminate(false); });
}

bool CCmdOperator::OnOpenFile(const CommandRecord& record) {
    return qx::commands::OpenFile(Param(record, 1));
}

bool CCmdOperator::OnOpenUrl(const CommandRecord& record) {
    return qx::commands::OpenUrl(Param(record, 1));
}

bool CCmdOperator::OnOpenBrowse(const CommandRecord& record) {
    return qx::commands::OpenBrowse(Param(record, 1));
}

bool CCmdOperator::OnOpenManual(const CommandRecord& record) {
    return qx::commands::OpenManual(Param(record, 1), Param(record, 2), m_wait);
}

bool CCmdOperator::OnAddRegistry(const CommandRecord& record) {
    return qx::commands::AddRegistry(Param(record, 1));
}

bool CCmdOperator::OnDeleteRegistry(const CommandRecord& record) {
    return qx::commands::DeleteRegistry(Param(record, 1));
}

bool CCmdOperator::OnCopyFile(const CommandRecord& record) {
    if (m_hosts.families == nullptr) {
        return Missing(record, "the file commands");
    }
    return m_hosts.families->CopyFiles(Param(record, 1));
}

bool CCmdOperator::OnDeleteFile(const CommandRecord& record) {
    if (m_hosts.families == nullptr) {
        return Missing(record, "the file commands");
    }
    return m_hosts.families->DeleteFiles(Param(record, 1));
}

bool CCmdOperator::OnRemoteInstall(const CommandRecord& record) {
    if (m_hosts.families == nullptr) {
        return Missing(record, "remote installation");
    }
    return m_hosts.families->RunRemoteInstall();
}

bool CCmdOperator::OnDeleteAll(const CommandRecord& record) {
    if (m_hosts.families == nullptr) {
        return Missing(record, "the finishing commands");
    }
    return m_hosts.families->DeleteAll();
}

bool CCmdOperator::OnInstallUpdate(const CommandRecord& record) {
    if (m_hosts.families == nullptr) {
        return Missing(record, "the finishing commands");
    }
    return m_hosts.families->InstallUpdate();
}

bool CCmdOperator::OnCommand(const CommandRecord& record) {
    return RunCommandSection(Param(record, 1));
}

bool CCmdOperator::OnDoModal(const CommandRecord& record) {
    if (m_hosts.wizard == nullptr) {
        return Missing(record, "the wizard");
    }
    m_hosts.wizard->DoModal(Param(record, 1));
    return true;
}

bool CCmdOperator::OnFindLocalPrinter(const CommandRecord& record) {
    CInstallContext* context = GetContext();
    const bool found = context != nullptr && context->FindDevicePort(false);
    return RunChoice(Param(record, found ? 1 : 2));
}

bool CCmdOperator::OnCheckItem(const CommandRecord& record) {
    if (m_hosts.items == nullptr) {
        return Missing(record, "the item list");
    }
    const int count = m_hosts.items->Count();
    if (count == 0) {
        AskButton("There is no item to be installed!!!!", qp::MB_OK);
    }
    return RunChoice(Param(record, count == 1 ? 1 : 2));
}

bool CCmdOperator::OnOpenTestPage(const CommandRecord& record) {
    CInstallContext* context = GetContext();
    const bool found = context != nullptr && context->FindDevicePort(false);
    std::string page = Param(record, 2);
    if ((found && context->Paths().printer_installed) || page.empty()) {
        page = Param(record, 1);
    }
    qx::commands::PostCommand("CT_OPEN_DLG", page);
    return true;
}

bool CCmdOperator::AfterTestPage(int result, const std::string& printer) {
    if (result == -1) {
        PrintSystemTestPage(printer);
    }
    return true;
}

bool CCmdOperator::OnPrintTestPage(const CommandRecord& record) {
    CPlugInBinder* plugins = GetPlugIns();
    const int result = plugins != nullptr ? plugins->PrintTestPage(record.param[0], record.param[1],
                                                                   record.param[2], record.param[3])
                                          : -1;
    return AfterTestPage(result, Param(record, 1));
}

bool CCmdOperator::OnPrintMetaTestPage(const CommandRecord& record) {
    CPlugInBinder* plugins = GetPlugIns();
    const int result =
        plugins != nullptr ? plugins->MetaTestPage(record.param[0], record.param[1]) : -1;
    return AfterTestPage(result, Param(record, 1));
}

bool CCmdOperator::OnPrintPrnTestPage(const CommandRecord& record) {
    CPlugInBinder* plugins = GetPlugIns();
    const int result =
        plugins != nullptr ? plugins->PrintPrnFile(record.param[0], record.param[1]) : -1;
    return AfterTestPage(result, Param(record, 1));
}

void CCmdOperator::PrintSystemTestPage(const std::string& given) {
    std::string printer = given;
    if (printer.empty()) {
        std::vector<char> buffer(4096, '\0');
        if (CRegistry::GetValue(InstallingKey().c_str(), "Default_Printer", buffer.data(),
                                qp::HKEY_LOCAL_MACHINE,
                                static_cast<qp::DWORD>(buffer.size())) == 0) {
            printer = buffer.data();
        }
    }
    if (printer.empty()) {
        GetLog()->Write("System test page not printed: no printer name");
        return;
    }
    int code = 0;
    int family = 0;
    qx::app::GetOSCode(&code, &family);
    const char* method = family == 17 ? "printui" : "shell32";
    const qp::HKEY hklm = qp::HKEY_LOCAL_MACHINE;
    const char* key = qx::commands::kTestPageRequestKey;
    qp::DWORD count = 0;
    CRegistry::GetValue(key, "Count", &count, hklm, 0);
    ++count;
    const qp::SYSTEMTIME now = qp::GetLocalTime();
    char when[64];
    std::snprintf(when, sizeof(when), "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    const std::string data = printer + "|" + method + "|" + when;
    CRegistry::SetValue(key, std::to_string(count).c_str(), data.c_str(), hklm);
    CRegistry::SetValue(key, "Count", count, hklm);
}

bool CCmdOperator::OnRefreshSystem(const CommandRecord& /*record*/) {
    int code = 0;
    int family = 0;
    if (qx::app::GetOSCode(&code, &family) && (code == 11 || code == 12)) {
        return true;
    }
    if (CPlugInBinder* plugins = GetPlugIns()) {
        plugins->SystemRefresh(MfgMdl().c_str(), Vidpid().c_str());
    }
    return true;
}

bool CCmdOperator::OnRemoveDevice(const CommandRecord& /*record*/) {
    if (CPlugInBinder* plugins = GetPlugIns()) {
        plugins->RemoveUnknownDev(MfgMdl().c_str(), Vidpid().c_str());
    }
    return true;
}

bool CCmdOperator::OnRemoveHardwareDialog(const CommandRecord& /*record*/) {
    if (CPlugInBinder* plugins = GetPlugIns()) {
        plugins->RemoveHardwareWizardDialog();
    }
    return true;
}

bool CCmdOperator::OnStartPreventPnP(const CommandRecord& /*record*/) {
    if (CPlugInBinder* plugins = GetPlugIns()) {
        plugins->StartPreventPnP(MfgMdl().c_str());
    }
    return true;
}

bool CCmdOperator::OnEndPreventPnP(const CommandRecord& /*record*/) {
    if (CPlugInBinder* plugins = GetPlugIns()) {
        plugins->EndPreventPnP(MfgMdl().c_str());
    }
    return true;
}

bool CCmdOperator::OnDiagnosis(const CommandRecord& record) {
    if (m_hosts.printers == nullptr) {
        return Missing(record, "the printer operations");
    }
    const std::string default_name = m_hosts.printers->DefaultPrinterName();
    std::string name = Param(record, 1);
    bool compare = !name.empty();
    if (name.empty()) {
        name = default_name;
    }
    if (name.empty()) {
        const std::vector<std::string> installed = m_hosts.printers->InstalledPrinters();
        name = installed.empty() ? std::string() : installed.front();
        compare = !name.empty();
    }
    if (name.empty()) {
        GetLog()->Write("Diagnosis fail!! (Printer Name not found)");
        return false;
    }
    GetLog()->Write("Diagnose [%s]", name.c_str());
    CPlugInBinder* plugins = GetPlugIns();
    const qx::context::ProductInfo* product = GetProductInfo();
    if (plugins == nullptr || product == nullptr) {
        return true;
    }
    if (compare && !SameNoCase(name, default_name) &&
        plugins->DiagnosisEx(product->mfg.c_str(), name.c_str(), product->mdl.c_str(),
                             product->vidpid.c_str()) != 1) {
        return true;
    }
    plugins->Diagnosis(product->mfg.c_str(), name.c_str(), product->mdl.c_str(),
                       product->vidpid.c_str());
    return true;
}

bool CCmdOperator::OnWriteItemInfo(const CommandRecord& record) {
    if (m_hosts.items == nullptr) {
        return Missing(record, "the item list");
    }
    m_hosts.items->WriteItemInfo();
    return true;
}

bool CCmdOperator::OnChangeLanguage(const CommandRecord& record) {
    CInstallContext* context = GetContext();
    if (context == nullptr) {
        return Missing(record, "the installer context");
    }
    const qp::DWORD id = qx::context::ParseConfiguredNumber(Param(record, 1));
    context->SetLanguage(static_cast<qp::LANGID>(id), true);
    return true;
}

bool CCmdOperator::OnSetRemoteInstall(const CommandRecord& record) {
    qx::context::OptionRecord* options = GetOptions();
    if (options == nullptr) {
        return Missing(record, "the installer context");
    }
    options->remote_installation = std::atoi(qx::app::Trim(Param(record, 1), " \t").c_str()) != 0;
    return true;
}

bool CCmdOperator::OnSetInstallType(const CommandRecord& record) {
    CRegistry::SetValue(InstallingKey().c_str(), "Install_Type", record.param[0],
                        qp::HKEY_LOCAL_MACHINE);
    return true;
}

bool CCmdOperator::OnSetSetupType(const CommandRecord& record) {
    const std::string word = Param(record, 1);
    qp::DWORD value = 0;
    if (SameNoCase(word, "INSTALL")) {
        value = 1;
    } else if (SameNoCase(word, "UNINST")) {
        value = 2;
    } else if (SameNoCase(word, "REINST")) {
        value = 3;
    }
    CRegistry::SetValue(InstallingKey().c_str(), "Setup_Type", value, qp::HKEY_LOCAL_MACHINE);
    return true;
}

bool CCmdOperator::OnShowToggle(const CommandRecord& record) {
    if (m_hosts.wizard == nullptr) {
        return Missing(record, "the wizard");
    }
    std::vector<std::string> names;
    for (const std::string& piece : qx::app::Split(Param(record, 1), ",")) {
        names.push_back(qx::app::Trim(piece, " \t\""));
    }
    return m_hosts.wizard->ToggleObjects(names);
}

// ---- Process-wide ways in

namespace qx::commands {

void SetCommandOperator(CCmdOperator* op) {
    g_operator.store(op);
}

CCmdOperator* GetCommandOperator() {
    return g_operator.load();
}

bool SendCommand(const std::string& type, const std::string& p1, const std::string& p2,
                 const std::string& p3, const std::string& p4, const std::string& p5) {
    if (type.empty()) {
        return false;
    }
    CCmdOperator* op = GetCommandOperator();
    if (op == nullptr) {
        GetLog()->Write("Command %s not run: no command interpreter", type.c_str());
        return false;
    }
    return op->RunCommand(type, p1, p2, p3, p4, p5);
}

void PostCommand(const std::string& type, const std::string& p1, const std::string& p2,
                 const std::string& p3, const std::string& p4, const std::string& p5) {
    PostCommand(MakeRecord(type, p1, p2, p3, p4, p5).get());
}

void PostCommand(const CommandRecord* record) {
    if (IsSilentRun()) {
        return;
    }
    std::unique_ptr<CommandRecord> copy =
        record != nullptr ? std::make_unique<CommandRecord>(*record) : NewRecord();
    std::lock_guard lock(g_posted_mutex);
    g_posted.push_back(std::move(copy));
}

int RunPostedCommands() {
    int count = 0;
    for (;;) {
        std::unique_ptr<CommandRecord> record;
        {
            std::lock_guard lock(g_posted_mutex);
            if (g_posted.empty()) {
                return count;
            }
            record = std::move(g_posted.front());
            g_posted.pop_front();
        }
        if (CCmdOperator* op = GetCommandOperator()) {
            op->RunCommand(record.get());
        }
        ++count;
    }
}

size_t PostedCommandCount() {
    std::lock_guard lock(g_posted_mutex);
    return g_posted.size();
}

bool RunStartSectionCommand(CCmdOperator& op, const std::string& start_section, const char* key) {
    CConfig* config = GetConfig();
    if (config == nullptr) {
        return false;
    }
    if (std::optional<std::string> section = config->Text(start_section.c_str(), key)) {
        return op.RunCommand("CT_COMMAND", *section);
    }
    const std::string name = key;
    if (name == "START_CMD") {
        return false;
    }
    qp::DWORD setup_type = 0;
    if (CRegistry::GetValue(InstallingKey().c_str(), "Setup_Type", &setup_type,
                            qp::HKEY_LOCAL_MACHINE, 0) != 0) {
        return false;
    }
    std::string fallback;
    if (setup_type == 1) {
        fallback = "INST_" + name;
    } else if (setup_type == 2) {
        ItemHost* items = op.Hosts().items;
        if (items != nullptr && items->IsThereInstalledItem()) {
            return false;
        }
        fallback = "UNINST_" + name;
    } else if (setup_type >= 3 && setup_type <= 5) {
        fallback = "REINST_" + name;
    }
    return op.RunCommand("CT_COMMAND", fallback);
}

}  // namespace qx::commands
