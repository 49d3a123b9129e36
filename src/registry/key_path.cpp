#include "registry/key_path.h"

#include "platform/code_page.h"

namespace qx::registry {

namespace {

// Calls visit(position) for every separator, in order.
template <typename Visit>
void ForEachSeparator(std::string_view path, qx::platform::UINT code_page, Visit visit) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (qx::platform::IsDbcsLeadByte(code_page, static_cast<unsigned char>(path[i]))) {
            ++i;  // its trail byte belongs to the character
        } else if (path[i] == '\\') {
            visit(i);
        }
    }
}

}  // namespace

std::size_t LastSeparator(std::string_view path, qx::platform::UINT code_page) {
    std::size_t last = std::string_view::npos;
    ForEachSeparator(path, code_page, [&](std::size_t at) { last = at; });
    return last;
}

bool EndsWithSeparator(std::string_view path, qx::platform::UINT code_page) {
    return !path.empty() && LastSeparator(path, code_page) == path.size() - 1;
}

std::string WithoutTrailingSeparators(std::string_view path, qx::platform::UINT code_page) {
    while (EndsWithSeparator(path, code_page)) {
        path.remove_suffix(1);
    }
    return std::string(path);
}

}  // namespace qx::registry
