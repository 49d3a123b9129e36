// The configuration accessor: one profile with its STRINGS file and its MESSAGES file, the
// text pipeline every configured value goes through, and section-variant resolution.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"
#include "profile/profile.h"

namespace qx::profile {

inline constexpr std::size_t kConfigTextSize = 16384;

// What section variants are formed with: the run's OS define string, language abbreviation
// and connection options.
struct SectionQualifiers {
    std::string os;
    std::string language;
    bool network = false;
    bool usb_only = false;
};

}  // namespace qx::profile

class CConfig {
  public:
    using DWORD = qx::platform::DWORD;

    CConfig();
    virtual ~CConfig();
    CConfig(const CConfig&) = delete;
    CConfig& operator=(const CConfig&) = delete;

    bool Open(const char* mainPath, const char* secondPath, const char* messagePath, bool escapes);

    // out receives at most kConfigTextSize bytes with the NUL.
    bool GetString(const char* section, const char* key, char* out, bool expand, int lcid = 0,
                   const char* langAbbr = nullptr, const char* langDir = nullptr);
    // NUL-separated entries; out (zeroed by the caller, kConfigTextSize bytes) ends with an
    // empty entry.
    bool GetAllKeys(const char* section, char* out, bool expand, int lcid = 0,
                    const char* langAbbr = nullptr, const char* langDir = nullptr);
    bool GetDword(const char* section, const char* key, DWORD* value);
    bool GetSize(const char* section, const char* key, qx::platform::SIZE* size);
    bool GetPoint(const char* section, const char* key, qx::platform::POINT* point);
    bool GetColor(const char* section, const char* key, DWORD* colour);
    bool GetRect(const char* section, const char* key, qx::platform::RECT* rect);
    bool GetSectionNames(char* out, DWORD size);
    bool HasSection(const char* name);
    bool ResolveSection(const char* name, char* out);
    bool Reload(const char* mainPath);
    bool ReloadMessages(const char* messagePath);

    // The same pipeline for our own callers, without fixed buffers.
    std::optional<std::string> Text(const char* section, const char* key, bool expand = true);
    std::optional<std::string> Section(const char* name);
    std::vector<std::string> Entries(const char* section, bool expand = true);

    const std::string& MainPath() const { return m_strMainPath; }
    const std::string& MessagePath() const { return m_strMessagePath; }

    // Resolution against explicit qualifiers; ResolveSection takes them from the context.
    bool ResolveSectionWith(const char* name, const qx::profile::SectionQualifiers& qualifiers,
                            std::string* out);
    // Message references (@NAME@) replaced from the message file.
    std::string ApplyMessages(std::string text);

  private:
    std::string Pipeline(std::string text, bool expand, int lcid, const char* langAbbr,
                         const char* langDir);

    CProfile m_mainProfile;
    CProfile m_messageProfile;
    std::string m_strMainPath;
    std::string m_strMessagePath;
    std::string m_strSecondPath;
    bool m_bMainOpened = false;
    bool m_bMessageOpened = false;
    bool m_bEscapes = false;
};
