#include "commands/launch.h"

#include <chrono>
#include <exception>

#include "app/log.h"
#include "app/system_checks.h"
#include "context/install_context.h"
#include "context/placeholders.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace qx::commands {

namespace qp = qx::platform;

namespace {

constexpr qp::DWORD kLaunchMask =
    qp::SEE_MASK_NOCLOSEPROCESS | qp::SEE_MASK_FLAG_DDEWAIT | qp::SEE_MASK_UNICODE;

// A resolved path, or empty (logged by the resolution) when it names no file. An empty
// parameter names nothing rather than the disc's folder.
std::string ExistingPath(const std::string& text) {
    const std::string expanded = qx::context::ExpandPlaceholders(text);
    if (expanded.empty()) {
        return {};
    }
    return qx::context::ResolvePath(expanded, true);
}

// The folder a program starts in: its path without blanks, tabs and quotes around it, up to
// its last backslash.
std::string WorkingFolder(const std::string& path) {
    const std::string trimmed = qx::app::Trim(path, " \t\"");
    const size_t slash = trimmed.rfind('\\');
    return slash == std::string::npos ? std::string() : trimmed.substr(0, slash);
}

bool ShellExecuteEx(const std::string& file, const std::string& parameters,
                    const std::string& folder, qp::SHELLEXECUTEINFOA* info) {
    info->fMask = kLaunchMask;
    info->lpVerb = "open";
    info->lpFile = file.c_str();
    info->lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info->lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info->nShow = qp::SW_SHOWNORMAL;
    return qp::ShellExecuteExA(info);
}

void StartWait(WaitRecord& wait, qp::ProcessHandle process, qp::BYTE flag) {
    if (wait.host == nullptr) {
        return;
    }
    wait.host->DisableFrameAndBackground();
    wait.thread = std::make_unique<WaitThread>(std::move(process), wait.host, flag);
}

// The log lines of a failed ShellExecuteA; name is what was opened.
void LogShellFailure(std::intptr_t result, const char* name) {
    if (result == qp::kSeErrOutOfResources) {
        GetLog()->Write("The system is out of memory or resources.\r\n");
    } else if (result == qp::kSeErrNoAssoc) {
        GetLog()->Write("There is no association for the specified file type.\r\n");
    } else {
        GetLog()->WriteWithError(static_cast<qp::DWORD>(result), "%s", name);
    }
}

std::string ProgramDriveRoot() {
    CInstallContext* context = GetContext();
    std::string folder = context != nullptr ? context->Paths().module_folder : std::string();
    if (folder.empty()) {
        folder = qp::GetModuleFileNameA();
    }
    return folder.substr(0, 3);
}

// The manual viewer. The plug-in binder will own this path once it is part of the context.
std::string ManualViewer() {
    std::string text = ".\\data\\Qxopen.exe";
    if (CConfig* data = GetDataConfig()) {
        text = data->Text("INSTALLER_FILE_INFO", "QXOPEN_EXE").value_or(text);
    }
    return qx::context::ResolvePath(text, false);
}

}  // namespace

WaitThread::WaitThread(qp::ProcessHandle process, WaitHost* host, qp::BYTE flag)
    : m_thread(&WaitThread::Run, this, std::move(process), host, flag) {}

WaitThread::~WaitThread() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void WaitThread::Run(qp::ProcessHandle process, WaitHost* host, qp::BYTE flag) {
    // No time limit, in slices so that the owner can stop waiting.
    while (!m_stop.load()) {
        if (qp::WaitForSingleObject(process, 100) != qp::kWaitTimeout) {
            if (host != nullptr) {
                host->PostEndWait(flag);
            }
            m_finished = true;
            return;
        }
    }
}

std::optional<qp::ProcessHandle> Launch(const std::string& program, const std::string& arguments) {
    const std::string path = ExistingPath(program);
    if (path.empty()) {
        return std::nullopt;
    }
    const std::string parameters = qx::context::ExpandPlaceholders(arguments);
    qp::SHELLEXECUTEINFOA info;
    if (!ShellExecuteEx(path, parameters, WorkingFolder(path), &info) || !info.hProcess) {
        qx::app::ShowErrorText(qp::GetLastError(), path.c_str());
        return std::nullopt;
    }
    return info.hProcess;
}

bool ExeFileNoWait(const std::string& program, const std::string& arguments) {
    return Launch(program, arguments).has_value();
}

bool ExeFileWait(const std::string& program, const std::string& arguments, WaitRecord& wait,
                 qp::BYTE flag) {
    if (std::optional<qp::ProcessHandle> process = Launch(program, arguments)) {
        StartWait(wait, std::move(*process), flag);
    }
    return true;
}

bool ExeAndTerminate(const std::string& program, const std::string& arguments,
                     const std::function<void()>& terminate) {
    if (Launch(program, arguments) && terminate) {
        terminate();
    }
    return true;
}

bool OpenFile(const std::string& document) {
    const std::string path = ExistingPath(document);
    if (path.empty()) {
        return false;
    }
    if (qp::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, qp::SW_SHOWNORMAL) <=
        32) {
        qx::app::ShowErrorText(qp::GetLastError(), path.c_str());
    }
    return true;
}

bool OpenUrl(const std::string& address) {
    std::intptr_t result = qp::ShellExecuteA(nullptr, "open", "IEXPLORE.EXE", address.c_str(),
                                             nullptr, qp::SW_SHOWNORMAL);
    if (result >= 33) {
        return true;
    }
    LogShellFailure(result, "Open IEXPLORE.EXE");
    result =
        qp::ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, qp::SW_SHOWNORMAL);
    if (result >= 33) {
        return true;
    }
    LogShellFailure(result, "Open");
    return false;
}

bool OpenBrowse(const std::string& folder) {
    const std::string expanded = qx::context::ExpandPlaceholders(folder);
    std::string path = expanded.empty() ? std::string() : qx::context::ResolvePath(expanded, false);
    if (path.empty()) {
        path = ProgramDriveRoot();
    }
    if (path.empty() || path.back() != '\\') {
        path += '\\';
    }
    GetLog()->Write("Open Browse : %s", path.c_str());
    if (qp::ShellExecuteA(nullptr, "open", path.c_str(), nullptr, nullptr, qp::SW_SHOWNORMAL) <=
        32) {
        qx::app::ShowErrorText(qp::GetLastError(), "");
    }
    return true;
}

bool OpenManual(const std::string& manual, const std::string& viewer_argument, WaitRecord& wait) {
    const std::string viewer = ManualViewer();
    const std::string path = ExistingPath(manual);
    const std::string argument = qx::context::ExpandPlaceholders(viewer_argument);
    if (path.empty()) {
        return false;
    }
    const std::string parameters = "/T " + path + " " + argument;
    qp::SHELLEXECUTEINFOA info;
    if (ShellExecuteEx(viewer, parameters, "", &info)) {
        StartWait(wait, info.hProcess, 0);
        return true;
    }
    GetLog()->WriteWithError(qp::GetLastError(), "Open Manual");
    qp::SHELLEXECUTEINFOA direct;
    if (ShellExecuteEx(path, "", "", &direct)) {
        return true;
    }
    qx::app::ShowErrorText(qp::GetLastError(), path.c_str());
    return false;
}

qp::DWORD RunExecute(const char* command_line, qp::DWORD* exit_code, qp::DWORD wait_ms) {
    try {
        if (command_line == nullptr || *command_line == '\0') {
            GetLog()->Write("Fail !!! Invalid Parameter in RunExecute !!!");
            return qp::kErrorInvalidParameter;
        }
        GetLog()->Write("[RunExecute] Execute command  = [%s], wait time = %d", command_line,
                        static_cast<int>(wait_ms));
        qp::PROCESS_INFORMATION info;
        if (!qp::CreateProcessA(nullptr, command_line, false, qp::kNormalPriorityClass, nullptr,
                                &info)) {
            const qp::DWORD error = qp::GetLastError();
            GetLog()->WriteWithError(error, "[RunExecute] Run Execute FAIL!!!!");
            return error;
        }
        const qp::DWORD waited = qp::WaitForSingleObject(info.hProcess, wait_ms);
        if (waited == qp::kWaitTimeout) {
            return qp::kWaitTimeout;
        }
        if (waited != qp::kWaitObject0) {
            return qp::GetLastError();
        }
        qp::DWORD code = 0;
        if (qp::GetExitCodeProcess(info.hProcess, &code)) {
            if (exit_code != nullptr) {
                *exit_code = code;
            }
            GetLog()->Write("[RunExecute] Process Exit Code = %d", static_cast<int>(code));
        } else {
            GetLog()->WriteWithError(qp::GetLastError(),
                                     "[RunExecute] Get ExitCode from Process FAIL!!!!");
        }
        return 0;
    } catch (...) {
        GetLog()->Write("GPF !!! CFWUpdateUtil::RunCmd !!!");
        return 1;
    }
}

}  // namespace qx::commands
