// Byte-string helpers shared by the profile reader: trimming, bounded copies into the fixed
// node buffers and name comparison in the machine's code page.
#pragma once

#include <cstddef>
#include <string_view>

namespace qx::profile {

inline constexpr std::size_t kNameSize = 256;    // section names and keys, with the NUL
inline constexpr std::size_t kValueSize = 4096;  // values and lines, with the NUL

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text);
// Header trimming: blanks, double quotes and '[' on the left; blanks, quotes and ']' on the right.
std::string_view TrimSectionName(std::string_view text);

// The longest prefix of text that has at most max_bytes bytes and does not end inside a
// double-byte character of the current code page.
std::string_view FitPrefix(std::string_view text, std::size_t max_bytes);
// A section name or key as the list stores it: trimmed as the caller did, cut to 255 bytes.
inline std::string_view StoredName(std::string_view name) {
    return FitPrefix(name, kNameSize - 1);
}

// Copies as much of text as fits with its NUL into a buffer of size bytes (size > 0).
void CopyBounded(char* buffer, std::size_t size, std::string_view text);

// Case-insensitive, double-byte aware equality in the machine's ANSI code page.
bool SameName(std::string_view a, std::string_view b);

}  // namespace qx::profile
