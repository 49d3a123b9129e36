#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

class IniFile : public testing::Test {
  protected:
    void SetUp() override {
        folder_ = qx::test::MakeTestFolder(
            testing::UnitTest::GetInstance()->current_test_info()->name(), &host_);
        path_ = folder_ + "\\setting.ini";
    }
    std::string Read() const { return qx::test::ReadHostFile(host_ / "setting.ini"); }
    void Seed(const std::string& text) const {
        qx::test::WriteHostFile(host_ / "setting.ini", text);
    }

    std::string folder_;
    std::string path_;
    fs::path host_;
};

TEST_F(IniFile, CreatesFileSectionAndKey) {
    ASSERT_TRUE(qp::WritePrivateProfileStringA("INSTALL", "SILENT", "1", path_));
    EXPECT_EQ(Read(), "[INSTALL]\r\nSILENT=1\r\n");
}

TEST_F(IniFile, ReplacesAValueAndKeepsEveryOtherByte) {
    const std::string before =
        "; settings\r\n[Other]\nA = 1 // kept\n\n[install]\r\n  Silent = 0  \r\nNEXT=x\r\n";
    Seed(before);
    ASSERT_TRUE(qp::WritePrivateProfileStringA("INSTALL", "SILENT", "1", path_));
    EXPECT_EQ(Read(),
              "; settings\r\n[Other]\nA = 1 // kept\n\n[install]\r\nSILENT=1\r\nNEXT=x\r\n");
}

TEST_F(IniFile, AddsAKeyAfterTheSectionsLastLineAndASectionAtTheEnd) {
    Seed("[A]\r\nx=1\r\n\r\n[B]\r\ny=2");
    ASSERT_TRUE(qp::WritePrivateProfileStringA("A", "z", "3", path_));
    ASSERT_TRUE(qp::WritePrivateProfileStringA("C", "w", "4", path_));
    EXPECT_EQ(Read(), "[A]\r\nx=1\r\nz=3\r\n\r\n[B]\r\ny=2\r\n[C]\r\nw=4\r\n");
}

TEST_F(IniFile, NullValueRemovesAKeyAndNullKeyRemovesASection) {
    Seed("[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    ASSERT_TRUE(qp::WritePrivateProfileStringA("A", "X", nullptr, path_));
    EXPECT_EQ(Read(), "[A]\r\ny=2\r\n[B]\r\nz=3\r\n");
    ASSERT_TRUE(qp::WritePrivateProfileStringA("a", nullptr, nullptr, path_));
    EXPECT_EQ(Read(), "[B]\r\nz=3\r\n");
}

TEST_F(IniFile, SectionWriteReplacesTheKeys) {
    Seed("[A]\r\nx=1\r\ny=2\r\n[B]\r\nz=3\r\n");
    ASSERT_TRUE(qp::WritePrivateProfileSectionA("A", "", path_));
    EXPECT_EQ(Read(), "[A]\r\n[B]\r\nz=3\r\n");
    ASSERT_TRUE(qp::WritePrivateProfileSectionA("B", "k=v\0m=n\0", path_));
    EXPECT_EQ(Read(), "[A]\r\n[B]\r\nk=v\r\nm=n\r\n");
}

TEST_F(IniFile, ReadsValuesWithQuotesRemovedAndDefaults) {
    Seed("[INSTALL]\r\nSILENT = \"1\"\r\nEMPTY=\r\nLONG=abcdef\r\n");
    char buffer[260];
    const struct {
        const char* section;
        const char* key;
        std::string expected;
    } cases[] = {
        {"install", "silent", "1"},
        {"INSTALL", "EMPTY", ""},
        {"INSTALL", "MISSING", "dflt"},
        {"NONE", "SILENT", "dflt"},
    };
    for (const auto& c : cases) {
        qp::DWORD n =
            qp::GetPrivateProfileStringA(c.section, c.key, "dflt", buffer, sizeof(buffer), path_);
        EXPECT_EQ(std::string(buffer), c.expected) << c.key;
        EXPECT_EQ(n, c.expected.size());
    }
    EXPECT_EQ(qp::GetPrivateProfileStringA("INSTALL", "LONG", "", buffer, 4, path_), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(qp::GetPrivateProfileStringA("A", "B", "dflt", buffer, sizeof(buffer),
                                           folder_ + "\\missing.ini"),
              4u);
}

}  // namespace
