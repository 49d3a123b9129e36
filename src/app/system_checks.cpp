#include "app/system_checks.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "app/log.h"
#include "context/install_context.h"
#include "context/placeholders.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "platform/message_box.h"
#include "platform/paths.h"
#include "platform/ports.h"
#include "platform/registry.h"
#include "platform/services.h"
#include "platform/system_info.h"
#include "platform/system_library.h"

namespace qp = qx::platform;
using qp::DWORD;

namespace qx::app {

std::vector<std::string> Split(const std::string& text, const char* delimiters) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of(delimiters, start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            pieces.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return pieces;
}

std::string Trim(const std::string& text, const char* blanks) {
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

namespace {

bool Empty(const char* text) {
    return text == nullptr || *text == '\0';
}

bool FolderVisible(const std::string& folder) {
    return qp::GetFileAttributesA(folder) != qp::kInvalidFileAttributes;
}

bool RemoveDirectory(const std::string& folder) {
    if (IsSystemFolder(folder)) {
        qp::SetLastError(qp::kErrorAccessDenied);
        return false;
    }
    std::optional<std::filesystem::path> host = qp::WindowsToHostPath(folder);
    std::error_code ec;
    if (!host || !std::filesystem::is_directory(*host, ec)) {
        qp::SetLastError(qp::kErrorFileNotFound);
        return false;
    }
    if (!std::filesystem::is_empty(*host, ec)) {
        qp::SetLastError(qp::kErrorDirNotEmpty);
        return false;
    }
    if (!std::filesystem::remove(*host, ec)) {
        qp::SetLastError(qp::ErrorFromErrno(ec.value()));
        return false;
    }
    return true;
}

// Waits while a service is in the given pending state, the way the wait hint asks.
DWORD WaitWhilePending(const char* name, DWORD pending, int* state) {
    qp::SERVICE_STATUS status;
    if (DWORD error = qp::QueryServiceStatus(name, &status); error != 0) {
        return error;
    }
    DWORD start = qp::GetTickCount();
    DWORD check_point = status.dwCheckPoint;
    while (status.dwCurrentState == pending) {
        DWORD wait = std::min<DWORD>(std::max<DWORD>(status.dwWaitHint / 10, 100), 1000);
        qp::Sleep(wait);
        if (DWORD error = qp::QueryServiceStatus(name, &status); error != 0) {
            return error;
        }
        if (status.dwCheckPoint > check_point) {
            start = qp::GetTickCount();
            check_point = status.dwCheckPoint;
        } else if (qp::GetTickCount() - start > status.dwWaitHint) {
            break;
        }
    }
    *state = static_cast<int>(status.dwCurrentState);
    return 0;
}

}  // namespace

bool GetOSCode(int* code, int* family) {
    qp::OSVERSIONINFOEXA info;
    info.dwOSVersionInfoSize = qp::kOsVersionInfoExSize;
    bool extended = qp::GetVersionExA(&info);
    if (!extended) {
        info = qp::OSVERSIONINFOEXA{};
        info.dwOSVersionInfoSize = qp::kOsVersionInfoSize;
        if (!qp::GetVersionExA(&info)) {
            return false;
        }
    }
    const std::string sp = Trim(qp::ToUpperMb(info.szCSDVersion, qp::GetACP()), " ");
    const DWORD major = info.dwMajorVersion;
    const DWORD minor = info.dwMinorVersion;
    if (info.dwPlatformId == 0) {
        *code = 2;
        *family = 2;
    } else if (info.dwPlatformId == 1) {
        *family = 10;
        if (major == 4 && minor == 0) {
            *code = (sp == "B" || sp == "C") ? 4 : 3;
        } else if (major == 4 && minor == 10) {
            *code = sp == "A" ? 7 : 6;
        } else if (major == 4 && minor == 90) {
            *code = 9;
        } else {
            *code = 10;
        }
    } else {
        *family = major <= 4 ? 15 : 17;
        if (major == 3) {
            *code = 11;
        } else if (major == 4) {
            *code = 12;
        } else if (major == 5 && minor == 0) {
            *code = 13;
        } else if (major == 5 && minor == 1) {
            *code = 14;
        } else if (major == 5 && minor == 2) {
            const bool workstation = extended && info.wProductType == qp::kVerNtWorkstation;
            *code = workstation && qp::Machine::Current().Config().os.is_64bit ? 14 : 16;
        } else if (major == 6) {
            *code = extended && info.wProductType == qp::kVerNtWorkstation ? 18 : 19;
        } else {
            *code = 13;
        }
    }
    return true;
}

bool IsAdministrator() {
    return qp::UserIsAdministrator();
}

bool WaitNoPendingInstall(bool raise_dialog) {
    using WaitFn = DWORD (*)(DWORD);
    qp::HMODULE library = qp::LoadLibraryA("Setupapi.dll");
    if (library == nullptr) {
        return false;
    }
    auto wait =
        reinterpret_cast<WaitFn>(qp::GetProcAddress(library, "CMP_WaitNoPendingInstallEvents"));
    if (wait == nullptr || wait(1000) == 0) {
        qp::FreeLibrary(library);
        return false;
    }
    if (raise_dialog) {
        CPlugInBinder* plugins = GetPlugIns();
        while (wait(1000) == qp::kWaitTimeout) {
            if (plugins != nullptr) {
                plugins->MySetForegroundNHWdDialog();
            }
        }
    } else {
        for (int calls = 0; calls < 60 && wait(1000) == qp::kWaitTimeout; ++calls) {
        }
    }
    qp::FreeLibrary(library);
    return true;
}

int GetDriveKind(const char* path) {
    std::string text = Empty(path) ? qp::GetModuleFileNameA() : std::string(path);
    size_t slash = text.find('\\');
    std::string root = slash == std::string::npos ? text : text.substr(0, slash + 1);
    switch (qp::GetDriveTypeA(root)) {
        case qp::kDriveRemovable:
            return 1;
        case qp::kDriveFixed:
            return 2;
        case qp::kDriveCdrom:
            return 3;
        case qp::kDriveRemote:
            return 5;
        default:
            return static_cast<int>(qp::GetDriveTypeA(root));
    }
}

bool FileExists(const char* path) {
    if (Empty(path)) {
        return false;
    }
    return static_cast<bool>(
        qp::CreateFileA(path, qp::kGenericRead, qp::kFileShareRead, qp::kOpenExisting));
}

bool PortExists(const char* name) {
    if (Empty(name)) {
        return false;
    }
    for (const std::string& port : qp::EnumPortNames()) {
        if (qp::EqualsNoCaseMb(port, name, qp::GetACP())) {
            return true;
        }
    }
    return false;
}

bool DeleteFileAndFolders(const char* path, bool keep_folders) {
    if (Empty(path) || !qp::DeleteFileA(path)) {
        return false;
    }
    if (keep_folders) {
        return true;
    }
    std::string folder = path;
    for (size_t slash = folder.rfind('\\'); slash != std::string::npos && slash > 2;
         slash = folder.rfind('\\')) {
        folder.resize(slash);
        if (!RemoveDirectory(folder)) {
            GetLog()->WriteWithError(qp::GetLastError(), "%s directory was not removed !!",
                                     folder.c_str());
            break;
        }
        qp::Sleep(10);
        int polls = 0;
        while (polls < 5 && FolderVisible(folder)) {
            qp::Sleep(1);
            ++polls;
        }
        GetLog()->Write("nTime = %d", polls);
    }
    return true;
}

bool RemoveFolderChain(const std::string& folder) {
    if (folder.empty()) {
        return false;
    }
    for (std::string current = folder; !current.empty() && current.back() != ':';) {
        if (!RemoveDirectory(current)) {
            break;
        }
        size_t slash = current.rfind('\\');
        if (slash == std::string::npos) {
            break;
        }
        current.resize(slash);
    }
    return true;
}

DWORD RestoreSourcePath() {
    const char* path = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Setup";
    qp::REGSAM view = qp::Machine::Current().Config().os.is_64bit ? qp::KEY_WOW64_64KEY : 0;
    qp::RegKey key;
    qp::LONG error = qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, path, 0, qp::KEY_ALL_ACCESS | view,
                                       key.Receive());
    if (error != 0) {
        return static_cast<DWORD>(error);
    }
    DWORD type = 0;
    DWORD size = 0;
    if (qp::RegQueryValueExA(key.Get(), "SourcePath_ORG", nullptr, &type, nullptr, &size) != 0) {
        return 0;
    }
    std::vector<qp::BYTE> data(size);
    qp::RegQueryValueExA(key.Get(), "SourcePath_ORG", nullptr, &type, data.data(), &size);
    qp::RegSetValueExA(key.Get(), "SourcePath", 0, type, data.data(), size);
    return static_cast<DWORD>(qp::RegDeleteValueA(key.Get(), "SourcePath_ORG"));
}

DWORD StartServiceAndWait(const char* name, int* state) {
    if (DWORD error = qp::OpenServiceForControl(name); error != 0) {
        return error;
    }
    qp::SERVICE_STATUS status;
    qp::QueryServiceStatus(name, &status);
    if (status.dwCurrentState == qp::SERVICE_RUNNING) {
        *state = qp::SERVICE_RUNNING;
        return 0;
    }
    if (DWORD error = qp::StartServiceA(name); error != 0) {
        return error;
    }
    return WaitWhilePending(name, qp::SERVICE_START_PENDING, state);
}

DWORD StopServiceAndWait(const char* name, int* state) {
    if (DWORD error = qp::OpenServiceForControl(name); error != 0) {
        return error;
    }
    qp::SERVICE_STATUS status;
    qp::QueryServiceStatus(name, &status);
    if (status.dwCurrentState == qp::SERVICE_STOPPED) {
        *state = qp::SERVICE_STOPPED;
        return 0;
    }
    if (DWORD error = qp::StopService(name, &status); error != 0) {
        return error;
    }
    return WaitWhilePending(name, qp::SERVICE_STOP_PENDING, state);
}

DWORD QueryServiceState(const char* name, int* state) {
    if (state == nullptr) {
        return qp::kErrorInvalidParameter;
    }
    qp::SERVICE_STATUS status;
    if (DWORD error = qp::QueryServiceStatus(name, &status); error != 0) {
        return error;
    }
    *state = static_cast<int>(status.dwCurrentState);
    return 0;
}

bool IsInList(const char* list, const char* name, const char* delimiters) {
    if (Empty(list) || Empty(name) || Empty(delimiters)) {
        return false;
    }
    for (const std::string& piece : Split(list, delimiters)) {
        if (qp::EqualsNoCaseMb(Trim(piece, " \t"), name, qp::GetACP())) {
            return true;
        }
    }
    return false;
}

bool GetToken(const char* text, const char* delimiters, int index, char* out, DWORD size) {
    if (Empty(text) || Empty(delimiters) || index < 0 || out == nullptr || size == 0) {
        return false;
    }
    std::memset(out, 0, size);
    std::vector<std::string> pieces = Split(text, delimiters);
    if (static_cast<size_t>(index) >= pieces.size()) {
        return false;
    }
    std::strncpy(out, pieces[static_cast<size_t>(index)].c_str(), size - 1);
    return true;
}

void ToHex(const unsigned char* bytes, int count, char* out) {
    for (int i = 0; i < count; ++i) {
        std::snprintf(out + i * 2, 3, "%02X", bytes[i]);
    }
}

void ShowErrorText(DWORD error, const char* caption) {
    CInstallContext* context = GetContext();
    const std::string text = qp::FormatSystemMessage(error);
    if (context != nullptr) {
        context->ShowMessageBox(nullptr, text.c_str(), caption, qp::MB_ICONWARNING);
    } else {
        qp::MessageBoxA(nullptr, text.c_str(), caption, qp::MB_ICONWARNING);
    }
}

bool IsSystemFolder(const std::string& folder) {
    qp::Machine& machine = qp::Machine::Current();
    const qp::UINT code_page = qp::GetACP();
    std::string wanted = qp::FullWindowsPath(folder).value_or(folder);
    for (const std::string& system : {machine.WindowsFolder(), machine.SystemFolder(),
                                      machine.InfFolder(), machine.ProgramFilesFolder(),
                                      machine.Config().os.program_files_64, machine.TempFolder()}) {
        if (system.empty()) {
            continue;
        }
        // The folder itself or one of its parents.
        if (qp::EqualsNoCaseMb(system, wanted, code_page) ||
            (system.size() > wanted.size() && system[wanted.size()] == '\\' &&
             qp::EqualsNoCaseMb(system.substr(0, wanted.size()), wanted, code_page))) {
            return true;
        }
    }
    return wanted.size() <= 3;
}

}  // namespace qx::app

namespace {

constexpr const char* kDefaultNotSupported =
    "This Windows Version is not supported.\r\nThe Setup program will be terminated.";
constexpr const char* kDefaultNoFreeSpace =
    "The available Disk space is not enough. Please increase available disk space about \"%s\" "
    "and try again.";
constexpr const char* kDefaultUsbNotAvailable =
    "USB Devic is not available. Please check the configuration of system and BIOS then USB "
    "device as available status and try again.";

}  // namespace

CRequirement::CRequirement()
    : m_strNotSupportedMsg(kDefaultNotSupported),
      m_strNoFreeSpaceMsg(kDefaultNoFreeSpace),
      m_strUsbNotAvailableMsg(kDefaultUsbNotAvailable) {
    CConfig* data = GetDataConfig();
    if (data == nullptr) {
        return;
    }
    std::vector<char> names(qx::profile::kConfigTextSize, '\0');
    if (!data->GetSectionNames(names.data(), static_cast<DWORD>(names.size()))) {
        return;
    }
    const std::string upper = qp::ToUpperMb(names.data(), qp::GetACP());
    if (upper.find("SYSTEM_REQUIREMENT") == std::string::npos) {
        return;
    }
    m_bPresent = true;
    const char* section = "SYSTEM_REQUIREMENT";
    data->GetDword(section, "FREE_SPACE", &m_dwFreeSpace);
    m_strUnsupportedOs = data->Text(section, "UNSUPPORTED_OS").value_or("");
    m_strNotSupportedMsg =
        data->Text(section, "MSG_NOT_SUPPORTED_OS").value_or(kDefaultNotSupported);
    m_strNoFreeSpaceMsg = data->Text(section, "MSG_NO_FREE_SPACE").value_or(kDefaultNoFreeSpace);
    m_strUsbNotAvailableMsg =
        data->Text(section, "MSG_USB_NOT_AVAILABLE").value_or(kDefaultUsbNotAvailable);
}

CRequirement::~CRequirement() = default;

bool CRequirement::Check(bool usbOnly, bool network) {
    if (!m_bPresent) {
        return true;
    }
    if (!CheckFreeSpace("", true)) {
        return false;
    }
    std::string list = qx::app::Trim(qp::ToUpperMb(m_strUnsupportedOs, qp::GetACP()), " \"\t");
    const qx::context::RunPaths* paths = GetRunPaths();
    const std::string define =
        paths != nullptr ? qp::ToUpperMb(paths->os_define, qp::GetACP()) : std::string();
    for (const std::string& token : qx::app::Split(list, " ,")) {
        if (!define.empty() && token == define) {
            ShowMessage(kNotSupported);
            return false;
        }
    }
    CPlugInBinder* plugins = GetPlugIns();
    const qx::context::ProductInfo* product = GetProductInfo();
    if (usbOnly && !network && plugins != nullptr && product != nullptr) {
        std::vector<char> ports(QX_PORT_LIST_SIZE, '\0');
        qp::LONG count = 0;
        plugins->GetDevicePort(product->mfg.c_str(), product->mdl.c_str(), product->vidpid.c_str(),
                               ports.data(), &count);
        if (count == -1) {
            ShowMessage(kUsbNotAvailable);
            return false;
        }
    }
    return true;
}

bool CRequirement::CheckFreeSpace(const char* path, bool show) {
    // No module, or a module without an answer (0), never fails the check.
    CPlugInBinder* plugins = GetPlugIns();
    if (plugins == nullptr) {
        return true;
    }
    const DWORD free_megabytes = plugins->GetDiskFreeSpaceQX(path != nullptr ? path : "");
    if (free_megabytes == 0 || free_megabytes >= m_dwFreeSpace) {
        return true;
    }
    if (show) {
        ShowMessage(kNoFreeSpace);
    }
    return false;
}

void CRequirement::ShowMessage(int kind) {
    CInstallContext* context = GetContext();
    if (context == nullptr) {
        return;
    }
    std::string text;
    switch (kind) {
        case kNoFreeSpace: {
            char size[32];
            std::snprintf(size, sizeof(size), "%dMB", static_cast<int>(m_dwFreeSpace));
            text = qx::context::FormatWithAbbreviation(m_strNoFreeSpaceMsg, size);
            break;
        }
        case kUsbNotAvailable:
            text = m_strUsbNotAvailableMsg;
            break;
        default:
            text = m_strNotSupportedMsg;
            break;
    }
    context->ShowMessageBox(nullptr, text.c_str(), context->Product().program_name.c_str(),
                            qp::MB_OK);
}
