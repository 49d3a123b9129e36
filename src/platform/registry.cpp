// The Reg* calls over the machine's registry store: predefined roots, the handle table, the
// 32-bit registry view of a 64-bit machine and the buffer conventions of the Windows calls.
#include "platform/registry.h"

#include <pthread.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/code_page.h"
#include "platform/machine.h"
#include "platform/registry_store.h"
#include "platform/security.h"

namespace qx::platform {

namespace {

constexpr LONG kOk = 0;
constexpr LONG kDenied = static_cast<LONG>(kErrorAccessDenied);
constexpr LONG kBadHandle = static_cast<LONG>(kErrorInvalidHandle);
constexpr LONG kBadArgument = static_cast<LONG>(kErrorInvalidParameter);
constexpr LONG kMoreData = static_cast<LONG>(kErrorMoreData);

constexpr REGSAM kGenericRead = 0x80000000u;
constexpr REGSAM kGenericWrite = 0x40000000u;
constexpr REGSAM kGenericExecute = 0x20000000u;
constexpr REGSAM kGenericAll = 0x10000000u;
constexpr REGSAM kMaximumAllowed = 0x02000000u;
constexpr REGSAM kViewFlags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

// What a handle stands for. The logical path is the one the caller named (from the hive
// root); the physical one is where it lives after the 32-bit view's redirection. Relative
// opens extend the logical path, so a handle's children are redirected like their parent.
struct KeyHandle {
    RegKeyId id = 0;  // 0 for HKEY_CLASSES_ROOT until resolved
    RegHive hive = RegHive::kLocalMachine;
    std::vector<std::string> logical;
    std::vector<std::string> physical;
    bool view32 = false;
    REGSAM access = KEY_ALL_ACCESS;
};

REGSAM GrantedAccess(REGSAM sam) {
    REGSAM access = sam & ~(kViewFlags | kGenericRead | kGenericWrite | kGenericExecute |
                            kGenericAll | kMaximumAllowed);
    if ((sam & (kGenericRead | kGenericExecute)) != 0) {
        access |= KEY_READ;
    }
    if ((sam & kGenericWrite) != 0) {
        access |= KEY_WRITE;
    }
    if ((sam & (kGenericAll | kMaximumAllowed)) != 0) {
        access |= KEY_ALL_ACCESS;
    }
    return access;
}

bool Has(REGSAM access, REGSAM rights) {
    return (access & rights) == rights;
}

std::string Fold(std::string_view name) {
    return ToUpperMb(name, GetACP());
}

bool StartsWith(const std::vector<std::string>& path, std::initializer_list<const char*> prefix,
                size_t from) {
    if (path.size() < from + prefix.size()) {
        return false;
    }
    size_t i = from;
    for (const char* name : prefix) {
        if (Fold(path[i++]) != name) {
            return false;
        }
    }
    return true;
}

// The 32-bit view of a 64-bit machine: HKLM\SOFTWARE and everything below it lives under
// SOFTWARE\Wow6432Node, except the keys both views share (Classes, the printing keys of
// Windows NT\CurrentVersion) and Wow6432Node itself.
std::vector<std::string> Redirect(RegHive hive, const std::vector<std::string>& logical,
                                  bool view32) {
    if (!view32 || hive != RegHive::kLocalMachine || logical.empty() ||
        Fold(logical[0]) != "SOFTWARE") {
        return logical;
    }
    if (StartsWith(logical, {"CLASSES"}, 1) || StartsWith(logical, {"WOW6432NODE"}, 1) ||
        StartsWith(logical, {"MICROSOFT", "WINDOWS NT", "CURRENTVERSION", "PORTS"}, 1) ||
        StartsWith(logical, {"MICROSOFT", "WINDOWS NT", "CURRENTVERSION", "PRINT"}, 1)) {
        return logical;
    }
    std::vector<std::string> physical = logical;
    physical.insert(physical.begin() + 1, "Wow6432Node");
    return physical;
}

bool IsPredefinedValue(HKEY handle) {
    std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
    return value >= 0x80000000u && value <= 0x800000FFu;
}

// Handles of this process. Numbers are never reused while the process lives, so a stale
// handle fails with 6 instead of reaching another key.
class HandleTable {
  public:
    HandleTable() {
        ::pthread_atfork([] { Instance().m_mutex.lock(); }, [] { Instance().m_mutex.unlock(); },
                         [] { Instance().m_mutex.unlock(); });
    }

    static HandleTable& Instance() {
        static HandleTable table;
        return table;
    }

    HKEY Add(KeyHandle key) {
        auto shared = std::make_shared<const KeyHandle>(std::move(key));
        std::lock_guard lock(m_mutex);
        m_next += 4;
        if (IsPredefinedValue(reinterpret_cast<HKEY>(m_next))) {
            m_next = 0x80001000u;
        }
        std::uintptr_t value = m_next;
        m_keys.emplace(value, std::move(shared));
        return reinterpret_cast<HKEY>(value);
    }

    // Null for an unknown handle. The record is shared, not copied: handles never change.
    std::shared_ptr<const KeyHandle> Find(HKEY handle) {
        std::lock_guard lock(m_mutex);
        auto found = m_keys.find(reinterpret_cast<std::uintptr_t>(handle));
        return found == m_keys.end() ? nullptr : found->second;
    }

    bool Remove(HKEY handle) {
        std::lock_guard lock(m_mutex);
        return m_keys.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
    }

  private:
    std::mutex m_mutex;
    std::uintptr_t m_next = 0x1000;
    std::unordered_map<std::uintptr_t, std::shared_ptr<const KeyHandle>> m_keys;
};

bool Wow64() {
    return Machine::Current().Config().os.wow64;
}

LONG Predefined(HKEY handle, KeyHandle* key) {
    std::uintptr_t value = reinterpret_cast<std::uintptr_t>(handle);
    key->access = KEY_ALL_ACCESS;
    key->view32 = Wow64();
    switch (value) {
        case 0x80000000u:
            key->hive = RegHive::kLocalMachine;
            key->logical = {"SOFTWARE", "Classes"};
            key->id = 0;
            return kOk;
        case 0x80000001u:
            key->hive = RegHive::kCurrentUser;
            break;
        case 0x80000002u:
            key->hive = RegHive::kLocalMachine;
            break;
        case 0x80000003u:
            key->hive = RegHive::kUsers;
            break;
        case 0x80000005u:
            key->hive = RegHive::kCurrentConfig;
            break;
        default:  // HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA and anything else in the range
            return kBadHandle;
    }
    key->id = HiveKey(key->hive);
    return kOk;
}

// What the value and query calls need of a handle.
struct OpenedKey {
    RegKeyId id = 0;
    REGSAM access = 0;
};

// The key a handle stands for; HKEY_CLASSES_ROOT's is looked up here.
LONG Resolve(HKEY handle, OpenedKey* key) {
    if (handle == nullptr) {
        return kBadHandle;
    }
    if (IsPredefinedValue(handle)) {
        KeyHandle root;
        if (LONG result = Predefined(handle, &root)) {
            return result;
        }
        key->access = root.access;
        key->id = root.id;
        if (root.id == 0) {
            return CurrentRegistryStore().OpenKey(HiveKey(root.hive), root.logical, &key->id);
        }
        return kOk;
    }
    std::shared_ptr<const KeyHandle> found = HandleTable::Instance().Find(handle);
    if (!found) {
        return kBadHandle;
    }
    key->id = found->id;
    key->access = found->access;
    return kOk;
}

// Where a call on (base, subkey) lands: the key to walk from and the names to walk.
struct Target {
    KeyHandle key;  // the new handle's record, id still to be filled
    REGSAM base_access = 0;
    bool names_base = false;  // no subkey: the call is about the base key itself
    RegKeyId walk_from = 0;
    std::vector<std::string> walk;
};

LONG Plan(HKEY base_handle, const char* subkey, REGSAM sam, Target* target) {
    if (base_handle == nullptr) {
        return kBadHandle;
    }
    KeyHandle predefined;
    std::shared_ptr<const KeyHandle> opened;
    if (IsPredefinedValue(base_handle)) {
        if (LONG result = Predefined(base_handle, &predefined)) {
            return result;
        }
    } else if (!(opened = HandleTable::Instance().Find(base_handle))) {
        return kBadHandle;
    }
    const KeyHandle& base = opened ? *opened : predefined;
    std::vector<std::string> names = SplitRegistryPath(subkey != nullptr ? subkey : "");
    for (const std::string& name : names) {
        if (name.size() > kMaxKeyNameLength) {
            return kBadArgument;
        }
    }
    target->base_access = base.access;
    target->names_base = names.empty();
    KeyHandle& key = target->key;
    key.hive = base.hive;
    key.access = GrantedAccess(sam);
    key.view32 = false;
    if (Wow64()) {
        if ((sam & KEY_WOW64_64KEY) != 0) {
            key.view32 = false;
        } else if ((sam & KEY_WOW64_32KEY) != 0) {
            key.view32 = true;
        } else {
            key.view32 = base.view32;
        }
    }
    key.logical = base.logical;
    key.logical.insert(key.logical.end(), names.begin(), names.end());
    key.physical = Redirect(key.hive, key.logical, key.view32);
    // Walk from the base key when the target lies below where the base handle points.
    bool below_base = base.id != 0 && key.physical.size() >= base.physical.size();
    for (size_t i = 0; below_base && i < base.physical.size(); ++i) {
        below_base = Fold(key.physical[i]) == Fold(base.physical[i]);
    }
    if (below_base) {
        target->walk_from = base.id;
        target->walk.assign(key.physical.begin() + static_cast<long>(base.physical.size()),
                            key.physical.end());
    } else {
        target->walk_from = HiveKey(key.hive);
        target->walk = key.physical;
    }
    return kOk;
}

// Copies a name into a caller's character buffer: 234 when it does not fit with its NUL,
// else the size becomes the length without the NUL.
LONG CopyName(const std::string& name, char* buffer, DWORD* size) {
    if (name.size() + 1 > *size) {
        return kMoreData;
    }
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *size = static_cast<DWORD>(name.size());
    return kOk;
}

// Copies value data: with no buffer only the size is reported; 234 with the size needed when
// the buffer is too small.
LONG CopyData(const std::string& data, BYTE* buffer, DWORD* size) {
    if (buffer == nullptr) {
        if (size != nullptr) {
            *size = static_cast<DWORD>(data.size());
        }
        return kOk;
    }
    const DWORD available = *size;
    *size = static_cast<DWORD>(data.size());
    if (data.size() > available) {
        return kMoreData;
    }
    std::memcpy(buffer, data.data(), data.size());
    return kOk;
}

void ToFileTime(std::uint64_t ticks, FILETIME* time) {
    if (time != nullptr) {
        time->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
        time->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    }
}

LONG OpenOrCreate(HKEY root, const char* subkey, const char* key_class, REGSAM sam, bool create,
                  HKEY* result, DWORD* disposition) {
    if (result == nullptr) {
        return kBadArgument;
    }
    *result = nullptr;
    Target target;
    if (LONG planned = Plan(root, subkey, sam, &target)) {
        return planned;
    }
    RegistryStore& store = CurrentRegistryStore();
    LONG status = kOk;
    bool created = false;
    if (create) {
        bool may_create = (target.base_access & KEY_CREATE_SUB_KEY) != 0;
        status =
            store.CreateKey(target.walk_from, target.walk, key_class != nullptr ? key_class : "",
                            may_create, &target.key.id, &created);
    } else {
        status = store.OpenKey(target.walk_from, target.walk, &target.key.id);
    }
    if (status != kOk) {
        return status;
    }
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    *result = HandleTable::Instance().Add(std::move(target.key));
    return kOk;
}

}  // namespace

LONG RegOpenKeyExA(HKEY root, const char* subkey, DWORD /*options*/, REGSAM sam, HKEY* result) {
    return OpenOrCreate(root, subkey, nullptr, sam, false, result, nullptr);
}

LONG RegCreateKeyExA(HKEY root, const char* subkey, DWORD /*reserved*/, char* key_class,
                     DWORD /*options*/, REGSAM sam, void* /*security*/, HKEY* result,
                     DWORD* disposition) {
    return OpenOrCreate(root, subkey, key_class, sam, true, result, disposition);
}

LONG RegCloseKey(HKEY key) {
    if (key == nullptr) {
        return kBadHandle;
    }
    if (IsPredefinedValue(key)) {
        KeyHandle ignored;
        return Predefined(key, &ignored);
    }
    return HandleTable::Instance().Remove(key) ? kOk : kBadHandle;
}

LONG RegQueryValueExA(HKEY key, const char* name, DWORD* /*reserved*/, DWORD* type, BYTE* data,
                      DWORD* size) {
    if (data != nullptr && size == nullptr) {
        return kBadArgument;
    }
    OpenedKey handle;
    if (LONG result = Resolve(key, &handle)) {
        return result;
    }
    if (!Has(handle.access, KEY_QUERY_VALUE)) {
        return kDenied;
    }
    RegValueRecord value;
    if (LONG result =
            CurrentRegistryStore().QueryValue(handle.id, name != nullptr ? name : "", &value)) {
        return result;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    return CopyData(value.data, data, size);
}

LONG RegSetValueExA(HKEY key, const char* name, DWORD /*reserved*/, DWORD type, const BYTE* data,
                    DWORD size) {
    if (data == nullptr && size != 0) {
        return kBadArgument;
    }
    OpenedKey handle;
    if (LONG result = Resolve(key, &handle)) {
        return result;
    }
    if (!Has(handle.access, KEY_SET_VALUE)) {
        return kDenied;
    }
    std::string_view bytes(reinterpret_cast<const char*>(data), data != nullptr ? size : 0);
    return CurrentRegistryStore().SetValue(handle.id, name != nullptr ? name : "", type, bytes);
}

LONG RegDeleteValueA(HKEY key, const char* name) {
    OpenedKey handle;
    if (LONG result = Resolve(key, &handle)) {
        return result;
    }
    if (!Has(handle.access, KEY_SET_VALUE)) {
        return kDenied;
    }
    return CurrentRegistryStore().DeleteValue(handle.id, name != nullptr ? name : "");
}

LONG RegDeleteKeyA(HKEY key, const char* subkey) {
    Target target;
    if (LONG planned = Plan(key, subkey, 0, &target)) {
        return planned;
    }
    // The handle's own key: a predefined root cannot go, an opened key needs DELETE.
    if (target.names_base &&
        (IsPredefinedValue(key) || (target.base_access & DELETE_ACCESS) == 0)) {
        return kDenied;
    }
    return CurrentRegistryStore().DeleteKey(target.walk_from, target.walk);
}

LONG RegEnumKeyExA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* /*reserved*/,
                   char* key_class, DWORD* class_size, FILETIME* last_write) {
    if (name == nullptr || name_size == nullptr ||
        (key_class != nullptr && class_size == nullptr)) {
        return kBadArgument;
    }
    OpenedKey handle;
    if (LONG result = Resolve(key, &handle)) {
        return result;
    }
    if (!Has(handle.access, KEY_ENUMERATE_SUB_KEYS)) {
        return kDenied;
    }
    RegSubkeyRecord subkey;
    if (LONG result = CurrentRegistryStore().EnumKey(handle.id, index, &subkey)) {
        return result;
    }
    if (LONG result = CopyName(subkey.name, name, name_size)) {
        return result;
    }
    if (key_class != nullptr) {
        if (LONG result = CopyName(subkey.key_class, key_class, class_size)) {
            return result;
        }
    }
    ToFileTime(subkey.last_write, last_write);
    return kOk;
}

LONG RegEnumValueA(HKEY key, DWORD index, char* name, DWORD* name_size, DWORD* /*reserved*/,
                   DWORD* type, BYTE* data, DWORD* data_size) {
    if (name == nullptr || name_size == nullptr || (data != nullptr && data_size == nullptr)) {
        return kBadArgument;
    }
    OpenedKey handle;
    if (LONG result = Resolve(key, &handle)) {
        return result;
    }
    if (!Has(handle.access, KEY_QUERY_VALUE)) {
        return kDenied;
    }
    RegValueRecord value;
    if (LONG result = CurrentRegistryStore().EnumValue(handle.id, index, &value)) {
        return result;
    }
    if (LONG result = CopyName(value.name, name, name_size)) {
        return result;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    return CopyData(value.data, data, data_size);
}

LONG RegQueryInfoKeyA(HKEY key, char* key_class, DWORD* class_size, DWORD* /*reserved*/,
                      DWORD* subkeys, DWORD* max_subkey_len, DWORD* max_class_len, DWORD* values,
                      DWORD* max_value_name_len, DWORD* max_value_len, DWORD* security_size,
                      FILETIME* last_write) {
    if (key_class != nullptr && class_size == nullptr) {
        return kBadArgument;
    }
    OpenedKey handle;
    if (LONG result = Resolve(key, &handle)) {
        return result;
    }
    if (!Has(handle.access, KEY_QUERY_VALUE)) {
        return kDenied;
    }
    RegKeyInfoRecord info;
    if (LONG result = CurrentRegistryStore().QueryInfo(handle.id, &info)) {
        return result;
    }
    if (key_class != nullptr) {
        if (LONG result = CopyName(info.key_class, key_class, class_size)) {
            return result;
        }
    }
    const std::pair<DWORD*, DWORD> outputs[] = {
        {subkeys, info.subkeys},
        {max_subkey_len, info.max_subkey_length},
        {max_class_len, info.max_class_length},
        {values, info.values},
        {max_value_name_len, info.max_value_name_length},
        {max_value_len, info.max_value_length},
        {security_size, static_cast<DWORD>(sizeof(SECURITY_DESCRIPTOR))},
    };
    for (const auto& [out, value] : outputs) {
        if (out != nullptr) {
            *out = value;
        }
    }
    ToFileTime(info.last_write, last_write);
    return kOk;
}

LONG RegSetKeySecurity(HKEY key, SECURITY_INFORMATION info, PSECURITY_DESCRIPTOR descriptor) {
    if (descriptor == nullptr) {
        return kBadArgument;
    }
    OpenedKey handle;
    if (LONG result = Resolve(key, &handle)) {
        return result;
    }
    if (!Has(handle.access, WRITE_DAC)) {
        return kDenied;
    }
    if ((info & DACL_SECURITY_INFORMATION) == 0 ||
        !DaclGrantsEveryone(static_cast<SECURITY_DESCRIPTOR*>(descriptor), KEY_ALL_ACCESS)) {
        return kOk;
    }
    return CurrentRegistryStore().SetDenyDelete(handle.id, {}, false);
}

LONG SetKeyDenyDelete(HKEY root, const char* subkey, bool deny, REGSAM view) {
    Target target;
    if (LONG planned = Plan(root, subkey, view, &target)) {
        return planned;
    }
    return CurrentRegistryStore().SetDenyDelete(target.walk_from, target.walk, deny);
}

namespace {

template <typename Enumerate>
std::vector<std::string> EnumerateNames(HKEY root, const char* subkey, REGSAM view,
                                        Enumerate enumerate) {
    std::vector<std::string> names;
    RegKey key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ | view, key.Receive()) != 0) {
        return names;
    }
    for (DWORD index = 0;; ++index) {
        char name[260] = {};
        DWORD size = sizeof(name);
        if (enumerate(key.Get(), index, name, &size) != 0) {
            break;
        }
        names.emplace_back(name);
    }
    return names;
}

}  // namespace

std::vector<std::string> RegSubkeyNames(HKEY root, const char* subkey, REGSAM view) {
    return EnumerateNames(root, subkey, view, [](HKEY key, DWORD index, char* name, DWORD* size) {
        return RegEnumKeyExA(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
    });
}

std::vector<std::string> RegValueNames(HKEY root, const char* subkey, REGSAM view) {
    return EnumerateNames(root, subkey, view, [](HKEY key, DWORD index, char* name, DWORD* size) {
        return RegEnumValueA(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
    });
}

}  // namespace qx::platform
