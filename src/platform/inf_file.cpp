#include "platform/inf_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/system_info.h"

namespace qx::platform {

namespace {

namespace fs = std::filesystem;

// How far %key% substitution may grow a file: beyond this a hostile file is refused rather than
// let one short reference repeated many times expand into gigabytes.
constexpr size_t kMaxSubstitutionGrowth = 16u << 20;

BOOL Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

// A line as written, before %key% substitution.
struct RawLine {
    std::string key;
    bool has_key = false;
    std::vector<std::string> fields;
};

struct RawSection {
    std::string name;
    std::vector<RawLine> lines;
};

bool IsStringsSection(std::string_view name, UINT code_page) {
    constexpr std::string_view kStrings = "strings";
    return EqualsNoCaseMb(name.substr(0, std::min(name.size(), kStrings.size())), kStrings,
                          code_page) &&
           (name.size() == kStrings.size() || name[kStrings.size()] == '.');
}

class Parser {
  public:
    Parser(std::string_view text, UINT code_page) : m_text(text), m_code_page(code_page) {}

    // Fills sections in file order (repeats not merged yet); false with error and line.
    bool Run(std::vector<RawSection>* sections, DWORD* error, UINT* error_line) {
        while (m_pos < m_text.size()) {
            SkipBlanks();
            if (m_pos >= m_text.size()) {
                break;
            }
            const char c = m_text[m_pos];
            if (c == '\n') {
                NextLine();
                continue;
            }
            if (c == ';') {
                SkipToLineEnd();
                continue;
            }
            if (c == '[') {
                std::string name;
                if (!ReadSectionName(&name, error)) {
                    *error_line = m_line;
                    return false;
                }
                sections->push_back(RawSection{std::move(name), {}});
                m_strings = IsStringsSection(sections->back().name, m_code_page);
                SkipToLineEnd();
                continue;
            }
            if (sections->empty()) {
                *error = kErrorExpectedSectionName;
                *error_line = m_line;
                return false;
            }
            RawLine line = ReadLine();
            sections->back().lines.push_back(std::move(line));
        }
        return true;
    }

  private:
    // Bytes of the character at pos: two for a lead byte with its trail on the same line.
    size_t CharLength(size_t pos) const {
        if (pos + 1 < m_text.size() &&
            IsDbcsLeadByte(m_code_page, static_cast<unsigned char>(m_text[pos])) &&
            static_cast<unsigned char>(m_text[pos + 1]) >= 0x40) {
            return 2;
        }
        return 1;
    }

    void SkipBlanks() {
        while (m_pos < m_text.size() && IsBlank(m_text[m_pos])) {
            ++m_pos;
        }
    }

    void NextLine() {
        ++m_pos;
        ++m_line;
    }

    // Leaves pos on the newline (or the end), so the caller's loop counts the line.
    void SkipToLineEnd() {
        const size_t end = m_text.find('\n', m_pos);
        m_pos = end == std::string_view::npos ? m_text.size() : end;
    }

    bool ReadSectionName(std::string* name, DWORD* error) {
        ++m_pos;  // '['
        const size_t start = m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != ']' && m_text[m_pos] != '\n') {
            m_pos += CharLength(m_pos);
        }
        if (m_pos >= m_text.size() || m_text[m_pos] != ']') {
            *error = kErrorBadSectionNameLine;
            return false;
        }
        std::string_view text = m_text.substr(start, m_pos - start);
        while (!text.empty() && IsBlank(text.front())) {
            text.remove_prefix(1);
        }
        while (!text.empty() && IsBlank(text.back())) {
            text.remove_suffix(1);
        }
        if (text.size() > kMaxInfSectionName) {
            *error = kErrorSectionNameTooLong;
            return false;
        }
        name->assign(text);
        ++m_pos;
        return true;
    }

    // A backslash followed by nothing but blanks or a comment joins the next line to this one.
    bool IsContinuation() const {
        size_t at = m_pos + 1;
        while (at < m_text.size() && IsBlank(m_text[at])) {
            ++at;
        }
        return at >= m_text.size() || m_text[at] == '\n' || m_text[at] == ';';
    }

    RawLine ReadLine() {
        RawLine line;
        std::string field;
        size_t kept = 0;  // length of field without trailing unquoted blanks
        bool started = false;
        bool after_equals = false;  // something, even a comma, follows the key
        bool in_quotes = false;
        auto end_field = [&]() {
            field.resize(kept);
            line.fields.push_back(std::move(field));
            field.clear();
            kept = 0;
            started = false;
        };
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '\n') {
                break;  // the newline is consumed by the caller
            }
            if (in_quotes) {
                if (c == '"') {
                    if (m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '"') {
                        field.push_back('"');
                        m_pos += 2;
                    } else {
                        in_quotes = false;
                        ++m_pos;
                    }
                } else {
                    const size_t length = CharLength(m_pos);
                    field.append(m_text.substr(m_pos, length));
                    m_pos += length;
                }
                kept = field.size();
                continue;
            }
            if (c == ';') {
                SkipToLineEnd();
                break;
            }
            if (c == '\\' && IsContinuation()) {
                SkipToLineEnd();
                if (m_pos < m_text.size()) {
                    NextLine();
                }
                continue;
            }
            if (IsBlank(c)) {
                if (started) {
                    field.push_back(c);
                }
                ++m_pos;
                continue;
            }
            if (c == '=' && !line.has_key && line.fields.empty()) {
                field.resize(kept);
                line.key = std::move(field);
                line.has_key = true;
                after_equals = false;
                field.clear();
                kept = 0;
                started = false;
                ++m_pos;
                continue;
            }
            if (c == ',' && !m_strings) {
                end_field();
                after_equals = true;
                ++m_pos;
                continue;
            }
            started = true;
            after_equals = true;
            if (c == '"') {
                in_quotes = true;
                ++m_pos;
                continue;
            }
            const size_t length = CharLength(m_pos);
            field.append(m_text.substr(m_pos, length));
            m_pos += length;
            kept = field.size();
        }
        // "key =" alone has no fields; anything after the "=" makes at least one.
        if (!line.has_key || after_equals || started) {
            end_field();
        }
        if (!line.has_key && line.fields.size() == 1) {
            line.key = line.fields.front();
        }
        return line;
    }

    std::string_view m_text;
    UINT m_code_page;
    size_t m_pos = 0;
    UINT m_line = 1;
    bool m_strings = false;  // inside [Strings...]: commas are part of the value
};

// Folded name -> text, the first definition winning.
using StringTable = std::map<std::string, std::string>;

void AddStrings(const RawSection& section, UINT code_page, StringTable* table) {
    for (const RawLine& line : section.lines) {
        if (line.has_key && !line.fields.empty()) {
            table->emplace(ToLowerMb(line.key, code_page), line.fields.front());
        }
    }
}

class Substituter {
  public:
    Substituter(const StringTable& language, const StringTable& neutral, UINT code_page)
        : m_language(language), m_neutral(neutral), m_code_page(code_page) {}

    // %key% from the tables (unknown ones stay as written), %% a single percent sign.
    bool Apply(std::string* text) {
        if (text->find('%') == std::string::npos) {
            return true;
        }
        std::string out;
        size_t i = 0;
        while (i < text->size()) {
            const char c = (*text)[i];
            if (c != '%') {
                const size_t length = CharLength(*text, i);
                out.append(*text, i, length);
                i += length;
                continue;
            }
            size_t close = i + 1;
            while (close < text->size() && (*text)[close] != '%') {
                close += CharLength(*text, close);
            }
            if (close >= text->size()) {
                out.append(*text, i, std::string::npos);
                break;
            }
            if (close == i + 1) {
                out.push_back('%');
            } else {
                const std::string name = ToLowerMb(text->substr(i + 1, close - i - 1), m_code_page);
                if (auto it = m_language.find(name); it != m_language.end()) {
                    out += it->second;
                } else if (auto it2 = m_neutral.find(name); it2 != m_neutral.end()) {
                    out += it2->second;
                } else {
                    out.append(*text, i, close - i + 1);
                }
            }
            i = close + 1;
        }
        if (out.size() > text->size()) {
            m_growth += out.size() - text->size();
            if (m_growth > kMaxSubstitutionGrowth) {
                return false;
            }
        }
        *text = std::move(out);
        return true;
    }

  private:
    size_t CharLength(const std::string& text, size_t pos) const {
        return pos + 1 < text.size() &&
                       IsDbcsLeadByte(m_code_page, static_cast<unsigned char>(text[pos]))
                   ? 2
                   : 1;
    }

    const StringTable& m_language;
    const StringTable& m_neutral;
    UINT m_code_page;
    size_t m_growth = 0;
};

std::string HexLanguage(LANGID language) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "strings.";
    for (int shift = 12; shift >= 0; shift -= 4) {
        text.push_back(kDigits[(language >> shift) & 0xF]);
    }
    return text;
}

// Open files by handle value; a handle is only a number, so a stale or forged one is refused
// instead of being dereferenced.
struct OpenInfs {
    std::mutex mutex;
    std::map<std::uintptr_t, std::shared_ptr<const InfFile>> files;
    std::uintptr_t next = 0x10000;
};

OpenInfs& Opened() {
    static OpenInfs opened;
    return opened;
}

std::shared_ptr<const InfFile> Lookup(HINF inf) {
    OpenInfs& opened = Opened();
    std::lock_guard lock(opened.mutex);
    auto it = opened.files.find(reinterpret_cast<std::uintptr_t>(inf));
    return it == opened.files.end() ? nullptr : it->second;
}

const InfLine* ContextLine(const INFCONTEXT* context, std::shared_ptr<const InfFile>* file) {
    if (context == nullptr) {
        return nullptr;
    }
    *file = Lookup(context->CurrentInf);
    if (!*file) {
        return nullptr;
    }
    const auto& sections = (*file)->Sections();
    if (context->Section >= sections.size() ||
        context->Line >= sections[context->Section].lines.size()) {
        return nullptr;
    }
    return &sections[context->Section].lines[context->Line];
}

BOOL ReturnString(const std::string& text, char* buffer, DWORD size, DWORD* required_size) {
    const size_t need = std::min<size_t>(text.size(), 0xFFFFFFFEu) + 1;
    if (required_size != nullptr) {
        *required_size = static_cast<DWORD>(need);
    }
    if (buffer == nullptr) {
        if (size != 0) {
            return Fail(kErrorInvalidParameter);
        }
        SetLastError(kErrorSuccess);
        return 1;
    }
    if (size < need) {
        return Fail(kErrorInsufficientBuffer);
    }
    std::memcpy(buffer, text.data(), need - 1);
    buffer[need - 1] = '\0';
    SetLastError(kErrorSuccess);
    return 1;
}

BOOL FindLine(const std::shared_ptr<const InfFile>& file, HINF inf, size_t section, size_t from,
              const char* key, INFCONTEXT* context) {
    const InfSection& lines = file->Sections()[section];
    for (size_t i = from; i < lines.lines.size(); ++i) {
        const InfLine& line = lines.lines[i];
        if (key == nullptr || ((line.has_key || line.fields.size() == 1) &&
                               EqualsNoCaseMb(line.key, key, file->CodePage()))) {
            context->Inf = inf;
            context->CurrentInf = inf;
            context->Section = static_cast<UINT>(section);
            context->Line = static_cast<UINT>(i);
            SetLastError(kErrorSuccess);
            return 1;
        }
    }
    return Fail(kErrorLineNotFound);
}

std::string JoinFields(const InfLine& line) {
    std::string text;
    for (size_t i = 0; i < line.fields.size(); ++i) {
        if (i > 0) {
            text.push_back(',');
        }
        text += line.fields[i];
    }
    return text;
}

bool IsOemInfName(std::string_view name) {
    if (name.size() <= 7 || !EqualsNoCaseMb(name.substr(0, 3), "oem", 1252) ||
        !EqualsNoCaseMb(name.substr(name.size() - 4), ".inf", 1252)) {
        return false;
    }
    const std::string_view digits = name.substr(3, name.size() - 7);
    return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<InfFile> InfFile::Parse(std::string_view bytes, UINT code_page, LANGID language,
                                      DWORD* error, UINT* error_line) {
    DWORD error_storage = 0;
    UINT line_storage = 0;
    error = error != nullptr ? error : &error_storage;
    error_line = error_line != nullptr ? error_line : &line_storage;
    *error = kErrorSuccess;
    *error_line = 0;

    std::string text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text = Utf16LeToCodePage(bytes.substr(2), code_page);
    } else if (bytes.starts_with("\xEF\xBB\xBF")) {
        text.assign(bytes.substr(3));
    } else {
        text.assign(bytes);
    }

    std::vector<RawSection> raw;
    if (!Parser(text, code_page).Run(&raw, error, error_line)) {
        return std::nullopt;
    }

    StringTable language_strings;
    StringTable neutral_strings;
    const std::string language_name = HexLanguage(language);
    for (const RawSection& section : raw) {
        if (EqualsNoCaseMb(section.name, language_name, code_page)) {
            AddStrings(section, code_page, &language_strings);
        } else if (EqualsNoCaseMb(section.name, "strings", code_page)) {
            AddStrings(section, code_page, &neutral_strings);
        }
    }

    InfFile file;
    file.m_code_page = code_page;
    std::map<std::string, size_t> index;
    Substituter substituter(language_strings, neutral_strings, code_page);
    for (RawSection& section : raw) {
        const bool strings = IsStringsSection(section.name, code_page);
        auto [it, added] =
            index.emplace(ToLowerMb(section.name, code_page), file.m_sections.size());
        if (added) {
            file.m_sections.push_back(InfSection{section.name, {}});
        }
        std::vector<InfLine>& lines = file.m_sections[it->second].lines;
        for (RawLine& raw_line : section.lines) {
            InfLine line{std::move(raw_line.key), raw_line.has_key, std::move(raw_line.fields)};
            if (!strings) {
                bool fits = substituter.Apply(&line.key);
                for (std::string& field : line.fields) {
                    fits = fits && substituter.Apply(&field);
                }
                if (!fits) {
                    *error = kErrorNotEnoughMemory;
                    return std::nullopt;
                }
            }
            lines.push_back(std::move(line));
        }
    }
    file.m_index.assign(index.begin(), index.end());
    return file;
}

std::optional<size_t> InfFile::FindSection(std::string_view name) const {
    const std::string folded = ToLowerMb(name, m_code_page);
    auto it = std::lower_bound(
        m_index.begin(), m_index.end(), folded,
        [](const auto& entry, const std::string& key) { return entry.first < key; });
    if (it == m_index.end() || it->first != folded) {
        return std::nullopt;
    }
    return it->second;
}

std::optional<std::string> InfFile::Value(std::string_view section, std::string_view key) const {
    std::optional<size_t> index = FindSection(section);
    if (!index) {
        return std::nullopt;
    }
    for (const InfLine& line : m_sections[*index].lines) {
        if (line.has_key && EqualsNoCaseMb(line.key, key, m_code_page)) {
            return line.fields.empty() ? std::string() : line.fields.front();
        }
    }
    return std::nullopt;
}

InfHandle& InfHandle::operator=(InfHandle&& other) noexcept {
    if (this != &other) {
        Close();
        m_inf = other.m_inf;
        other.m_inf = kInvalidInfHandle;
    }
    return *this;
}

void InfHandle::Close() {
    if (IsValid()) {
        SetupCloseInfFile(m_inf);
    }
    m_inf = kInvalidInfHandle;
}

HINF SetupOpenInfFileA(const char* path, const char* class_filter, DWORD style, UINT* error_line) {
    if (error_line != nullptr) {
        *error_line = 0;
    }
    if (path == nullptr || *path == '\0') {
        SetLastError(kErrorInvalidParameter);
        return kInvalidInfHandle;
    }
    std::string bytes;
    if (DWORD result = ReadWholeFile(path, &bytes); result != 0) {
        SetLastError(result);
        return kInvalidInfHandle;
    }
    DWORD error = 0;
    std::optional<InfFile> file =
        InfFile::Parse(bytes, GetACP(), GetUserDefaultLangID(), &error, error_line);
    if (!file) {
        SetLastError(error);
        return kInvalidInfHandle;
    }
    // Only the Windows 95 / NT 4 format is understood; the older NT format is not parsed.
    const std::string signature = file->Value("Version", "Signature").value_or("");
    const bool win4 = EqualsNoCaseMb(signature, "$Windows NT$", file->CodePage()) ||
                      EqualsNoCaseMb(signature, "$Chicago$", file->CodePage()) ||
                      EqualsNoCaseMb(signature, "$Windows 95$", file->CodePage());
    if ((style & INF_STYLE_WIN4) == 0 || !win4) {
        SetLastError(kErrorWrongInfStyle);
        return kInvalidInfHandle;
    }
    if (class_filter != nullptr) {
        std::optional<std::string> inf_class = file->Value("Version", "Class");
        if (!inf_class || !EqualsNoCaseMb(*inf_class, class_filter, file->CodePage())) {
            SetLastError(kErrorClassMismatch);
            return kInvalidInfHandle;
        }
    }
    OpenInfs& opened = Opened();
    std::lock_guard lock(opened.mutex);
    const std::uintptr_t handle = opened.next;
    opened.next += 0x10;
    opened.files.emplace(handle, std::make_shared<const InfFile>(std::move(*file)));
    SetLastError(kErrorSuccess);
    return reinterpret_cast<HINF>(handle);
}

void SetupCloseInfFile(HINF inf) {
    OpenInfs& opened = Opened();
    std::lock_guard lock(opened.mutex);
    opened.files.erase(reinterpret_cast<std::uintptr_t>(inf));
}

LONG SetupGetLineCountA(HINF inf, const char* section) {
    std::shared_ptr<const InfFile> file = Lookup(inf);
    if (!file || section == nullptr) {
        SetLastError(!file ? kErrorInvalidHandle : kErrorInvalidParameter);
        return -1;
    }
    std::optional<size_t> index = file->FindSection(section);
    if (!index) {
        SetLastError(kErrorSectionNotFound);
        return -1;
    }
    SetLastError(kErrorSuccess);
    return static_cast<LONG>(std::min<size_t>(file->Sections()[*index].lines.size(), 0x7FFFFFFF));
}

BOOL SetupGetLineByIndexA(HINF inf, const char* section, DWORD index, INFCONTEXT* context) {
    std::shared_ptr<const InfFile> file = Lookup(inf);
    if (!file) {
        return Fail(kErrorInvalidHandle);
    }
    if (section == nullptr || context == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    std::optional<size_t> found = file->FindSection(section);
    if (!found) {
        return Fail(kErrorSectionNotFound);
    }
    if (index >= file->Sections()[*found].lines.size()) {
        return Fail(kErrorLineNotFound);
    }
    context->Inf = inf;
    context->CurrentInf = inf;
    context->Section = static_cast<UINT>(*found);
    context->Line = index;
    SetLastError(kErrorSuccess);
    return 1;
}

BOOL SetupFindFirstLineA(HINF inf, const char* section, const char* key, INFCONTEXT* context) {
    std::shared_ptr<const InfFile> file = Lookup(inf);
    if (!file) {
        return Fail(kErrorInvalidHandle);
    }
    if (section == nullptr || context == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    std::optional<size_t> found = file->FindSection(section);
    if (!found) {
        return Fail(kErrorSectionNotFound);
    }
    return FindLine(file, inf, *found, 0, key, context);
}

BOOL SetupFindNextLine(const INFCONTEXT* context_in, INFCONTEXT* context_out) {
    return SetupFindNextMatchLineA(context_in, nullptr, context_out);
}

BOOL SetupFindNextMatchLineA(const INFCONTEXT* context_in, const char* key,
                             INFCONTEXT* context_out) {
    std::shared_ptr<const InfFile> file;
    if (context_out == nullptr || ContextLine(context_in, &file) == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    return FindLine(file, context_in->CurrentInf, context_in->Section, context_in->Line + 1, key,
                    context_out);
}

BOOL SetupGetStringFieldA(INFCONTEXT* context, DWORD field_index, char* buffer, DWORD size,
                          DWORD* required_size) {
    std::shared_ptr<const InfFile> file;
    const InfLine* line = ContextLine(context, &file);
    if (line == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    if (field_index == 0) {
        return ReturnString(line->key, buffer, size, required_size);
    }
    if (field_index > line->fields.size()) {
        return Fail(kErrorInvalidParameter);
    }
    return ReturnString(line->fields[field_index - 1], buffer, size, required_size);
}

DWORD SetupGetFieldCount(INFCONTEXT* context) {
    std::shared_ptr<const InfFile> file;
    const InfLine* line = ContextLine(context, &file);
    if (line == nullptr) {
        SetLastError(kErrorInvalidParameter);
        return 0;
    }
    SetLastError(kErrorSuccess);
    return static_cast<DWORD>(line->fields.size());
}

BOOL SetupGetLineTextA(INFCONTEXT* context, HINF inf, const char* section, const char* key,
                       char* buffer, DWORD size, DWORD* required_size) {
    INFCONTEXT found;
    if (context == nullptr) {
        if (key == nullptr || !SetupFindFirstLineA(inf, section, key, &found)) {
            return key == nullptr ? Fail(kErrorInvalidParameter) : 0;
        }
        context = &found;
    }
    std::shared_ptr<const InfFile> file;
    const InfLine* line = ContextLine(context, &file);
    if (line == nullptr) {
        return Fail(kErrorInvalidParameter);
    }
    return ReturnString(JoinFields(*line), buffer, size, required_size);
}

BOOL SetupCopyOEMInfA(const char* source, const char* /*media_location*/, DWORD /*media_type*/,
                      DWORD copy_style, char* dest_name, DWORD dest_size, DWORD* required_size,
                      char** component) {
    if (source == nullptr || *source == '\0') {
        return Fail(kErrorInvalidParameter);
    }
    std::string bytes;
    if (DWORD result = ReadWholeFile(source, &bytes); result != 0) {
        return Fail(result);
    }
    {
        // Only a usable INF is taken into the system's store.
        InfHandle check(SetupOpenInfFileA(source, nullptr, INF_STYLE_WIN4, nullptr));
        if (!check.IsValid()) {
            return 0;
        }
    }
    const std::string folder = Machine::Current().InfFolder();
    std::optional<fs::path> host = WindowsToHostPath(folder);
    std::error_code ec;
    if (!host || (!fs::is_directory(*host, ec) && !fs::create_directories(*host, ec))) {
        return Fail(kErrorPathNotFound);
    }
    std::string existing;
    std::vector<std::string> taken;
    for (const fs::directory_entry& entry : fs::directory_iterator(*host, ec)) {
        const std::string name = entry.path().filename().string();
        if (!IsOemInfName(name)) {
            continue;
        }
        taken.push_back(ToLowerMb(name, 1252));
        std::string other;
        if (existing.empty() && entry.is_regular_file(ec) &&
            ReadWholeFile(folder + "\\" + name, &other) == 0 && other == bytes) {
            existing = name;
        }
    }
    std::string name = existing;
    if (name.empty()) {
        for (unsigned n = 0;; ++n) {
            name = "oem" + std::to_string(n) + ".inf";
            if (std::find(taken.begin(), taken.end(), name) == taken.end()) {
                break;
            }
        }
    }
    const std::string full = folder + "\\" + name;
    if (component != nullptr) {
        *component = nullptr;
    }
    // The name is reported even when the copy is refused, so the caller can use the one there.
    const BOOL named = ReturnString(full, dest_name, dest_size, required_size);
    if (named && dest_name != nullptr && component != nullptr) {
        *component = dest_name + folder.size() + 1;
    }
    if (!existing.empty() && (copy_style & SP_COPY_NOOVERWRITE) != 0) {
        return Fail(kErrorFileExists);
    }
    if (!named) {
        return 0;
    }
    if (existing.empty()) {
        if (DWORD result = WriteWholeFile(full, bytes); result != 0) {
            return Fail(result);
        }
    }
    SetLastError(kErrorSuccess);
    return 1;
}

BOOL SetupUninstallOEMInfA(const char* inf_name, DWORD /*flags*/, void* /*reserved*/) {
    // No device on this machine holds an INF in use, so a forced and a plain removal agree.
    if (inf_name == nullptr || !IsOemInfName(inf_name)) {
        return Fail(kErrorInvalidParameter);
    }
    const std::string folder = Machine::Current().InfFolder();
    std::optional<fs::path> host = WindowsToHostPath(folder);
    std::error_code ec;
    if (host) {
        for (const fs::directory_entry& entry : fs::directory_iterator(*host, ec)) {
            const std::string name = entry.path().filename().string();
            if (EqualsNoCaseMb(name, inf_name, 1252) && entry.is_regular_file(ec)) {
                if (!DeleteFileA(folder + "\\" + name)) {
                    return 0;
                }
                // The precompiled form Windows keeps beside it goes too.
                std::string pnf = name.substr(0, name.size() - 4) + ".pnf";
                DeleteFileA(folder + "\\" + pnf);
                SetLastError(kErrorSuccess);
                return 1;
            }
        }
    }
    return Fail(kErrorFileNotFound);
}

}  // namespace qx::platform
