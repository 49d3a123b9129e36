#include "modules/api_function.h"

#include <array>
#include <cstring>
#include <string_view>

namespace qx::modules {

namespace {

constexpr std::array<const char*, kSystemLibraryCount> kLibraryNames = {
    "MPR.dll",      "Msimg32.dll",  "Kernel32.dll", "User32.dll",
    "SetupAPI.dll", "Netapi32.dll", "Advapi32.dll",
};

constexpr const char* kSecurityLibrary = "Advapi32.dll";

constexpr std::array<SystemBinding, kSystemBindingCount> kBindings = {{
    {"MPR.dll", "WNetAddConnection2A"},
    {"Msimg32.dll", "GradientFill"},
    {"Kernel32.dll", "GetDiskFreeSpaceExA"},
    {"Kernel32.dll", "MoveFileExA"},
    {"User32.dll", "RegisterDeviceNotificationA"},
    {"User32.dll", "UnregisterDeviceNotification"},
    {"User32.dll", "GetWindowModuleFileNameA"},
    {"SetupAPI.dll", "SetupDiEnumDeviceInterfaces"},
    {"SetupAPI.dll", "SetupDiGetDeviceInterfaceDetailA"},
    {"SetupAPI.dll", "SetupDiOpenDeviceInterfaceRegKey"},
    {"SetupAPI.dll", "SetupDiGetClassDevsA"},
    {"SetupAPI.dll", "SetupDiDestroyDeviceInfoList"},
    {"SetupAPI.dll", "SetupDiEnumDeviceInfo"},
    {"SetupAPI.dll", "SetupDiGetDeviceRegistryPropertyA"},
    {"SetupAPI.dll", "SetupDiSetDeviceRegistryPropertyA"},
    {"SetupAPI.dll", "SetupDiRemoveDevice"},
    {"SetupAPI.dll", "SetupOpenInfFileA"},
    {"SetupAPI.dll", "SetupGetLineByIndexA"},
    {"SetupAPI.dll", "SetupGetStringFieldA"},
    {"SetupAPI.dll", "SetupCloseInfFile"},
    {"SetupAPI.dll", "SetupGetLineCountA"},
    {"SetupAPI.dll", "SetupGetInfFileListA"},
    {"SetupAPI.dll", "SetupGetInfInformationA"},
    {"SetupAPI.dll", "SetupQueryInfFileInformationA"},
    {"SetupAPI.dll", "SetupQueryInfVersionInformationA"},
    {"SetupAPI.dll", "CMP_WaitNoPendingInstallEvents"},
    {"Netapi32.dll", "NetWkstaGetInfo"},
    {kSecurityLibrary, "InitializeSecurityDescriptor"},
    {kSecurityLibrary, "AllocateAndInitializeSid"},
    {kSecurityLibrary, "InitializeAcl"},
    {kSecurityLibrary, "AddAccessAllowedObjectAce"},
    {kSecurityLibrary, "SetSecurityDescriptorDacl"},
    {kSecurityLibrary, "SetSecurityDescriptorControl"},
    {kSecurityLibrary, "FreeSid"},
}};

consteval std::size_t IndexOf(std::string_view function) {
    for (std::size_t i = 0; i < kBindings.size(); ++i) {
        if (function == kBindings[i].function) {
            return i;
        }
    }
    throw "not a bound name";
}

consteval std::size_t LibraryIndexOf(std::string_view library) {
    for (std::size_t i = 0; i < kLibraryNames.size(); ++i) {
        if (library == kLibraryNames[i]) {
            return i;
        }
    }
    throw "not a loaded library";
}

consteval bool LibrariesInLoadingOrder() {
    std::size_t last = 0;
    for (const SystemBinding& binding : kBindings) {
        const std::size_t library = LibraryIndexOf(binding.library);
        if (library < last) {
            return false;
        }
        last = library;
    }
    return true;
}
static_assert(LibrariesInLoadingOrder());

std::size_t LibraryOf(std::size_t binding) {
    for (std::size_t i = 0; i < kLibraryNames.size(); ++i) {
        if (std::strcmp(kBindings[binding].library, kLibraryNames[i]) == 0) {
            return i;
        }
    }
    return kLibraryNames.size();
}

template <typename Function, typename Result, typename... Args>
Result Call(qx::platform::FARPROC address, Result missing, Args... args) {
    if (address == nullptr) {
        return missing;
    }
    return reinterpret_cast<Function>(address)(args...);
}

}  // namespace

std::span<const SystemBinding, kSystemBindingCount> SystemBindings() {
    return kBindings;
}

}  // namespace qx::modules

namespace qm = qx::modules;
namespace qp = qx::platform;

CAPIFunction::~CAPIFunction() {
    Release();
}

void CAPIFunction::Release() {
    for (qp::FARPROC& function : m_functions) {
        function = nullptr;
    }
    for (qp::HMODULE& library : m_libraries) {
        if (library != nullptr) {
            qp::FreeLibrary(library);
            library = nullptr;
        }
    }
}

bool CAPIFunction::Load() {
    Release();
    for (std::size_t i = 0; i < qm::kSystemLibraryCount; ++i) {
        m_libraries[i] = qp::LoadLibraryA(qm::kLibraryNames[i]);
    }
    for (std::size_t i = 0; i < qm::kSystemBindingCount; ++i) {
        qp::HMODULE library = m_libraries[qm::LibraryOf(i)];
        if (library != nullptr) {
            m_functions[i] = qp::GetProcAddress(library, qm::kBindings[i].function);
        }
    }
    return true;
}

bool CAPIFunction::IsBound(const char* name) const {
    if (name == nullptr) {
        return false;
    }
    for (std::size_t i = 0; i < qm::kSystemBindingCount; ++i) {
        if (std::strcmp(name, qm::kBindings[i].function) == 0) {
            return m_functions[i] != nullptr;
        }
    }
    return false;
}

CAPIFunction::HDEVNOTIFY CAPIFunction::RegisterDeviceNotificationA(void* recipient, void* filter,
                                                                   DWORD flags) {
    return qm::Call<qm::RegisterDeviceNotificationAFn>(
        m_functions[qm::IndexOf("RegisterDeviceNotificationA")], HDEVNOTIFY{nullptr}, recipient,
        filter, flags);
}

CAPIFunction::BOOL CAPIFunction::UnregisterDeviceNotification(HDEVNOTIFY notification) {
    return qm::Call<qm::UnregisterDeviceNotificationFn>(
        m_functions[qm::IndexOf("UnregisterDeviceNotification")], BOOL{0}, notification);
}

CAPIFunction::DWORD CAPIFunction::CMP_WaitNoPendingInstallEvents(DWORD timeout) {
    return qm::Call<qm::CmpWaitNoPendingInstallEventsFn>(
        m_functions[qm::IndexOf("CMP_WaitNoPendingInstallEvents")], qm::kWaitFailed, timeout);
}

CAPIFunction::BOOL CAPIFunction::MoveFileExA(const char* existing, const char* new_name,
                                             DWORD flags) {
    return qm::Call<qm::MoveFileExAFn>(m_functions[qm::IndexOf("MoveFileExA")], BOOL{0}, existing,
                                       new_name, flags);
}

CAPIFunction::BOOL CAPIFunction::GradientFill(void* hdc, void* vertices, ULONG vertex_count,
                                              void* mesh, ULONG mesh_count, ULONG mode) {
    return qm::Call<qm::GradientFillFn>(m_functions[qm::IndexOf("GradientFill")], BOOL{0}, hdc,
                                        vertices, vertex_count, mesh, mesh_count, mode);
}

CAPIFunction::BOOL CAPIFunction::InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor,
                                                              DWORD revision) {
    return qm::Call<decltype(&qp::InitializeSecurityDescriptor)>(
        m_functions[qm::IndexOf("InitializeSecurityDescriptor")], BOOL{0}, descriptor, revision);
}

CAPIFunction::BOOL CAPIFunction::AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority,
                                                          BYTE count, DWORD s0, DWORD s1, DWORD s2,
                                                          DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                                          DWORD s7, PSID* sid) {
    return qm::Call<decltype(&qp::AllocateAndInitializeSid)>(
        m_functions[qm::IndexOf("AllocateAndInitializeSid")], BOOL{0}, authority, count, s0, s1, s2,
        s3, s4, s5, s6, s7, sid);
}

CAPIFunction::BOOL CAPIFunction::InitializeAcl(PACL acl, DWORD size, DWORD revision) {
    return qm::Call<decltype(&qp::InitializeAcl)>(m_functions[qm::IndexOf("InitializeAcl")],
                                                  BOOL{0}, acl, size, revision);
}

CAPIFunction::BOOL CAPIFunction::AddAccessAllowedObjectAce(PACL acl, DWORD revision,
                                                           DWORD ace_flags, DWORD access_mask,
                                                           const void* object_type,
                                                           const void* inherited_type, PSID sid) {
    return qm::Call<decltype(&qp::AddAccessAllowedObjectAce)>(
        m_functions[qm::IndexOf("AddAccessAllowedObjectAce")], BOOL{0}, acl, revision, ace_flags,
        access_mask, object_type, inherited_type, sid);
}

CAPIFunction::BOOL CAPIFunction::SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor,
                                                           BOOL present, PACL dacl,
                                                           BOOL defaulted) {
    return qm::Call<decltype(&qp::SetSecurityDescriptorDacl)>(
        m_functions[qm::IndexOf("SetSecurityDescriptorDacl")], BOOL{0}, descriptor, present, dacl,
        defaulted);
}

CAPIFunction::BOOL CAPIFunction::SetSecurityDescriptorControl(SECURITY_DESCRIPTOR* descriptor,
                                                              SECURITY_DESCRIPTOR_CONTROL mask,
                                                              SECURITY_DESCRIPTOR_CONTROL bits) {
    return qm::Call<decltype(&qp::SetSecurityDescriptorControl)>(
        m_functions[qm::IndexOf("SetSecurityDescriptorControl")], BOOL{0}, descriptor, mask, bits);
}

void* CAPIFunction::FreeSid(PSID sid) {
    return qm::Call<decltype(&qp::FreeSid)>(m_functions[qm::IndexOf("FreeSid")],
                                            static_cast<void*>(nullptr), sid);
}
