#include "profile/config.h"

#include <cstring>
#include <sstream>
#include <vector>

#include "context/placeholders.h"
#include "platform/code_page.h"

using qx::platform::DWORD;
using qx::profile::kConfigTextSize;
using qx::profile::SectionQualifiers;

namespace {

constexpr const char* kMessagesSection = "MESSAGES";
// A message that names itself would grow the text without end: the scan stops after this many
// replacements, and never lets the text outgrow a configuration buffer.
constexpr int kMaxMessageReplacements = 1024;

void CopyOut(char* out, const std::string& text) {
    size_t count = std::min(text.size(), kConfigTextSize - 1);
    std::memcpy(out, text.data(), count);
    out[count] = '\0';
}

std::vector<std::string> Candidates(const std::string& name, const SectionQualifiers& q) {
    std::vector<std::string> connection;
    if (q.network && q.usb_only) {
        connection = {"NETWORK.USB", "NETWORK", "USB", ""};
    } else if (q.network) {
        connection = {"NETWORK", ""};
    } else if (q.usb_only) {
        connection = {"USB", ""};
    } else {
        connection = {""};
    }
    const std::vector<std::string> prefixes = {name + "." + q.os + "." + q.language,
                                               name + "." + q.os, name + "." + q.language, name};
    std::vector<std::string> out;
    for (const std::string& prefix : prefixes) {
        for (const std::string& suffix : connection) {
            out.push_back(suffix.empty() ? prefix : prefix + "." + suffix);
        }
    }
    return out;
}

}  // namespace

CConfig::CConfig() = default;
CConfig::~CConfig() = default;

bool CConfig::Open(const char* mainPath, const char* secondPath, const char* messagePath,
                   bool escapes) {
    m_strMainPath = mainPath != nullptr ? mainPath : "";
    m_strSecondPath = secondPath != nullptr ? secondPath : "";
    m_strMessagePath = messagePath != nullptr ? messagePath : "";
    m_bEscapes = escapes;
    m_bMainOpened = !m_strMainPath.empty();
    m_bMessageOpened = !m_strMessagePath.empty();
    if (m_bMainOpened) {
        m_mainProfile.Reload(m_strMainPath.c_str(), m_strSecondPath.c_str());
    }
    if (m_bMessageOpened) {
        m_messageProfile.Reload(m_strMessagePath.c_str(), m_strSecondPath.c_str());
    }
    return m_bMainOpened;
}

std::string CConfig::ApplyMessages(std::string text) {
    if (!m_bMessageOpened) {
        return text;
    }
    size_t a = text.find('@');
    int replacements = 0;
    while (a != std::string::npos && replacements < kMaxMessageReplacements) {
        size_t b = text.find('@', a + 1);
        if (b == std::string::npos) {
            break;
        }
        const std::string token = text.substr(a, b - a + 1);
        const std::string name = token.substr(1, token.size() - 2);
        std::vector<char> message(kConfigTextSize, '\0');
        if (!name.empty() &&
            m_messageProfile.GetString(kMessagesSection, name.c_str(), message.data(),
                                       static_cast<DWORD>(message.size()), true) == 0) {
            std::string value(message.data());
            std::string replaced;
            size_t from = 0;
            for (size_t at = text.find(token); at != std::string::npos;
                 at = text.find(token, from)) {
                replaced.append(text, from, at - from).append(value);
                from = at + token.size();
                ++replacements;
            }
            replaced.append(text, from, std::string::npos);
            if (replaced.size() >= kConfigTextSize) {
                break;
            }
            text = std::move(replaced);
        }
        a = b + 1 < text.size() ? text.find('@', b + 1) : std::string::npos;
    }
    return text;
}

std::string CConfig::Pipeline(std::string text, bool expand, int lcid, const char* langAbbr,
                              const char* langDir) {
    text = ApplyMessages(std::move(text));
    if (expand && !qx::context::IsRemoteInstallation()) {
        text = qx::context::ExpandPlaceholders(text, lcid, langAbbr, langDir);
    }
    return text;
}

std::optional<std::string> CConfig::Text(const char* section, const char* key, bool expand) {
    if (!m_bMainOpened) {
        return std::nullopt;
    }
    std::vector<char> raw(kConfigTextSize, '\0');
    if (m_mainProfile.GetString(section, key, raw.data(), static_cast<DWORD>(raw.size()),
                                m_bEscapes) != 0) {
        return std::nullopt;
    }
    return Pipeline(raw.data(), expand, 0, nullptr, nullptr);
}

bool CConfig::GetString(const char* section, const char* key, char* out, bool expand, int lcid,
                        const char* langAbbr, const char* langDir) {
    if (!m_bMainOpened || out == nullptr) {
        return false;
    }
    std::vector<char> raw(kConfigTextSize, '\0');
    if (m_mainProfile.GetString(section, key, raw.data(), static_cast<DWORD>(raw.size()),
                                m_bEscapes) != 0) {
        return false;
    }
    CopyOut(out, Pipeline(raw.data(), expand, lcid, langAbbr, langDir));
    return true;
}

std::vector<std::string> CConfig::Entries(const char* section, bool expand) {
    std::vector<std::string> entries;
    std::vector<char> raw(kConfigTextSize, '\0');
    if (!m_bMainOpened ||
        m_mainProfile.GetAllKey(section, raw.data(), static_cast<DWORD>(raw.size()), false) != 0) {
        return entries;
    }
    if (qx::context::IsRemoteInstallation()) {
        return entries;
    }
    for (const char* entry = raw.data(); *entry != '\0' && entry < raw.data() + raw.size();
         entry += std::strlen(entry) + 1) {
        entries.push_back(Pipeline(entry, expand, 0, nullptr, nullptr));
    }
    return entries;
}

bool CConfig::GetAllKeys(const char* section, char* out, bool expand, int lcid,
                         const char* langAbbr, const char* langDir) {
    std::vector<char> raw(kConfigTextSize, '\0');
    if (!m_bMainOpened || out == nullptr ||
        m_mainProfile.GetAllKey(section, raw.data(), static_cast<DWORD>(raw.size()), false) != 0) {
        return false;
    }
    if (qx::context::IsRemoteInstallation()) {
        return true;
    }
    size_t used = 0;
    for (const char* entry = raw.data(); *entry != '\0' && entry < raw.data() + raw.size();
         entry += std::strlen(entry) + 1) {
        std::string text = Pipeline(entry, expand, lcid, langAbbr, langDir);
        // The list keeps room for its closing empty entry.
        if (used + text.size() + 2 > kConfigTextSize) {
            break;
        }
        std::memcpy(out + used, text.c_str(), text.size() + 1);
        used += text.size() + 1;
    }
    return true;
}

bool CConfig::GetDword(const char* section, const char* key, DWORD* value) {
    return m_bMainOpened && m_mainProfile.GetDword(section, key, value) == 0;
}

bool CConfig::GetSize(const char* section, const char* key, qx::platform::SIZE* size) {
    return m_bMainOpened && m_mainProfile.GetControl(section, key, size) == 0;
}

bool CConfig::GetPoint(const char* section, const char* key, qx::platform::POINT* point) {
    return m_bMainOpened && m_mainProfile.GetControl(section, key, point) == 0;
}

bool CConfig::GetColor(const char* section, const char* key, DWORD* colour) {
    return m_bMainOpened && m_mainProfile.GetControl(section, key, colour) == 0;
}

bool CConfig::GetRect(const char* section, const char* key, qx::platform::RECT* rect) {
    return m_bMainOpened && m_mainProfile.GetControl(section, key, rect) == 0;
}

bool CConfig::GetSectionNames(char* out, DWORD size) {
    return m_bMainOpened && m_mainProfile.GetSectionName(out, size, false) == 0;
}

bool CConfig::HasSection(const char* name) {
    if (name == nullptr) {
        return false;
    }
    std::vector<char> names(kConfigTextSize, '\0');
    if (!GetSectionNames(names.data(), static_cast<DWORD>(names.size()))) {
        return false;
    }
    std::istringstream words(names.data());
    std::string word;
    while (words >> word) {
        if (qx::platform::EqualsNoCaseMb(word, name, qx::platform::GetACP())) {
            return true;
        }
    }
    return false;
}

bool CConfig::ResolveSectionWith(const char* name, const SectionQualifiers& qualifiers,
                                 std::string* out) {
    std::vector<char> names(kConfigTextSize, '\0');
    if (name == nullptr || !GetSectionNames(names.data(), static_cast<DWORD>(names.size()))) {
        return false;
    }
    std::vector<std::string> sections;
    std::istringstream words(names.data());
    for (std::string word; words >> word;) {
        sections.push_back(word);
    }
    const qx::platform::UINT code_page = qx::platform::GetACP();
    for (const std::string& candidate : Candidates(name, qualifiers)) {
        std::string upper = qx::platform::ToUpperMb(candidate, code_page);
        for (const std::string& section : sections) {
            if (qx::platform::EqualsNoCaseMb(section, upper, code_page)) {
                *out = upper;
                return true;
            }
        }
    }
    return false;
}

bool CConfig::ResolveSection(const char* name, char* out) {
    std::string resolved;
    if (out == nullptr ||
        !ResolveSectionWith(name, qx::context::CurrentSectionQualifiers(), &resolved)) {
        return false;
    }
    CopyOut(out, resolved);
    return true;
}

std::optional<std::string> CConfig::Section(const char* name) {
    std::string resolved;
    if (!ResolveSectionWith(name, qx::context::CurrentSectionQualifiers(), &resolved)) {
        return std::nullopt;
    }
    return resolved;
}

bool CConfig::Reload(const char* mainPath) {
    m_strMainPath = mainPath != nullptr ? mainPath : "";
    m_mainProfile.Reload(m_strMainPath.c_str(), m_strSecondPath.c_str());
    return true;
}

bool CConfig::ReloadMessages(const char* messagePath) {
    m_strMessagePath = messagePath != nullptr ? messagePath : "";
    m_messageProfile.Reload(m_strMessagePath.c_str(), m_strSecondPath.c_str());
    m_bMessageOpened = true;
    return true;
}
