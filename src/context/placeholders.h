// Placeholders between dollar signs in configured texts, path resolution against the source
// folder, and the pieces of the context the configuration accessor asks for.
#pragma once

#include <string>
#include <string_view>

#include "profile/config.h"

namespace qx::context {

// Replaces the run's placeholders; lcid 0 and null or empty texts select the current language.
std::string ExpandPlaceholders(std::string_view text, int lcid = 0, const char* lang_abbr = nullptr,
                               const char* lang_dir = nullptr);

// Relative paths are taken against the source folder. With must_exist a file that cannot be
// opened is logged and gives an empty text.
std::string ResolvePath(std::string_view text, bool must_exist);

// Whether configured texts keep their placeholders (a remote installation expands them on the
// other PC).
bool IsRemoteInstallation();

// The run's OS define string, language abbreviation and connection options.
qx::profile::SectionQualifiers CurrentSectionQualifiers();

}  // namespace qx::context

class CInstallContext;

namespace qx::context {

// Only the first %s of a disc-supplied file-name pattern is filled.
std::string FormatWithAbbreviation(const std::string& pattern, const std::string& abbr);

// The default destination at start-up: an earlier installation's, the data file's, or
// Program Files\MFG\title; created at once.
void InitDefaultDestination(CInstallContext* context);

// The printer port rule: the text, else DEFAULT_PORT when that port exists, else FILE: or
// LPT1:. with_log writes "Set Port : %s".
void ApplyPortRule(CInstallContext* context, const char* text, bool with_log);

}  // namespace qx::context
