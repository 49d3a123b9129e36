// The command interpreter: runs CT_ command records, command sections and the commands that
// belong to no other family, and the process-wide ways in (run at once, or post a copy for
// the user-interface thread).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "commands/command_record.h"
#include "commands/launch.h"

namespace qx::commands {

// What the interpreter asks of the wizard frame (implemented by the user interface).
class WizardHost : public WaitHost {
  public:
    // WM_USER_OPEN_DLG: selector 0 opens the page text, -1 goes back.
    virtual void OpenDialog(int selector, const std::string& page) = 0;
    // Runs the page of that section modally; nothing when it names no page kind.
    virtual void DoModal(const std::string& section) = 0;
    // Toggles the named objects of the current page; false when there is no current page.
    virtual bool ToggleObjects(const std::vector<std::string>& names) = 0;
    // Owner for message boxes and shell calls.
    virtual void* Window() = 0;
    virtual void PostQuit() = 0;
};

// The item list.
class ItemHost {
  public:
    virtual ~ItemHost() = default;
    virtual int Count() = 0;
    virtual bool IsThereInstalledItem() = 0;
    // Checks the items whose install type asks for it and writes every item's record.
    virtual void WriteItemInfo() = 0;
};

// The installation history.
class HistoryHost {
  public:
    virtual ~HistoryHost() = default;
    virtual void CopyHistory(const std::string& from_key, const std::string& to_key) = 0;
    virtual void RemoveHistory(const std::string& key) = 0;
};

// The printer operations.
class PrinterHost {
  public:
    virtual ~PrinterHost() = default;
    virtual std::string DefaultPrinterName() = 0;
    virtual std::vector<std::string> InstalledPrinters() = 0;
    virtual void DeleteRecordedPorts() = 0;
};

// The file, remote-installation and finishing command families.
class FamilyHost {
  public:
    virtual ~FamilyHost() = default;
    virtual bool CopyFiles(const std::string& section) = 0;
    virtual bool DeleteFiles(const std::string& section) = 0;
    virtual bool RunRemoteInstall() = 0;
    virtual bool DeleteAll() = 0;
    virtual bool InstallUpdate() = 0;
};

// The parts the interpreter reaches; a null one is a part this build does not have yet, and
// its commands log that and fail.
struct CommandHosts {
    WizardHost* wizard = nullptr;
    ItemHost* items = nullptr;
    HistoryHost* history = nullptr;
    PrinterHost* printers = nullptr;
    FamilyHost* families = nullptr;
};

// Commands nest through CT_COMMAND; deeper than this a section is refused, which is what stops
// a section that runs itself.
inline constexpr int kMaxSectionDepth = 16;

// Where the system test page is recorded until the machine has a print spooler: one string
// value per request, named by its sequence number ("1", "2", ...), holding
// "<printer>|<method>|<YYYY-MM-DD hh:mm:ss>", method being printui (Windows 2000 and later)
// or shell32. The value Count holds the last sequence number.
inline constexpr const char* kTestPageRequestKey =
    "SYSTEM\\CurrentControlSet\\Control\\Print\\TestPages";

}  // namespace qx::commands

class CCmdOperator {
  public:
    using CommandRecord = qx::commands::CommandRecord;

    CCmdOperator();
    virtual ~CCmdOperator();
    CCmdOperator(const CCmdOperator&) = delete;
    CCmdOperator& operator=(const CCmdOperator&) = delete;

    void SetHosts(const qx::commands::CommandHosts& hosts);
    const qx::commands::CommandHosts& Hosts() const { return m_hosts; }

    // Runs one record at once; false for a null record. Unknown types are ignored (true).
    bool RunCommand(const CommandRecord* record);
    bool RunCommand(const std::string& type, const std::string& p1 = {}, const std::string& p2 = {},
                    const std::string& p3 = {}, const std::string& p4 = {},
                    const std::string& p5 = {});
    // CT_COMMAND: false when the name is empty or no file has the section.
    bool RunCommandSection(const std::string& name);
    bool IsSectionApplicable(const std::string& name);

    // Ends the run: history kept, records of a run that installed nothing removed, quit.
    void Terminate(bool cancelled);

    // 0 resume/exit, 1 yes/no, 2 none (read once, from DLG_COMMON / CANCEL_TYPE).
    int CancelType() const { return m_nCancelType; }
    // Set when Terminate asked to quit and there is no wizard to tell.
    bool QuitRequested() const { return m_bQuitRequested; }

  private:
    using Handler = bool (CCmdOperator::*)(const CommandRecord&);
    struct Entry {
        const char* name;
        Handler handler;
    };
    static const Entry kTable[];

    bool Dispatch(const CommandRecord& record);
    bool Missing(const CommandRecord& record, const char* part);
    bool RunChoice(const std::string& text);
    int AskButton(const std::string& text, qx::platform::UINT style);
    void* Window() const;
    bool AfterTestPage(int result, const std::string& printer);
    void PrintSystemTestPage(const std::string& printer);

    bool OnOpenDialog(const CommandRecord& record);
    bool OnDialogBack(const CommandRecord& record);
    bool OnCancel(const CommandRecord& record);
    bool OnTerminate(const CommandRecord& record);
    bool OnNothing(const CommandRecord& record);
    bool OnExeWait(const CommandRecord& record);
    bool OnExeNoWait(const CommandRecord& record);
    bool OnExeActive(const CommandRecord& record);
    bool OnExeAndTerminate(const CommandRecord& record);
    bool OnOpenFile(const CommandRecord& record);
    bool OnOpenUrl(const CommandRecord& record);
    bool OnOpenBrowse(const CommandRecord& record);
    bool OnOpenManual(const CommandRecord& record);
    bool OnAddRegistry(const CommandRecord& record);
    bool OnDeleteRegistry(const CommandRecord& record);
    bool OnCopyFile(const CommandRecord& record);
    bool OnDeleteFile(const CommandRecord& record);
    bool OnRemoteInstall(const CommandRecord& record);
    bool OnDeleteAll(const CommandRecord& record);
    bool OnInstallUpdate(const CommandRecord& record);
    bool OnCommand(const CommandRecord& record);
    bool OnDoModal(const CommandRecord& record);
    bool OnFindLocalPrinter(const CommandRecord& record);
    bool OnCheckItem(const CommandRecord& record);
    bool OnOpenTestPage(const CommandRecord& record);
    bool OnPrintTestPage(const CommandRecord& record);
    bool OnPrintMetaTestPage(const CommandRecord& record);
    bool OnPrintPrnTestPage(const CommandRecord& record);
    bool OnRefreshSystem(const CommandRecord& record);
    bool OnRemoveDevice(const CommandRecord& record);
    bool OnRemoveHardwareDialog(const CommandRecord& record);
    bool OnStartPreventPnP(const CommandRecord& record);
    bool OnEndPreventPnP(const CommandRecord& record);
    bool OnDiagnosis(const CommandRecord& record);
    bool OnWriteItemInfo(const CommandRecord& record);
    bool OnChangeLanguage(const CommandRecord& record);
    bool OnSetRemoteInstall(const CommandRecord& record);
    bool OnSetInstallType(const CommandRecord& record);
    bool OnSetSetupType(const CommandRecord& record);
    bool OnShowToggle(const CommandRecord& record);

    qx::commands::CommandHosts m_hosts;
    qx::commands::WaitRecord m_wait;
    int m_nCancelType = 0;
    // Names of the sections running, outermost first, and the level a refused section
    // unwinds to (-1: none).
    std::vector<std::string> m_vecSections;
    int m_nUnwindTo = -1;
    bool m_bQuitRequested = false;
};

namespace qx::commands {

// The interpreter that the process-wide ways in reach (the wizard's, or the windowless run's).
void SetCommandOperator(CCmdOperator* op);
CCmdOperator* GetCommandOperator();

// Runs a command at once through that interpreter; an empty type does nothing (false).
bool SendCommand(const std::string& type, const std::string& p1 = {}, const std::string& p2 = {},
                 const std::string& p3 = {}, const std::string& p4 = {},
                 const std::string& p5 = {});
// Queues a copy for the user-interface thread; windowless (silent) runs post nothing.
void PostCommand(const std::string& type, const std::string& p1 = {}, const std::string& p2 = {},
                 const std::string& p3 = {}, const std::string& p4 = {},
                 const std::string& p5 = {});
void PostCommand(const CommandRecord* record);
// On the user-interface thread: runs every posted record in order; the number run.
int RunPostedCommands();
// Posted and not yet run.
size_t PostedCommandCount();

// A key of the start section that names a command section: START_CMD, INSTALLING_CMD or
// END_CMD. The last two fall back, when absent, to INST_/UNINST_/REINST_ sections chosen by
// Setup_Type under the Installing key. False when nothing ran.
bool RunStartSectionCommand(CCmdOperator& op, const std::string& start_section, const char* key);

}  // namespace qx::commands
