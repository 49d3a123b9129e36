#include "platform/modules.h"

#include <dlfcn.h>

#include <filesystem>
#include <optional>
#include <string_view>

#include "platform/errors.h"
#include "platform/paths.h"
#include "platform/system_library.h"

namespace qx::platform {

namespace fs = std::filesystem;

ModuleHandle& ModuleHandle::operator=(ModuleHandle&& other) noexcept {
    if (this != &other) {
        Reset();
        m_handle = other.m_handle;
        other.m_handle = nullptr;
    }
    return *this;
}

void ModuleHandle::Reset() {
    if (m_handle != nullptr) {
        ::dlclose(m_handle);
        m_handle = nullptr;
    }
}

ModuleHandle LoadModule(const char* windows_path) {
    if (windows_path == nullptr || *windows_path == '\0') {
        SetLastError(kErrorModNotFound);
        return ModuleHandle();
    }
    std::optional<std::string> full = FullWindowsPath(windows_path);
    std::optional<fs::path> host = full ? WindowsToHostPath(*full) : std::nullopt;
    std::error_code ec;
    if (!host || !fs::exists(*host, ec)) {
        SetLastError(kErrorModNotFound);
        return ModuleHandle();
    }
    // A folder would otherwise reach dlopen, which reports it like any unreadable file.
    if (!fs::is_regular_file(*host, ec)) {
        SetLastError(kErrorBadExeFormat);
        return ModuleHandle();
    }
    // Local binding: each module keeps its own copies of what it links in.
    void* handle = ::dlopen(host->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        // A module whose own dependency is missing is "not found", as on Windows.
        const char* reason = ::dlerror();
        const bool missing_dependency =
            reason != nullptr &&
            std::string_view(reason).find("cannot open shared object") != std::string_view::npos;
        SetLastError(missing_dependency ? kErrorModNotFound : kErrorBadExeFormat);
        return ModuleHandle();
    }
    return ModuleHandle(handle);
}

void* GetModuleProcAddress(const ModuleHandle& module, const char* name) {
    if (!module.IsValid() || name == nullptr) {
        SetLastError(kErrorInvalidHandle);
        return nullptr;
    }
    ::dlerror();
    void* address = ::dlsym(module.Get(), name);
    if (address == nullptr) {
        SetLastError(kErrorProcNotFound);
    }
    return address;
}

void FreeModule(ModuleHandle& module) {
    module.Reset();
}

}  // namespace qx::platform
