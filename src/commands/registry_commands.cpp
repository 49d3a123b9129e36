#include "commands/registry_commands.h"

#include <optional>
#include <vector>

#include "app/log.h"
#include "app/system_checks.h"
#include "context/install_context.h"
#include "platform/code_page.h"
#include "profile/profile.h"
#include "registry/registry_helper.h"

namespace qx::commands {

namespace qp = qx::platform;

namespace {

// Numbers in configured texts follow the profile's rule (hexadecimal when "0X" appears).
class NumberReader : public CProfile {
  public:
    using CProfile::StringToDword;
};

qp::DWORD ReadNumber(const std::string& text) {
    NumberReader reader;
    return reader.StringToDword(text);
}

std::string Upper(const std::string& text) {
    return qp::ToUpperMb(text, qp::GetACP());
}

bool Listed(const std::optional<std::string>& list, const std::string& name) {
    return qx::app::IsInList(list->c_str(), name.c_str(), ",");
}

// Type, name and data of a VALUE line: the first two end at a comma (leading and doubled
// commas skipped), the data is the rest, commas included.
struct ValueLine {
    std::string type;
    std::string name;
    std::string data;
};

std::string NextPiece(const std::string& text, size_t* at) {
    while (*at < text.size() && text[*at] == ',') {
        ++*at;
    }
    size_t comma = text.find(',', *at);
    std::string piece = text.substr(*at, comma == std::string::npos ? comma : comma - *at);
    *at = comma == std::string::npos ? text.size() : comma + 1;
    return qx::app::Trim(piece, " \t");
}

ValueLine SplitValue(const std::string& text) {
    ValueLine line;
    size_t at = 0;
    line.type = NextPiece(text, &at);
    line.name = NextPiece(text, &at);
    line.data = qx::app::Trim(text.substr(std::min(at, text.size())), " \t");
    return line;
}

// The VALUE lines of a section, in order.
std::vector<ValueLine> ValueLines(const std::vector<std::string>& entries) {
    std::vector<ValueLine> lines;
    for (const std::string& entry : entries) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos ||
            !qp::EqualsNoCaseMb(qx::app::Trim(entry.substr(0, equals), " \t"), "VALUE",
                                qp::GetACP())) {
            continue;
        }
        lines.push_back(SplitValue(qx::app::Trim(entry.substr(equals + 1), " \t")));
    }
    return lines;
}

struct RegistrySection {
    qp::HKEY root = qp::HKEY_LOCAL_MACHINE;
    std::string key;
    std::vector<ValueLine> values;
};

struct Messages {
    const char* no_section;
    const char* no_key;
    const char* no_values;
};

// Steps shared by both commands; false (logged) on an error, with applies false when the
// section is skipped.
bool ReadSection(const std::string& section, const Messages& messages, bool* applies,
                 RegistrySection* out) {
    *applies = false;
    if (section.empty()) {
        GetLog()->Write("%s", messages.no_section);
        return false;
    }
    if (!IsSectionApplicable(section)) {
        return true;
    }
    CConfig* config = GetCommandConfig();
    const std::string root =
        config != nullptr ? config->Text(section.c_str(), "ROOTKEY").value_or("") : "";
    if (Upper(root).find("HKCU") != std::string::npos) {
        out->root = qp::HKEY_CURRENT_USER;
    }
    out->key = config != nullptr ? config->Text(section.c_str(), "KEYNAME").value_or("") : "";
    if (out->key.empty()) {
        GetLog()->Write("%s", messages.no_key);
        return false;
    }
    const std::vector<std::string> entries = config->Entries(section.c_str());
    if (entries.empty()) {
        GetLog()->Write("%s", messages.no_values);
        return false;
    }
    out->values = ValueLines(entries);
    *applies = true;
    return true;
}

}  // namespace

bool IsSectionApplicable(const std::string& section) {
    CConfig* config = GetCommandConfig();
    CInstallContext* context = GetContext();
    if (config == nullptr || context == nullptr) {
        return true;
    }
    const std::string& os = context->Paths().os_define;
    const std::string& language = context->Language().abbr;
    const char* name = section.c_str();
    if (auto list = config->Text(name, "SUPPORTED_OS"); list && !Listed(list, os)) {
        return false;
    }
    if (auto list = config->Text(name, "UNSUPPORTED_OS"); list && Listed(list, os)) {
        return false;
    }
    if (auto list = config->Text(name, "SUPPORTED_LANG"); list && !Listed(list, language)) {
        return false;
    }
    if (auto list = config->Text(name, "UNSUPPORTED_LANG"); list && Listed(list, language)) {
        return false;
    }
    return true;
}

bool AddRegistry(const std::string& section) {
    bool applies = false;
    RegistrySection reg;
    if (!ReadSection(section,
                     {"Get Add registry section error!", "Get Add registry Key Name error!",
                      "Get value fail!"},
                     &applies, &reg)) {
        return false;
    }
    if (!applies) {
        return true;
    }
    for (const ValueLine& value : reg.values) {
        if (value.name.empty()) {
            continue;
        }
        if (qp::EqualsNoCaseMb(value.type, "REG_DWORD", qp::GetACP())) {
            CRegistry::SetValue(reg.key.c_str(), value.name.c_str(), ReadNumber(value.data),
                                reg.root);
        } else {
            CRegistry::SetValue(reg.key.c_str(), value.name.c_str(), value.data.c_str(), reg.root);
        }
    }
    return true;
}

bool DeleteRegistry(const std::string& section) {
    bool applies = false;
    RegistrySection reg;
    if (!ReadSection(section,
                     {"Get Delete registry section error!", "Get Delete registry Key Name error!",
                      "Delete value fail!"},
                     &applies, &reg)) {
        return false;
    }
    if (!applies) {
        return true;
    }
    for (const ValueLine& value : reg.values) {
        // "VALUE=Name" names the value in its first piece.
        const std::string& name = !value.name.empty() ? value.name : value.type;
        if (!name.empty()) {
            CRegistry::DeleteValue(reg.key.c_str(), name.c_str(), reg.root);
        }
    }
    qp::DWORD delete_key = 0;
    CConfig* config = GetCommandConfig();
    if (config->GetDword(section.c_str(), "DELETE_KEY", &delete_key) && delete_key != 0) {
        CRegistry::DeleteKey(reg.key.c_str(), false, reg.root);
        GetLog()->Write("Delete Key (%s) ", reg.key.c_str());
    }
    return true;
}

}  // namespace qx::commands
