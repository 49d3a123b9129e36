// The profile syntax as files on the machine's disk are read: comments, quotes, line folding,
// headers, key splitting and the limits of lines and names.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "profile_fixture.h"

namespace qx::test {
namespace {

using namespace std::string_literals;

struct ParseCase {
    const char* name;
    std::string file;
    std::string expected;  // Dump of the main list
};

class ParseFileTest : public ProfileFileTest, public ::testing::WithParamInterface<ParseCase> {};

TEST_P(ParseFileTest, ReadsSectionsAndLines) {
    const ParseCase& c = GetParam();
    CProfile profile(Write("case.ini", c.file).c_str(), nullptr);
    EXPECT_TRUE(profile.IsLoaded());
    EXPECT_EQ(Dump(profile.MainList()), c.expected);
}

const ParseCase kParseCases[] = {
    {"EmptyFile", "", ""},
    {"OnlyBreaksAndComments", "\r\n\r\n// nothing\r\n/* here */\r\n", ""},
    {"LastLineWithoutBreak", "[S]\r\nA=1", "[S]\nA=1\n"},
    {"LinesBeforeFirstHeaderIgnored", "K=1\r\nbare\r\n[S]\r\nA=2\r\n", "[S]\nA=2\n"},
    {"DuplicateHeaderAppendsToFirst", "[Main]\r\nA=1\r\n[Other]\r\nX=9\r\n[ main ]\r\nB=2\r\n",
     "[Main]\nA=1\nB=2\n[Other]\nX=9\n"},
    {"HeaderTrimsBlanksQuotesAndBrackets", "[ \"Quoted\" ]\r\nA=1\r\n[[Nested]]\r\nB=2\r\n",
     "[Quoted]\nA=1\n[Nested]\nB=2\n"},
    {"HeaderNeedsBracketsAtBothEnds", "[S]\r\n[NotHeader\r\nNot]\r\n", "[S]\n[NotHeader\nNot]\n"},
    {"NamelessHeaderDropsItsLines", "[S]\r\nA=1\r\n[ ]\r\nB=2\r\n[]\r\nC=3\r\n[S]\r\nD=4\r\n",
     "[S]\nA=1\nD=4\n"},
    {"KeySplitAtFirstEquals", "[S]\r\n  key  =  a = b  \r\n\tT\t=\tv\t\r\n",
     "[S]\nkey=a = b\nT=v\n"},
    {"BareKeyAndEmptyKey", "[S]\r\nFlag\r\n= v\r\n=\r\nE =\r\n", "[S]\nFlag\n=v\nE\n"},
    {"QuotesStayInValues", "[S]\r\nQ = \"v\"\r\n", "[S]\nQ=\"v\"\n"},
    {"DuplicateKeysKept", "[S]\r\nA=1\r\nA=2\r\n", "[S]\nA=1\nA=2\n"},
    {"LineCommentAfterValue", "[S]\r\nP = C:\\x // the folder\r\nN = 1\r\n", "[S]\nP=C:\\x\nN=1\n"},
    {"LineCommentAtLineStartVanishes", "[S]\r\n// one\r\n   // two\r\nA=1\r\n", "[S]\nA=1\n"},
    {"QuotedSlashesAreText", "[S]\r\nU = \"http://host/a\" // note\r\n",
     "[S]\nU=\"http://host/a\"\n"},
    {"UnbalancedQuoteDisablesLaterComments",
     "[S]\r\nA = \"open\r\nB = 1 // kept\r\nC = /* kept */\r\n",
     "[S]\nA=\"open\nB=1 // kept\nC=/* kept */\n"},
    {"BlockCommentBeforeKeyLine", "[S]\r\n/* note */K=1\r\n", "[S]\nK=1\n"},
    {"BlockCommentSpansLines", "[S]\r\nA=1 /* x\r\nB=2 */ C=3\r\nD=4\r\n", "[S]\nA=1  C=3\nD=4\n"},
    {"BlockCommentCloseNeedsOwnStar", "[S]\r\nA=1/*/ B=2 */\r\nC=3\r\n", "[S]\nA=1\nC=3\n"},
    {"UnterminatedBlockCommentDropsRest", "[S]\r\nA=1 /* open\r\nB=2\r\n[T]\r\nC=3\r\n",
     "[S]\nA=1\n"},
    {"AnyRunOfBreaksIsOneBreak", "[S]\r\r\n\n\rA=1\rB=2\n\n\r\nC=3", "[S]\nA=1\nB=2\nC=3\n"},
    {"ByteOrderMarkIsText", "\xEF\xBB\xBF[S]\r\nA=1\r\n[T]\r\nB=2\r\n", "[T]\nB=2\n"},
    {"TextEndsAtNulByte", "[S]\r\nA=1\r\nB=x\0y\r\nC=3\r\n"s, "[S]\nA=1\nB=x\n"},
    {"HighBytesAreKept", "[S]\r\nA=\x01\xFF\x80\r\n", "[S]\nA=\x01\xFF\x80\n"},
};

INSTANTIATE_TEST_SUITE_P(Syntax, ParseFileTest, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A line may hold 4095 bytes before trimming; a longer one ends the reading there.
struct LongLineCase {
    const char* name;
    size_t length;  // bytes of the line, blanks included
    size_t blanks;  // trailing blanks within length
    bool kept;
};

class LongLineTest : public ProfileFileTest, public ::testing::WithParamInterface<LongLineCase> {};

TEST_P(LongLineTest, StopsReadingAfterTheLimit) {
    const LongLineCase& c = GetParam();
    const std::string line =
        "L=" + std::string(c.length - 2 - c.blanks, 'x') + std::string(c.blanks, ' ');
    CProfile profile(Write("long.ini", "[S]\r\nA=1\r\n" + line + "\r\n[T]\r\nB=2\r\n").c_str(),
                     nullptr);
    ASSERT_TRUE(profile.IsLoaded());
    const std::string value(c.length - 2 - c.blanks, 'x');
    const std::string expected = c.kept ? "[S]\nA=1\nL=" + value + "\n[T]\nB=2\n" : "[S]\nA=1\n";
    EXPECT_EQ(Dump(profile.MainList()), expected);
}

const LongLineCase kLongLineCases[] = {
    {"Exactly4095", 4095, 0, true},
    {"Over4095", 4096, 0, false},
    {"BlanksCountBeforeTrimming", 4096, 2, false},
    {"FiveThousand", 5000, 0, false},
};

INSTANTIATE_TEST_SUITE_P(Limits, LongLineTest, ::testing::ValuesIn(kLongLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProfileFileTest, OverlongNamesAndKeysAreCutTo255Bytes) {
    const std::string name(300, 'n');
    const std::string key(300, 'k');
    CProfile profile(
        Write("names.ini", "[" + name + "]\r\n" + key + "=1\r\n[" + name + "]\r\n" + key + "=2\r\n")
            .c_str(),
        nullptr);
    EXPECT_EQ(Dump(profile.MainList()), "[" + name.substr(0, 255) + "]\n" + key.substr(0, 255) +
                                            "=1\n" + key.substr(0, 255) + "=2\n");
    // The same long text finds what it stored.
    char value[16] = {};
    EXPECT_EQ(profile.GetString(name.c_str(), key.c_str(), value, sizeof(value), false), 0u);
    EXPECT_STREQ(value, "1");
}

TEST_F(ProfileFileTest, ManyLinesAndSectionsKeepFileOrder) {
    std::string text;
    std::string expected;
    for (int s = 0; s < 50; ++s) {
        text += "[S" + std::to_string(s) + "]\r\n";
        expected += "[S" + std::to_string(s) + "]\n";
        for (int k = 0; k < 40; ++k) {
            text += "K" + std::to_string(k) + "=" + std::to_string(s * 100 + k) + "\r\n";
            expected += "K" + std::to_string(k) + "=" + std::to_string(s * 100 + k) + "\n";
        }
    }
    text += "[s7]\r\nExtra=1\r\n";
    CProfile profile(Write("many.ini", text).c_str(), nullptr);
    std::string with_extra = expected;
    with_extra.insert(with_extra.find("[S8]"), "Extra=1\n");
    EXPECT_EQ(Dump(profile.MainList()), with_extra);
}

// The comment pass on its own, as the reader feeds it.
struct FoldCase {
    const char* name;
    std::string in;
    std::string out;
};

class ProcessDataTest : public ::testing::TestWithParam<FoldCase> {};

TEST_P(ProcessDataTest, FoldsCommentsAndBreaks) {
    const FoldCase& c = GetParam();
    TestProfile profile;
    std::string out(c.in.size() * 2 + 1, '\x7F');
    EXPECT_TRUE(profile.ProcessData(c.in.c_str(), out.data(), static_cast<DWORD>(out.size())));
    EXPECT_EQ(std::string(out.c_str()), c.out);
}

const FoldCase kFoldCases[] = {
    {"CommentAfterTextKeepsOneBreak", "A //c\r\n\r\nB\r\n", "A \r\nB\r\n"},
    {"CommentLineVanishes", "A\r\n//c\r\nB\r\n", "A\r\nB\r\n"},
    {"BlankBeforeCommentCountsAsText", " //c\r\nB\r\n", " \r\nB\r\n"},
    {"LoneBreaksBecomeCrLf", "A\rB\nC\n\r\n\rD", "A\r\nB\r\nC\r\nD\r\n"},
    {"BlockCommentRemovedInLine", "A/*x*/B\r\n", "AB\r\n"},
    {"BlockCommentTakesItsBreaks", "A/*\r\n\r\n*/B\r\n", "AB\r\n"},
    {"QuotedMarkersAreText", "\"//\" /* \"*/\" x\r\n", "\"//\" \" x\r\n"},
    {"QuoteStateCrossesLines", "\"a\r\n//b\r\n", "\"a\r\n//b\r\n"},
    {"UnterminatedBlockKeepsTextBefore", "A=1 /* open\r\nB=2\r\n", "A=1 \r\n"},
    {"SlashAloneIsText", "a/b / c\r\n", "a/b / c\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Comments, ProcessDataTest, ::testing::ValuesIn(kFoldCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProcessData, NeverWritesPastTheOutputBuffer) {
    TestProfile profile;
    char out[8];
    std::memset(out, '#', sizeof(out));
    EXPECT_TRUE(profile.ProcessData("\r\r\r\r\r\r\r\rABCDEFGH", out, 5));
    EXPECT_EQ(std::string(out, 5), std::string("\r\nAB\0", 5));
    EXPECT_EQ(out[5], '#');
    EXPECT_FALSE(profile.ProcessData(nullptr, out, sizeof(out)));
    EXPECT_FALSE(profile.ProcessData("A", out, 0));
}

struct ReadLineCase {
    const char* name;
    const char* text;
    DWORD size;
    DWORD result;
    const char* line;  // when the result is 0
    DWORD consumed;    // when the result is 0
};

class ReadOneLineTest : public ::testing::TestWithParam<ReadLineCase> {};

TEST_P(ReadOneLineTest, ReadsOneTrimmedLine) {
    const ReadLineCase& c = GetParam();
    TestProfile profile;
    char line[64] = {};
    DWORD size = c.size;
    ASSERT_EQ(profile.ReadOneLine(c.text, line, &size), c.result);
    if (c.result == 0) {
        EXPECT_STREQ(line, c.line);
        EXPECT_EQ(size, c.consumed);
    }
}

const ReadLineCase kReadLineCases[] = {
    {"CrLf", "  A = 1 \t\r\nB", 64, 0, "A = 1", 11},
    {"LoneLf", "X\nY", 64, 0, "X", 2},
    {"LastLineWithoutBreak", "Z", 64, 0, "Z", 1},
    {"EmptyLine", "\r\nZ", 64, 0, "", 2},
    {"FitsWithItsNul", "0123456789\r\n", 11, 0, "0123456789", 12},
    {"OneByteShort", "0123456789\r\n", 10, 14, "", 0},
    {"EndOfText", "", 64, 259, "", 0},
    {"ZeroSize", "A", 0, 87, "", 0},
};

INSTANTIATE_TEST_SUITE_P(Lines, ReadOneLineTest, ::testing::ValuesIn(kReadLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadOneLine, NullArgumentsGive87) {
    TestProfile profile;
    char line[8];
    DWORD size = sizeof(line);
    EXPECT_EQ(profile.ReadOneLine(nullptr, line, &size), 87u);
    EXPECT_EQ(profile.ReadOneLine("A", nullptr, &size), 87u);
    EXPECT_EQ(profile.ReadOneLine("A", line, nullptr), 87u);
}

TEST(IsSection, NeedsBracketFirstAndLast) {
    TestProfile profile;
    EXPECT_TRUE(profile.IsSection("[A]"));
    EXPECT_TRUE(profile.IsSection("[]"));
    EXPECT_FALSE(profile.IsSection("["));
    EXPECT_FALSE(profile.IsSection("]"));
    EXPECT_FALSE(profile.IsSection(" [A]"));
    EXPECT_FALSE(profile.IsSection("[A] x"));
    EXPECT_FALSE(profile.IsSection(""));
    EXPECT_FALSE(profile.IsSection(nullptr));
}

}  // namespace
}  // namespace qx::test
