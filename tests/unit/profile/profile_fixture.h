// Shared helpers of the profile tests: a per-test folder in the machine to write profile files
// into, a subclass that opens the reader's protected steps, and a compact dump of a list.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "profile/profile.h"
#include "support/temp_machine.h"

namespace qx::test {

using qx::platform::DWORD;

// Opens the protected parsing steps to the tests.
class TestProfile : public CProfile {
  public:
    using CProfile::ConvertDefinedString;
    using CProfile::GetStringValue;
    using CProfile::IsSection;
    using CProfile::LoadFile;
    using CProfile::LoadText;
    using CProfile::ProcessData;
    using CProfile::ReadOneLine;
    using CProfile::StringToDword;
    CSectionList& SecondList() { return m_secondList; }
};

// "[name]" lines, each followed by its "key=value" lines ("key" alone for a bare key).
inline std::string Dump(CSectionList& list) {
    std::string out;
    for (SECTION_LIST* section = list.FindSection(nullptr); section != nullptr;
         section = section->next) {
        out += "[" + std::string(section->name) + "]\n";
        for (LINE_LIST* line = section->first_line; line != nullptr; line = line->next) {
            out += line->key;
            if (line->value[0] != '\0') {
                out += "=" + std::string(line->value);
            }
            out += "\n";
        }
    }
    return out;
}

// A list of NUL-terminated entries up to the empty one, joined with '|'.
inline std::string JoinList(const char* list) {
    std::string out;
    for (const char* entry = list; *entry != '\0'; entry += std::string_view(entry).size() + 1) {
        if (!out.empty()) {
            out += '|';
        }
        out += entry;
    }
    return out;
}

class ProfileFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string(info->test_suite_name()) + "_" + info->name();
        for (char& c : name) {
            if (c == '/') {
                c = '_';
            }
        }
        folder_ = MakeTestFolder(name, &host_);
    }

    // Writes a file into the test folder; returns its Windows path.
    std::string Write(std::string_view name, std::string_view bytes) {
        WriteHostFile(host_ / std::string(name), bytes);
        return WinPath(name);
    }
    std::string WinPath(std::string_view name) const { return folder_ + "\\" + std::string(name); }
    std::filesystem::path HostPath(std::string_view name) const {
        return host_ / std::string(name);
    }

    std::string folder_;
    std::filesystem::path host_;
};

}  // namespace qx::test
