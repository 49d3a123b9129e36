// The optional system functions: the system libraries that carry them are loaded at run time and
// each function is bound by name, so that a Windows version lacking one answers like a failing
// call. Part of the exported interface, so names and signatures are fixed.
#pragma once

#include <cstddef>
#include <span>

#include "platform/security.h"
#include "platform/system_library.h"
#include "platform/win_types.h"

namespace qx::modules {

using qx::platform::BOOL;
using qx::platform::DWORD;
using ULONG = qx::platform::DWORD;
using HDEVNOTIFY = void*;

// The shapes of the functions whose platform types are not written yet (opaque pointers).
using RegisterDeviceNotificationAFn = HDEVNOTIFY (*)(void* recipient, void* filter, DWORD flags);
using UnregisterDeviceNotificationFn = BOOL (*)(HDEVNOTIFY notification);
using CmpWaitNoPendingInstallEventsFn = DWORD (*)(DWORD timeout);
using MoveFileExAFn = BOOL (*)(const char* existing, const char* new_name, DWORD flags);
using GradientFillFn = BOOL (*)(void* hdc, void* vertices, ULONG vertex_count, void* mesh,
                                ULONG mesh_count, ULONG mode);

// What the wait answers when the function is missing (WAIT_FAILED, -1).
inline constexpr DWORD kWaitFailed = 0xFFFFFFFFu;

struct SystemBinding {
    const char* library;
    const char* function;
};

inline constexpr std::size_t kSystemLibraryCount = 7;
inline constexpr std::size_t kSystemBindingCount = 34;

// The libraries and the names bound from each, in loading order.
std::span<const SystemBinding, kSystemBindingCount> SystemBindings();

}  // namespace qx::modules

class CAPIFunction {
  protected:
    using BOOL = qx::platform::BOOL;
    using BYTE = qx::platform::BYTE;
    using DWORD = qx::platform::DWORD;
    using HDEVNOTIFY = qx::modules::HDEVNOTIFY;
    using ULONG = qx::modules::ULONG;
    using PSID = qx::platform::PSID;
    using PACL = qx::platform::PACL;
    using SECURITY_DESCRIPTOR = qx::platform::SECURITY_DESCRIPTOR;
    using SECURITY_DESCRIPTOR_CONTROL = qx::platform::SECURITY_DESCRIPTOR_CONTROL;
    using SID_IDENTIFIER_AUTHORITY = qx::platform::SID_IDENTIFIER_AUTHORITY;

  public:
    CAPIFunction() = default;
    virtual ~CAPIFunction();
    // It owns its library references.
    CAPIFunction(const CAPIFunction&) = delete;
    CAPIFunction& operator=(const CAPIFunction&) = delete;

    // Loads the libraries and binds the names; true in every case. A second call starts over.
    bool Load();
    // Whether the named function was bound by the last Load.
    bool IsBound(const char* name) const;

    // Each passes its arguments on when bound; otherwise it answers at once with the failure
    // value of the function it stands for.
    HDEVNOTIFY RegisterDeviceNotificationA(void* recipient, void* filter, DWORD flags);
    BOOL UnregisterDeviceNotification(HDEVNOTIFY notification);
    DWORD CMP_WaitNoPendingInstallEvents(DWORD timeout);
    BOOL MoveFileExA(const char* existing, const char* new_name, DWORD flags);
    BOOL GradientFill(void* hdc, void* vertices, ULONG vertex_count, void* mesh, ULONG mesh_count,
                      ULONG mode);
    BOOL InitializeSecurityDescriptor(SECURITY_DESCRIPTOR* descriptor, DWORD revision);
    BOOL AllocateAndInitializeSid(const SID_IDENTIFIER_AUTHORITY* authority, BYTE count, DWORD s0,
                                  DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                  DWORD s7, PSID* sid);
    BOOL InitializeAcl(PACL acl, DWORD size, DWORD revision);
    BOOL AddAccessAllowedObjectAce(PACL acl, DWORD revision, DWORD ace_flags, DWORD access_mask,
                                   const void* object_type, const void* inherited_type, PSID sid);
    BOOL SetSecurityDescriptorDacl(SECURITY_DESCRIPTOR* descriptor, BOOL present, PACL dacl,
                                   BOOL defaulted);
    BOOL SetSecurityDescriptorControl(SECURITY_DESCRIPTOR* descriptor,
                                      SECURITY_DESCRIPTOR_CONTROL mask,
                                      SECURITY_DESCRIPTOR_CONTROL bits);
    void* FreeSid(PSID sid);

  protected:
    void Release();

    qx::platform::HMODULE m_libraries[qx::modules::kSystemLibraryCount] = {};
    qx::platform::FARPROC m_functions[qx::modules::kSystemBindingCount] = {};
};
