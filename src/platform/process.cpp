#include "platform/process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/registry.h"

extern char** environ;

namespace qx::platform {

namespace fs = std::filesystem;

struct ProcessHandle::State {
    pid_t pid = -1;
    int pidfd = -1;
    std::mutex mutex;
    bool reaped = false;
    DWORD exit_code = kStillActive;

    ~State();
    // Reaps the process when it has ended; true once it has.
    bool TryReap();
};

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsLead(unsigned char c) {
    return c >= 0x80 && IsDbcsLeadByte(GetACP(), c);
}

// Index of the last backslash or slash, skipping DBCS trail bytes; npos when none.
size_t LastSeparator(std::string_view path) {
    size_t last = std::string_view::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        if (IsLead(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (path[i] == '\\' || path[i] == '/') {
            last = i;
        }
    }
    return last;
}

std::string FileNameOf(std::string_view path) {
    size_t sep = LastSeparator(path);
    return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

// ".txt" (as written) or empty when the file name has none.
std::string ExtensionOf(std::string_view path) {
    std::string name = FileNameOf(path);
    size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FolderOf(std::string_view path) {
    size_t sep = LastSeparator(path);
    return sep == std::string_view::npos ? std::string() : std::string(path.substr(0, sep));
}

std::string JoinPath(const std::string& folder, std::string_view name) {
    if (folder.empty()) {
        return std::string(name);
    }
    return folder.back() == '\\' ? folder + std::string(name) : folder + "\\" + std::string(name);
}

enum class Kind { kMissing, kFile, kFolder };

Kind KindOf(std::string_view win_path) {
    std::optional<fs::path> host = WindowsToHostPath(win_path);
    if (!host) {
        return Kind::kMissing;
    }
    std::error_code ec;
    fs::file_status status = fs::status(*host, ec);
    if (ec || !fs::exists(status)) {
        return Kind::kMissing;
    }
    return fs::is_directory(status) ? Kind::kFolder : Kind::kFile;
}

bool IsHostExecutable(std::string_view win_path) {
    std::optional<fs::path> host = WindowsToHostPath(win_path);
    return host && ::access(host->c_str(), X_OK) == 0;
}

// The existing file a candidate names, trying ".exe" after the name as it stands.
std::optional<std::string> ExistingProgram(const std::string& candidate) {
    std::optional<std::string> full = FullWindowsPath(candidate);
    if (!full) {
        return std::nullopt;
    }
    if (KindOf(*full) == Kind::kFile) {
        return full;
    }
    if (ExtensionOf(*full).empty() && KindOf(*full + ".exe") == Kind::kFile) {
        return *full + ".exe";
    }
    return std::nullopt;
}

bool IsUrl(std::string_view text) {
    size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 2) {
        return false;  // "C:\..." is a drive, not a scheme
    }
    for (size_t i = 0; i < colon; ++i) {
        char c = text[i];
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

std::string Trimmed(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

DWORD ExitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return static_cast<DWORD>(WEXITSTATUS(status));
    }
    if (WIFSIGNALED(status)) {
        int sig = WTERMSIG(status);
        if (sig == SIGSEGV || sig == SIGBUS) {
            return 0xC0000005u;
        }
        return 1;
    }
    return 1;
}

// A process nobody holds a handle to any more is reaped in the background, so it never
// stays a zombie.
void ReapInBackground(pid_t pid) {
    std::thread([pid] {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

int OpenPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
    long fd = ::syscall(SYS_pidfd_open, pid, 0);
    return fd < 0 ? -1 : static_cast<int>(fd);
#else
    (void)pid;
    return -1;
#endif
}

// Owns the argument and environment vectors handed to posix_spawn.
class SpawnArgs {
  public:
    explicit SpawnArgs(const std::vector<std::string>& args) : m_args(args) {
        for (std::string& arg : m_args) {
            m_pointers.push_back(arg.data());
        }
        m_pointers.push_back(nullptr);
    }
    char* const* Get() { return m_pointers.data(); }

  private:
    std::vector<std::string> m_args;
    std::vector<char*> m_pointers;
};

class SpawnActions {
  public:
    SpawnActions() { m_ok = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnActions() {
        if (m_ok) {
            ::posix_spawn_file_actions_destroy(&m_actions);
        }
    }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    bool Chdir(const fs::path& folder) {
        return m_ok && ::posix_spawn_file_actions_addchdir_np(&m_actions, folder.c_str()) == 0;
    }
    posix_spawn_file_actions_t* Get() { return &m_actions; }

  private:
    posix_spawn_file_actions_t m_actions;
    bool m_ok = false;
};

DWORD SpawnError(int err) {
    switch (err) {
        case ENOENT:
        case ENOTDIR:
            return kErrorFileNotFound;
        case EACCES:
        case EPERM:
            return kErrorAccessDenied;
        case ENOEXEC:
        case E2BIG:
            return kErrorBadExeFormat;
        case ENOMEM:
        case EAGAIN:
            return kErrorNotEnoughMemory;
        default:
            return ErrorFromErrno(err);
    }
}

}  // namespace

ProcessHandle::State::~State() {
    if (pidfd >= 0) {
        ::close(pidfd);
    }
    if (!reaped && pid > 0) {
        ReapInBackground(pid);
    }
}

bool ProcessHandle::State::TryReap() {
    std::lock_guard<std::mutex> lock(mutex);
    if (reaped) {
        return true;
    }
    int status = 0;
    pid_t result = 0;
    do {
        result = ::waitpid(pid, &status, WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == 0) {
        return false;
    }
    reaped = true;
    // ECHILD: someone reaped it behind our back (SIGCHLD ignored); its code is lost.
    exit_code = result > 0 ? ExitCodeOf(status) : 0;
    return true;
}

DWORD ProcessHandle::ProcessId() const {
    return m_state ? static_cast<DWORD>(m_state->pid) : 0;
}

std::vector<std::string> CommandLineToArgs(std::string_view line) {
    std::vector<std::string> args;
    size_t i = 0;
    while (i < line.size() && IsBlank(line[i])) {
        ++i;
    }
    if (i >= line.size()) {
        return args;
    }
    // The program: quotes group, nothing escapes.
    std::string program;
    bool quoted = false;
    for (; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && IsBlank(c)) {
            break;
        } else {
            program += c;
        }
    }
    args.push_back(program);
    while (true) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        std::string arg;
        quoted = false;
        while (i < line.size()) {
            char c = line[i];
            if (IsLead(static_cast<unsigned char>(c)) && i + 1 < line.size()) {
                arg += c;
                arg += line[i + 1];
                i += 2;
                continue;
            }
            if (!quoted && IsBlank(c)) {
                break;
            }
            if (c == '\\') {
                size_t count = 0;
                while (i < line.size() && line[i] == '\\') {
                    ++count;
                    ++i;
                }
                if (i < line.size() && line[i] == '"') {
                    arg.append(count / 2, '\\');
                    if (count % 2 == 1) {
                        arg += '"';
                        ++i;
                    }
                } else {
                    arg.append(count, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
                    arg += '"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}

std::string QuoteArgument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string out = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(backslashes * 2 + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    out += '"';
    return out;
}

std::string ArgsToCommandLine(const std::vector<std::string>& args) {
    std::string line;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) {
            line += ' ';
        }
        if (i > 0) {
            line += QuoteArgument(args[i]);
        } else if (args[0].empty() || args[0].find_first_of(" \t") != std::string::npos) {
            line += "\"" + args[0] + "\"";  // the program's token takes no escapes
        } else {
            line += args[0];
        }
    }
    return line;
}

std::optional<std::string> SearchProgram(std::string_view name) {
    std::string text = Trimmed(name);
    if (text.empty()) {
        SetLastError(kErrorFileNotFound);
        return std::nullopt;
    }
    std::vector<std::string> candidates;
    if (LastSeparator(text) != std::string::npos || (text.size() >= 2 && text[1] == ':')) {
        candidates.push_back(text);
    } else {
        for (const std::string& folder : {FolderOf(GetModuleFileNameA()), GetCurrentDirectoryA(),
                                          GetSystemDirectoryA(), GetWindowsDirectoryA()}) {
            if (!folder.empty()) {
                candidates.push_back(JoinPath(folder, text));
            }
        }
    }
    for (const std::string& candidate : candidates) {
        if (std::optional<std::string> found = ExistingProgram(candidate)) {
            return found;
        }
    }
    SetLastError(kErrorFileNotFound);
    return std::nullopt;
}

std::optional<std::string> FindProgram(std::string_view command_line, std::string* rest) {
    size_t i = 0;
    while (i < command_line.size() && IsBlank(command_line[i])) {
        ++i;
    }
    std::string_view line = command_line.substr(i);
    if (!line.empty() && line[0] == '"') {
        size_t close = line.find('"', 1);
        std::string_view name =
            line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
        if (rest != nullptr) {
            *rest = close == std::string_view::npos ? "" : std::string(line.substr(close + 1));
        }
        return SearchProgram(name);
    }
    // Unquoted: each blank is a possible end of the program's name.
    size_t end = 0;
    while (true) {
        end = line.find_first_of(" \t", end);
        std::string_view name = line.substr(0, end);
        if (!Trimmed(name).empty()) {
            if (std::optional<std::string> found = SearchProgram(name)) {
                if (rest != nullptr) {
                    *rest = end == std::string_view::npos ? "" : std::string(line.substr(end));
                }
                return found;
            }
        }
        if (end == std::string_view::npos) {
            break;
        }
        ++end;
    }
    SetLastError(kErrorFileNotFound);
    return std::nullopt;
}

bool CreateProcessA(const char* application, const char* command_line, bool /*inherit_handles*/,
                    DWORD /*creation_flags*/, const char* current_folder,
                    PROCESS_INFORMATION* info) {
    const bool has_app = application != nullptr && *application != '\0';
    const bool has_line = command_line != nullptr && *command_line != '\0';
    if (info == nullptr || (!has_app && !has_line)) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    std::optional<std::string> program;
    std::vector<std::string> args;
    if (has_app) {
        program = FullWindowsPath(application);
        if (!program || KindOf(*program) != Kind::kFile) {
            SetLastError(kErrorFileNotFound);
            return false;
        }
        args = has_line ? CommandLineToArgs(command_line) : std::vector<std::string>{*program};
    } else {
        std::string rest;
        program = FindProgram(command_line, &rest);
        if (!program) {
            return false;  // last error 2
        }
        // The program's token as written (without its quotes), then the rest as the child's
        // runtime would split it.
        std::string_view line(command_line);
        std::string first = Trimmed(line.substr(0, line.size() - rest.size()));
        std::erase(first, '"');
        std::vector<std::string> tail = CommandLineToArgs("x " + rest);
        args.assign(1, first);
        args.insert(args.end(), tail.begin() + 1, tail.end());
    }
    std::string folder = current_folder != nullptr && *current_folder != '\0'
                             ? std::string(current_folder)
                             : GetCurrentDirectoryA();
    std::optional<std::string> full_folder = FullWindowsPath(folder);
    if (!full_folder || KindOf(*full_folder) != Kind::kFolder) {
        SetLastError(kErrorDirectory);
        return false;
    }
    std::optional<fs::path> host_program = WindowsToHostPath(*program);
    std::optional<fs::path> host_folder = WindowsToHostPath(*full_folder);
    if (!host_program || !host_folder) {
        SetLastError(kErrorFileNotFound);
        return false;
    }
    SpawnActions actions;
    if (!actions.Chdir(*host_folder)) {
        SetLastError(kErrorNotEnoughMemory);
        return false;
    }
    SpawnArgs argv(args);
    pid_t pid = -1;
    int err =
        ::posix_spawn(&pid, host_program->c_str(), actions.Get(), nullptr, argv.Get(), environ);
    if (err != 0) {
        SetLastError(SpawnError(err));
        return false;
    }
    auto state = std::make_shared<ProcessHandle::State>();
    state->pid = pid;
    state->pidfd = OpenPidFd(pid);
    info->hProcess = ProcessHandle(state);
    info->dwProcessId = static_cast<DWORD>(pid);
    SetLastError(kErrorSuccess);
    return true;
}

DWORD WaitForSingleObject(const ProcessHandle& process, DWORD milliseconds) {
    std::shared_ptr<ProcessHandle::State> state = process.Shared();
    if (!state) {
        SetLastError(kErrorInvalidHandle);
        return kWaitFailed;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    while (!state->TryReap()) {
        int slice = -1;  // no limit
        if (milliseconds != kInfinite) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return kWaitTimeout;
            }
            slice = static_cast<int>(std::min<long long>(left.count(), INT_MAX));
        }
        if (state->pidfd >= 0) {
            pollfd fd{state->pidfd, POLLIN, 0};
            ::poll(&fd, 1, slice);
        } else {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(slice < 0 ? 10 : std::min(slice, 10)));
        }
    }
    return kWaitObject0;
}

bool GetExitCodeProcess(const ProcessHandle& process, DWORD* exit_code) {
    std::shared_ptr<ProcessHandle::State> state = process.Shared();
    if (!state || exit_code == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return false;
    }
    state->TryReap();
    std::lock_guard<std::mutex> lock(state->mutex);
    *exit_code = state->exit_code;
    return true;
}

// --- ShellExecute -------------------------------------------------------------------------

namespace {

// The default (or named) value of a HKCR or HKLM key as text; the native view first.
std::optional<std::string> ReadText(HKEY root, const std::string& path,
                                    const char* name = nullptr) {
    for (REGSAM view : {KEY_WOW64_64KEY, REGSAM{0}}) {
        RegKey key;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, key.Receive()) != 0) {
            continue;
        }
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key.Get(), name, nullptr, &type, nullptr, &size) != 0 ||
            (type != REG_SZ && type != REG_EXPAND_SZ)) {
            continue;
        }
        std::string data(size, '\0');
        if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size) != 0) {
            continue;
        }
        data.resize(std::min<size_t>(size, data.size()));
        while (!data.empty() && data.back() == '\0') {
            data.pop_back();
        }
        if (type == REG_EXPAND_SZ) {
            for (const auto& [var, value] :
                 {std::pair<std::string, std::string>{"%SystemRoot%", GetWindowsDirectoryA()},
                  {"%windir%", GetWindowsDirectoryA()}}) {
                for (size_t at = 0; (at = data.find(var, at)) != std::string::npos;) {
                    data.replace(at, var.size(), value);
                    at += value.size();
                }
            }
        }
        return data;
    }
    return std::nullopt;
}

std::string VerbOf(const char* verb) {
    return verb == nullptr || *verb == '\0' ? "open" : std::string(verb);
}

// The command of a HKCR class for a verb.
std::optional<std::string> ClassCommand(const std::string& cls, const std::string& verb) {
    return ReadText(HKEY_CLASSES_ROOT, cls + "\\shell\\" + verb + "\\command");
}

// Fills an association's command: %1 and %L the target, %* the parameters, %2..%9 single
// parameters, %% a percent sign. A command naming no %1 gets the target appended.
std::string FillCommand(const std::string& command, const std::string& target,
                        const std::string& parameters) {
    std::vector<std::string> params = CommandLineToArgs("x " + parameters);
    std::string out;
    bool used_target = false;
    for (size_t i = 0; i < command.size(); ++i) {
        char c = command[i];
        if (c != '%' || i + 1 >= command.size()) {
            out += c;
            continue;
        }
        char next = command[++i];
        if (next == '1' || next == 'l' || next == 'L') {
            out += target;
            used_target = true;
            // Inside quotes a trailing backslash ("C:\") would escape the closing quote.
            if (i + 1 < command.size() && command[i + 1] == '"') {
                size_t end = target.find_last_not_of('\\');
                out.append(target.size() - (end == std::string::npos ? 0 : end + 1), '\\');
            }
        } else if (next == '*') {
            out += parameters;
        } else if (next >= '2' && next <= '9') {
            size_t index = static_cast<size_t>(next - '1');
            if (index < params.size()) {
                out += params[index];
            }
        } else if (next == '%') {
            out += '%';
        } else {
            out += c;
            out += next;
        }
    }
    if (!used_target) {
        out += " " + QuoteArgument(target);
    }
    return out;
}

struct ShellResult {
    std::intptr_t code = kShellExecuteOk;
    ProcessHandle process;
};

ShellResult Fail(std::intptr_t code, DWORD error) {
    SetLastError(error);
    return ShellResult{code, {}};
}

ShellResult Start(const std::string& command_line, const char* application, const char* directory) {
    PROCESS_INFORMATION info;
    if (!CreateProcessA(application, command_line.c_str(), false, kNormalPriorityClass, directory,
                        &info)) {
        DWORD error = GetLastError();
        switch (error) {
            case kErrorFileNotFound:
                return Fail(kSeErrFileNotFound, error);
            case kErrorPathNotFound:
            case kErrorDirectory:
                return Fail(kSeErrPathNotFound, error);
            case kErrorAccessDenied:
                return Fail(kSeErrAccessDenied, error);
            case kErrorBadExeFormat:
                return Fail(kSeErrBadFormat, error);
            default:
                return Fail(kSeErrOutOfResources, error);
        }
    }
    return ShellResult{kShellExecuteOk, info.hProcess};
}

ShellResult OpenWithClass(const std::string& cls, const std::string& verb,
                          const std::string& target, const std::string& parameters,
                          const char* directory) {
    std::optional<std::string> command = ClassCommand(cls, verb);
    if (!command || Trimmed(*command).empty()) {
        return Fail(kSeErrNoAssoc, kErrorNoAssociation);
    }
    return Start(FillCommand(*command, target, parameters), nullptr, directory);
}

bool IsProgramFile(const std::string& path) {
    std::string ext = ToLowerMb(ExtensionOf(path), GetACP());
    if (ext == ".exe" || ext == ".com") {
        return true;
    }
    return ext.empty() && IsHostExecutable(path);
}

ShellResult OpenFile(const std::string& path, const std::string& verb,
                     const std::string& parameters, const char* directory) {
    const std::string lower_verb = ToLowerMb(verb, GetACP());
    if (IsProgramFile(path)) {
        if (lower_verb != "open" && lower_verb != "runas") {
            return Fail(kSeErrNoAssoc, kErrorNoAssociation);
        }
        std::string line = QuoteArgument(path);
        if (!Trimmed(parameters).empty()) {
            line += " " + parameters;
        }
        return Start(line, path.c_str(), directory);
    }
    std::string ext = ExtensionOf(path);
    if (ext.empty()) {
        return Fail(kSeErrNoAssoc, kErrorNoAssociation);
    }
    std::optional<std::string> prog_id = ReadText(HKEY_CLASSES_ROOT, ext);
    if (prog_id && !prog_id->empty() && ClassCommand(*prog_id, verb)) {
        return OpenWithClass(*prog_id, verb, path, parameters, directory);
    }
    // An extension key may carry the verb itself.
    return OpenWithClass(ext, verb, path, parameters, directory);
}

ShellResult OpenFolder(const std::string& path, const std::string& verb,
                       const std::string& parameters, const char* directory) {
    const std::string folder_verb = ToLowerMb(verb, GetACP()) == "explore" ? "open" : verb;
    for (const char* cls : {"Folder", "Directory"}) {
        if (ClassCommand(cls, folder_verb)) {
            return OpenWithClass(cls, folder_verb, path, parameters, directory);
        }
    }
    return Fail(kSeErrNoAssoc, kErrorNoAssociation);
}

// A name that is no file: the App Paths key of the name (with ".exe" when it has none).
ShellResult OpenAppPath(const std::string& name, const std::string& parameters,
                        const char* directory) {
    const std::string base = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
    std::vector<std::string> keys = {name};
    if (ExtensionOf(name).empty()) {
        keys.push_back(name + ".exe");
    }
    for (const std::string& key : keys) {
        std::optional<std::string> program = ReadText(HKEY_LOCAL_MACHINE, base + key);
        if (!program) {
            continue;
        }
        std::string path = Trimmed(*program);
        if (path.size() >= 2 && path.front() == '"' && path.back() == '"') {
            path = path.substr(1, path.size() - 2);
        }
        if (KindOf(path) != Kind::kFile) {
            return Fail(kSeErrFileNotFound, kErrorFileNotFound);
        }
        std::string line = QuoteArgument(path);
        if (!Trimmed(parameters).empty()) {
            line += " " + parameters;
        }
        return Start(line, path.c_str(), directory);
    }
    return Fail(kSeErrFileNotFound, kErrorFileNotFound);
}

ShellResult Execute(const char* verb_text, const char* file_text, const char* parameters_text,
                    const char* directory) {
    if (file_text == nullptr || Trimmed(file_text).empty()) {
        return Fail(kSeErrFileNotFound, kErrorFileNotFound);
    }
    const std::string verb = VerbOf(verb_text);
    const std::string file = Trimmed(file_text);
    const std::string parameters = parameters_text != nullptr ? parameters_text : "";
    if (IsUrl(file)) {
        return OpenWithClass(file.substr(0, file.find(':')), verb, file, parameters, directory);
    }
    const bool bare =
        LastSeparator(file) == std::string::npos && file.find(':') == std::string::npos;
    std::optional<std::string> path;
    if (bare) {
        if (KindOf(file) != Kind::kMissing) {
            path = FullWindowsPath(file);
        } else {
            path = SearchProgram(file);
        }
        if (!path) {
            return OpenAppPath(file, parameters, directory);
        }
    } else {
        path = FullWindowsPath(file);
        if (!path) {
            return Fail(kSeErrPathNotFound, kErrorPathNotFound);
        }
    }
    switch (KindOf(*path)) {
        case Kind::kFolder:
            return OpenFolder(*path, verb, parameters, directory);
        case Kind::kFile:
            return OpenFile(*path, verb, parameters, directory);
        case Kind::kMissing:
            break;
    }
    if (std::optional<std::string> exe = ExistingProgram(*path)) {
        return OpenFile(*exe, verb, parameters, directory);
    }
    return KindOf(FolderOf(*path)) == Kind::kFolder ? Fail(kSeErrFileNotFound, kErrorFileNotFound)
                                                    : Fail(kSeErrPathNotFound, kErrorPathNotFound);
}

}  // namespace

std::intptr_t ShellExecuteA(void* /*hwnd*/, const char* verb, const char* file,
                            const char* parameters, const char* directory, int /*show*/) {
    ShellResult result = Execute(verb, file, parameters, directory);
    if (result.code > 32) {
        SetLastError(kErrorSuccess);
    }
    return result.code;
}

bool ShellExecuteExA(SHELLEXECUTEINFOA* info) {
    if (info == nullptr || info->cbSize != sizeof(SHELLEXECUTEINFOA)) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    ShellResult result = Execute(info->lpVerb, info->lpFile, info->lpParameters, info->lpDirectory);
    info->hInstApp = result.code;
    info->hProcess =
        (info->fMask & SEE_MASK_NOCLOSEPROCESS) != 0 ? result.process : ProcessHandle();
    if (result.code <= 32) {
        return false;
    }
    SetLastError(kErrorSuccess);
    return true;
}

}  // namespace qx::platform
