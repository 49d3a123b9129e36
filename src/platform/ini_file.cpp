// The INI-file calls of the machine: edits keep every other byte of the file as it was.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace qx::platform {

namespace {

constexpr const char* kNewline = "\r\n";

struct IniLines {
    std::vector<std::string> lines;  // each with its own line break, if it had one
};

std::string TrimBlanks(std::string_view text) {
    size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

IniLines Split(const std::string& data) {
    IniLines ini;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) {
            ini.lines.push_back(data.substr(start));
            break;
        }
        ini.lines.push_back(data.substr(start, end - start + 1));
        start = end + 1;
    }
    return ini;
}

std::string Join(const IniLines& ini) {
    std::string out;
    for (const std::string& line : ini.lines) {
        out += line;
    }
    return out;
}

// Section name of a header line, or nullopt.
std::optional<std::string> HeaderName(const std::string& line) {
    std::string trimmed = TrimBlanks(line);
    if (trimmed.size() < 2 || trimmed.front() != '[') {
        return std::nullopt;
    }
    size_t close = trimmed.find(']');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    return TrimBlanks(std::string_view(trimmed).substr(1, close - 1));
}

std::optional<std::string> KeyOf(const std::string& line) {
    std::string trimmed = TrimBlanks(line);
    if (trimmed.empty() || trimmed[0] == ';') {
        return std::nullopt;
    }
    size_t equals = trimmed.find('=');
    return TrimBlanks(std::string_view(trimmed).substr(0, equals));
}

// [first, last) lines of a section's body; first == npos when the section is missing.
std::pair<size_t, size_t> FindSection(const IniLines& ini, const char* section) {
    const UINT cp = GetACP();
    for (size_t i = 0; i < ini.lines.size(); ++i) {
        auto name = HeaderName(ini.lines[i]);
        if (!name || !EqualsNoCaseMb(*name, TrimBlanks(section), cp)) {
            continue;
        }
        size_t end = i + 1;
        while (end < ini.lines.size() && !HeaderName(ini.lines[end])) {
            ++end;
        }
        return {i + 1, end};
    }
    return {std::string::npos, std::string::npos};
}

size_t FindKeyLine(const IniLines& ini, std::pair<size_t, size_t> body, const char* key) {
    const UINT cp = GetACP();
    for (size_t i = body.first; i < body.second; ++i) {
        auto line_key = KeyOf(ini.lines[i]);
        if (line_key && EqualsNoCaseMb(*line_key, TrimBlanks(key), cp)) {
            return i;
        }
    }
    return std::string::npos;
}

void EnsureBreak(IniLines* ini) {
    if (!ini->lines.empty() && ini->lines.back().back() != '\n') {
        ini->lines.back() += kNewline;
    }
}

// Where a new key line goes: after the section's last non-blank line.
size_t InsertPoint(const IniLines& ini, std::pair<size_t, size_t> body) {
    size_t at = body.second;
    while (at > body.first && TrimBlanks(ini.lines[at - 1]).empty()) {
        --at;
    }
    return at;
}

std::string IniPath(std::string_view path) {
    if (path.find('\\') == std::string_view::npos && path.find('/') == std::string_view::npos &&
        path.find(':') == std::string_view::npos) {
        // A bare name lives in the Windows folder, as win.ini does.
        return GetWindowsDirectoryA() + "\\" + std::string(path);
    }
    return std::string(path);
}

bool Load(std::string_view path, IniLines* ini) {
    std::string data;
    DWORD error = ReadWholeFile(path, &data);
    if (error != kErrorSuccess && error != kErrorFileNotFound) {
        SetLastError(error);
        return false;
    }
    *ini = Split(data);
    return true;
}

bool Store(std::string_view path, const IniLines& ini) {
    DWORD error = WriteWholeFile(path, Join(ini));
    if (error != kErrorSuccess) {
        SetLastError(error);
        return false;
    }
    SetLastError(kErrorSuccess);
    return true;
}

}  // namespace

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                std::string_view path) {
    if (section == nullptr || path.empty()) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    std::string file = IniPath(path);
    IniLines ini;
    if (!Load(file, &ini)) {
        return false;
    }
    auto body = FindSection(ini, section);
    if (key == nullptr) {
        if (body.first != std::string::npos) {
            ini.lines.erase(ini.lines.begin() + static_cast<long>(body.first - 1),
                            ini.lines.begin() + static_cast<long>(body.second));
        }
        return Store(file, ini);
    }
    std::string line = std::string(key) + "=" + (value != nullptr ? value : "") + kNewline;
    if (body.first == std::string::npos) {
        if (value == nullptr) {
            return Store(file, ini);
        }
        EnsureBreak(&ini);
        ini.lines.push_back("[" + std::string(section) + "]" + kNewline);
        ini.lines.push_back(line);
        return Store(file, ini);
    }
    size_t at = FindKeyLine(ini, body, key);
    if (value == nullptr) {
        if (at != std::string::npos) {
            ini.lines.erase(ini.lines.begin() + static_cast<long>(at));
        }
    } else if (at != std::string::npos) {
        ini.lines[at] = line;
    } else {
        size_t insert = InsertPoint(ini, body);
        if (insert > 0 && ini.lines[insert - 1].back() != '\n') {
            ini.lines[insert - 1] += kNewline;
        }
        ini.lines.insert(ini.lines.begin() + static_cast<long>(insert), line);
    }
    return Store(file, ini);
}

bool WritePrivateProfileSectionA(const char* section, const char* entries, std::string_view path) {
    if (section == nullptr || entries == nullptr || path.empty()) {
        SetLastError(kErrorInvalidParameter);
        return false;
    }
    std::string file = IniPath(path);
    IniLines ini;
    if (!Load(file, &ini)) {
        return false;
    }
    std::vector<std::string> new_lines;
    for (const char* entry = entries; *entry != '\0'; entry += std::strlen(entry) + 1) {
        new_lines.push_back(std::string(entry) + kNewline);
    }
    auto body = FindSection(ini, section);
    if (body.first == std::string::npos) {
        EnsureBreak(&ini);
        ini.lines.push_back("[" + std::string(section) + "]" + kNewline);
        ini.lines.insert(ini.lines.end(), new_lines.begin(), new_lines.end());
        return Store(file, ini);
    }
    ini.lines.erase(ini.lines.begin() + static_cast<long>(body.first),
                    ini.lines.begin() + static_cast<long>(body.second));
    ini.lines.insert(ini.lines.begin() + static_cast<long>(body.first), new_lines.begin(),
                     new_lines.end());
    return Store(file, ini);
}

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* default_value,
                               char* buffer, DWORD size, std::string_view path) {
    if (buffer == nullptr || size == 0) {
        return 0;
    }
    std::string value = default_value != nullptr ? default_value : "";
    IniLines ini;
    if (section != nullptr && key != nullptr && Load(IniPath(path), &ini)) {
        auto body = FindSection(ini, section);
        size_t at = body.first == std::string::npos ? body.first : FindKeyLine(ini, body, key);
        if (at != std::string::npos) {
            std::string line = TrimBlanks(ini.lines[at]);
            size_t equals = line.find('=');
            value = equals == std::string::npos ? "" : TrimBlanks(line.substr(equals + 1));
            if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
                value = value.substr(1, value.size() - 2);
            }
        }
    }
    size_t count = std::min<size_t>(value.size(), size - 1);
    std::memcpy(buffer, value.data(), count);
    buffer[count] = '\0';
    return static_cast<DWORD>(count);
}

}  // namespace qx::platform
