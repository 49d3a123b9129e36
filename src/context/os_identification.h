// The running Windows version as the disc's profiles name it: the platform key, the OS define
// string found in OS_DEFINE (searching older versions), the OS folder, and the system folders.
#pragma once

#include <string>

#include "platform/win_types.h"

class CInstallContext;

namespace qx::context {

struct SystemFolders;

// "0X%04X%02X%02X" of platform id, major and minor version.
std::string PlatformKey(qx::platform::DWORD platform_id, qx::platform::DWORD major,
                        qx::platform::DWORD minor);

void ReadSystemFolders(SystemFolders* folders);

// Fills the run paths' OS define string and OS folder from the data file's tables.
void IdentifyOs(CInstallContext* context);

}  // namespace qx::context
