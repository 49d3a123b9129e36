#include "context/language.h"

#include <cstdio>
#include <vector>

#include "app/log.h"
#include "app/system_checks.h"
#include "context/install_context.h"
#include "context/placeholders.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "profile/config.h"
#include "profile/profile.h"
#include "profile/profile_text.h"
#include "registry/registry_helper.h"

namespace qp = qx::platform;
using qp::DWORD;
using qp::LANGID;

namespace qx::context {

namespace {

std::string IdKey(LANGID id) {
    char key[16];
    std::snprintf(key, sizeof(key), "0X%04X", id);
    return key;
}

std::optional<std::string> LookupById(CConfig& data, const char* section, LANGID id) {
    if (auto value = data.Text(section, IdKey(id).c_str())) {
        return value;
    }
    return data.Text(section, IdKey(id & 0x3FF).c_str());
}

std::string KeyPart(const std::string& entry) {
    size_t equals = entry.find('=');
    return std::string(qx::profile::TrimBlanks(entry.substr(0, equals)));
}

}  // namespace

namespace {

// Numbers follow the profile reader's rule, whichever file they come from.
class NumberRule : public CProfile {
  public:
    DWORD Parse(const std::string& text) { return StringToDword(text); }
};

}  // namespace

DWORD ParseConfiguredNumber(const std::string& text) {
    return NumberRule().Parse(text);
}

std::string BuiltInAbbreviation(LANGID id) {
    const unsigned primary = id & 0x3FF;
    const unsigned sub = id >> 10;
    switch (primary) {
        case 1:
            return "AB";
        case 4:
            return sub == 1 ? "CT" : "CP";
        case 5:
            return "CZ";
        case 6:
            return "DN";
        case 7:
            return "GR";
        case 8:
            return "GK";
        case 10:
            return "SP";
        case 11:
            return "FI";
        case 12:
            return "FN";
        case 13:
            return "HB";
        case 14:
            return "HU";
        case 16:
            return "IT";
        case 17:
            return "JP";
        case 18:
            return "KR";
        case 19:
            return "DT";
        case 20:
            return "NR";
        case 21:
            return "PO";
        case 22:
            return sub == 1 ? "BP" : (sub == 2 ? "PT" : "");
        case 25:
            return "RU";
        case 29:
            return "SW";
        case 30:
            return "TI";
        case 31:
            return "TK";
        case 33:
            return "IN";
        default:
            return "EN";
    }
}

LANGID MapCountry(CConfig& data, LANGID id) {
    auto mapped = LookupById(data, "COUNTRY_LANG_CODE", id);
    return mapped ? static_cast<LANGID>(ParseConfiguredNumber(*mapped)) : id;
}

std::optional<LANGID> SupportedLanguage(CConfig& data, LANGID id) {
    for (const std::string& entry : data.Entries("PROGRAM_LANG_INFO")) {
        const DWORD listed = ParseConfiguredNumber(KeyPart(entry));
        if (listed == id || listed == static_cast<DWORD>(id & 0x3FF)) {
            return static_cast<LANGID>(listed);
        }
    }
    return std::nullopt;
}

std::string LanguageAbbreviation(CConfig& data, LANGID id) {
    return LookupById(data, "LANGUAGE_ABBR", id).value_or(BuiltInAbbreviation(id));
}

std::string LanguageFolder(CConfig& data, LANGID id) {
    return LookupById(data, "LANGUAGE_DIR", id).value_or(BuiltInAbbreviation(id));
}

}  // namespace qx::context

namespace {

using namespace qx::context;

// The mapped, supported id for a request, and the supported request itself.
std::pair<LANGID, LANGID> ChooseIds(CConfig& data, LANGID requested) {
    LANGID chosen = MapCountry(data, requested);
    chosen = SupportedLanguage(data, chosen).value_or(9);
    requested = SupportedLanguage(data, requested).value_or(9);
    return {chosen, requested};
}

}  // namespace

void CInstallContext::SetSystemLanguageAbbr() {
    const LANGID chosen = ChooseIds(m_profiles.data, m_language.system).first;
    m_language.system_abbr = LanguageAbbreviation(m_profiles.data, chosen);
}

bool CInstallContext::SetLanguage(LANGID lang_id, bool show_window) {
    CLog* log = GetLog();
    LANGID requested = lang_id;
    bool from_registry = false;
    if (requested == 0) {
        DWORD recorded = 0;
        if (CRegistry::GetValue(m_keys.installed.c_str(), "LangCode", &recorded,
                                qp::HKEY_LOCAL_MACHINE, 0) == 0) {
            requested = static_cast<LANGID>(recorded);
        }
        from_registry = true;
    }
    bool changed = true;
    if (requested == 0) {
        requested = m_language.system;
    } else if (!from_registry && requested == m_language.unmapped) {
        changed = false;
    }
    if (!changed && show_window) {
        return true;
    }
    if (changed) {
        auto [chosen, unmapped] = ChooseIds(m_profiles.data, requested);
        m_language.current = chosen;
        m_language.unmapped = unmapped;
        m_language.abbr = LanguageAbbreviation(m_profiles.data, chosen);
        m_language.unmapped_abbr = LanguageAbbreviation(m_profiles.data, unmapped);
        m_language.dir = LanguageFolder(m_profiles.data, chosen);
        m_language.unmapped_dir = LanguageFolder(m_profiles.data, unmapped);
        log->Write("Set Language : Language ID\t\t= 0X%04X", m_language.current);
        log->Write("Set Language : Language Abbr\t\t= %s", m_language.abbr.c_str());
        log->Write("Set Language : System Language ID\t= 0X%04X", m_language.system);
        log->Write("Set Language : System Language Abbr = %s", m_language.system_abbr.c_str());
        log->Write("Set Language : Language Dir\t\t= %s", m_language.dir.c_str());
        log->Write("Set Language : Org Language ID\t\t= 0X%04X", m_language.unmapped);
        log->Write("Set Language : Org Language Abbr\t\t= %s", m_language.unmapped_abbr.c_str());
        log->Write("Set Language : Org Language Dir\t\t= %s", m_language.unmapped_dir.c_str());
    }

    const char* installing = m_keys.installing.c_str();
    CRegistry::SetValue(installing, "LangCode", static_cast<DWORD>(m_language.unmapped),
                        qp::HKEY_LOCAL_MACHINE);
    CRegistry::SetValue(installing, "LangAbbr", m_language.abbr.c_str(), qp::HKEY_LOCAL_MACHINE);
    CRegistry::SetValue(installing, "STR_FILE", m_profiles.string_file.c_str(),
                        qp::HKEY_LOCAL_MACHINE);

    SwitchLanguageFiles();
    ReadOptions();
    return true;
}

void CInstallContext::SwitchLanguageFiles() {
    std::string abbr = m_language.abbr;
    std::string path =
        ResolvePath(FormatWithAbbreviation(m_profiles.string_file_format, abbr), false);
    if (!qx::app::FileExists(path.c_str())) {
        abbr = LanguageAbbreviation(m_profiles.data, 9);
        path = ResolvePath(FormatWithAbbreviation(m_profiles.string_file_format, abbr), false);
    }
    m_profiles.string_file = path;
    m_profiles.string_file_name = path.substr(path.rfind('\\') + 1);

    const std::string localized_key = "CONFIGURE_FILE." + abbr;
    std::string configure =
        m_profiles.data.Text("INSTALLER_FILE_INFO", localized_key.c_str())
            .value_or(m_profiles.data.Text("INSTALLER_FILE_INFO", "CONFIGURE_FILE")
                          .value_or(".\\data\\qxinst.qxi"));
    configure = ResolvePath(configure, true);
    if (!configure.empty()) {
        m_profiles.configure_file = configure;
        m_profiles.configure.Reload(configure.c_str());
    }
    const char* strings = m_profiles.string_file.c_str();
    m_profiles.command.ReloadMessages(strings);
    m_profiles.configure.ReloadMessages(strings);
    m_profiles.data.ReloadMessages(strings);
    m_profiles.strings.Reload(strings);
    m_profiles.strings.ReloadMessages(strings);
    GetLog()->Write("Set Language : String file\t\t= %s", m_profiles.string_file_name.c_str());
    GetLog()->Write("Set Language : Configure file\t\t= %s", m_profiles.configure_file.c_str());
}
