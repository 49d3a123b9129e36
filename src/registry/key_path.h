// Registry key paths in the machine's code page: the backslashes that separate their names,
// never the trail byte of a double-byte character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace qx::registry {

// Position of the last separator, or npos.
std::size_t LastSeparator(std::string_view path,
                          qx::platform::UINT code_page = qx::platform::GetACP());
bool EndsWithSeparator(std::string_view path,
                       qx::platform::UINT code_page = qx::platform::GetACP());
// The path without separators at its end (the same key).
std::string WithoutTrailingSeparators(std::string_view path,
                                      qx::platform::UINT code_page = qx::platform::GetACP());

}  // namespace qx::registry
