// The in-memory section list: adding, finding, replacing and deleting nodes, key listing with
// its buffer limits, and writing sections to a file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/files.h"
#include "profile_fixture.h"

namespace qx::test {
namespace {

// A list holding [Main] A=1, B, A=2 and [Other] X=9.
class SectionListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SECTION_LIST* main = list_.AddSection("Main", nullptr);
        list_.AddLine(main, "A = 1", false, nullptr);
        list_.AddLine(main, "B", false, nullptr);
        list_.AddLine(main, "A = 2", false, nullptr);
        list_.AddLine(list_.AddSection("Other", nullptr), "X = 9", false, nullptr);
    }
    CSectionList list_;
};

TEST_F(SectionListTest, NodesCarryTheirKindsAndLinks) {
    SECTION_LIST* main = list_.FindSection("Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->kind, 1);
    EXPECT_EQ(main->reserved, 0);
    EXPECT_EQ(main->prev, nullptr);
    EXPECT_EQ(main->next, list_.FindSection("Other"));
    EXPECT_EQ(main->next->prev, main);
    LINE_LIST* first = main->first_line;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->kind, 0);
    EXPECT_EQ(first->section, main);
    EXPECT_EQ(first->prev, nullptr);
    EXPECT_EQ(first->next->prev, first);
}

TEST_F(SectionListTest, AddSectionReturnsExistingOrLinksANewOne) {
    SECTION_LIST* main = list_.FindSection("Main");
    EXPECT_EQ(list_.AddSection("[ main ]", nullptr), main);
    EXPECT_EQ(list_.AddSection(nullptr, nullptr), nullptr);
    EXPECT_EQ(list_.AddSection("", nullptr), nullptr);
    EXPECT_EQ(list_.AddSection(" [ ] ", nullptr), nullptr);

    SECTION_LIST* middle = list_.AddSection(" \"Middle\" ", "MAIN");
    ASSERT_NE(middle, nullptr);
    EXPECT_STREQ(middle->name, "Middle");
    list_.AddSection("Last", "NoSuchSection");
    EXPECT_EQ(Dump(list_), "[Main]\nA=1\nB\nA=2\n[Middle]\n[Other]\nX=9\n[Last]\n");
}

TEST_F(SectionListTest, AddLineAppendsReplacesOrFollowsAnAnchor) {
    SECTION_LIST* main = list_.FindSection("Main");
    LINE_LIST* replaced = list_.AddLine(main, "a = 7", true, nullptr);
    ASSERT_NE(replaced, nullptr);
    EXPECT_EQ(replaced, main->first_line);
    list_.AddLine(main, "C = 3", false, "b");
    list_.AddLine(main, "D = 4", false, "NoSuchKey");
    list_.AddLine("other", "Y=8", false, nullptr);
    EXPECT_EQ(Dump(list_), "[Main]\nA=7\nB\nC=3\nA=2\nD=4\n[Other]\nX=9\nY=8\n");

    EXPECT_EQ(list_.AddLine(static_cast<SECTION_LIST*>(nullptr), "A=1", false, nullptr), nullptr);
    EXPECT_EQ(list_.AddLine(main, "", false, nullptr), nullptr);
    EXPECT_EQ(list_.AddLine(main, "  ", false, nullptr), nullptr);
    EXPECT_EQ(list_.AddLine("Missing", "A=1", false, nullptr), nullptr);
    EXPECT_EQ(list_.AddLine("", "A=1", false, nullptr), nullptr);
}

TEST_F(SectionListTest, FindSectionTrimsAndIgnoresCase) {
    EXPECT_EQ(list_.FindSection(nullptr), list_.FindSection("Main"));
    EXPECT_NE(list_.FindSection(" [\"OTHER\"] "), nullptr);
    EXPECT_EQ(list_.FindSection("Oth"), nullptr);
    EXPECT_EQ(list_.FindSection(""), nullptr);
}

TEST_F(SectionListTest, FindKeyCountsMatchesOrLines) {
    SECTION_LIST* main = list_.FindSection("Main");
    EXPECT_STREQ(list_.FindKey(main, "a", 0)->value, "1");
    EXPECT_STREQ(list_.FindKey(main, "A", 1)->value, "2");
    EXPECT_EQ(list_.FindKey(main, "A", 2), nullptr);
    EXPECT_EQ(list_.FindKey(main, "A", -1), nullptr);
    EXPECT_EQ(list_.FindKey(main, " A", 0), nullptr);  // keys are compared as given
    EXPECT_EQ(list_.FindKey(main, "", 0), nullptr);
    EXPECT_EQ(list_.FindKey(main, nullptr, 0), nullptr);
    EXPECT_EQ(list_.FindKey(nullptr, "A", 0), nullptr);

    EXPECT_STREQ(list_.FindKey(main, 1)->key, "B");
    EXPECT_STREQ(list_.FindKey(main, 2)->value, "2");
    EXPECT_EQ(list_.FindKey(main, 3), nullptr);
    EXPECT_EQ(list_.FindKey(main, -1), nullptr);
    EXPECT_EQ(list_.FindKey(nullptr, 0), nullptr);
}

TEST_F(SectionListTest, GetValueCopiesATerminatedValue) {
    char buffer[8];
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_TRUE(list_.GetValue("main", "A", buffer, sizeof(buffer), 1));
    EXPECT_STREQ(buffer, "2");

    list_.SetValue("Main", "Long", "0123456789", 0);
    std::memset(buffer, '#', sizeof(buffer));
    EXPECT_TRUE(list_.GetValue("Main", "Long", buffer, 4, 0));
    EXPECT_EQ(std::string(buffer, 5), std::string("012\0#", 5));

    EXPECT_FALSE(list_.GetValue("Main", "Missing", buffer, sizeof(buffer), 0));
    EXPECT_FALSE(list_.GetValue("Missing", "A", buffer, sizeof(buffer), 0));
    EXPECT_FALSE(list_.GetValue(nullptr, "A", buffer, sizeof(buffer), 0));
}

TEST_F(SectionListTest, SetValueChangesMemoryOnly) {
    EXPECT_TRUE(list_.SetValue("Main", "A", "5", 1));     // the second A
    EXPECT_TRUE(list_.SetValue("Main", "A", "6", 4));     // no fifth A: replaces the first
    EXPECT_TRUE(list_.SetValue("New", "K", "v = w", 0));  // creates the section
    EXPECT_TRUE(list_.SetValue("New", "Bare", "", 0));
    EXPECT_TRUE(list_.SetValue("New", "Null", nullptr, 0));
    EXPECT_EQ(Dump(list_), "[Main]\nA=6\nB\nA=5\n[Other]\nX=9\n[New]\nK=v = w\nBare\nNull\n");

    EXPECT_FALSE(list_.SetValue(nullptr, "K", "v", 0));
    EXPECT_FALSE(list_.SetValue("New", nullptr, "v", 0));
    EXPECT_FALSE(list_.SetValue("New", "", "v", 0));
}

TEST_F(SectionListTest, OverlongValuesAreCut) {
    const std::string value(5000, 'v');
    ASSERT_TRUE(list_.SetValue("Main", "A", value.c_str(), 0));
    ASSERT_TRUE(list_.SetValue("Main", "Fresh", value.c_str(), 0));
    EXPECT_EQ(std::string(list_.FindKey(list_.FindSection("Main"), "A", 0)->value),
              value.substr(0, 4095));
    EXPECT_EQ(std::string(list_.FindKey(list_.FindSection("Main"), "Fresh", 0)->value),
              value.substr(0, 4095));
}

struct AllKeyCase {
    const char* name;
    DWORD size;
    DWORD result;
    const char* keys;  // joined with '|'
    DWORD count;
};

class SectionListKeysTest : public SectionListTest,
                            public ::testing::WithParamInterface<AllKeyCase> {};

// Keys A, B, A need 2 + 2 + 2 bytes, and one more for the closing NUL.
TEST_P(SectionListKeysTest, ListsKeysWhileTheyFit) {
    const AllKeyCase& c = GetParam();
    char buffer[32];
    std::memset(buffer, 0, sizeof(buffer));
    DWORD size = c.size;
    DWORD count = 99;
    EXPECT_EQ(list_.GetAllKey("Main", buffer, &size, &count), c.result);
    EXPECT_EQ(JoinList(buffer), c.keys);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(count, c.count);
}

const AllKeyCase kAllKeyCases[] = {
    {"Roomy", 32, 0, "A|B|A", 3},
    {"Exact", 7, 0, "A|B|A", 3},
    {"OneShort", 6, 14, "", 0},
    {"Tiny", 1, 14, "", 0},
};

INSTANTIATE_TEST_SUITE_P(Sizes, SectionListKeysTest, ::testing::ValuesIn(kAllKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SectionListTest, GetAllKeyRejectsBadArguments) {
    char buffer[8] = {};
    DWORD size = sizeof(buffer);
    EXPECT_EQ(list_.GetAllKey(nullptr, buffer, &size, nullptr), 87u);
    EXPECT_EQ(list_.GetAllKey("Main", nullptr, &size, nullptr), 87u);
    EXPECT_EQ(list_.GetAllKey("Main", buffer, nullptr, nullptr), 87u);
    EXPECT_EQ(list_.GetAllKey("Missing", buffer, &size, nullptr), 13u);
    list_.AddSection("Empty", nullptr);
    EXPECT_EQ(list_.GetAllKey("Empty", buffer, &size, nullptr), 0u);
    EXPECT_EQ(size, 0u);
}

TEST_F(SectionListTest, DeletesRelinkTheNeighbours) {
    list_.AddSection("Third", nullptr);
    EXPECT_TRUE(list_.DeleteSection("OTHER"));
    EXPECT_FALSE(list_.DeleteSection("Other"));
    EXPECT_FALSE(list_.DeleteSection(nullptr));
    EXPECT_EQ(list_.FindSection("Third")->prev, list_.FindSection("Main"));

    EXPECT_TRUE(list_.DeleteLine("Main", "a"));  // the first A only
    EXPECT_FALSE(list_.DeleteLine("Main", "Missing"));
    EXPECT_FALSE(list_.DeleteLine("Missing", "A"));
    EXPECT_EQ(list_.FindSection("Main")->first_line->prev, nullptr);
    EXPECT_EQ(Dump(list_), "[Main]\nB\nA=2\n[Third]\n");

    EXPECT_TRUE(list_.DeleteAllLines("Main"));
    EXPECT_FALSE(list_.DeleteAllLines("Missing"));
    EXPECT_EQ(Dump(list_), "[Main]\n[Third]\n");

    list_.ClearAll();
    EXPECT_EQ(list_.FindSection(nullptr), nullptr);
    EXPECT_NE(list_.AddSection("Again", nullptr), nullptr);
    list_.Delete();
    EXPECT_EQ(Dump(list_), "");
}

TEST_F(SectionListTest, DeleteLineListFromTheMiddleKeepsEarlierLines) {
    SECTION_LIST* main = list_.FindSection("Main");
    list_.DeleteLineList(list_.FindKey(main, 1));
    EXPECT_EQ(Dump(list_), "[Main]\nA=1\n[Other]\nX=9\n");
    list_.DeleteLineList(main->first_line);
    EXPECT_EQ(main->first_line, nullptr);
    list_.DeleteLineList(nullptr);
}

class SectionListFileTest : public ProfileFileTest {};

TEST_F(SectionListFileTest, SaveFileWritesEverySectionAsText) {
    CSectionList list;
    SECTION_LIST* main = list.AddSection("Main", nullptr);
    list.AddLine(main, "A = \"quoted // text\"", false, nullptr);
    list.AddLine(main, "Bare", false, nullptr);
    list.AddSection("Empty", nullptr);
    {
        platform::File file = platform::CreateFileA(WinPath("saved.ini"), platform::kGenericWrite,
                                                    0, platform::kCreateAlways);
        ASSERT_TRUE(file.IsValid());
        EXPECT_EQ(list.SaveFile(&file), 0u);
    }
    const std::string text = ReadHostFile(HostPath("saved.ini"));
    EXPECT_EQ(text, "[Main]\r\nA = \"quoted // text\"\r\nBare\r\n\r\n[Empty]\r\n\r\n");

    // What was saved reads back the same.
    CProfile profile(WinPath("saved.ini").c_str(), nullptr);
    EXPECT_EQ(Dump(profile.MainList()), Dump(list));
}

TEST_F(SectionListFileTest, WriteSectionWritesOneSection) {
    CSectionList list;
    list.AddLine(list.AddSection("One", nullptr), "K=V", false, nullptr);
    list.AddSection("Two", nullptr);
    {
        platform::File file = platform::CreateFileA(WinPath("one.ini"), platform::kGenericWrite, 0,
                                                    platform::kCreateAlways);
        ASSERT_TRUE(file.IsValid());
        list.WriteSection(&file, list.FindSection("one"));
        list.WriteSection(&file, nullptr);
        list.WriteSection(nullptr, list.FindSection("one"));
    }
    EXPECT_EQ(ReadHostFile(HostPath("one.ini")), "[One]\r\nK = V\r\n\r\n");
    EXPECT_EQ(list.SaveFile(nullptr), 87u);
}

TEST_F(SectionListFileTest, SaveFileReportsAFailedWrite) {
    CSectionList list;
    list.AddSection("Main", nullptr);
    Write("readonly.ini", "");
    platform::File file = platform::CreateFileA(WinPath("readonly.ini"), platform::kGenericRead,
                                                platform::kFileShareRead, platform::kOpenExisting);
    ASSERT_TRUE(file.IsValid());
    EXPECT_NE(list.SaveFile(&file), 0u);
}

}  // namespace
}  // namespace qx::test
