#include "profile/section_list.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "platform/errors.h"
#include "platform/files.h"
#include "profile/profile_text.h"

using qx::platform::DWORD;
using namespace qx::profile;

// Modules see these nodes; keep the layout the exported interface promises.
static_assert(offsetof(SECTION_LIST, kind) == 0);
static_assert(offsetof(SECTION_LIST, prev) < offsetof(SECTION_LIST, next));
static_assert(offsetof(SECTION_LIST, next) < offsetof(SECTION_LIST, first_line));
static_assert(offsetof(SECTION_LIST, first_line) < offsetof(SECTION_LIST, reserved));
static_assert(offsetof(SECTION_LIST, reserved) < offsetof(SECTION_LIST, name));
static_assert(sizeof(SECTION_LIST::name) == kNameSize);
static_assert(offsetof(LINE_LIST, kind) == 0);
static_assert(offsetof(LINE_LIST, section) < offsetof(LINE_LIST, prev));
static_assert(offsetof(LINE_LIST, prev) < offsetof(LINE_LIST, next));
static_assert(offsetof(LINE_LIST, next) < offsetof(LINE_LIST, value));
static_assert(offsetof(LINE_LIST, value) < offsetof(LINE_LIST, key));
static_assert(sizeof(LINE_LIST::value) == kValueSize);
static_assert(sizeof(LINE_LIST::key) == kNameSize);

namespace {

constexpr std::int32_t kSectionKind = 1;
constexpr std::int32_t kLineKind = 0;

bool IsEmpty(const char* text) {
    return text == nullptr || *text == '\0';
}

struct SplitLine {
    std::string_view key;
    std::string_view value;
};

// The key is the text before the first '='; a line without one is a bare key.
SplitLine Split(std::string_view text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) {
        return {TrimBlanks(text), {}};
    }
    return {TrimBlanks(text.substr(0, equals)), TrimBlanks(text.substr(equals + 1))};
}

LINE_LIST* FindKeyNamed(SECTION_LIST* section, std::string_view key, int index) {
    if (section == nullptr || key.empty() || index < 0) {
        return nullptr;
    }
    const std::string_view wanted = StoredName(key);
    for (LINE_LIST* line = section->first_line; line != nullptr; line = line->next) {
        if (SameName(line->key, wanted) && index-- == 0) {
            return line;
        }
    }
    return nullptr;
}

void UnlinkLine(LINE_LIST* line) {
    if (line->prev != nullptr) {
        line->prev->next = line->next;
    } else if (line->section != nullptr) {
        line->section->first_line = line->next;
    }
    if (line->next != nullptr) {
        line->next->prev = line->prev;
    }
    line->prev = nullptr;
    line->next = nullptr;
}

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = qx::platform::GetLastError();
    return error != 0 ? error : fallback;
}

}  // namespace

CSectionList::CSectionList() = default;

CSectionList::~CSectionList() {
    Delete();
}

SECTION_LIST* CSectionList::AddSection(const char* name, const char* after) {
    if (IsEmpty(name)) {
        return nullptr;
    }
    const std::string_view trimmed = StoredName(TrimSectionName(name));
    if (trimmed.empty()) {
        return nullptr;  // a nameless section could never be looked up again
    }
    if (SECTION_LIST* existing = FindSection(name)) {
        return existing;
    }
    SECTION_LIST* node = NewSection(trimmed);
    if (node == nullptr) {
        return nullptr;
    }
    SECTION_LIST* anchor = IsEmpty(after) ? nullptr : FindSection(after);
    LinkSection(node, anchor != nullptr ? anchor : LastSection());
    return node;
}

LINE_LIST* CSectionList::AddLine(SECTION_LIST* section, const char* text, bool replace,
                                 const char* after) {
    if (section == nullptr || IsEmpty(text)) {
        return nullptr;
    }
    const SplitLine parts = Split(text);
    if (parts.key.empty() && parts.value.empty()) {
        return nullptr;
    }
    if (replace) {
        if (LINE_LIST* existing = FindKeyNamed(section, parts.key, 0)) {
            CopyBounded(existing->value, kValueSize, parts.value);
            return existing;
        }
    }
    LINE_LIST* node = NewLine(text);
    if (node == nullptr) {
        return nullptr;
    }
    LINE_LIST* anchor = IsEmpty(after) ? nullptr : FindKey(section, after, 0);
    LinkLine(section, node, anchor != nullptr ? anchor : LastLine(section));
    return node;
}

LINE_LIST* CSectionList::AddLine(const char* section, const char* text, bool replace,
                                 const char* after) {
    if (IsEmpty(section)) {
        return nullptr;
    }
    return AddLine(FindSection(section), text, replace, after);
}

SECTION_LIST* CSectionList::FindSection(const char* name) {
    if (name == nullptr) {
        return m_head;
    }
    const std::string_view wanted = StoredName(TrimSectionName(name));
    for (SECTION_LIST* section = m_head; section != nullptr; section = section->next) {
        if (SameName(section->name, wanted)) {
            return section;
        }
    }
    return nullptr;
}

LINE_LIST* CSectionList::FindKey(SECTION_LIST* section, const char* key, int index) {
    if (IsEmpty(key)) {
        return nullptr;
    }
    return FindKeyNamed(section, key, index);
}

LINE_LIST* CSectionList::FindKey(SECTION_LIST* section, int index) {
    if (section == nullptr || index < 0) {
        return nullptr;
    }
    LINE_LIST* line = section->first_line;
    while (line != nullptr && index-- > 0) {
        line = line->next;
    }
    return line;
}

bool CSectionList::GetValue(const char* section, const char* key, char* buffer, DWORD size,
                            int index) {
    if (section == nullptr || buffer == nullptr || size == 0) {
        return false;
    }
    const LINE_LIST* line = FindKey(FindSection(section), key, index);
    if (line == nullptr) {
        return false;
    }
    CopyBounded(buffer, size, line->value);
    return true;
}

bool CSectionList::SetValue(const char* section, const char* key, const char* value, int index) {
    if (IsEmpty(section) || IsEmpty(key)) {
        return false;
    }
    SECTION_LIST* node = AddSection(section, nullptr);
    if (node == nullptr) {
        return false;
    }
    const char* text_value = value != nullptr ? value : "";
    if (LINE_LIST* line = FindKey(node, key, index)) {
        CopyBounded(line->value, kValueSize, text_value);
        return true;
    }
    char text[kNameSize + kValueSize + 4];
    if (*text_value == '\0') {
        std::snprintf(text, sizeof(text), "%s", key);
    } else {
        std::snprintf(text, sizeof(text), "%s = %s", key, text_value);
    }
    return AddLine(node, text, true, nullptr) != nullptr;
}

DWORD CSectionList::GetAllKey(const char* section, char* buffer, DWORD* size, DWORD* count) {
    if (section == nullptr || buffer == nullptr || size == nullptr) {
        return qx::platform::kErrorInvalidParameter;
    }
    const SECTION_LIST* node = FindSection(section);
    if (node == nullptr) {
        return qx::platform::kErrorInvalidData;
    }
    DWORD result = qx::platform::kErrorSuccess;
    std::uint64_t total = 0;
    DWORD copied = 0;
    for (const LINE_LIST* line = node->first_line; line != nullptr; line = line->next) {
        const std::size_t length = std::strlen(line->key) + 1;
        if (result == qx::platform::kErrorSuccess && total + length < *size) {
            std::memcpy(buffer + total, line->key, length);
            ++copied;
        } else if (result == qx::platform::kErrorSuccess) {
            std::memset(buffer, 0, *size);
            result = qx::platform::kErrorOutOfMemory;
            copied = 0;
        }
        total += length;
    }
    if (result == qx::platform::kErrorSuccess && *size > 0) {
        buffer[total] = '\0';  // the list's closing empty entry
    }
    *size = total > UINT32_MAX ? UINT32_MAX : static_cast<DWORD>(total);
    if (count != nullptr) {
        *count = copied;
    }
    return result;
}

bool CSectionList::DeleteSection(const char* name) {
    SECTION_LIST* section = IsEmpty(name) ? nullptr : FindSection(name);
    if (section == nullptr) {
        return false;
    }
    if (section->prev != nullptr) {
        section->prev->next = section->next;
    } else {
        m_head = section->next;
    }
    if (section->next != nullptr) {
        section->next->prev = section->prev;
    }
    section->prev = nullptr;
    section->next = nullptr;
    DeleteSectionList(section);
    return true;
}

bool CSectionList::DeleteLine(const char* section, const char* key) {
    LINE_LIST* line = IsEmpty(section) ? nullptr : FindKey(FindSection(section), key, 0);
    if (line == nullptr) {
        return false;
    }
    UnlinkLine(line);
    delete line;
    return true;
}

bool CSectionList::DeleteAllLines(const char* section) {
    SECTION_LIST* node = IsEmpty(section) ? nullptr : FindSection(section);
    if (node == nullptr) {
        return false;
    }
    DeleteLineList(node->first_line);
    return true;
}

void CSectionList::Delete() {
    DeleteSectionList(m_head);
}

void CSectionList::ClearAll() {
    Delete();
}

void CSectionList::DeleteLineList(LINE_LIST* line) {
    if (line == nullptr) {
        return;
    }
    if (line->prev != nullptr) {
        line->prev->next = nullptr;
    } else if (line->section != nullptr && line->section->first_line == line) {
        line->section->first_line = nullptr;
    }
    while (line != nullptr) {
        LINE_LIST* next = line->next;
        delete line;
        line = next;
    }
}

void CSectionList::DeleteSectionList(SECTION_LIST* section) {
    if (section == nullptr) {
        return;
    }
    if (section->prev != nullptr) {
        section->prev->next = nullptr;
    } else if (m_head == section) {
        m_head = nullptr;
    }
    while (section != nullptr) {
        SECTION_LIST* next = section->next;
        DeleteLineList(section->first_line);
        delete section;
        section = next;
    }
}

void CSectionList::ClearSectionList(SECTION_LIST* section) {
    if (section == nullptr) {
        return;
    }
    *section = SECTION_LIST{};
    section->kind = kSectionKind;
}

void CSectionList::ClearLineList(LINE_LIST* line) {
    if (line == nullptr) {
        return;
    }
    *line = LINE_LIST{};
    line->kind = kLineKind;
}

void CSectionList::WriteSection(void* file, SECTION_LIST* section) {
    WriteSectionChecked(file, section);
}

DWORD CSectionList::SaveFile(void* file) {
    if (file == nullptr) {
        return qx::platform::kErrorInvalidParameter;
    }
    for (const SECTION_LIST* section = m_head; section != nullptr; section = section->next) {
        if (!WriteSectionChecked(file, section)) {
            return LastErrorOr(qx::platform::kErrorInvalidHandle);
        }
    }
    return qx::platform::kErrorSuccess;
}

SECTION_LIST* CSectionList::NewSection(std::string_view trimmed_name) {
    auto* node = new (std::nothrow) SECTION_LIST;
    if (node == nullptr) {
        return nullptr;
    }
    ClearSectionList(node);
    CopyBounded(node->name, kNameSize, trimmed_name);
    return node;
}

LINE_LIST* CSectionList::NewLine(std::string_view text) {
    auto* node = new (std::nothrow) LINE_LIST;
    if (node == nullptr) {
        return nullptr;
    }
    ClearLineList(node);
    const SplitLine parts = Split(text);
    CopyBounded(node->key, kNameSize, parts.key);
    CopyBounded(node->value, kValueSize, parts.value);
    return node;
}

void CSectionList::LinkSection(SECTION_LIST* node, SECTION_LIST* prev) {
    node->prev = prev;
    node->next = prev != nullptr ? prev->next : m_head;
    if (node->next != nullptr) {
        node->next->prev = node;
    }
    if (prev != nullptr) {
        prev->next = node;
    } else {
        m_head = node;
    }
}

void CSectionList::LinkLine(SECTION_LIST* section, LINE_LIST* node, LINE_LIST* prev) {
    node->section = section;
    node->prev = prev;
    node->next = prev != nullptr ? prev->next : section->first_line;
    if (node->next != nullptr) {
        node->next->prev = node;
    }
    if (prev != nullptr) {
        prev->next = node;
    } else {
        section->first_line = node;
    }
}

SECTION_LIST* CSectionList::LastSection() const {
    SECTION_LIST* section = m_head;
    while (section != nullptr && section->next != nullptr) {
        section = section->next;
    }
    return section;
}

LINE_LIST* CSectionList::LastLine(const SECTION_LIST* section) {
    LINE_LIST* line = section->first_line;
    while (line != nullptr && line->next != nullptr) {
        line = line->next;
    }
    return line;
}

bool CSectionList::WriteSectionChecked(void* file, const SECTION_LIST* section) {
    if (file == nullptr || section == nullptr) {
        return false;
    }
    auto* out = static_cast<qx::platform::File*>(file);
    try {
        std::string text = "[" + std::string(section->name) + "]\r\n";
        for (const LINE_LIST* line = section->first_line; line != nullptr; line = line->next) {
            text += line->key;
            if (line->value[0] != '\0') {
                text += " = ";
                text += line->value;
            }
            text += "\r\n";
        }
        text += "\r\n";
        return out->WriteAll(text);
    } catch (const std::bad_alloc&) {
        qx::platform::SetLastError(qx::platform::kErrorNotEnoughMemory);
        return false;
    }
}
