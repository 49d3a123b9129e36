// What the machine says about itself: Windows version, languages, the user's rights.
#pragma once

#include "platform/win_types.h"

namespace qx::platform {

// OSVERSIONINFOEXA as Windows lays it out: 148 bytes for the basic form, 156 for the extended.
struct OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize = 0;
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
    char szCSDVersion[128] = {};
    WORD wServicePackMajor = 0;
    WORD wServicePackMinor = 0;
    WORD wSuiteMask = 0;
    BYTE wProductType = 0;
    BYTE wReserved = 0;
};
static_assert(sizeof(OSVERSIONINFOEXA) == 156);
inline constexpr DWORD kOsVersionInfoSize = 148;
inline constexpr DWORD kOsVersionInfoExSize = 156;

// Fills the form dwOSVersionInfoSize names; an extended request fails (87) on systems that
// only know the basic one.
bool GetVersionExA(OSVERSIONINFOEXA* info);

LANGID GetSystemDefaultLangID();
LANGID GetUserDefaultLangID();

// Whether the machine's user belongs to the Administrators group.
bool UserIsAdministrator();

}  // namespace qx::platform
