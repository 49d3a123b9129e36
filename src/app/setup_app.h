// The application object: owns the run's long-lived objects, decides the run mode from the
// command line, guards against a second instance and runs start-up and shut-down in order.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "app/log.h"
#include "context/install_context.h"
#include "platform/sync.h"

namespace qx::app {

enum RunMode : int {
    kRunModeNone = 0,
    kRunModeInstall = 1,
    kRunModeUninstall = 2,
    kRunModeReinstall = 3,
    kRunModeReinstallLocal = 4,
    kRunModeReinstallDisc = 5,
    kRunModeDeleteAll = 6,
    kRunModeScript = 7,
};

}  // namespace qx::app

class CSetupApp {
  public:
    // command_line is the text after the program name, as Windows hands it over.
    explicit CSetupApp(std::string command_line);
    virtual ~CSetupApp();
    CSetupApp(const CSetupApp&) = delete;
    CSetupApp& operator=(const CSetupApp&) = delete;

    // The shell: start-up, the message loop while a main window exists, shut-down.
    int Run();

    bool InitInstance();
    bool OnIdle(long count);
    int ExitInstance();

    int ReadCommandLine();
    bool CheckSingleInstance();
    void WriteRunInfo(bool withProduct);

    // Hands the run's files, folders and language to the pre-installer module; window is the
    // owner for anything it shows (null without one).
    void RunPreInstaller(void* window);

    // Threads that keep closing (compress) or raising (active) the new-hardware dialog every
    // 5 s through the utility module. The stops only lower the flag; ExitInstance waits for
    // both, so that neither outlives the context and the module it calls.
    bool StartCompressPnPThread();
    void StopCompressPnPThread();
    bool StartActivePnPThread();
    void StopActivePnPThread();

    bool IsSilent() const { return m_bSilent; }
    int RunMode() const { return m_nRunMode; }
    const std::string& StartSection() const { return m_strStartSection; }

  private:
    bool CheckAdministrator();
    bool CheckInstallRequirements();
    void RunSilently();
    bool StartPnPThread(std::atomic<int>& run_flag, std::thread& thread, bool remove_dialog,
                        const char* failure);
    void JoinPnPThreads();

    // Members in the order start-up builds them.
    bool m_bBackgroundShown = false;
    bool m_bWizardOwned = true;
    CInstallContext m_context;
    CLog m_log;
    bool m_bStarted = false;
    bool m_bInitialized = false;
    bool m_bSilent = false;
    qx::platform::NamedMutex m_mutex;
    int m_nRunMode = qx::app::kRunModeInstall;
    std::atomic<int> m_nCompressPnPRun{1};
    std::atomic<int> m_nActivePnPRun{1};
    std::string m_strStartSection;
    std::string m_strCommandLine;
    // Last, so that they are gone before anything they use.
    std::thread m_compressPnPThread;
    std::thread m_activePnPThread;
};

// The running application object (null outside a run).
CSetupApp* GetApp();
