// Windows setup information (INF) files: a parser of their sections, lines and fields with
// string substitution, and the SetupAPI calls over it that the program makes, reporting Windows
// error numbers through the thread-local last error.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

namespace qx::platform {

using BOOL = int;
using HINF = void*;
inline HINF const kInvalidInfHandle = reinterpret_cast<HINF>(static_cast<std::intptr_t>(-1));

struct INFCONTEXT {
    HINF Inf = nullptr;
    HINF CurrentInf = nullptr;
    UINT Section = 0;
    UINT Line = 0;
};

inline constexpr DWORD INF_STYLE_NONE = 0x0;
inline constexpr DWORD INF_STYLE_OLDNT = 0x1;
inline constexpr DWORD INF_STYLE_WIN4 = 0x2;
inline constexpr DWORD SPOST_NONE = 0;
inline constexpr DWORD SPOST_PATH = 1;
inline constexpr DWORD SP_COPY_NOOVERWRITE = 0x8;
inline constexpr DWORD SUOI_FORCEDELETE = 0x1;

// SetupAPI's own error numbers.
inline constexpr DWORD kErrorExpectedSectionName = 0xE0000000u;
inline constexpr DWORD kErrorBadSectionNameLine = 0xE0000001u;
inline constexpr DWORD kErrorSectionNameTooLong = 0xE0000002u;
inline constexpr DWORD kErrorWrongInfStyle = 0xE0000100u;
inline constexpr DWORD kErrorSectionNotFound = 0xE0000101u;
inline constexpr DWORD kErrorLineNotFound = 0xE0000102u;
inline constexpr DWORD kErrorClassMismatch = 0xE0000203u;

// Longest section name an INF may use.
inline constexpr size_t kMaxInfSectionName = 255;

struct InfLine {
    // Field 0. A line without "=" and with a single field has that field as its key as well.
    std::string key;
    bool has_key = false;
    std::vector<std::string> fields;  // fields 1, 2, ...
};

struct InfSection {
    std::string name;
    std::vector<InfLine> lines;  // in file order; a name repeated later appends here
};

// One parsed INF. Section names and keys compare without case (multibyte-aware in the code
// page the file was read with); %key% references are already replaced.
class InfFile {
  public:
    // Parses file bytes: ANSI in code_page, UTF-16LE with its BOM, or UTF-8 with its BOM (read
    // as ANSI once the BOM is dropped). Strings come from [Strings.LLLL] for language, then
    // [Strings]. On malformed input returns nullopt with the SetupAPI error and the 1-based line.
    static std::optional<InfFile> Parse(std::string_view bytes, UINT code_page, LANGID language,
                                        DWORD* error, UINT* error_line);

    const std::vector<InfSection>& Sections() const { return m_sections; }
    std::optional<size_t> FindSection(std::string_view name) const;
    // Field 1 of the first line with key in section, if any.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    UINT CodePage() const { return m_code_page; }

  private:
    std::vector<InfSection> m_sections;
    std::vector<std::pair<std::string, size_t>> m_index;  // folded name -> section, sorted
    UINT m_code_page = 1252;
};

// An open INF handle, closed on destruction.
class InfHandle {
  public:
    InfHandle() = default;
    explicit InfHandle(HINF inf) : m_inf(inf) {}
    ~InfHandle() { Close(); }
    InfHandle(InfHandle&& other) noexcept : m_inf(other.m_inf) { other.m_inf = kInvalidInfHandle; }
    InfHandle& operator=(InfHandle&& other) noexcept;
    InfHandle(const InfHandle&) = delete;
    InfHandle& operator=(const InfHandle&) = delete;

    HINF Get() const { return m_inf; }
    bool IsValid() const { return m_inf != kInvalidInfHandle && m_inf != nullptr; }
    void Close();

  private:
    HINF m_inf = kInvalidInfHandle;
};

// class_filter (may be null) must equal the [Version] Class; INF_STYLE_WIN4 needs a Signature
// of "$Windows NT$", "$Chicago$" or "$Windows 95$". kInvalidInfHandle on failure, with the
// line of a syntax error in error_line (0 otherwise).
HINF SetupOpenInfFileA(const char* path, const char* class_filter, DWORD style, UINT* error_line);
void SetupCloseInfFile(HINF inf);
// Lines of a section; -1 when it is missing.
LONG SetupGetLineCountA(HINF inf, const char* section);
BOOL SetupGetLineByIndexA(HINF inf, const char* section, DWORD index, INFCONTEXT* context);
// The first line of section with key (any line when key is null).
BOOL SetupFindFirstLineA(HINF inf, const char* section, const char* key, INFCONTEXT* context);
BOOL SetupFindNextLine(const INFCONTEXT* context_in, INFCONTEXT* context_out);
BOOL SetupFindNextMatchLineA(const INFCONTEXT* context_in, const char* key,
                             INFCONTEXT* context_out);
// Field 0 is the key. A null buffer asks for the size only; a short one fails with 122. The
// required size counts the terminating NUL.
BOOL SetupGetStringFieldA(INFCONTEXT* context, DWORD field_index, char* buffer, DWORD size,
                          DWORD* required_size);
DWORD SetupGetFieldCount(INFCONTEXT* context);
// The fields of a line joined by commas: the line of context, or else the first line of
// section with key.
BOOL SetupGetLineTextA(INFCONTEXT* context, HINF inf, const char* section, const char* key,
                       char* buffer, DWORD size, DWORD* required_size);

// Copies an INF into the machine's Inf folder as the next free oemN.inf. A copy with the same
// bytes already there is reused (with SP_COPY_NOOVERWRITE: fails with 80 and still names it).
// dest_name receives the full Windows path; component points at its file name.
BOOL SetupCopyOEMInfA(const char* source, const char* media_location, DWORD media_type,
                      DWORD copy_style, char* dest_name, DWORD dest_size, DWORD* required_size,
                      char** component);
// Removes oemN.inf (a bare file name) from the Inf folder; 2 when it is not there.
BOOL SetupUninstallOEMInfA(const char* inf_name, DWORD flags, void* reserved);

}  // namespace qx::platform
