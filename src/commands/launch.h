// The launch commands: programs started with or without waiting for them, documents, web
// addresses, folders and the manual opened through the shell, and the plain process runner
// the firmware update uses. The interpreter calls these with the command's parameters.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/process.h"
#include "platform/win_types.h"

namespace qx::commands {

// What a launch that waits needs from the wizard: the frame and the background window
// disabled while the program runs, and the end of the wait handed to the user-interface
// thread (which enables both again and, for flag 1, brings the frame to the front).
class WaitHost {
  public:
    virtual ~WaitHost() = default;
    virtual void DisableFrameAndBackground() = 0;
    virtual void EnableFrameAndBackground() = 0;
    // Called on the wait thread; must only post or send to the user-interface thread.
    virtual void PostEndWait(qx::platform::BYTE flag) = 0;
};

// Waits for a process on its own thread, then calls the host's PostEndWait with the flag.
// Destroying it stops the wait without calling the host, so a closing wizard never waits for
// a program the user left open.
class WaitThread {
  public:
    WaitThread(qx::platform::ProcessHandle process, WaitHost* host, qx::platform::BYTE flag);
    ~WaitThread();
    WaitThread(const WaitThread&) = delete;
    WaitThread& operator=(const WaitThread&) = delete;

    // True once the process ended and the host was told.
    bool Finished() const { return m_finished.load(); }

  private:
    void Run(qx::platform::ProcessHandle process, WaitHost* host, qx::platform::BYTE flag);

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::thread m_thread;
};

// The interpreter's one wait record: the host (null in silent runs: no window to disable and
// nothing to wait for) and the running wait.
struct WaitRecord {
    WaitHost* host = nullptr;
    std::unique_ptr<WaitThread> thread;
};

// CT_EXE_*: P1 resolved with the existence check, P2 expanded, started through the shell in
// the program's folder. The process, or none (after showing the system's error text).
std::optional<qx::platform::ProcessHandle> Launch(const std::string& program,
                                                  const std::string& arguments);

bool ExeFileNoWait(const std::string& program, const std::string& arguments);
// CT_EXE_FILE_WAIT (flag 1) and CT_EXE_FILE_ACTIVE (flag 0): true.
bool ExeFileWait(const std::string& program, const std::string& arguments, WaitRecord& wait,
                 qx::platform::BYTE flag);
// CT_EXE_AND_TERMINATE: terminate runs when the program started; true.
bool ExeAndTerminate(const std::string& program, const std::string& arguments,
                     const std::function<void()>& terminate);
// CT_OPEN_FILE_NOWAIT and CT_OPEN_FILE_WAIT (neither waits).
bool OpenFile(const std::string& document);
// CT_OPEN_URL: the browser first, then the address's own association.
bool OpenUrl(const std::string& address);
// CT_OPEN_BROWSE: always true.
bool OpenBrowse(const std::string& folder);
// CT_OPEN_MANUAL: the manual viewer, else the manual itself.
bool OpenManual(const std::string& manual, const std::string& viewer_argument, WaitRecord& wait);

// Runs a command line and waits for it up to wait_ms: 0, 87 (no command line), the
// CreateProcess error, 258 on time-out, or 1 after a fault.
qx::platform::DWORD RunExecute(const char* command_line, qx::platform::DWORD* exit_code,
                               qx::platform::DWORD wait_ms);

}  // namespace qx::commands
