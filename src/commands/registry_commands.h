// The registry commands: a command-file section names a key and its values; CT_ADDREG writes
// them, CT_DELREG removes them and, when asked, the key. Also the applicability check that
// command-file sections carry (supported and unsupported OS and languages).
#pragma once

#include <string>

namespace qx::commands {

// SUPPORTED_OS / UNSUPPORTED_OS / SUPPORTED_LANG / UNSUPPORTED_LANG of a command-file section
// against the run's OS string and language abbreviation.
bool IsSectionApplicable(const std::string& section);

// CT_ADDREG and CT_DELREG with P1, the section: true when handled or not applicable.
bool AddRegistry(const std::string& section);
bool DeleteRegistry(const std::string& section);

}  // namespace qx::commands
