#include "app/setup_app.h"

#include "app/command_line.h"
#include "platform/errors.h"
#include "platform/messages.h"

namespace {

namespace qp = qx::platform;
using namespace qx::app;

std::atomic<CSetupApp*> g_app{nullptr};

}  // namespace

CSetupApp::CSetupApp(std::string command_line)
    : m_log(m_context.ProductInfo().program_name), m_strCommandLine(std::move(command_line)) {
    SetProcessLog(&m_log);
    g_app.store(this);
}

CSetupApp::~CSetupApp() {
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
    if (!CheckSingleInstance()) {
        GetLog()->Write(
            "There is a previous running instance of this application, so it is terminated.");
        return false;
    }
    m_nRunMode = ReadCommandLine();
    // Silent runs end here; their work and the wizard come with the parts that install.
    return false;
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
    return 0;
}

int CSetupApp::ReadCommandLine() {
    GetLog()->Write("Parameter : %s", m_strCommandLine.c_str());
    int mode = kRunModeInstall;
    for (const Switch& entry : SplitCommandLine(m_strCommandLine)) {
        switch (entry.letter) {
            case 'D':
                mode = kRunModeDeleteAll;
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
                break;  // A, L and P act on folders, language and port the context owns
        }
    }
    return mode;
}

bool CSetupApp::CheckSingleInstance() {
    const std::string name = m_context.ProductInfo().program_name + " Installer Program";
    qp::NamedMutex mutex = qp::CreateMutexA(true, name);
    qp::DWORD error = qp::GetLastError();
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
