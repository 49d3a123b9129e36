// Fuzzes the profile reader: arbitrary bytes as a main file (and, after a "@@@@" separator, a
// second file), then every getter on the sections and keys they produced.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "profile/profile.h"

namespace {

using qx::platform::DWORD;

constexpr std::string_view kSeparator = "@@@@";
constexpr int kMaxSections = 8;
constexpr int kMaxLines = 8;

class FuzzProfile : public CProfile {
  public:
    void Feed(std::string_view bytes) {
        const std::size_t split = bytes.find(kSeparator);
        LoadText(bytes.substr(0, split), &m_mainList);
        m_loaded = 1;
        if (split != std::string_view::npos) {
            LoadText(bytes.substr(split + kSeparator.size()), &m_secondList);
            m_secondLoaded = 1;
        }
    }

    void ExerciseKey(const char* section, const char* key) {
        std::vector<char> buffer(16384);
        GetString(section, key, buffer.data(), static_cast<DWORD>(buffer.size()), true);
        char small[7];
        GetString(section, key, small, sizeof(small), true);
        DWORD number = 0;
        GetDword(section, key, &number);
        qx::platform::SIZE size;
        GetControl(section, key, &size);
        qx::platform::POINT point;
        GetControl(section, key, &point);
        GetControl(section, key, &number);
        qx::platform::RECT rect;
        GetControl(section, key, &rect);
    }

    void ExerciseSection(SECTION_LIST* section) {
        std::vector<char> buffer(16384);
        GetAllKey(section->name, buffer.data(), static_cast<DWORD>(buffer.size()), false);
        GetAllKey(section->name, buffer.data(), 9, true);
        DWORD size = 16;
        DWORD count = 0;
        m_mainList.GetAllKey(section->name, buffer.data(), &size, &count);
        int lines = 0;
        for (LINE_LIST* line = section->first_line; line != nullptr && lines < kMaxLines;
             line = line->next, ++lines) {
            ExerciseKey(section->name, line->key);
            std::string value = line->value;
            value.resize(value.size() + 1);
            ConvertDefinedString(value.data(), static_cast<DWORD>(value.size()), true);
        }
    }

    void Exercise() {
        std::vector<char> names(65536);
        GetSectionName(names.data(), static_cast<DWORD>(names.size()), true);
        GetSectionName(names.data(), 12, false);
        int sections = 0;
        for (SECTION_LIST* section = m_mainList.FindSection(nullptr);
             section != nullptr && sections < kMaxSections; section = section->next, ++sections) {
            ExerciseSection(section);
        }
        // Edits in memory must keep the lists consistent for the destructor.
        SECTION_LIST* first = m_mainList.FindSection(nullptr);
        if (first != nullptr && first->first_line != nullptr) {
            m_mainList.SetValue(first->name, first->first_line->key, "v", 1);
            m_mainList.DeleteLine(first->name, first->first_line->key);
            m_mainList.DeleteSection(first->name);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzProfile profile;
    profile.Feed(std::string_view(reinterpret_cast<const char*>(data), size));
    profile.Exercise();
    return 0;
}
