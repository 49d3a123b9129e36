#include "registry/registry_helper.h"

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "modules/api_function.h"
#include "platform/errors.h"
#include "platform/security.h"
#include "platform/system_library.h"
#include "registry/key_path.h"

namespace qp = qx::platform;

namespace {

using qp::DWORD;
using qp::HKEY;

// Nothing throws to a caller; the only fault these functions can meet is memory running out.
constexpr DWORD kErrorOfFault = qp::kErrorNotEnoughMemory;

constexpr DWORD kNoLimit = 0xFFFFFFFFu;
constexpr DWORD kNameBufferSize = 260;  // names of at most 259 bytes
constexpr DWORD kDataBufferSize = 4096;
constexpr DWORD kAclSlack = 52;
constexpr qp::REGSAM kParentAccess = qp::KEY_READ | qp::KEY_CREATE_SUB_KEY | qp::KEY_SET_VALUE;

bool IsEmpty(const char* text) {
    return text == nullptr || *text == '\0';
}

DWORD Status(qp::LONG result) {
    return static_cast<DWORD>(result);
}

// Reads one value of at most 4096 bytes.
DWORD QueryValue(const char* key, const char* name, HKEY root, DWORD* type, std::string* data) {
    qp::RegKey opened;
    if (qp::LONG result = qp::RegOpenKeyExA(root, key, 0, qp::KEY_READ, opened.Receive())) {
        return Status(result);
    }
    data->assign(kDataBufferSize, '\0');
    DWORD size = kDataBufferSize;
    if (qp::LONG result = qp::RegQueryValueExA(opened.Get(), name, nullptr, type,
                                               reinterpret_cast<qp::BYTE*>(data->data()), &size)) {
        return Status(result);
    }
    data->resize(size);
    return qp::kErrorSuccess;
}

std::string ChildPath(const std::string& key, const char* name) {
    if (qx::registry::EndsWithSeparator(key)) {
        return key + name;
    }
    return key + "\\" + name;
}

// A failing step's error: the last error, or "not found" for a function this system lacks
// (its wrapper fails without setting any).
DWORD StepError() {
    const DWORD error = qp::GetLastError();
    return error != qp::kErrorSuccess ? error : qp::kErrorProcNotFound;
}

// Frees the SID through the same binder that allocated it.
class SidHolder {
  public:
    explicit SidHolder(CAPIFunction* api) : m_api(api) {}
    ~SidHolder() {
        if (m_sid != nullptr) {
            m_api->FreeSid(m_sid);
        }
    }
    SidHolder(const SidHolder&) = delete;
    SidHolder& operator=(const SidHolder&) = delete;

    qp::PSID* Receive() { return &m_sid; }
    qp::PSID Get() const { return m_sid; }

  private:
    CAPIFunction* m_api;
    qp::PSID m_sid = nullptr;
};

}  // namespace

CRegistry::CRegistry() = default;
CRegistry::CRegistry(const CRegistry&) = default;
CRegistry& CRegistry::operator=(const CRegistry&) = default;
CRegistry::~CRegistry() = default;

CRegistry::DWORD CRegistry::GetValue(const char* key, const char* name, char* out, HKEY root,
                                     DWORD outSize) try {
    if (IsEmpty(key) || IsEmpty(name) || out == nullptr) {
        return qp::kErrorInvalidParameter;
    }
    DWORD type = 0;
    std::string data;
    if (DWORD result = QueryValue(key, name, root, &type, &data)) {
        return result;
    }
    if (type != qp::REG_SZ) {
        return qp::kErrorInvalidParameter;
    }
    // Data stored without its NUL still needs room for one in the caller's buffer.
    const std::string text(data.c_str());
    if (outSize != kNoLimit && (data.size() > outSize || text.size() + 1 > outSize)) {
        return qp::kErrorInsufficientBuffer;
    }
    std::memcpy(out, text.c_str(), text.size() + 1);
    return qp::kErrorSuccess;
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::GetValue(const char* key, const char* name, DWORD* out, HKEY root,
                                     DWORD /*unused*/) try {
    if (IsEmpty(key) || IsEmpty(name) || out == nullptr) {
        return qp::kErrorInvalidParameter;
    }
    DWORD type = 0;
    std::string data;
    if (DWORD result = QueryValue(key, name, root, &type, &data)) {
        return result;
    }
    if (type != qp::REG_DWORD) {
        return qp::kErrorInvalidParameter;
    }
    if (data.size() < sizeof(DWORD)) {
        return qp::kErrorInvalidData;
    }
    const auto byte = [&](int i) {
        return static_cast<DWORD>(static_cast<unsigned char>(data[i]));
    };
    *out = byte(0) | (byte(1) << 8) | (byte(2) << 16) | (byte(3) << 24);
    return qp::kErrorSuccess;
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::SetValue(const char* key, const char* name, const char* text,
                                     HKEY root) try {
    if (IsEmpty(key) || IsEmpty(name) || text == nullptr) {
        return qp::kErrorInvalidParameter;
    }
    qp::RegKey opened;
    if (qp::LONG result = qp::RegCreateKeyExA(root, key, 0, nullptr, qp::REG_OPTION_NON_VOLATILE,
                                              qp::KEY_WRITE, nullptr, opened.Receive(), nullptr)) {
        return Status(result);
    }
    const size_t size = std::strlen(text) + 1;
    return Status(qp::RegSetValueExA(opened.Get(), name, 0, qp::REG_SZ,
                                     reinterpret_cast<const qp::BYTE*>(text),
                                     static_cast<DWORD>(size)));
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::SetValue(const char* key, const char* name, DWORD value,
                                     HKEY root) try {
    if (IsEmpty(key) || IsEmpty(name)) {
        return qp::kErrorInvalidParameter;
    }
    qp::RegKey opened;
    if (qp::LONG result = qp::RegCreateKeyExA(root, key, 0, nullptr, qp::REG_OPTION_NON_VOLATILE,
                                              qp::KEY_WRITE, nullptr, opened.Receive(), nullptr)) {
        return Status(result);
    }
    const qp::BYTE bytes[4] = {static_cast<qp::BYTE>(value), static_cast<qp::BYTE>(value >> 8),
                               static_cast<qp::BYTE>(value >> 16),
                               static_cast<qp::BYTE>(value >> 24)};
    return Status(qp::RegSetValueExA(opened.Get(), name, 0, qp::REG_DWORD, bytes, sizeof(bytes)));
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::DeleteValue(const char* key, const char* name, HKEY root) try {
    qp::RegKey opened;
    if (qp::LONG result = qp::RegOpenKeyExA(root, key, 0, qp::KEY_ALL_ACCESS, opened.Receive())) {
        return Status(result);
    }
    return Status(qp::RegDeleteValueA(opened.Get(), name));
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::DeleteKey(const char* key, bool onlyThisKey, HKEY root) try {
    if (IsEmpty(key)) {
        return qp::kErrorInvalidParameter;  // never the root itself
    }
    if (onlyThisKey) {
        return DeleteOneKey(key, root);
    }
    if (DWORD result = DeleteSubKey(key, root)) {
        return result;
    }
    return DeleteEmptyParent(key, root);
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::DeleteOneKey(const char* key, HKEY root) try {
    const DWORD result = Status(qp::RegDeleteKeyA(root, key));
    if (result != qp::kErrorAccessDenied) {
        return result;
    }
    // The key's own refusal stands when its permission cannot be opened up.
    if (SetDaclPermission(key, root) != qp::kErrorSuccess) {
        return result;
    }
    return Status(qp::RegDeleteKeyA(root, key));
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::DeleteSubKey(const char* key, HKEY root) try {
    if (IsEmpty(key)) {
        return qp::kErrorInvalidParameter;
    }
    {
        qp::RegKey opened;
        if (qp::LONG result =
                qp::RegOpenKeyExA(root, key, 0, qp::KEY_ALL_ACCESS, opened.Receive())) {
            return Status(result);
        }
        DWORD subkeys = 0;
        if (qp::LONG result =
                qp::RegQueryInfoKeyA(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                     nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)) {
            return Status(result);
        }
        const std::string path = key;
        for (DWORD i = 0; i < subkeys; ++i) {
            // Always index 0: each deletion moves the next subkey up.
            char name[kNameBufferSize] = {};
            DWORD size = sizeof(name);
            if (qp::RegEnumKeyExA(opened.Get(), 0, name, &size, nullptr, nullptr, nullptr,
                                  nullptr) != 0) {
                continue;
            }
            if (DWORD result = DeleteSubKey(ChildPath(path, name).c_str(), root)) {
                return result;
            }
        }
    }
    return DeleteOneKey(key, root);
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::DeleteEmptyParent(const char* key, HKEY root) try {
    if (IsEmpty(key)) {
        return qp::kErrorInvalidParameter;
    }
    std::string path = key;
    for (;;) {
        // A trailing backslash names the same key, not a child of its parent.
        path = qx::registry::WithoutTrailingSeparators(path);
        const size_t last = qx::registry::LastSeparator(path);
        if (last == std::string::npos) {
            return qp::kErrorSuccess;
        }
        path.resize(last);
        if (qx::registry::LastSeparator(path) == std::string::npos) {
            return qp::kErrorSuccess;  // the first component always stays
        }
        qp::RegKey opened;
        if (qp::LONG result =
                qp::RegOpenKeyExA(root, path.c_str(), 0, kParentAccess, opened.Receive())) {
            return Status(result);
        }
        DWORD subkeys = 0;
        DWORD values = 0;
        if (qp::LONG result =
                qp::RegQueryInfoKeyA(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                     nullptr, &values, nullptr, nullptr, nullptr, nullptr)) {
            return Status(result);
        }
        if (subkeys != 0 || values != 0) {
            return qp::kErrorSuccess;
        }
        opened.Close();
        if (qp::LONG result = qp::RegDeleteKeyA(root, path.c_str())) {
            return Status(result);
        }
    }
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::SetDaclPermission(const char* key, HKEY root) try {
    if (IsEmpty(key)) {
        return qp::kErrorInvalidParameter;
    }
    CAPIFunction api;
    api.Load();
    qp::SetLastError(qp::kErrorSuccess);
    qp::SECURITY_DESCRIPTOR descriptor;
    if (!api.InitializeSecurityDescriptor(&descriptor, qp::SECURITY_DESCRIPTOR_REVISION)) {
        return StepError();
    }
    SidHolder everyone(&api);
    if (!api.AllocateAndInitializeSid(&qp::SECURITY_WORLD_SID_AUTHORITY, 1, qp::SECURITY_WORLD_RID,
                                      0, 0, 0, 0, 0, 0, 0, everyone.Receive())) {
        return StepError();
    }
    const DWORD acl_size = qp::GetLengthSid(everyone.Get()) + kAclSlack;
    std::vector<qp::BYTE> acl(acl_size, 0);
    if (!api.InitializeAcl(acl.data(), acl_size, qp::ACL_REVISION_DS)) {
        return StepError();
    }
    if (!api.AddAccessAllowedObjectAce(acl.data(), qp::ACL_REVISION_DS,
                                       qp::CONTAINER_INHERIT_ACE | qp::INHERITED_ACE,
                                       qp::KEY_ALL_ACCESS, nullptr, nullptr, everyone.Get())) {
        return StepError();
    }
    if (!api.SetSecurityDescriptorDacl(&descriptor, 1, acl.data(), 0)) {
        return StepError();
    }
    if (!api.SetSecurityDescriptorControl(&descriptor, qp::SE_DACL_AUTO_INHERITED,
                                          qp::SE_DACL_AUTO_INHERITED)) {
        return StepError();
    }
    qp::RegKey opened;
    if (qp::LONG result = qp::RegOpenKeyExA(root, key, 0, qp::WRITE_DAC, opened.Receive())) {
        return Status(result);
    }
    return Status(qp::RegSetKeySecurity(opened.Get(), qp::DACL_SECURITY_INFORMATION, &descriptor));
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::CopyKey(const char* fromKey, const char* toKey, bool withSubkeys,
                                    HKEY fromRoot, HKEY toRoot) try {
    if (IsEmpty(fromKey) || IsEmpty(toKey)) {
        return qp::kErrorInvalidParameter;
    }
    qp::RegKey source;
    if (qp::LONG result = qp::RegOpenKeyExA(fromRoot, fromKey, 0, qp::KEY_READ, source.Receive())) {
        return Status(result);
    }
    DWORD subkeys = 0;
    DWORD values = 0;
    if (qp::LONG result =
            qp::RegQueryInfoKeyA(source.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr,
                                 nullptr, &values, nullptr, nullptr, nullptr, nullptr)) {
        return Status(result);
    }
    for (DWORD i = 0; withSubkeys && i < subkeys; ++i) {
        char name[kNameBufferSize] = {};
        DWORD size = sizeof(name);
        if (qp::LONG result = qp::RegEnumKeyExA(source.Get(), i, name, &size, nullptr, nullptr,
                                                nullptr, nullptr)) {
            return Status(result);
        }
        const std::string from = std::string(fromKey) + "\\" + name;
        const std::string to = std::string(toKey) + "\\" + name;
        if (DWORD result = CopyKey(from.c_str(), to.c_str(), true, fromRoot, toRoot)) {
            return result;
        }
    }
    return CopyValue(source.Get(), values, toKey, toRoot);
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::CopyValue(HKEY openKey, DWORD valueCount, const char* toKey,
                                      HKEY toRoot) try {
    DWORD first_error = qp::kErrorSuccess;
    const auto remember = [&](DWORD result) {
        if (first_error == qp::kErrorSuccess) {
            first_error = result;
        }
    };
    for (DWORD i = 0; i < valueCount; ++i) {
        char name[kNameBufferSize] = {};
        DWORD name_size = sizeof(name);
        // One byte more than the data may fill, so a string always ends.
        std::vector<qp::BYTE> data(kDataBufferSize + 1, 0);
        DWORD data_size = kDataBufferSize;
        DWORD type = 0;
        if (qp::LONG result = qp::RegEnumValueA(openKey, i, name, &name_size, nullptr, &type,
                                                data.data(), &data_size)) {
            remember(Status(result));
            continue;
        }
        if (type == qp::REG_SZ) {
            remember(SetValue(toKey, name, reinterpret_cast<const char*>(data.data()), toRoot));
        } else if (type == qp::REG_DWORD && data_size >= sizeof(DWORD)) {
            const DWORD value = static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) |
                                (static_cast<DWORD>(data[2]) << 16) |
                                (static_cast<DWORD>(data[3]) << 24);
            remember(SetValue(toKey, name, value, toRoot));
        }
    }
    return first_error;
} catch (const std::exception&) {
    return kErrorOfFault;
}
