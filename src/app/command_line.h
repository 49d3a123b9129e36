// The program's command-line switches: split at every slash and dash, first letter decides.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qx::app {

struct Switch {
    char letter = '\0';  // upper-cased first character of the token
    std::string value;   // the rest, spaces, tabs and double quotes trimmed from both ends
};

// Every non-empty token in order, including text before the first separator.
std::vector<Switch> SplitCommandLine(std::string_view command_line);

// Joins host arguments into the Windows command-line tail the program is handed
// (arguments with blanks are quoted).
std::string JoinArguments(int argc, const char* const* argv);

}  // namespace qx::app
