// The in-memory form of one profile file: a doubly linked list of sections, each heading a
// doubly linked list of its key/value lines, in file order. Modules see this class and its
// nodes, so node layouts and member signatures are fixed.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/win_types.h"

class CProfile;
struct LINE_LIST;

struct SECTION_LIST {
    std::int32_t kind;  // always 1
    SECTION_LIST* prev;
    SECTION_LIST* next;
    LINE_LIST* first_line;  // null for an empty section
    std::int32_t reserved;  // always 0
    char name[256];
};

struct LINE_LIST {
    std::int32_t kind;  // always 0
    SECTION_LIST* section;
    LINE_LIST* prev;
    LINE_LIST* next;
    char value[4096];
    char key[256];
};

class CSectionList {
  public:
    CSectionList();
    virtual ~CSectionList();
    CSectionList(const CSectionList&) = delete;
    CSectionList& operator=(const CSectionList&) = delete;

    SECTION_LIST* AddSection(const char* name, const char* after);
    LINE_LIST* AddLine(SECTION_LIST* section, const char* text, bool replace, const char* after);
    LINE_LIST* AddLine(const char* section, const char* text, bool replace, const char* after);

    // A null name gives the first section.
    SECTION_LIST* FindSection(const char* name);
    LINE_LIST* FindKey(SECTION_LIST* section, const char* key, int index);
    LINE_LIST* FindKey(SECTION_LIST* section, int index);

    bool GetValue(const char* section, const char* key, char* buffer, qx::platform::DWORD size,
                  int index);
    // In memory only; the file is written by the profile's setters or SaveFile.
    bool SetValue(const char* section, const char* key, const char* value, int index);
    qx::platform::DWORD GetAllKey(const char* section, char* buffer, qx::platform::DWORD* size,
                                  qx::platform::DWORD* count);

    bool DeleteSection(const char* name);
    bool DeleteLine(const char* section, const char* key);
    bool DeleteAllLines(const char* section);
    void Delete();
    void ClearAll();
    // Frees line and every line after it; the line is unlinked from its section first.
    void DeleteLineList(LINE_LIST* line);

    // file is a qx::platform::File*.
    void WriteSection(void* file, SECTION_LIST* section);
    qx::platform::DWORD SaveFile(void* file);

  protected:
    void DeleteSectionList(SECTION_LIST* section);
    void ClearSectionList(SECTION_LIST* section);
    void ClearLineList(LINE_LIST* line);

  private:
    friend class CProfile;  // the parser appends without the lookups of AddSection/AddLine

    SECTION_LIST* NewSection(std::string_view trimmed_name);
    LINE_LIST* NewLine(std::string_view text);
    // prev null links the node first.
    void LinkSection(SECTION_LIST* node, SECTION_LIST* prev);
    static void LinkLine(SECTION_LIST* section, LINE_LIST* node, LINE_LIST* prev);
    SECTION_LIST* LastSection() const;
    static LINE_LIST* LastLine(const SECTION_LIST* section);
    bool WriteSectionChecked(void* file, const SECTION_LIST* section);

    SECTION_LIST* m_head = nullptr;
};
