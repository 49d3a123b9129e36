// Loading a profile and its second file (flags, file errors, Reload) and the setters, which
// write the main file on disk and leave the lists in memory alone until the next Reload.
#include <gtest/gtest.h>

#include <string>

#include "platform/win_types.h"
#include "profile_fixture.h"

namespace qx::test {
namespace {

std::string Value(CProfile& profile, const char* section, const char* key) {
    char buffer[256] = {};
    if (profile.GetString(section, key, buffer, sizeof(buffer), false) != 0) {
        return "<missing>";
    }
    return buffer;
}

struct LoadCase {
    const char* name;
    bool main_exists;
    bool second_exists;
    bool loaded;
    bool second_loaded;
};

class LoadFlagsTest : public ProfileFileTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadFlagsTest, FlagsTellWhatWasRead) {
    const LoadCase& c = GetParam();
    if (c.main_exists) {
        Write("main.ini", "[S]\r\nK = main\r\n");
    }
    if (c.second_exists) {
        Write("second.str", "[S]\r\nK = second\r\n");
    }
    CProfile profile;
    EXPECT_EQ(profile.Create(WinPath("main.ini").c_str(), WinPath("second.str").c_str(), true), 0u);
    EXPECT_EQ(profile.IsLoaded(), c.loaded);
    EXPECT_EQ(profile.IsSecondLoaded(), c.second_loaded);
    EXPECT_EQ(Value(profile, "S", "K"), c.loaded ? "main" : "<missing>");
}

const LoadCase kLoadCases[] = {
    {"Both", true, true, true, true},
    {"MainOnly", true, false, true, false},
    {"SecondNotReadWithoutMain", false, true, false, false},
    {"Neither", false, false, false, false},
};

INSTANTIATE_TEST_SUITE_P(Files, LoadFlagsTest, ::testing::ValuesIn(kLoadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProfileFileTest, LoadFileReportsFileErrors) {
    TestProfile profile;
    CSectionList list;
    EXPECT_EQ(profile.LoadFile(nullptr, &list), 87u);
    EXPECT_EQ(profile.LoadFile("", &list), 87u);
    EXPECT_EQ(profile.LoadFile(WinPath("missing.ini").c_str(), &list),
              platform::kErrorFileNotFound);
    EXPECT_EQ(profile.LoadFile((WinPath("nofolder") + "\\x.ini").c_str(), &list),
              platform::kErrorPathNotFound);
    const std::string too_long = WinPath(std::string(600, 'a') + ".ini");
    EXPECT_EQ(profile.LoadFile(too_long.c_str(), &list), platform::kErrorFilenameExcedRange);
    EXPECT_EQ(list.FindSection(nullptr), nullptr);

    EXPECT_EQ(profile.LoadFile(Write("ok.ini", "[S]\r\nK=1\r\n").c_str(), &list), 0u);
    EXPECT_EQ(Dump(list), "[S]\nK=1\n");
}

TEST_F(ProfileFileTest, LoadTextStopsAtNulAndNeedsAList) {
    TestProfile profile;
    CSectionList list;
    EXPECT_EQ(profile.LoadText(std::string_view("[S]\r\nA=1\0[T]", 12), &list), 0u);
    EXPECT_EQ(Dump(list), "[S]\nA=1\n");
    EXPECT_EQ(profile.LoadText("[S]", nullptr), 87u);
}

TEST_F(ProfileFileTest, ReloadReadsTheNewFileOnly) {
    const std::string first = Write("first.ini", "[S]\r\nK = first\r\nOnlyFirst = 1\r\n");
    const std::string second = Write("second.ini", "[S]\r\nK = second\r\n");
    CProfile profile(first.c_str(), nullptr);
    ASSERT_EQ(Value(profile, "S", "K"), "first");

    EXPECT_EQ(profile.Reload(second.c_str(), nullptr), 0u);
    EXPECT_EQ(Value(profile, "S", "K"), "second");
    EXPECT_EQ(Value(profile, "S", "OnlyFirst"), "<missing>");

    // A reload that fails leaves nothing to read and nothing to write to.
    EXPECT_EQ(profile.Reload(WinPath("missing.ini").c_str(), nullptr), 0u);
    EXPECT_FALSE(profile.IsLoaded());
    EXPECT_EQ(Value(profile, "S", "K"), "<missing>");
    EXPECT_EQ(profile.SetValue("S", "K", "changed"), platform::kErrorFileNotFound);
    EXPECT_EQ(ReadHostFile(HostPath("second.ini")), "[S]\r\nK = second\r\n");
}

class SetterTest : public ProfileFileTest {
  protected:
    void SetUp() override {
        ProfileFileTest::SetUp();
        path_ = Write("set.ini", "[S]\r\nK = old\r\nOther = 1\r\n[T]\r\nX = 1\r\n");
        profile_.Create(path_.c_str(), nullptr, false);
        ASSERT_TRUE(profile_.IsLoaded());
    }
    void Reload() { profile_.Reload(path_.c_str(), nullptr); }

    std::string path_;
    CProfile profile_;
};

TEST_F(SetterTest, WritesDiskButNotMemoryUntilReload) {
    EXPECT_EQ(profile_.SetValue("S", "K", "new"), 0u);
    EXPECT_EQ(profile_.SetValue("New", "Key", "v"), 0u);
    EXPECT_EQ(Value(profile_, "S", "K"), "old");
    EXPECT_EQ(Value(profile_, "New", "Key"), "<missing>");
    Reload();
    EXPECT_EQ(Value(profile_, "S", "K"), "new");
    EXPECT_EQ(Value(profile_, "S", "Other"), "1");
    EXPECT_EQ(Value(profile_, "New", "Key"), "v");
}

TEST_F(SetterTest, EmptyKeyEmptiesTheSection) {
    EXPECT_EQ(profile_.SetValue("S", "", ""), 0u);
    Reload();
    EXPECT_EQ(Value(profile_, "S", "K"), "<missing>");
    EXPECT_EQ(Value(profile_, "S", "Other"), "<missing>");
    EXPECT_EQ(Value(profile_, "T", "X"), "1");
}

TEST_F(SetterTest, NumbersAndListsAreFormatted) {
    platform::POINT point{3, -4};
    platform::SIZE size{640, 480};
    DWORD colour = 0x00ABCDEF;
    platform::RECT rect{1, -2, 300, 400};
    EXPECT_EQ(profile_.SetValue("N", "Number", static_cast<DWORD>(4294967291u)), 0u);
    EXPECT_EQ(profile_.SetValue("N", "Point", &point), 0u);
    EXPECT_EQ(profile_.SetValue("N", "Size", &size), 0u);
    EXPECT_EQ(profile_.SetValue("N", "Colour", &colour), 0u);
    EXPECT_EQ(profile_.SetValue("N", "Rect", &rect), 0u);
    Reload();
    EXPECT_EQ(Value(profile_, "N", "Number"), "-5");
    EXPECT_EQ(Value(profile_, "N", "Point"), "3,-4");
    EXPECT_EQ(Value(profile_, "N", "Size"), "640,480");
    EXPECT_EQ(Value(profile_, "N", "Colour"), "239,205,171");
    EXPECT_EQ(Value(profile_, "N", "Rect"), "1,-2,300,400");

    // What is written reads back through the typed getters.
    DWORD read_colour = 0;
    EXPECT_EQ(profile_.GetControl("N", "Colour", &read_colour), 0u);
    EXPECT_EQ(read_colour, colour);
    platform::RECT read_rect;
    EXPECT_EQ(profile_.GetControl("N", "Rect", &read_rect), 0u);
    EXPECT_EQ(read_rect.left, 1);
    EXPECT_EQ(read_rect.top, -2);
    EXPECT_EQ(read_rect.bottom, 400);
}

TEST_F(SetterTest, BadArgumentsWriteNothing) {
    const std::string before = ReadHostFile(HostPath("set.ini"));
    platform::POINT point;
    platform::SIZE size;
    platform::RECT rect;
    DWORD number = 1;
    EXPECT_EQ(profile_.SetValue(nullptr, "K", "v"), 87u);
    EXPECT_EQ(profile_.SetValue("", "K", "v"), 87u);
    EXPECT_EQ(profile_.SetValue("S", nullptr, "v"), 87u);
    EXPECT_EQ(profile_.SetValue("S", "K", static_cast<const char*>(nullptr)), 87u);
    EXPECT_EQ(profile_.SetValue("S", "", number), 87u);
    EXPECT_EQ(profile_.SetValue("", "K", &point), 87u);
    EXPECT_EQ(profile_.SetValue("S", "K", static_cast<platform::POINT*>(nullptr)), 87u);
    EXPECT_EQ(profile_.SetValue("S", "", &size), 87u);
    EXPECT_EQ(profile_.SetValue("S", "K", static_cast<DWORD*>(nullptr)), 87u);
    EXPECT_EQ(profile_.SetValue(nullptr, "K", &rect), 87u);
    EXPECT_EQ(ReadHostFile(HostPath("set.ini")), before);
}

TEST_F(ProfileFileTest, SettersNeedALoadedFile) {
    CProfile profile;
    EXPECT_EQ(profile.SetValue("S", "K", "v"), platform::kErrorFileNotFound);
    EXPECT_EQ(profile.SetValue("S", "", ""), platform::kErrorFileNotFound);
}

}  // namespace
}  // namespace qx::test
