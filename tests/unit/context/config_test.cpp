#include "profile/config.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "context/install_context.h"
#include "context_fixture.h"

namespace {

using qx::profile::kConfigTextSize;
using qx::profile::SectionQualifiers;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

class ConfigTest : public qx::test::DiscTest {
  protected:
    void SetUp() override {
        DiscTest::SetUp();
        Write("main.ini",
              "[S]\r\n"
              "WELCOME = @WELCOME@ to %PRODUCT%\r\n"
              "ONLY_MAIN = %MAINONLY%\r\n"
              "ESCAPED = a\\r\\nb\r\n"
              "PLACE = $LANG_ABBR$-$LCID$-$LANG_DIR$\r\n"
              "[LIST]\r\n"
              "K1 = v1\r\n"
              "BARE\r\n"
              "K2 = @WELCOME@ $LANG_ABBR$\r\n"
              "[EMPTY]\r\n"
              "[MY SECTION]\r\n"
              "[STRINGS]\r\n"
              "%PRODUCT% = \"main product\"\r\n"
              "%MAINONLY% = \"from main\"\r\n");
        Write("second.ini", "[STRINGS]\r\n%PRODUCT% = \"Velmora VP\"\r\n");
        Write("msg.str",
              "[MESSAGES]\r\n"
              "WELCOME = Welcome\r\n"
              "TWO = Line %PRODUCT%\\r\\nnext\r\n"
              "EMPTY =\r\n"
              "LONGER = a much longer text\r\n"
              "SELF = x@SELF@@SELF@\r\n"
              "PING = @PONG@@PONG@\r\n"
              "PONG = @PING@@PING@\r\n");
    }

    void Open(CConfig& config, bool escapes = false) const {
        ASSERT_TRUE(config.Open(Path("main.ini").c_str(), Path("second.ini").c_str(),
                                Path("msg.str").c_str(), escapes));
    }

    std::string Path(const char* name) const { return Folder() + "\\" + name; }

    static std::string Get(CConfig& config, const char* section, const char* key, bool expand) {
        std::vector<char> out(kConfigTextSize, '\0');
        if (!config.GetString(section, key, out.data(), expand)) {
            return "<false>";
        }
        return out.data();
    }

    // Writes a value of its own and reads it back through the pipeline.
    std::string Through(CConfig& config, const std::string& value) const {
        Write("main.ini", "[T]\r\nV = " + value + "\r\n");
        config.Reload(Path("main.ini").c_str());
        return Get(config, "T", "V", false);
    }

    static std::vector<std::string> Entries(const std::vector<char>& out) {
        std::vector<std::string> entries;
        for (const char* entry = out.data(); *entry != '\0'; entry += std::strlen(entry) + 1) {
            entries.emplace_back(entry);
        }
        return entries;
    }
};

TEST_F(ConfigTest, StringsComeFromTheSecondFileFirstThenTheMainFile) {
    CConfig config;
    Open(config);
    EXPECT_EQ(Get(config, "S", "WELCOME", false), "Welcome to Velmora VP");
    EXPECT_EQ(Get(config, "S", "ONLY_MAIN", false), "from main");
}

TEST_F(ConfigTest, MessageTextsResolveStringsAndEscapesEvenWhenTheMainFileDoesNot) {
    CConfig plain;
    Open(plain, false);
    EXPECT_EQ(Get(plain, "S", "ESCAPED", false), "a\\r\\nb");
    CConfig escaped;
    Open(escaped, true);
    EXPECT_EQ(Get(escaped, "S", "ESCAPED", false), "a\r\nb");
    EXPECT_EQ(Through(plain, "@TWO@"), "Line Velmora VP\r\nnext");
}

TEST_F(ConfigTest, MessageReferencesFollowTheScanRules) {
    CConfig config;
    Open(config);
    struct Case {
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"@WELCOME@", "Welcome"},
        {"@WELCOME@ and @WELCOME@", "Welcome and Welcome"},
        {"user@example.com", "user@example.com"},
        {"a@NOPE@b", "a@NOPE@b"},
        {"@@", "@@"},
        {"mail me@x or @WELCOME@", "mail me@x or @WELCOME@"},
        // A longer text puts the scan inside what was inserted; the next reference still goes.
        {"@LONGER@ @WELCOME@", "a much longer text Welcome"},
        // An empty message moves the scan past the reference that follows it.
        {"@EMPTY@@WELCOME@", "@WELCOME@"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Through(config, c.value), c.expected) << c.value;
    }
}

TEST_F(ConfigTest, MessagesThatNameThemselvesStillEndWithABoundedText) {
    CConfig config;
    Open(config);
    for (const char* value : {"@SELF@", "@PING@", "@SELF@ @PING@ @PONG@"}) {
        std::string text = Through(config, value);
        EXPECT_LT(text.size(), kConfigTextSize) << value;
        EXPECT_FALSE(text.empty()) << value;
    }
}

TEST_F(ConfigTest, PlaceholdersExpandOnlyWhenAskedAndNotForARemoteInstallation) {
    CInstallContext context;
    CConfig config;
    Open(config);
    EXPECT_EQ(Get(config, "S", "PLACE", true), "EN-0009-");
    EXPECT_EQ(Get(config, "S", "PLACE", false), "$LANG_ABBR$-$LCID$-$LANG_DIR$");

    std::vector<char> out(kConfigTextSize, '\0');
    ASSERT_TRUE(config.GetString("S", "PLACE", out.data(), true, 0x0412, "KR", "Korean"));
    EXPECT_STREQ(out.data(), "KR-0412-Korean");

    context.Options().remote_installation = true;
    EXPECT_EQ(Get(config, "S", "PLACE", true), "$LANG_ABBR$-$LCID$-$LANG_DIR$");
    // Messages still apply.
    EXPECT_EQ(Get(config, "S", "WELCOME", true), "Welcome to Velmora VP");
}

TEST_F(ConfigTest, MissingKeysAndUnopenedAccessorsGiveFalseAndLeaveTheOutputAlone) {
    CConfig config;
    char out[16] = "untouched";
    EXPECT_FALSE(config.GetString("S", "WELCOME", out, false));
    Open(config);
    EXPECT_FALSE(config.GetString("S", "NONE", out, false));
    EXPECT_FALSE(config.GetString("NONE", "WELCOME", out, false));
    EXPECT_STREQ(out, "untouched");

    // A file that does not exist opens as an empty profile.
    CConfig missing;
    EXPECT_TRUE(missing.Open(Path("none.ini").c_str(), "", "", false));
    EXPECT_FALSE(missing.GetString("S", "WELCOME", out, false));
    EXPECT_FALSE(missing.Open("", "", "", false));
}

TEST_F(ConfigTest, AllKeysListsEveryLineThroughThePipelineEndingWithAnEmptyEntry) {
    CInstallContext context;
    CConfig config;
    Open(config);
    std::vector<char> out(kConfigTextSize, '\0');
    ASSERT_TRUE(config.GetAllKeys("LIST", out.data(), true));
    EXPECT_THAT(Entries(out), ElementsAre("K1 = v1", "BARE", "K2 = Welcome EN"));

    std::fill(out.begin(), out.end(), '\0');
    ASSERT_TRUE(config.GetAllKeys("LIST", out.data(), false));
    EXPECT_THAT(Entries(out), ElementsAre("K1 = v1", "BARE", "K2 = Welcome $LANG_ABBR$"));

    std::fill(out.begin(), out.end(), '\0');
    EXPECT_TRUE(config.GetAllKeys("EMPTY", out.data(), true));
    EXPECT_TRUE(Entries(out).empty());
    EXPECT_FALSE(config.GetAllKeys("NONE", out.data(), true));

    context.Options().remote_installation = true;
    std::fill(out.begin(), out.end(), '\0');
    EXPECT_TRUE(config.GetAllKeys("LIST", out.data(), true));
    EXPECT_TRUE(Entries(out).empty());
}

TEST_F(ConfigTest, HasSectionComparesWholeNamesWithoutCaseAndNeverFindsNamesWithSpaces) {
    CConfig config;
    EXPECT_FALSE(config.HasSection("S"));
    Open(config);
    EXPECT_TRUE(config.HasSection("S"));
    EXPECT_TRUE(config.HasSection("list"));
    EXPECT_TRUE(config.HasSection("Strings"));
    EXPECT_FALSE(config.HasSection("LIS"));
    EXPECT_FALSE(config.HasSection("MY SECTION"));
    EXPECT_FALSE(config.HasSection(nullptr));
}

// Every candidate of a qualifier table in its order: with all of them present the first wins,
// and taking the winner away each time hands the choice to the next.
class ResolveSectionTest : public qx::test::DiscTest {
  protected:
    void ExpectOrder(const SectionQualifiers& qualifiers, std::vector<std::string> order) {
        std::vector<std::string> present = order;
        present.push_back("OTHER");
        for (const std::string& winner : order) {
            std::string text;
            for (const std::string& name : present) {
                // Written in lower case: the answer is the upper-cased candidate.
                std::string lower = name;
                for (char& c : lower) {
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                }
                text += "[" + lower + "]\r\nK = 1\r\n";
            }
            Write("variants.ini", text);
            CConfig config;
            const std::string path = Folder() + "\\variants.ini";
            config.Open(path.c_str(), "", "", false);
            std::string resolved;
            ASSERT_TRUE(config.ResolveSectionWith("name", qualifiers, &resolved)) << winner;
            EXPECT_EQ(resolved, winner);
            present.erase(present.begin());
        }
        Write("variants.ini", "[OTHER]\r\n");
        CConfig config;
        const std::string path = Folder() + "\\variants.ini";
        config.Open(path.c_str(), "", "", false);
        std::string resolved = "untouched";
        EXPECT_FALSE(config.ResolveSectionWith("name", qualifiers, &resolved));
        EXPECT_EQ(resolved, "untouched");
    }
};

TEST_F(ResolveSectionTest, NetworkAndUsbTryEverySixteenCandidatesInOrder) {
    ExpectOrder({"WXP", "EN", true, true},
                {"NAME.WXP.EN.NETWORK.USB", "NAME.WXP.EN.NETWORK", "NAME.WXP.EN.USB", "NAME.WXP.EN",
                 "NAME.WXP.NETWORK.USB", "NAME.WXP.NETWORK", "NAME.WXP.USB", "NAME.WXP",
                 "NAME.EN.NETWORK.USB", "NAME.EN.NETWORK", "NAME.EN.USB", "NAME.EN",
                 "NAME.NETWORK.USB", "NAME.NETWORK", "NAME.USB", "NAME"});
}

TEST_F(ResolveSectionTest, NetworkOnlyTriesItsEightCandidates) {
    ExpectOrder({"WXP", "EN", true, false},
                {"NAME.WXP.EN.NETWORK", "NAME.WXP.EN", "NAME.WXP.NETWORK", "NAME.WXP",
                 "NAME.EN.NETWORK", "NAME.EN", "NAME.NETWORK", "NAME"});
}

TEST_F(ResolveSectionTest, UsbOnlyTriesItsEightCandidates) {
    ExpectOrder({"WXP", "EN", false, true},
                {"NAME.WXP.EN.USB", "NAME.WXP.EN", "NAME.WXP.USB", "NAME.WXP", "NAME.EN.USB",
                 "NAME.EN", "NAME.USB", "NAME"});
}

TEST_F(ResolveSectionTest, NoConnectionOptionTriesFourCandidatesAndIgnoresConnectionVariants) {
    Write("variants.ini", "[NAME.WXP.EN.NETWORK]\r\n[NAME.USB]\r\n[NAME.EN]\r\n");
    CConfig config;
    const std::string path = Folder() + "\\variants.ini";
    config.Open(path.c_str(), "", "", false);
    std::string resolved;
    ASSERT_TRUE(config.ResolveSectionWith("NAME", {"WXP", "EN", false, false}, &resolved));
    EXPECT_EQ(resolved, "NAME.EN");
    ExpectOrder({"WXP", "EN", false, false}, {"NAME.WXP.EN", "NAME.WXP", "NAME.EN", "NAME"});
}

TEST_F(ResolveSectionTest, AnOsVariantBeatsALanguageVariantWithTheConnection) {
    Write("variants.ini", "[name.EN.USB]\r\n[name.WXP]\r\n");
    CConfig config;
    const std::string path = Folder() + "\\variants.ini";
    config.Open(path.c_str(), "", "", false);
    std::string resolved;
    ASSERT_TRUE(config.ResolveSectionWith("name", {"WXP", "EN", true, true}, &resolved));
    EXPECT_EQ(resolved, "NAME.WXP");
}

TEST_F(ResolveSectionTest, TheContextSuppliesOsLanguageAndOptions) {
    CInstallContext context;
    context.Paths().os_define = "0X00020501";
    Write("variants.ini", "[option]\r\n[Option.0x00020501]\r\n[option.0X00020501.en]\r\n");
    CConfig config;
    const std::string path = Folder() + "\\variants.ini";
    config.Open(path.c_str(), "", "", false);
    char out[260] = "untouched";
    ASSERT_TRUE(config.ResolveSection("option", out));
    EXPECT_STREQ(out, "OPTION.0X00020501.EN");

    // Before the OS is known its qualifier is an empty text between the dots.
    context.Paths().os_define.clear();
    context.Options().network = true;
    Write("variants.ini", "[OPTION..EN.NETWORK]\r\n[OPTION.EN]\r\n");
    config.Reload(path.c_str());
    ASSERT_TRUE(config.ResolveSection("OPTION", out));
    EXPECT_STREQ(out, "OPTION..EN.NETWORK");

    std::strcpy(out, "untouched");
    EXPECT_FALSE(config.ResolveSection("MISSING", out));
    EXPECT_STREQ(out, "untouched");
}

}  // namespace
