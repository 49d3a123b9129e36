// Typed reading of a loaded profile: STRINGS references, escapes, numbers, number lists, the
// entry and section lists, and their result codes and buffer limits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "profile_fixture.h"

namespace qx::test {
namespace {

constexpr const char* kMainFile =
    "[STRINGS]\r\n"
    "%A% = \"x%B%\"\r\n"
    "%B% = y\r\n"
    "%Q% = \"\"quoted\"\"\r\n"
    "%NL% = \\n\r\n"
    "%LONG% = a long replacement text\r\n"
    "%SELF% = %SELF%\r\n"
    "%GROW% = g%GROW%\r\n"
    "%TWICE% = %TWICE%%TWICE%\r\n"
    "%PING% = %PONG%\r\n"
    "%PONG% = %PING%\r\n"
    "%MAINONLY% = main\r\n"
    "[Text]\r\n"
    "Plain = hello\r\n"
    "Ref = %A%!\r\n"
    "Unknown = %Z%\r\n"
    "Percent = 100% and %B%\r\n"
    "Adjacent = a%Z%%B%\r\n"
    "Repeated = %B%-%B%\r\n"
    "LowerCase = %b%\r\n"
    "Quotes = <%Q%>\r\n"
    "Escapes = a\\nb\\rc\\t\r\n"
    "EscapeFromRef = 1%NL%2\r\n"
    "Long = %LONG%\r\n"
    "Self = %SELF%\r\n"
    "Grow = %GROW%\r\n"
    "Twice = %TWICE%\r\n"
    "Ping = %PING%\r\n"
    "Both = %B%/%MAINONLY%\r\n"
    "Bare\r\n"
    "Dup = 1\r\n"
    "Dup = 2\r\n";

class GetterTest : public ProfileFileTest {
  protected:
    void SetUp() override {
        ProfileFileTest::SetUp();
        profile_.Create(Write("main.ini", kMainFile).c_str(), nullptr, false);
        ASSERT_TRUE(profile_.IsLoaded());
    }

    std::string Get(const char* key, bool escapes = false, DWORD size = 16384) {
        std::vector<char> buffer(size, '\0');
        result_ = profile_.GetString("Text", key, buffer.data(), size, escapes);
        return buffer.data();
    }

    TestProfile profile_;
    DWORD result_ = 0;
};

struct ExpandCase {
    const char* key;
    bool escapes;
    const char* expected;
};

class ExpandTest : public GetterTest, public ::testing::WithParamInterface<ExpandCase> {};

TEST_P(ExpandTest, GetStringExpandsReferences) {
    const ExpandCase& c = GetParam();
    EXPECT_EQ(Get(c.key, c.escapes), c.expected);
    EXPECT_EQ(result_, 0u);
}

const ExpandCase kExpandCases[] = {
    {"Plain", false, "hello"},
    {"Ref", false, "xy!"},  // nested, quotes of the STRINGS value removed
    {"Unknown", false, "%Z%"},
    {"Percent", false, "100% and y"},  // the unknown "% and %" ends at the next reference
    {"Adjacent", false, "a%Z%y"},
    {"Repeated", false, "y-y"},
    {"LowerCase", false, "y"},
    {"Quotes", false, "<quoted>"},
    {"Escapes", false, "a\\nb\\rc\\t"},
    {"Escapes", true, "a\nb\rc\\t"},
    {"EscapeFromRef", true, "1\n2"},
    {"Both", false, "y/main"},
    {"Bare", false, ""},
    {"dup", false, "1"},
};

INSTANTIATE_TEST_SUITE_P(Strings, ExpandTest, ::testing::ValuesIn(kExpandCases));

// Values that refer to themselves end; what has been expanded by then is kept.
TEST_F(GetterTest, SelfReferencesEnd) {
    EXPECT_EQ(Get("Self"), "%SELF%");
    EXPECT_EQ(Get("Ping"), "%PING%");
    EXPECT_EQ(Get("Grow"), std::string(1024, 'g') + "%GROW%");
    EXPECT_EQ(Get("Twice"), "%TWICE%");  // outgrows any buffer: left as it was
    EXPECT_EQ(result_, 0u);
}

TEST_F(GetterTest, ExpansionThatNoLongerFitsLeavesTheRawValue) {
    EXPECT_EQ(Get("Long", false, 8), "%LONG%");
    EXPECT_EQ(result_, 0u);
    EXPECT_EQ(Get("Plain", false, 4), "hel");
    EXPECT_EQ(result_, 0u);
}

TEST_F(GetterTest, GetStringResultCodes) {
    char buffer[16];
    EXPECT_EQ(profile_.GetString("Text", "Missing", buffer, sizeof(buffer), false), 13u);
    EXPECT_EQ(profile_.GetString("Missing", "Plain", buffer, sizeof(buffer), false), 13u);
    EXPECT_EQ(profile_.GetString(nullptr, "Plain", buffer, sizeof(buffer), false), 87u);
    EXPECT_EQ(profile_.GetString("Text", nullptr, buffer, sizeof(buffer), false), 87u);
    EXPECT_EQ(profile_.GetString("Text", "Plain", nullptr, sizeof(buffer), false), 87u);
    EXPECT_EQ(profile_.GetString("Text", "Plain", buffer, 0, false), 87u);
}

TEST_F(GetterTest, DuplicateKeysReachableByIndex) {
    SECTION_LIST* text = profile_.MainList().FindSection("Text");
    EXPECT_STREQ(profile_.MainList().FindKey(text, "Dup", 1)->value, "2");
}

TEST_F(GetterTest, ConvertDefinedStringInPlace) {
    char text[32] = "<%B%>";
    EXPECT_EQ(profile_.ConvertDefinedString(text, sizeof(text), false), 0u);
    EXPECT_STREQ(text, "<y>");

    char small[8] = "%LONG%";
    EXPECT_EQ(profile_.ConvertDefinedString(small, sizeof(small), false), 14u);
    EXPECT_STREQ(small, "%LONG%");

    // "a long replacement text" is 23 bytes: it needs 24 with its NUL.
    char exact[24] = "%LONG%";
    EXPECT_EQ(profile_.ConvertDefinedString(exact, sizeof(exact), false), 0u);
    EXPECT_STREQ(exact, "a long replacement text");
    char one_short[23] = "%LONG%";
    EXPECT_EQ(profile_.ConvertDefinedString(one_short, sizeof(one_short), false), 14u);
    EXPECT_STREQ(one_short, "%LONG%");

    char empty[4] = "";
    EXPECT_EQ(profile_.ConvertDefinedString(empty, sizeof(empty), true), 87u);
    EXPECT_EQ(profile_.ConvertDefinedString(nullptr, 4, true), 87u);
}

TEST_F(GetterTest, GetStringValueStripsQuotes) {
    char buffer[32];
    EXPECT_EQ(profile_.GetStringValue("%Q%", buffer, sizeof(buffer)), 0u);
    EXPECT_STREQ(buffer, "quoted");
    EXPECT_EQ(profile_.GetStringValue("%NONE%", buffer, sizeof(buffer)), 13u);
    EXPECT_EQ(profile_.GetStringValue("", buffer, sizeof(buffer)), 87u);
    EXPECT_EQ(profile_.GetStringValue("%Q%", nullptr, sizeof(buffer)), 87u);
}

TEST_F(ProfileFileTest, SecondFileStringsComeFirst) {
    const std::string main = Write("main.ini",
                                   "[STRINGS]\r\n%B% = main\r\n%M% = only-main\r\n"
                                   "[T]\r\nK = %B%,%M%,%S%\r\n");
    const std::string second = Write(
        "second.str", "[STRINGS]\r\n%B% = \"second\"\r\n%S% = only-second\r\n[T]\r\nK = no\r\n");
    char buffer[64];

    CProfile both(main.c_str(), second.c_str());
    ASSERT_TRUE(both.IsSecondLoaded());
    ASSERT_EQ(both.GetString("T", "K", buffer, sizeof(buffer), false), 0u);
    EXPECT_STREQ(buffer, "second,only-main,only-second");

    CProfile alone(main.c_str(), WinPath("missing.str").c_str());
    EXPECT_FALSE(alone.IsSecondLoaded());
    ASSERT_EQ(alone.GetString("T", "K", buffer, sizeof(buffer), false), 0u);
    EXPECT_STREQ(buffer, "main,only-main,%S%");
}

struct NumberCase {
    const char* value;
    DWORD expected;
};

class NumberTest : public ProfileFileTest, public ::testing::WithParamInterface<NumberCase> {};

TEST_P(NumberTest, GetDwordReadsTheRawValue) {
    const NumberCase& c = GetParam();
    CProfile profile(
        Write("n.ini", std::string("[STRINGS]\r\n%N% = 5\r\n[N]\r\nV = ") + c.value + "\r\n")
            .c_str(),
        nullptr);
    DWORD value = 12345;
    ASSERT_EQ(profile.GetDword("N", "V", &value), 0u);
    EXPECT_EQ(value, c.expected);
}

const NumberCase kNumberCases[] = {
    {"31", 31},
    {"0x1F", 31},
    {"0X1f", 31},
    {"12abc", 12},
    {"0x12G4", 0x1204},
    {"0x123456789", 0x23456789},
    {"0xFFFFFFFF", 0xFFFFFFFF},
    {"-5", 4294967291u},
    {"+7", 7},
    {"abc", 0},
    {"", 0},
    {"0x", 0},
    {"1F", 1},   // no 0X: decimal
    {"10X", 1},  // holds 0X: hexadecimal "1"
    {"0x0x10", 16},
    {"99999999999", 2147483647},    // saturates like atoi
    {"-99999999999", 2147483648u},  // INT_MIN
    {"%N%", 0},                     // no STRINGS expansion
};

INSTANTIATE_TEST_SUITE_P(Numbers, NumberTest, ::testing::ValuesIn(kNumberCases));

TEST_F(ProfileFileTest, GetDwordResultCodes) {
    CProfile profile(Write("n.ini", "[N]\r\nV = 1\r\n").c_str(), nullptr);
    DWORD value = 77;
    EXPECT_EQ(profile.GetDword("N", "Missing", &value), 13u);
    EXPECT_EQ(profile.GetDword("Missing", "V", &value), 13u);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(profile.GetDword("N", "V", nullptr), 87u);
    EXPECT_EQ(profile.GetDword(nullptr, "V", &value), 87u);
}

TEST(StringToDword, HexIgnoresCaseOfTheDigits) {
    TestProfile profile;
    EXPECT_EQ(profile.StringToDword("0xabcdef"), 0xABCDEFu);
    EXPECT_EQ(profile.StringToDword("0x1 1"), 0x101u);  // a blank counts as the digit 0
}

class ControlTest : public ProfileFileTest {
  protected:
    void SetUp() override {
        ProfileFileTest::SetUp();
        profile_.Create(Write("c.ini",
                              "[C]\r\n"
                              "Two = 10, -20\r\n"
                              "Hex = 0x10 ,0x20\r\n"
                              "One = 5\r\n"
                              "Colour = 255,128,0\r\n"
                              "Wide = 256,257,258\r\n"
                              "Three = 1,2,3\r\n"
                              "Four = 1, 2, 3, 4\r\n"
                              "Five = 1,2,3,4,5\r\n"
                              "Empty\r\n"
                              "Gaps = ,\r\n")
                            .c_str(),
                        nullptr, false);
    }
    CProfile profile_;
};

TEST_F(ControlTest, SizeAndPoint) {
    platform::SIZE size;
    EXPECT_EQ(profile_.GetControl("C", "Two", &size), 0u);
    EXPECT_EQ(size.cx, 10);
    EXPECT_EQ(size.cy, -20);
    EXPECT_EQ(profile_.GetControl("C", "Hex", &size), 0u);
    EXPECT_EQ(size.cx, 16);
    EXPECT_EQ(size.cy, 32);
    EXPECT_EQ(profile_.GetControl("C", "Gaps", &size), 0u);  // two empty elements
    EXPECT_EQ(size.cx, 0);
    EXPECT_EQ(profile_.GetControl("C", "One", &size), 87u);
    EXPECT_EQ(profile_.GetControl("C", "Empty", &size), 87u);
    EXPECT_EQ(profile_.GetControl("C", "Missing", &size), 13u);
    EXPECT_EQ(profile_.GetControl("C", "", &size), 87u);
    EXPECT_EQ(profile_.GetControl("C", "Two", static_cast<platform::SIZE*>(nullptr)), 87u);

    platform::POINT point;
    EXPECT_EQ(profile_.GetControl("C", "Five", &point), 0u);
    EXPECT_EQ(point.x, 1);
    EXPECT_EQ(point.y, 2);
    EXPECT_EQ(profile_.GetControl("C", "One", &point), 87u);
    EXPECT_EQ(profile_.GetControl("C", "Missing", &point), 87u);
}

TEST_F(ControlTest, ColourAndRect) {
    DWORD colour = 0;
    EXPECT_EQ(profile_.GetControl("C", "Colour", &colour), 0u);
    EXPECT_EQ(colour, 33023u);
    EXPECT_EQ(profile_.GetControl("C", "Wide", &colour), 0u);
    EXPECT_EQ(colour, 0x020100u);  // each element masked to 8 bits
    EXPECT_EQ(profile_.GetControl("C", "Two", &colour), 87u);
    EXPECT_EQ(profile_.GetControl("C", "Missing", &colour), 13u);

    platform::RECT rect;
    EXPECT_EQ(profile_.GetControl("C", "Four", &rect), 0u);
    EXPECT_EQ(rect.left, 1);
    EXPECT_EQ(rect.top, 2);
    EXPECT_EQ(rect.right, 3);
    EXPECT_EQ(rect.bottom, 4);
    EXPECT_EQ(profile_.GetControl("C", "Three", &rect), 87u);
    EXPECT_EQ(profile_.GetControl("C", "Missing", &rect), 87u);
    EXPECT_EQ(profile_.GetControl(nullptr, "Four", &rect), 87u);
}

class AllKeyTest : public GetterTest {
  protected:
    void SetUp() override {
        GetterTest::SetUp();
        Write("keys.ini",
              "[STRINGS]\r\n%B% = y\r\n"
              "[K]\r\nA = 1\r\nBare\r\nC = %B%\r\nE = a\\nb\r\n%B% = key\r\n"
              "[Empty]\r\n[Small]\r\nA = 1\r\nB\r\n");
        keys_.Create(WinPath("keys.ini").c_str(), nullptr, false);
        ASSERT_TRUE(keys_.IsLoaded());
    }
    std::string List(const char* section, bool skip_bare, DWORD size = 256) {
        buffer_.assign(size + 8, '#');
        result_ = keys_.GetAllKey(section, buffer_.data(), size, skip_bare);
        EXPECT_EQ(buffer_[size], '#');  // nothing written past size
        if (result_ != 0 && result_ != 14) {
            return "<none>";  // the buffer is left alone
        }
        return JoinList(buffer_.data());
    }
    CProfile keys_;
    std::vector<char> buffer_;
};

TEST_F(AllKeyTest, ListsEntriesExpanded) {
    EXPECT_EQ(List("k", false), "A = 1|Bare|C = y|E = a\nb|y = key");
    EXPECT_EQ(result_, 0u);
    EXPECT_EQ(List("K", true), "A = 1|C = y|E = a\nb|y = key");
    EXPECT_EQ(List("Empty", false), "");
    EXPECT_EQ(result_, 0u);
    EXPECT_EQ(List("Missing", false), "<none>");
    EXPECT_EQ(result_, 13u);
}

// "A = 1" and "B" need 6 + 2 bytes, and one more that closes the list.
TEST_F(AllKeyTest, StopsWhenAnEntryDoesNotFit) {
    EXPECT_EQ(List("Small", false, 9), "A = 1|B");
    EXPECT_EQ(result_, 0u);
    EXPECT_EQ(List("Small", false, 8), "A = 1");
    EXPECT_EQ(result_, 14u);
    EXPECT_EQ(List("Small", false, 6), "");
    EXPECT_EQ(result_, 14u);
}

TEST_F(AllKeyTest, RejectsBadArguments) {
    char buffer[8];
    EXPECT_EQ(keys_.GetAllKey(nullptr, buffer, sizeof(buffer), false), 87u);
    EXPECT_EQ(keys_.GetAllKey("K", nullptr, sizeof(buffer), false), 87u);
    EXPECT_EQ(keys_.GetAllKey("K", buffer, 0, false), 87u);
}

struct SectionNameCase {
    const char* name;
    bool nul_separated;
    DWORD size;
    DWORD result;
    std::string expected;  // the whole buffer
};

class SectionNameTest : public ProfileFileTest,
                        public ::testing::WithParamInterface<SectionNameCase> {};

// Sections "A" and "BC".
TEST_P(SectionNameTest, ListsNamesInEitherForm) {
    const SectionNameCase& c = GetParam();
    CProfile profile(Write("s.ini", "[A]\r\n[BC]\r\nK=1\r\n[a]\r\n").c_str(), nullptr);
    std::string buffer(c.size + 4, '#');
    EXPECT_EQ(profile.GetSectionName(buffer.data(), c.size, c.nul_separated), c.result);
    EXPECT_EQ(buffer, c.expected + "####");
}

using namespace std::string_literals;

const SectionNameCase kSectionNameCases[] = {
    {"NulRoomy", true, 8, 0, "A\0BC\0\0\0\0"s}, {"NulExact", true, 6, 0, "A\0BC\0\0"s},
    {"NulOneShort", true, 5, 14, "A\0\0\0\0"s}, {"SpaceRoomy", false, 8, 0, "A BC   \0"s},
    {"SpaceExact", false, 6, 0, "A BC \0"s},    {"SpaceOneShort", false, 5, 14, "A   \0"s},
};

INSTANTIATE_TEST_SUITE_P(Forms, SectionNameTest, ::testing::ValuesIn(kSectionNameCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProfileFileTest, EmptyFileHasNoSectionNames) {
    CProfile profile(Write("empty.ini", "").c_str(), nullptr);
    EXPECT_TRUE(profile.IsLoaded());
    char buffer[16];
    EXPECT_EQ(profile.GetSectionName(buffer, sizeof(buffer), true), 13u);
    EXPECT_EQ(profile.GetSectionName(nullptr, sizeof(buffer), true), 87u);
    char value[16];
    EXPECT_EQ(profile.GetString("Any", "Key", value, sizeof(value), false), 13u);
}

}  // namespace
}  // namespace qx::test
