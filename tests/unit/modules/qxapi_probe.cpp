// Test helper run inside a machine of another Windows version: reports what the optional
// system-function binder binds there and how the registry helper behaves on it.
#include <cstdio>
#include <cstring>
#include <string>

#include "modules/api_function.h"
#include "platform/errors.h"
#include "platform/registry.h"
#include "platform/system_library.h"
#include "registry/registry_helper.h"

namespace {

namespace qp = qx::platform;

// "bound": the names bound after Load, one per line.
int Bound() {
    CAPIFunction api;
    api.Load();
    for (const qx::modules::SystemBinding& binding : qx::modules::SystemBindings()) {
        if (api.IsBound(binding.function)) {
            std::printf("%s\n", binding.function);
        }
    }
    return 0;
}

// "move FROM TO": MoveFileExA through the binder with MOVEFILE_REPLACE_EXISTING.
int Move(const char* from, const char* to) {
    CAPIFunction api;
    api.Load();
    qp::SetLastError(0);
    const int result = api.MoveFileExA(from, to, qp::MOVEFILE_REPLACE_EXISTING);
    std::printf("result=%d error=%u\n", result, static_cast<unsigned>(qp::GetLastError()));
    return 0;
}

// "delete-denied KEY": deletes a key whose deletion the machine refuses.
int DeleteDenied(const char* key) {
    CRegistry::SetValue(key, "x", "1", qp::HKEY_LOCAL_MACHINE);
    qp::SetKeyDenyDelete(qp::HKEY_LOCAL_MACHINE, key, true);
    const auto result = CRegistry::DeleteKey(key, true, qp::HKEY_LOCAL_MACHINE);
    qp::RegKey opened;
    const bool exists =
        qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, key, 0, qp::KEY_READ, opened.Receive()) == 0;
    std::printf("result=%u exists=%d\n", static_cast<unsigned>(result), exists ? 1 : 0);
    return 0;
}

// "free DIR": GetDiskFreeSpaceExA through the binder.
int Free(const char* directory) {
    CAPIFunction api;
    api.Load();
    if (!api.IsBound("GetDiskFreeSpaceExA")) {
        std::printf("unbound\n");
        return 0;
    }
    qp::ULARGE_INTEGER available;
    qp::ULARGE_INTEGER total;
    qp::ULARGE_INTEGER free;
    const int result = qp::GetDiskFreeSpaceExA(directory, &available, &total, &free);
    std::printf("result=%d available=%llu free=%llu\n", result,
                static_cast<unsigned long long>(available.QuadPart),
                static_cast<unsigned long long>(free.QuadPart));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "bound" && argc == 2) {
        return Bound();
    }
    if (command == "move" && argc == 4) {
        return Move(argv[2], argv[3]);
    }
    if (command == "delete-denied" && argc == 3) {
        return DeleteDenied(argv[2]);
    }
    if (command == "free" && argc == 3) {
        return Free(argv[2]);
    }
    std::fprintf(stderr,
                 "usage: qxapi_probe bound | move FROM TO | delete-denied KEY | free DIR\n");
    return 2;
}
