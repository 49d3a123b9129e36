// qxmachine reg: reads and edits the machine's registry, and saves and loads subtrees in the
// setup program's registry file format.
#pragma once

#include <string>
#include <vector>

namespace qx::tools {

// Runs "qxmachine reg ARGS" (help included); returns the exit status.
int RunRegCommand(const std::vector<std::string>& args);

}  // namespace qx::tools
