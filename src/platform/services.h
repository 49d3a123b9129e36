// Services of the machine: each one a key under Services with its current state, moving
// through the pending states as Windows services do, so callers' waits are real.
#pragma once

#include "platform/win_types.h"

namespace qx::platform {

inline constexpr DWORD SERVICE_STOPPED = 1;
inline constexpr DWORD SERVICE_START_PENDING = 2;
inline constexpr DWORD SERVICE_STOP_PENDING = 3;
inline constexpr DWORD SERVICE_RUNNING = 4;

inline constexpr DWORD kErrorServiceAlreadyRunning = 1056;
inline constexpr DWORD kErrorServiceDoesNotExist = 1060;
inline constexpr DWORD kErrorServiceNotActive = 1062;

struct SERVICE_STATUS {
    DWORD dwServiceType = 0x10;  // own process
    DWORD dwCurrentState = SERVICE_STOPPED;
    DWORD dwControlsAccepted = 0;
    DWORD dwWin32ExitCode = 0;
    DWORD dwServiceSpecificExitCode = 0;
    DWORD dwCheckPoint = 0;
    DWORD dwWaitHint = 0;
};

// OpenSCManager + OpenService with full access: 0, 5 for a user who is no administrator, or
// 1060 for a service the machine does not have.
DWORD OpenServiceForControl(const char* name);
// StartService: the service enters start-pending; 1056 when it runs already.
DWORD StartServiceA(const char* name);
// ControlService(SERVICE_CONTROL_STOP): the service enters stop-pending; 1062 when stopped.
DWORD StopService(const char* name, SERVICE_STATUS* status);
// QueryServiceStatus: each query of a pending service advances its check point; after the
// number of queries the service's `PendingQueries` value names (2 by default) it settles.
DWORD QueryServiceStatus(const char* name, SERVICE_STATUS* status);

}  // namespace qx::platform
