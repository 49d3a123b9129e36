#include "profile/profile_text.h"

#include <cstring>

#include "platform/code_page.h"

namespace qx::profile {

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view TrimSectionName(std::string_view text) {
    auto left = [](char c) { return IsBlank(c) || c == '"' || c == '['; };
    auto right = [](char c) { return IsBlank(c) || c == '"' || c == ']'; };
    while (!text.empty() && left(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && right(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view FitPrefix(std::string_view text, std::size_t max_bytes) {
    if (text.size() <= max_bytes) {
        return text;
    }
    const platform::UINT code_page = platform::GetACP();
    std::size_t end = 0;
    while (end < max_bytes) {
        const bool lead =
            platform::IsDbcsLeadByte(code_page, static_cast<unsigned char>(text[end]));
        const std::size_t step = lead ? 2 : 1;
        if (end + step > max_bytes) {
            break;
        }
        end += step;
    }
    return text.substr(0, end);
}

void CopyBounded(char* buffer, std::size_t size, std::string_view text) {
    const std::string_view fitted = FitPrefix(text, size - 1);
    if (!fitted.empty()) {
        std::memcpy(buffer, fitted.data(), fitted.size());
    }
    buffer[fitted.size()] = '\0';
}

bool SameName(std::string_view a, std::string_view b) {
    return platform::EqualsNoCaseMb(a, b, platform::GetACP());
}

}  // namespace qx::profile
