// Test peer for the single-instance check: holds the installer's mutex (and, with --window, a
// window of its class) in the machine until killed, printing each message it is sent.
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>

#include "platform/sync.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: instance_holder NAME [--window]\n");
        return 2;
    }
    std::string name = argv[1];
    qx::platform::NamedMutex mutex = qx::platform::CreateMutexA(true, name);
    std::unique_ptr<qx::platform::WindowClassListener> window;
    if (argc > 2 && std::string(argv[2]) == "--window") {
        window = std::make_unique<qx::platform::WindowClassListener>(
            name, [](qx::platform::UINT message, qx::platform::DWORD, qx::platform::DWORD) {
                std::printf("message 0x%X\n", message);
                std::fflush(stdout);
                return qx::platform::DWORD{0};
            });
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        ::pause();
    }
}
