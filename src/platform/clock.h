// Local time of the machine, as GetLocalTime reports it.
#pragma once

#include "platform/win_types.h"

namespace qx::platform {

struct SYSTEMTIME {
    WORD wYear = 0;
    WORD wMonth = 0;      // 1..12
    WORD wDayOfWeek = 0;  // 0 = Sunday
    WORD wDay = 0;
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
};

SYSTEMTIME GetLocalTime();
DWORD GetTickCount();
void Sleep(DWORD milliseconds);

}  // namespace qx::platform
