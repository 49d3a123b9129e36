// Cross-process objects of the machine: named mutexes (lock files under run/) and top-level
// window classes that another process can find and send a message to (a socket per window).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/win_types.h"

namespace qx::platform {

// A handle of a named mutex. The mutex exists while any process holds a handle to it.
class NamedMutex {
  public:
    NamedMutex() = default;
    ~NamedMutex();
    NamedMutex(NamedMutex&& other) noexcept;
    NamedMutex& operator=(NamedMutex&& other) noexcept;
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool IsValid() const { return m_fd >= 0; }
    bool IsOwned() const { return m_owned; }
    // ReleaseMutex: gives up ownership; false when this handle does not own it.
    bool Release();
    void Close();

  private:
    friend NamedMutex CreateMutexA(bool initially_owned, std::string_view name);
    int m_fd = -1;
    bool m_owned = false;
};

// CreateMutexA: the last error is 0 for a new mutex and 183 (ERROR_ALREADY_EXISTS) when it
// existed, in which case the handle is valid but does not own it.
NamedMutex CreateMutexA(bool initially_owned, std::string_view name);

// A window of a class, listening for messages from other processes until destroyed.
class WindowClassListener {
  public:
    using Handler = std::function<DWORD(UINT message, DWORD wparam, DWORD lparam)>;
    WindowClassListener(std::string_view class_name, Handler handler);
    ~WindowClassListener();
    WindowClassListener(const WindowClassListener&) = delete;
    WindowClassListener& operator=(const WindowClassListener&) = delete;

    bool IsListening() const { return m_listen_fd >= 0; }

  private:
    void Serve();

    Handler m_handler;
    std::string m_socket_name;
    int m_dir_fd = -1;
    int m_listen_fd = -1;
    int m_wake_fd = -1;
    std::thread m_thread;
};

// FindWindowA by class: true when a live window of that class exists on this machine.
bool FindWindowA(std::string_view class_name);
// SendMessage to the first live window of the class; false when none answered.
bool SendMessageToClass(std::string_view class_name, UINT message, DWORD wparam, DWORD lparam,
                        DWORD* result = nullptr);

}  // namespace qx::platform
