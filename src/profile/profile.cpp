#include "profile/profile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "profile/profile_text.h"

using qx::platform::DWORD;
using qx::platform::LONG;
using namespace qx::profile;

namespace {

constexpr DWORD kSuccess = qx::platform::kErrorSuccess;
constexpr DWORD kNotFound = qx::platform::kErrorInvalidData;
constexpr DWORD kTooSmall = qx::platform::kErrorOutOfMemory;
constexpr DWORD kBadArgument = qx::platform::kErrorInvalidParameter;
constexpr DWORD kEndOfText = qx::platform::kErrorNoMoreItems;

constexpr const char* kStringsSection = "STRINGS";
constexpr std::size_t kReferenceValueSize = 32768;
constexpr std::size_t kEntrySize = 32768;
// A STRINGS value may refer to itself, directly or through others. An expansion therefore ends
// after this many substitutions, or as soon as the text outgrows the caller's buffer.
constexpr int kMaxSubstitutions = 1024;

bool IsEmpty(const char* text) {
    return text == nullptr || *text == '\0';
}
bool IsBreak(char c) {
    return c == '\r' || c == '\n';
}

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = qx::platform::GetLastError();
    return error != 0 ? error : fallback;
}

// Bounded output of the comment pass; bytes that do not fit are dropped.
class Output {
  public:
    Output(char* buffer, DWORD size) : m_buffer(buffer), m_size(size) {}
    ~Output() { m_buffer[m_used] = '\0'; }
    void Put(char c) {
        if (m_used + 1 < m_size) {
            m_buffer[m_used++] = c;
        }
    }

  private:
    char* m_buffer;
    DWORD m_size;
    DWORD m_used = 0;
};

// Every non-overlapping occurrence of token, left to right; false (text untouched) when the
// result would be longer than limit.
bool ReplaceAll(std::string* text, const std::string& token, std::string_view value,
                std::size_t limit) {
    std::string out;
    std::size_t from = 0;
    for (std::size_t at = text->find(token); at != std::string::npos;
         at = text->find(token, from)) {
        out.append(*text, from, at - from);
        out.append(value);
        from = at + token.size();
        if (out.size() > limit) {
            return false;
        }
    }
    out.append(*text, from, std::string::npos);
    if (out.size() > limit) {
        return false;
    }
    *text = std::move(out);
    return true;
}

// Backslash-r and backslash-n; the trail byte of a double-byte character is never read as a
// backslash.
void ConvertEscapes(std::string* text) {
    const qx::platform::UINT code_page = qx::platform::GetACP();
    std::string out;
    out.reserve(text->size());
    for (std::size_t i = 0; i < text->size(); ++i) {
        const char c = (*text)[i];
        const bool has_next = i + 1 < text->size();
        if (has_next && qx::platform::IsDbcsLeadByte(code_page, static_cast<unsigned char>(c))) {
            out += c;
            out += (*text)[++i];
            continue;
        }
        if (c == '\\' && has_next && ((*text)[i + 1] == 'r' || (*text)[i + 1] == 'n')) {
            out += (*text)[++i] == 'r' ? '\r' : '\n';
            continue;
        }
        out += c;
    }
    *text = std::move(out);
}

// Hexadecimal read from the right, at most eight digits; a non-digit counts as 0.
DWORD HexFromRight(std::string_view digits) {
    DWORD value = 0;
    int shift = 0;
    for (auto it = digits.rbegin(); it != digits.rend() && shift < 32; ++it, shift += 4) {
        DWORD digit = 0;
        if (*it >= '0' && *it <= '9') {
            digit = static_cast<DWORD>(*it - '0');
        } else if (*it >= 'A' && *it <= 'F') {
            digit = static_cast<DWORD>(*it - 'A' + 10);
        }
        value |= digit << shift;
    }
    return value;
}

// atoi: blanks, a sign, leading digits; out-of-range values saturate as the product's C
// library does.
DWORD DecimalPrefix(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), INT64_C(1) << 32);
    }
    const std::int64_t signed_value = negative ? -value : value;
    const std::int64_t clamped = std::clamp<std::int64_t>(signed_value, INT32_MIN, INT32_MAX);
    return static_cast<DWORD>(static_cast<std::int32_t>(clamped));
}

std::string FormatNumbers(std::initializer_list<LONG> numbers) {
    std::string text;
    for (LONG number : numbers) {
        if (!text.empty()) {
            text += ',';
        }
        text += std::to_string(number);
    }
    return text;
}

}  // namespace

CProfile::CProfile() = default;

CProfile::CProfile(const char* file, const char* second) {
    Create(file, second, false);
}

CProfile::~CProfile() = default;

DWORD CProfile::Create(const char* file, const char* second, bool /*unused*/) {
    if (LoadFile(file, &m_mainList) == kSuccess) {
        CopyBounded(m_path, sizeof(m_path), file);
        m_loaded = 1;
    }
    if (m_loaded != 0 && LoadFile(second, &m_secondList) == kSuccess) {
        m_secondLoaded = 1;
    }
    return kSuccess;
}

DWORD CProfile::Reload(const char* file, const char* second) {
    m_loaded = 0;
    m_secondLoaded = 0;
    m_path[0] = '\0';  // setters must not write to the old file if the new one fails to load
    m_mainList.Delete();
    m_secondList.Delete();
    return Create(file, second, false);
}

DWORD CProfile::LoadFile(const char* path, CSectionList* list) {
    if (IsEmpty(path) || list == nullptr) {
        return kBadArgument;
    }
    if (std::strlen(path) >= sizeof(m_path)) {
        return qx::platform::kErrorFilenameExcedRange;  // the setters could not name it
    }
    qx::platform::SetLastError(0);
    qx::platform::File file =
        qx::platform::CreateFileA(path, qx::platform::kGenericRead, qx::platform::kFileShareRead,
                                  qx::platform::kOpenExisting);
    if (!file) {
        return LastErrorOr(qx::platform::kErrorFileNotFound);
    }
    const DWORD size = file.GetSize();
    if (size == qx::platform::kInvalidFileSize) {
        return LastErrorOr(qx::platform::kErrorInvalidHandle);
    }
    try {
        std::string bytes(size, '\0');
        DWORD total = 0;
        while (total < size) {
            DWORD read = 0;
            if (!file.Read(bytes.data() + total, size - total, &read)) {
                return LastErrorOr(qx::platform::kErrorInvalidHandle);
            }
            if (read == 0) {
                break;  // the file shrank since it was sized
            }
            total += read;
        }
        bytes.resize(total);
        return LoadText(bytes, list);
    } catch (const std::bad_alloc&) {
        return qx::platform::kErrorNotEnoughMemory;
    }
}

DWORD CProfile::LoadText(std::string_view bytes, CSectionList* list) {
    if (list == nullptr) {
        return kBadArgument;
    }
    try {
        const std::string_view text = bytes.substr(0, bytes.find('\0'));
        std::string data;
        data.reserve(text.size() + 2);
        data.append(text);
        data += "\r\n";
        // Folding can double the text: every lone CR or LF becomes CR LF.
        const std::size_t folded_size =
            std::min<std::size_t>(data.size() * 2 + 1, qx::platform::kInvalidFileSize);
        std::vector<char> folded(folded_size);
        ProcessData(data.c_str(), folded.data(), static_cast<DWORD>(folded.size()));
        Parsing(folded.data(), list);
        return kSuccess;
    } catch (const std::bad_alloc&) {
        return qx::platform::kErrorNotEnoughMemory;
    }
}

bool CProfile::ProcessData(const char* in, char* out, DWORD size) {
    if (in == nullptr || out == nullptr || size == 0) {
        return false;
    }
    Output output(out, size);
    bool quoted = false;
    bool line_started = false;  // anything, even a blank, emitted on the current line
    auto end_line = [&] {
        output.Put('\r');
        output.Put('\n');
        line_started = false;
    };
    const char* p = in;
    while (*p != '\0') {
        if (IsBreak(*p)) {
            while (IsBreak(*p)) {
                ++p;
            }
            end_line();
            continue;
        }
        if (!quoted && p[0] == '/' && p[1] == '/') {
            while (*p != '\0' && !IsBreak(*p)) {
                ++p;
            }
            while (IsBreak(*p)) {
                ++p;
            }
            if (line_started) {
                end_line();
            }
            continue;
        }
        if (!quoted && p[0] == '/' && p[1] == '*') {
            const char* close = std::strstr(p + 2, "*/");
            if (close == nullptr) {
                break;  // an unterminated block comment hides the rest of the file
            }
            p = close + 2;
            continue;
        }
        if (*p == '"') {
            quoted = !quoted;
        }
        output.Put(*p++);
        line_started = true;
    }
    if (line_started) {
        end_line();
    }
    return true;
}

bool CProfile::Parsing(const char* text, CSectionList* list) {
    if (text == nullptr || list == nullptr) {
        return false;
    }
    const qx::platform::UINT code_page = qx::platform::GetACP();
    try {
        // The same match FindSection makes, without its linear scan per header.
        std::unordered_map<std::string, SECTION_LIST*> sections;
        SECTION_LIST* last_section = nullptr;
        for (SECTION_LIST* s = list->FindSection(nullptr); s != nullptr; s = s->next) {
            sections.emplace(qx::platform::ToUpperMb(s->name, code_page), s);
            last_section = s;
        }
        SECTION_LIST* current = nullptr;
        LINE_LIST* current_tail = nullptr;
        std::vector<char> line(kValueSize);
        for (const char* p = text;;) {
            DWORD consumed = static_cast<DWORD>(line.size());
            if (ReadOneLine(p, line.data(), &consumed) != kSuccess) {
                break;  // end of text, or a line too long: what was read stays
            }
            p += consumed;
            if (line[0] == '\0') {
                continue;
            }
            if (IsSection(line.data())) {
                current = nullptr;
                current_tail = nullptr;
                const std::string_view name = StoredName(TrimSectionName(line.data()));
                if (name.empty()) {
                    continue;  // like lines before the first header, its lines are ignored
                }
                auto [it, added] =
                    sections.emplace(qx::platform::ToUpperMb(name, code_page), nullptr);
                if (added) {
                    it->second = list->NewSection(name);
                    if (it->second == nullptr) {
                        sections.erase(it);
                        break;
                    }
                    list->LinkSection(it->second, last_section);
                    last_section = it->second;
                }
                current = it->second;
                current_tail = CSectionList::LastLine(current);
                continue;
            }
            if (current == nullptr) {
                continue;
            }
            LINE_LIST* node = list->NewLine(line.data());
            if (node == nullptr) {
                break;
            }
            if (node->key[0] == '\0' && node->value[0] == '\0') {
                delete node;  // a lone '=' says nothing
                continue;
            }
            CSectionList::LinkLine(current, node, current_tail);
            current_tail = node;
        }
    } catch (const std::bad_alloc&) {
        // keep what was parsed
    }
    return true;
}

DWORD CProfile::ReadOneLine(const char* text, char* line, DWORD* size) {
    if (text == nullptr || line == nullptr || size == nullptr || *size == 0) {
        return kBadArgument;
    }
    if (*text == '\0') {
        return kEndOfText;
    }
    const char* end = text;
    while (*end != '\0' && *end != '\n') {
        ++end;
    }
    const std::size_t consumed = static_cast<std::size_t>(end - text) + (*end == '\n' ? 1 : 0);
    std::size_t length = static_cast<std::size_t>(end - text);
    if (*end == '\n' && length > 0 && text[length - 1] == '\r') {
        --length;
    }
    if (length >= *size) {
        return kTooSmall;
    }
    const std::string_view trimmed = TrimBlanks(std::string_view(text, length));
    std::memcpy(line, trimmed.data(), trimmed.size());
    line[trimmed.size()] = '\0';
    *size = static_cast<DWORD>(consumed);
    return kSuccess;
}

bool CProfile::IsSection(const char* line) {
    if (IsEmpty(line)) {
        return false;
    }
    return line[0] == '[' && line[std::strlen(line) - 1] == ']';
}

DWORD CProfile::GetString(const char* section, const char* key, char* buffer, DWORD size,
                          bool escapes) {
    if (section == nullptr || key == nullptr || buffer == nullptr || size == 0) {
        return kBadArgument;
    }
    const LINE_LIST* line = FindLine(section, key);
    if (line == nullptr) {
        return kNotFound;
    }
    CopyBounded(buffer, size, line->value);
    // An expansion that does not fit leaves the raw value, which is still a result.
    ConvertDefinedString(buffer, size, escapes);
    return kSuccess;
}

DWORD CProfile::GetDword(const char* section, const char* key, DWORD* value) {
    if (section == nullptr || key == nullptr || value == nullptr) {
        return kBadArgument;
    }
    const LINE_LIST* line = FindLine(section, key);
    if (line == nullptr) {
        return kNotFound;
    }
    try {
        *value = StringToDword(line->value);
    } catch (const std::bad_alloc&) {
        return qx::platform::kErrorNotEnoughMemory;
    }
    return kSuccess;
}

DWORD CProfile::GetControl(const char* section, const char* key, qx::platform::SIZE* size) {
    if (IsEmpty(section) || IsEmpty(key) || size == nullptr) {
        return kBadArgument;
    }
    DWORD numbers[2] = {};
    const int found = ReadNumbers(section, key, numbers, 2);
    if (found < 0) {
        return kNotFound;
    }
    if (found < 2) {
        return kBadArgument;
    }
    size->cx = static_cast<LONG>(numbers[0]);
    size->cy = static_cast<LONG>(numbers[1]);
    return kSuccess;
}

DWORD CProfile::GetControl(const char* section, const char* key, qx::platform::POINT* point) {
    if (IsEmpty(section) || IsEmpty(key) || point == nullptr) {
        return kBadArgument;
    }
    DWORD numbers[2] = {};
    if (ReadNumbers(section, key, numbers, 2) < 2) {
        return kBadArgument;
    }
    point->x = static_cast<LONG>(numbers[0]);
    point->y = static_cast<LONG>(numbers[1]);
    return kSuccess;
}

DWORD CProfile::GetControl(const char* section, const char* key, DWORD* colour) {
    if (IsEmpty(section) || IsEmpty(key) || colour == nullptr) {
        return kBadArgument;
    }
    DWORD numbers[3] = {};
    const int found = ReadNumbers(section, key, numbers, 3);
    if (found < 0) {
        return kNotFound;
    }
    if (found < 3) {
        return kBadArgument;
    }
    *colour = (numbers[0] & 0xFF) | ((numbers[1] & 0xFF) << 8) | ((numbers[2] & 0xFF) << 16);
    return kSuccess;
}

DWORD CProfile::GetControl(const char* section, const char* key, qx::platform::RECT* rect) {
    if (IsEmpty(section) || IsEmpty(key) || rect == nullptr) {
        return kBadArgument;
    }
    DWORD numbers[4] = {};
    if (ReadNumbers(section, key, numbers, 4) < 4) {
        return kBadArgument;
    }
    rect->left = static_cast<LONG>(numbers[0]);
    rect->top = static_cast<LONG>(numbers[1]);
    rect->right = static_cast<LONG>(numbers[2]);
    rect->bottom = static_cast<LONG>(numbers[3]);
    return kSuccess;
}

DWORD CProfile::GetAllKey(const char* section, char* buffer, DWORD size, bool skipBareKeys) {
    if (section == nullptr || buffer == nullptr || size == 0) {
        return kBadArgument;
    }
    const SECTION_LIST* node = m_mainList.FindSection(section);
    if (node == nullptr) {
        return kNotFound;
    }
    std::memset(buffer, 0, size);
    try {
        std::vector<char> entry(kEntrySize);
        std::size_t used = 0;
        for (const LINE_LIST* line = node->first_line; line != nullptr; line = line->next) {
            if (line->value[0] != '\0') {
                std::snprintf(entry.data(), entry.size(), "%s = %s", line->key, line->value);
                ConvertDefinedString(entry.data(), static_cast<DWORD>(entry.size()), true);
            } else if (skipBareKeys) {
                continue;
            } else {
                CopyBounded(entry.data(), entry.size(), line->key);
            }
            const std::size_t length = std::strlen(entry.data());
            if (length == 0) {
                continue;
            }
            // The last byte stays free for the empty entry that closes the list.
            if (length + 1 >= size - used) {
                return kTooSmall;
            }
            std::memcpy(buffer + used, entry.data(), length + 1);
            used += length + 1;
        }
    } catch (const std::bad_alloc&) {
        return qx::platform::kErrorNotEnoughMemory;
    }
    return kSuccess;
}

DWORD CProfile::GetSectionName(char* buffer, DWORD size, bool nulSeparated) {
    if (buffer == nullptr || size == 0) {
        return kBadArgument;
    }
    if (nulSeparated) {
        std::memset(buffer, 0, size);
    } else {
        std::memset(buffer, ' ', size - 1);
        buffer[size - 1] = '\0';
    }
    const SECTION_LIST* section = m_mainList.FindSection(nullptr);
    if (section == nullptr) {
        return kNotFound;
    }
    // Both forms keep the last byte as the list's terminator.
    const std::size_t usable = size - 1;
    std::size_t used = 0;
    for (; section != nullptr; section = section->next) {
        const std::size_t length = std::strlen(section->name);
        if (used + length + 1 > usable) {
            return kTooSmall;
        }
        std::memcpy(buffer + used, section->name, length);
        used += length + 1;  // the NUL or space after it is already there
    }
    return kSuccess;
}

DWORD CProfile::GetStringValue(const char* name, char* buffer, DWORD size) {
    if (IsEmpty(name) || buffer == nullptr || size == 0) {
        return kBadArgument;
    }
    const LINE_LIST* line = nullptr;
    if (m_secondLoaded != 0) {
        line = m_secondList.FindKey(m_secondList.FindSection(kStringsSection), name, 0);
    }
    if (line == nullptr) {
        line = m_mainList.FindKey(m_mainList.FindSection(kStringsSection), name, 0);
    }
    if (line == nullptr) {
        return kNotFound;
    }
    std::string_view value = line->value;
    while (!value.empty() && value.front() == '"') {
        value.remove_prefix(1);
    }
    while (!value.empty() && value.back() == '"') {
        value.remove_suffix(1);
    }
    CopyBounded(buffer, size, value);
    return kSuccess;
}

DWORD CProfile::ConvertDefinedString(char* text, DWORD size, bool escapes) {
    if (text == nullptr || size == 0 || *text == '\0') {
        return kBadArgument;
    }
    try {
        std::string work(text, std::find(text, text + size, '\0'));
        if (!ExpandReferences(&work, size - 1)) {
            return kTooSmall;
        }
        if (escapes) {
            ConvertEscapes(&work);
        }
        if (work.size() + 1 > size) {
            return kTooSmall;
        }
        std::memcpy(text, work.c_str(), work.size() + 1);
        return kSuccess;
    } catch (const std::bad_alloc&) {
        return qx::platform::kErrorNotEnoughMemory;
    }
}

DWORD CProfile::StringToDword(const std::string& text) {
    std::string upper = qx::platform::ToUpperMb(text, qx::platform::GetACP());
    if (upper.find("0X") == std::string::npos) {
        return DecimalPrefix(upper);
    }
    for (std::size_t at = upper.find("0X"); at != std::string::npos; at = upper.find("0X", at)) {
        upper.erase(at, 2);
    }
    return HexFromRight(upper);
}

DWORD CProfile::SetValue(const char* section, const char* key, const char* value) {
    if (IsEmpty(section) || key == nullptr || value == nullptr) {
        return kBadArgument;
    }
    if (*key == '\0') {
        return ClearSection(section);
    }
    return SetData(section, key, value);
}

DWORD CProfile::SetValue(const char* section, const char* key, DWORD number) {
    if (IsEmpty(section) || IsEmpty(key)) {
        return kBadArgument;
    }
    return SetData(section, key, FormatNumbers({static_cast<LONG>(number)}).c_str());
}

DWORD CProfile::SetValue(const char* section, const char* key, qx::platform::POINT* point) {
    if (IsEmpty(section) || IsEmpty(key) || point == nullptr) {
        return kBadArgument;
    }
    return SetData(section, key, FormatNumbers({point->x, point->y}).c_str());
}

DWORD CProfile::SetValue(const char* section, const char* key, qx::platform::SIZE* size) {
    if (IsEmpty(section) || IsEmpty(key) || size == nullptr) {
        return kBadArgument;
    }
    return SetData(section, key, FormatNumbers({size->cx, size->cy}).c_str());
}

DWORD CProfile::SetValue(const char* section, const char* key, DWORD* colour) {
    if (IsEmpty(section) || IsEmpty(key) || colour == nullptr) {
        return kBadArgument;
    }
    const auto byte = [&](int shift) { return static_cast<LONG>((*colour >> shift) & 0xFF); };
    return SetData(section, key, FormatNumbers({byte(0), byte(8), byte(16)}).c_str());
}

DWORD CProfile::SetValue(const char* section, const char* key, qx::platform::RECT* rect) {
    if (IsEmpty(section) || IsEmpty(key) || rect == nullptr) {
        return kBadArgument;
    }
    return SetData(section, key,
                   FormatNumbers({rect->left, rect->top, rect->right, rect->bottom}).c_str());
}

DWORD CProfile::SetData(const char* section, const char* key, const char* value) {
    if (section == nullptr || key == nullptr || value == nullptr) {
        return kBadArgument;
    }
    if (m_path[0] == '\0') {
        return qx::platform::kErrorFileNotFound;  // no main file was loaded to write to
    }
    qx::platform::SetLastError(0);
    if (!qx::platform::WritePrivateProfileStringA(section, key, value, m_path)) {
        return LastErrorOr(qx::platform::kErrorAccessDenied);
    }
    return kSuccess;
}

DWORD CProfile::WriteData(const char* /*name*/, LONG /*offset*/, int /*kind*/, LONG* /*result*/) {
    return kSuccess;
}

const LINE_LIST* CProfile::FindLine(const char* section, const char* key) {
    return m_mainList.FindKey(m_mainList.FindSection(section), key, 0);
}

int CProfile::ReadNumbers(const char* section, const char* key, DWORD* numbers, int count) {
    const LINE_LIST* line = FindLine(section, key);
    if (line == nullptr) {
        return -1;
    }
    std::string_view rest = line->value;
    if (rest.empty()) {
        return 0;
    }
    int found = 0;
    for (;;) {
        const std::size_t comma = rest.find(',');
        if (found < count) {
            numbers[found] = StringToDword(std::string(TrimBlanks(rest.substr(0, comma))));
        }
        ++found;
        if (comma == std::string_view::npos) {
            return found;
        }
        rest.remove_prefix(comma + 1);
    }
}

bool CProfile::ExpandReferences(std::string* text, std::size_t limit) {
    std::vector<char> value(kReferenceValueSize);
    int substitutions = 0;
    std::size_t start = text->find('%');
    while (start != std::string::npos) {
        const std::size_t end = text->find('%', start + 1);
        if (end == std::string::npos) {
            break;
        }
        const std::string token = text->substr(start, end - start + 1);
        if (GetStringValue(token.c_str(), value.data(), static_cast<DWORD>(value.size())) !=
            kSuccess) {
            start = end;  // an unknown reference stays; its closing '%' may open the next
            continue;
        }
        if (++substitutions > kMaxSubstitutions) {
            break;  // keep what has been expanded so far
        }
        if (!ReplaceAll(text, token, value.data(), limit)) {
            return false;
        }
        start = text->find('%', start);
    }
    return true;
}

DWORD CProfile::ClearSection(const char* section) {
    if (m_path[0] == '\0') {
        return qx::platform::kErrorFileNotFound;
    }
    qx::platform::SetLastError(0);
    if (!qx::platform::WritePrivateProfileSectionA(section, "\0", m_path)) {
        return LastErrorOr(qx::platform::kErrorAccessDenied);
    }
    return kSuccess;
}
