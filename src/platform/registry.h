// The machine's registry, shaped like the Windows registry API: predefined roots, opened key
// handles, values of the usual types, Windows error numbers as results. The store is the
// machine's registry.db (SQLite), shared by every process of the machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace qx::platform {

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;
using SECURITY_INFORMATION = DWORD;
using PSECURITY_DESCRIPTOR = void*;

struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

inline HKEY PredefinedKey(std::uintptr_t value) {
    return reinterpret_cast<HKEY>(value);
}
inline const HKEY HKEY_CLASSES_ROOT = PredefinedKey(0x80000000u);
inline const HKEY HKEY_CURRENT_USER = PredefinedKey(0x80000001u);
inline const HKEY HKEY_LOCAL_MACHINE = PredefinedKey(0x80000002u);
inline const HKEY HKEY_USERS = PredefinedKey(0x80000003u);
inline const HKEY HKEY_PERFORMANCE_DATA = PredefinedKey(0x80000004u);
inline const HKEY HKEY_CURRENT_CONFIG = PredefinedKey(0x80000005u);
inline const HKEY HKEY_DYN_DATA = PredefinedKey(0x80000006u);

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
inline constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
inline constexpr REGSAM DELETE_ACCESS = 0x00010000;  // DELETE
inline constexpr REGSAM READ_CONTROL = 0x00020000;
inline constexpr REGSAM WRITE_DAC = 0x00040000;
inline constexpr REGSAM KEY_READ = 0x00020019;
inline constexpr REGSAM KEY_WRITE = 0x00020006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;
inline constexpr SECURITY_INFORMATION DACL_SECURITY_INFORMATION = 0x4;

inline constexpr DWORD kErrorMoreData = 234;

// The Win32 calls. Subkey paths use backslashes; a null or empty subkey names the key itself.
// On a machine whose OS profile is 64-bit, a 32-bit program's HKLM\Software is the
// Software\Wow6432Node view unless KEY_WOW64_64KEY is asked for (the product is a 32-bit
// program). HKEY_CLASSES_ROOT is HKLM\Software\Classes.
LONG RegOpenKeyExA(HKEY root, const char* subkey, DWORD options, REGSAM sam, HKEY* result);
LONG RegCreateKeyExA(HKEY root, const char* subkey, DWORD reserved, char* key_class, DWORD options,
                     REGSAM sam, void* security, HKEY* result, DWORD* disposition);
LONG RegCloseKey(HKEY key);
LONG RegQueryValueExA(HKEY key, const char* name, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* size);
LONG RegSetValueExA(HKEY key, const char* name, DWORD reserved, DWORD type, const BYTE* data,
                    DWORD size);
LONG RegDeleteValueA(HKEY key, const char* name);
// Deletes a key without subkeys; 5 when its access rule refuses deletion.
LONG RegDeleteKeyA(HKEY key, const char* subkey);
LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                   char* key_class, DWORD* class_size, FILETIME* last_write);
LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* reserved,
                   DWORD* type, BYTE* data, DWORD* data_size);
LONG RegQueryInfoKeyA(HKEY key, char* key_class, DWORD* class_size, DWORD* reserved, DWORD* subkeys,
                      DWORD* max_subkey_len, DWORD* max_class_len, DWORD* values,
                      DWORD* max_value_name_len, DWORD* max_value_len, DWORD* security_size,
                      FILETIME* last_write);
// Applies a security descriptor built with the functions of platform/security.h. A DACL that
// grants Everyone KEY_ALL_ACCESS lifts the key's deny-delete rule. Needs WRITE_DAC.
LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor);

// The emulated access rule: while set, deleting the key is refused with 5 (for tests and
// qxmachine; Windows keys get it from their ACL).
LONG SetKeyDenyDelete(HKEY root, const char* subkey, bool deny, REGSAM view = 0);

// Names of a key's subkeys or values, in enumeration order; empty when the key cannot be
// opened. view adds KEY_WOW64_64KEY or KEY_WOW64_32KEY.
std::vector<std::string> RegSubkeyNames(HKEY root, const char* subkey, REGSAM view = 0);
std::vector<std::string> RegValueNames(HKEY root, const char* subkey, REGSAM view = 0);

// Owns an opened key and closes it.
class RegKey {
  public:
    RegKey() = default;
    explicit RegKey(HKEY key) : m_key(key) {}
    ~RegKey() { Close(); }
    RegKey(RegKey&& other) noexcept : m_key(other.m_key) { other.m_key = nullptr; }
    RegKey& operator=(RegKey&& other) noexcept {
        if (this != &other) {
            Close();
            m_key = other.m_key;
            other.m_key = nullptr;
        }
        return *this;
    }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    HKEY Get() const { return m_key; }
    HKEY* Receive() {
        Close();
        return &m_key;
    }
    void Close() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
            m_key = nullptr;
        }
    }

  private:
    HKEY m_key = nullptr;
};

}  // namespace qx::platform
