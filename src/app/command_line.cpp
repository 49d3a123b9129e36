#include "app/command_line.h"

#include <cctype>

namespace qx::app {

namespace {

std::string TrimSwitchValue(std::string_view text) {
    const char* blanks = " \t\"";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos) {
        return {};
    }
    size_t last = text.find_last_not_of(blanks);
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

std::vector<Switch> SplitCommandLine(std::string_view command_line) {
    std::vector<Switch> switches;
    size_t start = 0;
    while (start <= command_line.size()) {
        size_t end = command_line.find_first_of("/-", start);
        std::string_view token = command_line.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!token.empty()) {
            Switch entry;
            entry.letter = static_cast<char>(std::toupper(static_cast<unsigned char>(token[0])));
            entry.value = TrimSwitchValue(token.substr(1));
            switches.push_back(entry);
        }
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return switches;
}

std::string JoinArguments(int argc, const char* const* argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (!joined.empty()) {
            joined += ' ';
        }
        bool quote = arg.empty() || arg.find_first_of(" \t") != std::string_view::npos;
        joined += quote ? "\"" + std::string(arg) + "\"" : std::string(arg);
    }
    return joined;
}

}  // namespace qx::app
