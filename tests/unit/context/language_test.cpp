#include "context/language.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/install_context.h"
#include "context_fixture.h"
#include "platform/registry.h"

namespace {

namespace qp = qx::platform;

class LanguageTest : public qx::test::DiscTest {
  protected:
    // A disc whose data file has the given language sections.
    void WriteLanguageDisc(const std::string& sections) const {
        WriteDisc(ProgramInfo() + sections);
    }
};

TEST_F(LanguageTest, TheChoiceMapsChecksSupportAndNamesTheLanguage) {
    struct Case {
        const char* what;
        const char* sections;
        qp::LANGID requested;
        qp::LANGID current;
        const char* abbr;
        const char* dir;
        qp::LANGID unmapped;
        const char* unmapped_abbr;
    };
    const Case cases[] = {
        {"a listed language without LANGUAGE_ABBR takes the built-in abbreviation",
         "[PROGRAM_LANG_INFO]\r\n0x0412\r\n", 0x0412, 0x0412, "KR", "KR", 0x0412, "KR"},
        {"a sublanguage whose primary language is listed becomes the primary id",
         "[PROGRAM_LANG_INFO]\r\n0x000A = Spanish\r\n", 0x0C0A, 0x000A, "SP", "SP", 0x000A, "SP"},
        {"a country mapping changes the current id, the unmapped id stays",
         "[PROGRAM_LANG_INFO]\r\n0x0416\r\n0x0816\r\n[COUNTRY_LANG_CODE]\r\n0X0416 = 0X0816\r\n",
         0x0416, 0x0816, "PT", "PT", 0x0416, "BP"},
        {"an unlisted language becomes English", "[PROGRAM_LANG_INFO]\r\n0x0409\r\n", 0x0407, 9,
         "EN", "EN", 9, "EN"},
        {"without PROGRAM_LANG_INFO nothing is supported", "", 0x0412, 9, "EN", "EN", 9, "EN"},
        {"a mapping to an unlisted language gives English for the current one only",
         "[PROGRAM_LANG_INFO]\r\n0x0C09\r\n[COUNTRY_LANG_CODE]\r\n0x0C09 = 0x0809\r\n", 0x0C09, 9,
         "EN", "EN", 0x0C09, "EN"},
        {"Portuguese without a sublanguage has no built-in abbreviation",
         "[PROGRAM_LANG_INFO]\r\n0x0016\r\n", 0x0016, 0x0016, "", "", 0x0016, ""},
        {"Traditional Chinese is CT, other Chinese CP",
         "[PROGRAM_LANG_INFO]\r\n0x0404\r\n0x0804\r\n[COUNTRY_LANG_CODE]\r\n0x0404 = 0x0804\r\n",
         0x0404, 0x0804, "CP", "CP", 0x0404, "CT"},
        {"data file names and folders win, by full id then by primary id",
         "[PROGRAM_LANG_INFO]\r\n0x0412\r\n[LANGUAGE_ABBR]\r\n0X0012 = KO\r\n"
         "[LANGUAGE_DIR]\r\n0X0412 = Korean$BOOL_INSTALLED$\r\n",
         0x0412, 0x0412, "KO", "Korean0", 0x0412, "KO"},
    };
    for (const Case& c : cases) {
        WriteLanguageDisc(c.sections);
        CInstallContext context;
        ASSERT_TRUE(Init(context)) << c.what;
        context.SetLanguage(c.requested, false);
        const qx::context::LanguageRecord& language = context.Language();
        EXPECT_EQ(language.current, c.current) << c.what;
        EXPECT_EQ(language.abbr, c.abbr) << c.what;
        EXPECT_EQ(language.dir, c.dir) << c.what;
        EXPECT_EQ(language.unmapped, c.unmapped) << c.what;
        EXPECT_EQ(language.unmapped_abbr, c.unmapped_abbr) << c.what;
    }
}

TEST_F(LanguageTest, BuiltInAbbreviationsFollowThePrimaryLanguage) {
    struct Case {
        qp::LANGID id;
        const char* abbr;
    };
    const Case cases[] = {
        {0x0401, "AB"}, {0x0804, "CP"}, {0x0404, "CT"}, {0x0405, "CZ"}, {0x0406, "DN"},
        {0x0407, "GR"}, {0x0408, "GK"}, {0x0C0A, "SP"}, {0x040B, "FI"}, {0x040C, "FN"},
        {0x040D, "HB"}, {0x040E, "HU"}, {0x0410, "IT"}, {0x0411, "JP"}, {0x0412, "KR"},
        {0x0413, "DT"}, {0x0414, "NR"}, {0x0415, "PO"}, {0x0416, "BP"}, {0x0816, "PT"},
        {0x0C16, ""},   {0x0419, "RU"}, {0x041D, "SW"}, {0x041E, "TI"}, {0x041F, "TK"},
        {0x0421, "IN"}, {0x0409, "EN"}, {0x0418, "EN"}, {0x0000, "EN"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qx::context::BuiltInAbbreviation(c.id), c.abbr) << std::hex << c.id;
    }
}

TEST_F(LanguageTest, StartUpTakesTheRecordedLanguageElseTheSystemLanguage) {
    WriteLanguageDisc("[PROGRAM_LANG_INFO]\r\n0x0409\r\n0x0412\r\n0x040D\r\n");
    {
        CInstallContext context;
        context.Language().system = 0x0412;
        ASSERT_TRUE(Init(context));
        EXPECT_EQ(context.Language().system_abbr, "KR");
        EXPECT_EQ(context.Language().current, 0x0412);
        EXPECT_EQ(context.Language().abbr, "KR");
    }
    ASSERT_EQ(CRegistry::SetValue(InstalledKey().c_str(), "LangCode", qp::DWORD{0x040D},
                                  qp::HKEY_LOCAL_MACHINE),
              0u);
    {
        CInstallContext context;
        context.Language().system = 0x0412;
        ASSERT_TRUE(Init(context));
        EXPECT_EQ(context.Language().system_abbr, "KR");
        EXPECT_EQ(context.Language().abbr, "HB");
        // The recorded language is applied even when it is the one the record already holds.
        context.Language().unmapped = 0x040D;
        const size_t mark = Mark();
        context.SetLanguage(0, false);
        EXPECT_TRUE(HasLine(LinesSince(mark), "Set Language : Language Abbr\t\t= HB"));
    }
}

TEST_F(LanguageTest, AChoiceLogsItsEightLinesAndRecordsTheLanguageUnderInstalling) {
    WriteLanguageDisc(
        "[PROGRAM_LANG_INFO]\r\n0x0409\r\n0x0412\r\n[LANGUAGE_DIR]\r\n0x0412 = Korean\r\n");
    Write("data\\String\\Lang_KR.str", "[MESSAGES]\r\nMSG_HELLO = Annyeong\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    const std::string english = Folder() + "\\data\\String\\Lang_EN.str";
    ASSERT_EQ(context.Profiles().string_file, english);

    const size_t mark = Mark();
    EXPECT_TRUE(context.SetLanguage(0x0412, false));
    const std::vector<std::string> lines = LinesSince(mark);
    const std::vector<std::string> expected = {
        "Set Language : Language ID\t\t= 0X0412",
        "Set Language : Language Abbr\t\t= KR",
        "Set Language : System Language ID\t= 0X0409",
        "Set Language : System Language Abbr = EN",
        "Set Language : Language Dir\t\t= Korean",
        "Set Language : Org Language ID\t\t= 0X0412",
        "Set Language : Org Language Abbr\t\t= KR",
        "Set Language : Org Language Dir\t\t= Korean",
        "Set Language : String file\t\t= Lang_KR.str",
        "Set Language : Configure file\t\t= " + Folder() + "\\data\\qxinst.qxi",
    };
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 10), expected);

    EXPECT_EQ(RegNumber(InstallingKey(), "LangCode"), 0x0412);
    EXPECT_EQ(RegText(InstallingKey(), "LangAbbr"), "KR");
    // The string file in effect before the change.
    EXPECT_EQ(RegText(InstallingKey(), "STR_FILE"), english);
    EXPECT_EQ(context.Profiles().string_file, Folder() + "\\data\\String\\Lang_KR.str");
    EXPECT_EQ(context.Profiles().string_file_name, "Lang_KR.str");

    // Every accessor now takes its messages from the Korean file.
    EXPECT_EQ(context.Profiles().data.ApplyMessages("@MSG_HELLO@"), "Annyeong");
    EXPECT_EQ(context.Profiles().configure.ApplyMessages("@MSG_HELLO@"), "Annyeong");
    EXPECT_EQ(context.Profiles().command.ApplyMessages("@MSG_HELLO@"), "Annyeong");
    EXPECT_EQ(context.Profiles().strings.Text("MESSAGES", "MSG_HELLO"), "Annyeong");
}

TEST_F(LanguageTest, AMissingStringFileFallsBackToTheEnglishAbbreviation) {
    WriteLanguageDisc(
        "[PROGRAM_LANG_INFO]\r\n0x0409\r\n0x0412\r\n[LANGUAGE_ABBR]\r\n"
        "0x0009 = US\r\n");
    Write("data\\String\\Lang_US.str", "[MESSAGES]\r\nMSG_HELLO = Howdy\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    context.SetLanguage(0x0412, false);
    // The language stays Korean; only the files fall back.
    EXPECT_EQ(context.Language().abbr, "KR");
    EXPECT_EQ(context.Profiles().string_file, Folder() + "\\data\\String\\Lang_US.str");
    EXPECT_EQ(context.Profiles().data.ApplyMessages("@MSG_HELLO@"), "Howdy");
}

TEST_F(LanguageTest, ALocalizedConfigureFileIsUsedOnlyWhenItExists) {
    WriteLanguageDisc(
        "[PROGRAM_LANG_INFO]\r\n0x0409\r\n0x0412\r\n0x040D\r\n"
        "[INSTALLER_FILE_INFO]\r\nCONFIGURE_FILE.KR = .\\data\\kr.qxi\r\n"
        "CONFIGURE_FILE.HB = .\\data\\missing.qxi\r\n");
    Write("data\\String\\Lang_KR.str", "[MESSAGES]\r\n");
    Write("data\\String\\Lang_HB.str", "[MESSAGES]\r\n");
    Write("data\\kr.qxi", "[KR_PAGE]\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    context.SetLanguage(0x0412, false);
    EXPECT_EQ(context.Profiles().configure_file, Folder() + "\\data\\kr.qxi");
    EXPECT_TRUE(context.Profiles().configure.HasSection("KR_PAGE"));
    const size_t mark = Mark();
    context.SetLanguage(0x040D, false);
    // The missing Hebrew file is reported and the Korean one stays.
    EXPECT_TRUE(
        HasLine(LinesSince(mark), "(" + Folder() + "\\data\\missing.qxi) file does not exist."));
    EXPECT_EQ(context.Profiles().configure_file, Folder() + "\\data\\kr.qxi");
    EXPECT_EQ(RegText(InstallingKey(), "STR_FILE"), Folder() + "\\data\\String\\Lang_KR.str");
}

TEST_F(LanguageTest, ReapplyingTheUnmappedLanguageWithAWindowWritesNothing) {
    WriteLanguageDisc("[PROGRAM_LANG_INFO]\r\n0x0409\r\n0x0412\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    ASSERT_EQ(context.Language().unmapped, 0x0409);
    CRegistry::DeleteKey(InstallingKey().c_str(), false, qp::HKEY_LOCAL_MACHINE);

    size_t mark = Mark();
    EXPECT_TRUE(context.SetLanguage(0x0409, true));
    EXPECT_TRUE(LinesSince(mark).empty());
    EXPECT_EQ(RegNumber(InstallingKey(), "LangCode"), -1);

    // Without the window (command line L) the same language is applied again, without a
    // new choice.
    mark = Mark();
    EXPECT_TRUE(context.SetLanguage(0x0409, false));
    const std::vector<std::string> lines = LinesSince(mark);
    EXPECT_FALSE(HasLine(lines, "Set Language : Language ID\t\t= 0X0409"));
    EXPECT_TRUE(HasLine(lines, "Set Language : String file\t\t= Lang_EN.str"));
    EXPECT_EQ(RegNumber(InstallingKey(), "LangCode"), 0x0409);
}

TEST_F(LanguageTest, OptionsAreReadAgainForTheNewLanguage) {
    WriteLanguageDisc(
        "[PROGRAM_LANG_INFO]\r\n0x0409\r\n0x0412\r\n[OPTION]\r\nNETWORK = 0\r\n"
        "[OPTION.KR]\r\nNETWORK = 1\r\n");
    CInstallContext context;
    ASSERT_TRUE(Init(context));
    EXPECT_FALSE(context.Options().network);
    const size_t mark = Mark();
    context.SetLanguage(0x0412, false);
    EXPECT_TRUE(context.Options().network);
    EXPECT_TRUE(HasLine(LinesSince(mark), "NETWORK Option is ON"));
}

}  // namespace
