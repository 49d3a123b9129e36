// Plug-in modules on the machine's drives: a Windows path resolved to its host file and loaded
// as a shared object, its exports found by name, with the error numbers LoadLibrary reports.
#pragma once

#include "platform/win_types.h"

namespace qx::platform {

inline constexpr DWORD kErrorBadExeFormat = 193;

// A loaded module; unloads itself when it goes away.
class ModuleHandle {
  public:
    ModuleHandle() = default;
    explicit ModuleHandle(void* handle) : m_handle(handle) {}
    ~ModuleHandle() { Reset(); }
    ModuleHandle(ModuleHandle&& other) noexcept : m_handle(other.m_handle) {
        other.m_handle = nullptr;
    }
    ModuleHandle& operator=(ModuleHandle&& other) noexcept;
    ModuleHandle(const ModuleHandle&) = delete;
    ModuleHandle& operator=(const ModuleHandle&) = delete;

    bool IsValid() const { return m_handle != nullptr; }
    void* Get() const { return m_handle; }
    void Reset();

  private:
    void* m_handle = nullptr;
};

// Loads the module at a Windows path. On failure the handle is empty and the last error is 126
// (no such file) or 193 (a folder, or a file that is not a loadable module).
ModuleHandle LoadModule(const char* windows_path);
// The exported function, or null with 127.
void* GetModuleProcAddress(const ModuleHandle& module, const char* name);
// Unloads at once; the same as letting the handle go.
void FreeModule(ModuleHandle& module);

}  // namespace qx::platform
