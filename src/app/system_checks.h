// Checks start-up makes before any work (system requirements, administrator rights, the OS
// code) and the small system utilities many parts share.
#pragma once

#include <string>

#include "platform/win_types.h"

#include <vector>

namespace qx::app {

// Pieces of text between any of the delimiter characters (empty pieces dropped), and a text
// trimmed of the given characters at both ends.
std::vector<std::string> Split(const std::string& text, const char* delimiters);
std::string Trim(const std::string& text, const char* blanks);

// OS code and family: family 10 is the Windows 9x family, 15 NT 3 and 4, 17 NT 5 and later.
bool GetOSCode(int* code, int* family);
bool IsAdministrator();
bool WaitNoPendingInstall(bool raise_dialog);
// GetDriveTypeA of the path's root (the running module's when null), with Windows' kinds
// renumbered: removable 1, fixed 2, CD-ROM 3, remote 5.
int GetDriveKind(const char* path);
bool FileExists(const char* path);
bool PortExists(const char* name);
bool DeleteFileAndFolders(const char* path, bool keep_folders);
bool RemoveFolderChain(const std::string& folder);
qx::platform::DWORD RestoreSourcePath();
qx::platform::DWORD StartServiceAndWait(const char* name, int* state);
qx::platform::DWORD StopServiceAndWait(const char* name, int* state);
qx::platform::DWORD QueryServiceState(const char* name, int* state);
bool IsInList(const char* list, const char* name, const char* delimiters);
bool GetToken(const char* text, const char* delimiters, int index, char* out,
              qx::platform::DWORD size);
void ToHex(const unsigned char* bytes, int count, char* out);
void ShowErrorText(qx::platform::DWORD error, const char* caption);

// Folders of the machine's own layout (Windows, System, Program Files, the temporary folder
// and their parents) that a removal of emptied folders must never take away.
bool IsSystemFolder(const std::string& folder);

}  // namespace qx::app

// The data file's system requirements.
class CRequirement {
  public:
    CRequirement();
    virtual ~CRequirement();

    bool Check(bool usbOnly, bool network);
    bool CheckFreeSpace(const char* path, bool show);
    void ShowMessage(int kind);

    enum Kind { kNotSupported = 0, kNoFreeSpace = 1, kUsbNotAvailable = 2 };

    qx::platform::DWORD m_dwFreeSpace = 0;
    std::string m_strUnsupportedOs;
    std::string m_strNotSupportedMsg;
    std::string m_strNoFreeSpaceMsg;
    std::string m_strUsbNotAvailableMsg;
    bool m_bPresent = false;
};
