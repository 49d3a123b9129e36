// Language selection: country mapping, the supported-language test, abbreviations and
// language folders from the data file, and the built-in abbreviations.
#pragma once

#include <optional>
#include <string>

#include "platform/win_types.h"

class CConfig;

namespace qx::context {

// The abbreviation Windows language ids get when the data file names none.
std::string BuiltInAbbreviation(qx::platform::LANGID id);

// Lookups in the data file's language tables ("0X%04X" of the full id, then of the primary).
qx::platform::LANGID MapCountry(CConfig& data, qx::platform::LANGID id);
std::optional<qx::platform::LANGID> SupportedLanguage(CConfig& data, qx::platform::LANGID id);
std::string LanguageAbbreviation(CConfig& data, qx::platform::LANGID id);
std::string LanguageFolder(CConfig& data, qx::platform::LANGID id);

// A configured number: hexadecimal with 0x, else decimal.
qx::platform::DWORD ParseConfiguredNumber(const std::string& text);

}  // namespace qx::context
