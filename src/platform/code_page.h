// ANSI code-page text: multibyte-aware case folding and comparison, and conversion between the
// machine's code page and UTF-8 for display and host file names.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace qx::platform {

bool IsDbcsCodePage(UINT code_page);
bool IsDbcsLeadByte(UINT code_page, unsigned char byte);

// Upper-cases ASCII letters only; the trail byte of a double-byte character is left as it is.
std::string ToUpperMb(std::string_view text, UINT code_page);
std::string ToLowerMb(std::string_view text, UINT code_page);

// Case-insensitive comparison in the manner of _mbsicmp: <0, 0 or >0.
int CompareNoCaseMb(std::string_view a, std::string_view b, UINT code_page);
inline bool EqualsNoCaseMb(std::string_view a, std::string_view b, UINT code_page) {
    return CompareNoCaseMb(a, b, code_page) == 0;
}

// Conversions with iconv; unconvertible bytes become '?' so a conversion never fails whole.
std::string CodePageToUtf8(std::string_view text, UINT code_page);
std::string Utf8ToCodePage(std::string_view text, UINT code_page);
// UTF-16LE bytes (no BOM) to the code page; each character the code page lacks, and each
// unpaired surrogate, becomes one '?'. An odd last byte is dropped.
std::string Utf16LeToCodePage(std::string_view bytes, UINT code_page);

}  // namespace qx::platform

namespace qx::platform {

// The machine's ANSI code page (1252 until the machine is loaded).
UINT GetACP();

}  // namespace qx::platform
