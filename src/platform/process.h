// Processes of the emulated machine: Windows command lines, CreateProcess, waits and exit codes,
// and ShellExecute's "open" through the machine's file associations, App Paths and shell keys.
// Programs are host executables at the host path of their Windows path, whatever their name.
//
// The machine's own "open" is the helper C:\Windows\qxshellopen.exe that `qxmachine init` seeds
// as the program of every association (see platform/shell_seed.h). Each run appends one line to
// the machine's run/shell-open.log: "open", then each argument, separated by tabs, ending with
// LF, in UTF-8 (tabs and line breaks inside an argument become blanks). With
// QXSETUP_HOST_OPEN=1 it also hands its target to the host's xdg-open.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/modules.h"  // kErrorBadExeFormat
#include "platform/win_types.h"

namespace qx::platform {

inline constexpr DWORD kInfinite = 0xFFFFFFFFu;
inline constexpr DWORD kWaitObject0 = 0;
inline constexpr DWORD kWaitFailed = 0xFFFFFFFFu;
inline constexpr DWORD kStillActive = 259;
inline constexpr DWORD kNormalPriorityClass = 0x20;
inline constexpr DWORD kErrorDirectory = 267;
inline constexpr DWORD kErrorNoAssociation = 1155;

// The Windows parser's split of a command line: blanks and tabs separate arguments outside
// double quotes; 2n backslashes before a quote give n backslashes and the quote toggles
// quoting, 2n+1 give n backslashes and a literal quote; a doubled quote inside quotes is a
// literal quote; other backslashes are literal. The first argument (the program) ends at the
// first blank outside quotes and takes backslashes as they are. An open quote runs to the end.
std::vector<std::string> CommandLineToArgs(std::string_view command_line);
// The reverse: an argument quoted so that CommandLineToArgs gives it back, and a whole line.
std::string QuoteArgument(std::string_view argument);
std::string ArgsToCommandLine(const std::vector<std::string>& args);

// A handle of a started process. Copies share the process; it is reaped exactly once, by
// whichever wait sees it end first (or in the background once the last copy goes).
class ProcessHandle {
  public:
    struct State;
    ProcessHandle() = default;
    explicit ProcessHandle(std::shared_ptr<State> state) : m_state(std::move(state)) {}

    bool IsValid() const { return m_state != nullptr; }
    explicit operator bool() const { return IsValid(); }
    DWORD ProcessId() const;
    void Close() { m_state.reset(); }

    std::shared_ptr<State> Shared() const { return m_state; }

  private:
    std::shared_ptr<State> m_state;
};

struct PROCESS_INFORMATION {
    ProcessHandle hProcess;
    DWORD dwProcessId = 0;
};

// The program a command line's first token names: a name without a folder is looked for in
// the running program's folder, the current folder, System and Windows; a relative path is
// taken against the current folder. A name without an extension is tried as it is and then
// with ".exe". An unquoted first token with blanks is tried piece by piece ("C:\Program"
// before "C:\Program Files\a.exe"), as Windows does. nullopt (last error 2) when none exists;
// rest receives the text after the program's token.
std::optional<std::string> FindProgram(std::string_view command_line, std::string* rest = nullptr);
// The same lookup for one name.
std::optional<std::string> SearchProgram(std::string_view name);

// CreateProcessA: application is used as it stands when given, else the command line's first
// token is looked up (FindProgram). current_folder null or empty keeps the caller's. The child
// gets the command line split by CommandLineToArgs and inherits the environment (the machine
// and its transient drives). False with the last error: 2 missing program, 267 bad folder,
// 5 not executable, 193 not a program, 87 nothing to run.
bool CreateProcessA(const char* application, const char* command_line, bool inherit_handles,
                    DWORD creation_flags, const char* current_folder, PROCESS_INFORMATION* info);

// 0 when the process has ended, 258 on time-out, kWaitFailed (last error 6) for no process.
DWORD WaitForSingleObject(const ProcessHandle& process, DWORD milliseconds);
// The exit code, 259 while it runs. A process ended by a signal gives an exception code
// (0xC0000005 for SIGSEGV and SIGBUS) or 1.
bool GetExitCodeProcess(const ProcessHandle& process, DWORD* exit_code);

// ShellExecute results below 33 are errors.
inline constexpr std::intptr_t kSeErrOutOfResources = 0;
inline constexpr std::intptr_t kSeErrFileNotFound = 2;
inline constexpr std::intptr_t kSeErrPathNotFound = 3;
inline constexpr std::intptr_t kSeErrAccessDenied = 5;
inline constexpr std::intptr_t kSeErrBadFormat = 11;
inline constexpr std::intptr_t kSeErrNoAssoc = 31;
inline constexpr std::intptr_t kShellExecuteOk = 42;

inline constexpr DWORD SEE_MASK_NOCLOSEPROCESS = 0x40;
inline constexpr DWORD SEE_MASK_FLAG_DDEWAIT = 0x100;
inline constexpr DWORD SEE_MASK_UNICODE = 0x4000;
inline constexpr int SW_SHOWNORMAL = 1;

struct SHELLEXECUTEINFOA {
    DWORD cbSize = sizeof(SHELLEXECUTEINFOA);
    DWORD fMask = 0;
    void* hwnd = nullptr;
    const char* lpVerb = nullptr;
    const char* lpFile = nullptr;
    const char* lpParameters = nullptr;
    const char* lpDirectory = nullptr;
    int nShow = SW_SHOWNORMAL;
    std::intptr_t hInstApp = 0;
    ProcessHandle hProcess;  // with SEE_MASK_NOCLOSEPROCESS
};

// "open" (or null): a program (.exe, .com, or a host-executable file without an extension)
// starts with the parameters; another file opens with HKCR\<.ext> -> ProgID ->
// shell\<verb>\command; a folder with HKCR\Folder or HKCR\Directory; "scheme:..." with
// HKCR\<scheme>; a bare name that is no file with App Paths\<name>. The result is above 32 on
// success, else 2, 3, 5, 11, 31 or 0, with the last error set.
std::intptr_t ShellExecuteA(void* hwnd, const char* verb, const char* file, const char* parameters,
                            const char* directory, int show);
bool ShellExecuteExA(SHELLEXECUTEINFOA* info);

}  // namespace qx::platform
