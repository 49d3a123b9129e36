// Thread-local last error and the system texts of the Windows error numbers the program uses,
// as the machine's FormatMessage would return them.
#pragma once

#include <string>

#include "platform/win_types.h"

namespace qx::platform {

DWORD GetLastError();
void SetLastError(DWORD error);

// Maps a host errno to the Windows error number a Windows call would have reported.
DWORD ErrorFromErrno(int err);

// The system's text for an error number, ending with CR LF as Windows texts do; empty when the
// table has no text for the number.
std::string FormatSystemMessage(DWORD error);

}  // namespace qx::platform
