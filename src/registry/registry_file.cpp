// The registry text file: a profile whose sections are "root\key path" and whose lines are
// the key's values ("name"="text", "name"=dword:0000002a, "name"=hex:).
#include <array>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "profile/profile.h"
#include "registry/key_path.h"
#include "registry/registry_helper.h"

namespace qp = qx::platform;

namespace {

using qp::DWORD;
using qp::HKEY;

// Nothing throws to a caller; the only fault these functions can meet is memory running out.
constexpr DWORD kErrorOfFault = qp::kErrorNotEnoughMemory;

constexpr DWORD kNameBufferSize = 260;
constexpr DWORD kDataBufferSize = 4096;
constexpr DWORD kExpansionSize = 32768;
constexpr size_t kMaxLine = 4095;
constexpr size_t kMaxName = 255;
constexpr qp::REGSAM kSaveAccess = qp::KEY_READ | qp::KEY_CREATE_SUB_KEY | qp::KEY_SET_VALUE;

struct RootName {
    HKEY root;
    const char* name;
};

const std::array<RootName, 6>& RootNames() {
    static const std::array<RootName, 6> names = {{
        {qp::HKEY_CLASSES_ROOT, "HKEY_CLASSES_ROOT"},
        {qp::HKEY_CURRENT_USER, "HKEY_CURRENT_USER"},
        {qp::HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE"},
        {qp::HKEY_PERFORMANCE_DATA, "HKEY_PERFORMANCE_DATA"},
        {qp::HKEY_CURRENT_CONFIG, "HKEY_CURRENT_CONFIG"},
        {qp::HKEY_DYN_DATA, "HKEY_DYN_DATA"},
    }};
    return names;
}

const char* NameOfRoot(HKEY root) {
    for (const RootName& entry : RootNames()) {
        if (entry.root == root) {
            return entry.name;
        }
    }
    return nullptr;
}

bool IsEmpty(const char* text) {
    return text == nullptr || *text == '\0';
}

DWORD Status(qp::LONG result) {
    return static_cast<DWORD>(result);
}

std::string_view Trim(std::string_view text, std::string_view blanks) {
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Whether a line written to the file reads back as the same line: the reader splits lines at
// CR and LF, stops at an over-long line, strips comments outside double quotes and carries an
// open quote into the lines that follow.
bool ReadsBackWhole(std::string_view line) {
    if (line.size() > kMaxLine ||
        line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        return false;
    }
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') {
            quoted = !quoted;
        } else if (!quoted && line[i] == '/' && i + 1 < line.size() &&
                   (line[i + 1] == '/' || line[i + 1] == '*')) {
            return false;
        }
    }
    return !quoted;
}

bool EndsWithAny(std::string_view text, std::string_view characters) {
    return !text.empty() && characters.find(text.back()) != std::string_view::npos;
}
bool StartsWithAny(std::string_view text, std::string_view characters) {
    return !text.empty() && characters.find(text.front()) != std::string_view::npos;
}

// A section name survives the header trimming of the reader.
bool SectionReadsBack(const std::string& section) {
    return section.size() <= kMaxName && !EndsWithAny(section, " \t\"]") &&
           ReadsBackWhole("[" + section + "]");
}

// A value line survives the reader and the value parsing of LoadFromFile.
bool ValueReadsBack(std::string_view name, const std::string& key, const std::string& text) {
    return key.size() <= kMaxName && name.find('=') == std::string_view::npos &&
           !StartsWithAny(name, " \t\"") && !EndsWithAny(name, " \t\"") &&
           ReadsBackWhole(key + "=" + text);
}

// The profile reader used for the registry file: section by section, line by line.
class RegistryFileProfile : public CProfile {
  public:
    DWORD Open(const char* file) { return LoadFile(file, &m_mainList); }

    std::vector<const SECTION_LIST*> Sections() {
        std::vector<const SECTION_LIST*> sections;
        for (const SECTION_LIST* section = m_mainList.FindSection(nullptr); section != nullptr;
             section = section->next) {
            sections.push_back(section);
        }
        return sections;
    }

    // The section's lines as "key = value" (or the bare key), STRINGS references expanded.
    // Backslash sequences stay as they are: they are part of paths, not escapes.
    std::vector<std::string> Lines(const SECTION_LIST* section) {
        std::vector<std::string> lines;
        std::vector<char> entry(kExpansionSize, '\0');
        for (const LINE_LIST* line = section->first_line; line != nullptr; line = line->next) {
            if (line->value[0] == '\0') {
                lines.emplace_back(line->key);
                continue;
            }
            std::snprintf(entry.data(), entry.size(), "%s = %s", line->key, line->value);
            ConvertDefinedString(entry.data(), static_cast<DWORD>(entry.size()), false);
            lines.emplace_back(entry.data());
        }
        return lines;
    }
};

// Hexadecimal from the last character backwards, at most eight digits; a character that is no
// hexadecimal digit counts as 0.
DWORD ParseDword(std::string_view digits) {
    DWORD value = 0;
    int shift = 0;
    for (size_t i = digits.size(); i > 0 && shift < 32; --i, shift += 4) {
        const char c = digits[i - 1];
        DWORD digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<DWORD>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<DWORD>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<DWORD>(c - 'A' + 10);
        }
        value |= digit << shift;
    }
    return value;
}

DWORD LoadLine(HKEY key, std::string_view line) {
    const size_t equals = line.find('=');
    const std::string name(Trim(line.substr(0, equals), " \t\""));
    const std::string_view text = equals == std::string_view::npos
                                      ? std::string_view()
                                      : Trim(line.substr(equals + 1), " \t");
    if (!text.empty() && text.front() == '"' && text.back() == '"') {
        const std::string value(Trim(text, "\""));
        return Status(qp::RegSetValueExA(key, name.c_str(), 0, qp::REG_SZ,
                                         reinterpret_cast<const qp::BYTE*>(value.c_str()),
                                         static_cast<DWORD>(value.size() + 1)));
    }
    const size_t colon = text.find(':');
    const std::string_view type = text.substr(0, colon);
    const qp::UINT code_page = qp::GetACP();
    if (qp::EqualsNoCaseMb(type, "dword", code_page)) {
        const std::string_view digits = colon == std::string_view::npos
                                            ? std::string_view()
                                            : Trim(text.substr(colon + 1), " \t\"");
        const DWORD value = ParseDword(digits);
        const qp::BYTE bytes[4] = {static_cast<qp::BYTE>(value), static_cast<qp::BYTE>(value >> 8),
                                   static_cast<qp::BYTE>(value >> 16),
                                   static_cast<qp::BYTE>(value >> 24)};
        return Status(
            qp::RegSetValueExA(key, name.c_str(), 0, qp::REG_DWORD, bytes, sizeof(bytes)));
    }
    if (qp::EqualsNoCaseMb(type, "hex", code_page)) {
        return qp::kErrorSuccess;  // binary data is not carried by the file
    }
    return qp::kErrorInvalidData;
}

// The root a section names, and the subkey below it; no root name means HKEY_LOCAL_MACHINE.
std::pair<HKEY, std::string> SectionKey(const std::string& section) {
    const size_t slash = section.find('\\');
    const std::string_view first = std::string_view(section).substr(0, slash);
    for (const RootName& entry : RootNames()) {
        if (qp::EqualsNoCaseMb(first, entry.name, qp::GetACP())) {
            return {entry.root,
                    slash == std::string::npos ? std::string() : section.substr(slash + 1)};
        }
    }
    return {qp::HKEY_LOCAL_MACHINE, section};
}

// One value line of the file, or nothing for a type the file does not carry.
bool ValueLine(DWORD type, const std::vector<qp::BYTE>& data, DWORD size, std::string* text) {
    if (type == qp::REG_SZ) {
        *text = "\"" + std::string(reinterpret_cast<const char*>(data.data())) + "\"";
        return true;
    }
    if (type == qp::REG_DWORD && size >= sizeof(DWORD)) {
        const DWORD value = static_cast<DWORD>(data[0]) | (static_cast<DWORD>(data[1]) << 8) |
                            (static_cast<DWORD>(data[2]) << 16) |
                            (static_cast<DWORD>(data[3]) << 24);
        char number[32];
        std::snprintf(number, sizeof(number), "%s:%08x", "dword", static_cast<unsigned>(value));
        *text = number;
        return true;
    }
    if (type == qp::REG_BINARY) {
        *text = "hex:";
        return true;
    }
    return false;
}

DWORD WriteValues(CProfile* profile, HKEY key, DWORD count, const std::string& section) {
    DWORD first_error = qp::kErrorSuccess;
    for (DWORD i = 0; i < count; ++i) {
        char name[kNameBufferSize] = {};
        DWORD name_size = sizeof(name);
        std::vector<qp::BYTE> data(kDataBufferSize + 1, 0);
        DWORD data_size = kDataBufferSize;
        DWORD type = 0;
        if (qp::RegEnumValueA(key, i, name, &name_size, nullptr, &type, data.data(), &data_size) !=
            0) {
            continue;
        }
        std::string text;
        if (!ValueLine(type, data, data_size, &text)) {
            continue;
        }
        // What the format cannot carry is left out like the types it has no line for, rather
        // than written as lines that would read back as other values or other keys.
        const std::string line_key = "\"" + std::string(name) + "\"";
        if (!ValueReadsBack(name, line_key, text)) {
            continue;
        }
        const DWORD result = profile->SetValue(section.c_str(), line_key.c_str(), text.c_str());
        if (result != qp::kErrorSuccess && first_error == qp::kErrorSuccess) {
            first_error = result;
        }
    }
    return first_error;
}

DWORD WriteKey(CProfile* profile, HKEY root, const char* root_name, const std::string& path) {
    qp::RegKey key;
    if (qp::LONG result = qp::RegOpenKeyExA(root, path.c_str(), 0, kSaveAccess, key.Receive())) {
        return Status(result);
    }
    const std::string section = std::string(root_name) + "\\" + path;
    if (!SectionReadsBack(section)) {
        return qp::kErrorInvalidData;
    }
    if (DWORD result = profile->SetValue(section.c_str(), "", "")) {
        return result;
    }
    DWORD subkeys = 0;
    DWORD values = 0;
    if (qp::LONG result =
            qp::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                                 &values, nullptr, nullptr, nullptr, nullptr)) {
        return Status(result);
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        char name[kNameBufferSize] = {};
        DWORD size = sizeof(name);
        if (qp::RegEnumKeyExA(key.Get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) == 0) {
            WriteKey(profile, root, root_name, path + "\\" + name);
        }
    }
    return WriteValues(profile, key.Get(), values, section);
}

}  // namespace

CRegistry::DWORD CRegistry::SaveToFile(const char* key, const char* file, HKEY root) try {
    const char* root_name = NameOfRoot(root);
    // With a trailing backslash it is the same key; its children are named below it.
    const std::string path = qx::registry::WithoutTrailingSeparators(key != nullptr ? key : "");
    if (path.empty() || IsEmpty(file) || root_name == nullptr) {
        return qp::kErrorInvalidParameter;
    }
    qp::SetLastError(qp::kErrorSuccess);
    if (!qp::CreateFileA(file, qp::kGenericWrite, 0, qp::kCreateNew)) {
        const DWORD error = qp::GetLastError();
        return error != qp::kErrorSuccess ? error : qp::kErrorAccessDenied;
    }
    {
        // A key that cannot be read leaves no empty file behind.
        qp::RegKey probe;
        if (qp::LONG result =
                qp::RegOpenKeyExA(root, path.c_str(), 0, kSaveAccess, probe.Receive())) {
            qp::DeleteFileA(file);
            return Status(result);
        }
    }
    CProfile profile;
    profile.Create(file, nullptr, false);
    return WriteKey(&profile, root, root_name, path);
} catch (const std::exception&) {
    return kErrorOfFault;
}

CRegistry::DWORD CRegistry::LoadFromFile(const char* file) try {
    if (IsEmpty(file)) {
        return qp::kErrorInvalidParameter;
    }
    RegistryFileProfile profile;
    if (DWORD result = profile.Open(file)) {
        return result;
    }
    DWORD result = qp::kErrorSuccess;
    for (const SECTION_LIST* section : profile.Sections()) {
        const auto [root, subkey] = SectionKey(section->name);
        qp::RegKey key;
        if (qp::LONG created =
                qp::RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, qp::REG_OPTION_NON_VOLATILE,
                                    qp::KEY_WRITE, nullptr, key.Receive(), nullptr)) {
            result = Status(created);
            continue;
        }
        for (const std::string& line : profile.Lines(section)) {
            result = LoadLine(key.Get(), line);
        }
    }
    return result;
} catch (const std::exception&) {
    return kErrorOfFault;
}
