// Test helper run inside a machine of another Windows version or user: prints what the system
// checks answer there.
#include <cstdio>
#include <cstring>

#include "app/system_checks.h"

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "oscode") == 0) {
        int code = 0;
        int family = 0;
        if (!qx::app::GetOSCode(&code, &family)) {
            std::printf("none\n");
            return 0;
        }
        std::printf("code=%d family=%d\n", code, family);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "admin") == 0) {
        std::printf("admin=%d\n", qx::app::IsAdministrator() ? 1 : 0);
        return 0;
    }
    // "service NAME": start, query and stop results with the states reached.
    if (argc == 3 && std::strcmp(argv[1], "service") == 0) {
        int state = 0;
        const unsigned start = qx::app::StartServiceAndWait(argv[2], &state);
        std::printf("start=%u state=%d\n", start, state);
        state = 0;
        const unsigned query = qx::app::QueryServiceState(argv[2], &state);
        std::printf("query=%u state=%d\n", query, state);
        state = 0;
        const unsigned stop = qx::app::StopServiceAndWait(argv[2], &state);
        std::printf("stop=%u state=%d\n", stop, state);
        return 0;
    }
    std::fprintf(stderr, "usage: machine_probe oscode | admin | service NAME\n");
    return 2;
}
