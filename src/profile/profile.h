// One parsed profile file (INI-like sections of key/value lines) with an optional second file
// that supplies STRINGS references: typed getters over the lists in memory, setters that write
// the main file on disk. Modules see this class, so its signatures are fixed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/win_types.h"
#include "profile/section_list.h"

class CProfile {
  protected:
    using DWORD = qx::platform::DWORD;
    using LONG = qx::platform::LONG;

  public:
    CProfile();
    CProfile(const char* file, const char* second);
    virtual ~CProfile();
    CProfile(const CProfile&) = delete;
    CProfile& operator=(const CProfile&) = delete;

    // Always 0: whether anything was read shows in IsLoaded and IsSecondLoaded.
    DWORD Create(const char* file, const char* second, bool unused);
    DWORD Reload(const char* file, const char* second);

    DWORD GetString(const char* section, const char* key, char* buffer, DWORD size, bool escapes);
    DWORD GetDword(const char* section, const char* key, DWORD* value);
    DWORD GetControl(const char* section, const char* key, qx::platform::SIZE* size);
    DWORD GetControl(const char* section, const char* key, qx::platform::POINT* point);
    DWORD GetControl(const char* section, const char* key, DWORD* colour);
    DWORD GetControl(const char* section, const char* key, qx::platform::RECT* rect);
    DWORD GetAllKey(const char* section, char* buffer, DWORD size, bool skipBareKeys);
    DWORD GetSectionName(char* buffer, DWORD size, bool nulSeparated);

    // Setters write the main file only; the lists in memory change on the next Reload.
    DWORD SetValue(const char* section, const char* key, const char* value);
    DWORD SetValue(const char* section, const char* key, DWORD number);
    DWORD SetValue(const char* section, const char* key, qx::platform::POINT* point);
    DWORD SetValue(const char* section, const char* key, qx::platform::SIZE* size);
    DWORD SetValue(const char* section, const char* key, DWORD* colour);
    DWORD SetValue(const char* section, const char* key, qx::platform::RECT* rect);

    bool IsLoaded() const { return m_loaded != 0; }
    bool IsSecondLoaded() const { return m_secondLoaded != 0; }
    CSectionList& MainList() { return m_mainList; }

  protected:
    DWORD LoadFile(const char* path, CSectionList* list);
    // Folds and parses file bytes as LoadFile does after reading them; the text ends at the
    // first NUL byte.
    DWORD LoadText(std::string_view bytes, CSectionList* list);
    bool ProcessData(const char* in, char* out, DWORD size);
    bool Parsing(const char* text, CSectionList* list);
    DWORD ReadOneLine(const char* text, char* line, DWORD* size);
    bool IsSection(const char* line);

    DWORD GetStringValue(const char* name, char* buffer, DWORD size);
    DWORD ConvertDefinedString(char* text, DWORD size, bool escapes);
    DWORD StringToDword(const std::string& text);

    DWORD SetData(const char* section, const char* key, const char* value);
    DWORD WriteData(const char* name, LONG offset, int kind, LONG* result);

    CSectionList m_mainList;
    CSectionList m_secondList;
    unsigned char m_loaded = 0;
    unsigned char m_secondLoaded = 0;
    char m_path[520] = {};

  private:
    const LINE_LIST* FindLine(const char* section, const char* key);
    // Reads up to count comma-separated numbers of a raw value; returns how many the value
    // holds, or -1 when the key is missing.
    int ReadNumbers(const char* section, const char* key, DWORD* numbers, int count);
    // STRINGS references in place; false when the text would outgrow limit bytes.
    bool ExpandReferences(std::string* text, std::size_t limit);
    DWORD ClearSection(const char* section);
};
