// A second process for the registry's multi-process tests; it works on the machine that
// QXSETUP_MACHINE names.
//   write PREFIX COUNT  one RegCreateKeyExA + RegSetValueExA + RegCloseKey per value under
//                       HKLM\SYSTEM\QxStress; exit status 0 only when every call returned 0.
//   burst COUNT         RegSetValueExA of v<i> = i under HKLM\SYSTEM\QxBurst, writing each
//                       index to stdout (4 bytes) once its call has returned 0.
//   view                creates HKLM\Software\QxView in the default view and prints the
//                       results of opening it through both views and through Wow6432Node.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/registry.h"

namespace qp = qx::platform;

namespace {

int Write(const std::string& prefix, int count) {
    int failures = 0;
    for (int i = 0; i < count; ++i) {
        qp::RegKey key;
        qp::LONG result =
            qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxStress", 0, nullptr, 0,
                                qp::KEY_WRITE, nullptr, key.Receive(), nullptr);
        if (result == 0) {
            std::string name = prefix + std::to_string(i);
            qp::DWORD value = static_cast<qp::DWORD>(i);
            result = qp::RegSetValueExA(key.Get(), name.c_str(), 0, qp::REG_DWORD,
                                        reinterpret_cast<const qp::BYTE*>(&value), 4);
        }
        if (result != 0) {
            std::fprintf(stderr, "%s%d: error %d\n", prefix.c_str(), i, static_cast<int>(result));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

int Burst(int count) {
    qp::RegKey key;
    if (qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxBurst", 0, nullptr, 0, qp::KEY_WRITE,
                            nullptr, key.Receive(), nullptr) != 0) {
        return 2;
    }
    for (int i = 0; i < count; ++i) {
        std::string name = "v" + std::to_string(i);
        qp::DWORD value = static_cast<qp::DWORD>(i);
        if (qp::RegSetValueExA(key.Get(), name.c_str(), 0, qp::REG_DWORD,
                               reinterpret_cast<const qp::BYTE*>(&value), 4) != 0) {
            return 3;
        }
        if (::write(STDOUT_FILENO, &value, sizeof(value)) != sizeof(value)) {
            return 4;
        }
    }
    return 0;
}

int View() {
    qp::RegKey key;
    qp::LONG created = qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, "Software\\QxView", 0, nullptr,
                                           0, qp::KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr);
    qp::RegKey native;
    qp::LONG native_open = qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, "Software\\QxView", 0,
                                             qp::KEY_READ | qp::KEY_WOW64_64KEY, native.Receive());
    qp::RegKey wow;
    qp::LONG wow_open = qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\QxView",
                                          0, qp::KEY_READ | qp::KEY_WOW64_64KEY, wow.Receive());
    std::printf("%d %d %d\n", static_cast<int>(created), static_cast<int>(native_open),
                static_cast<int>(wow_open));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "write" && argc == 4) {
        return Write(argv[2], std::atoi(argv[3]));
    }
    if (mode == "burst" && argc == 3) {
        return Burst(std::atoi(argv[2]));
    }
    if (mode == "view") {
        return View();
    }
    std::fprintf(stderr, "usage: registry_stress_helper write PREFIX COUNT | burst COUNT | view\n");
    return 64;
}
