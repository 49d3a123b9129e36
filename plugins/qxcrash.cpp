// A module for tests that fails on purpose in each way a module can: a write through a null
// pointer, a thrown exception, a division by zero, a stack overflow, an illegal instruction and
// a bus error. Never on a product disc.
#include <signal.h>

#include <stdexcept>

#include "modules/plugin_api.h"

namespace {

volatile int g_zero = 0;
volatile int g_depth_limit = 0;  // 0: no limit

__attribute__((noinline)) int Recurse(int depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (g_depth_limit != 0 && depth >= g_depth_limit) {
        return frame[0];
    }
    return Recurse(depth + 1) + frame[0];
}

}  // namespace

QX_PLUGIN_EXPORT QX_BOOL MyInstall(void*, const char*, const char*, QX_BOOL) {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 1;
}

QX_PLUGIN_EXPORT QX_BOOL MyCreateShortCut(void*, const char*, const char*) {
    throw std::runtime_error("shortcut");
}

QX_PLUGIN_EXPORT QX_DWORD GetDiskFreeSpaceQX(const char*) {
    return static_cast<QX_DWORD>(100 / g_zero);
}

QX_PLUGIN_EXPORT int Preinstall(const char*, void*) {
    return Recurse(0);
}

QX_PLUGIN_EXPORT QX_BOOL SaveFile(const char*, const char*, QX_DWORD) {
    __builtin_trap();
}

QX_PLUGIN_EXPORT QX_BOOL RemoveHardwareWizardDialog(void) {
    ::raise(SIGBUS);
    return 1;
}

// The one call that works, to show the module stays usable after its faults.
QX_PLUGIN_EXPORT QX_BOOL MySetForegroundNHWdDialog(void) {
    return 1;
}
