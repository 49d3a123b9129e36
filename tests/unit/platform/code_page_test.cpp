#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace qp = qx::platform;

namespace {

struct CompareCase {
    const char* a;
    const char* b;
    qp::UINT code_page;
    int sign;
};

TEST(CodePage, CompareNoCaseFoldsAsciiButNeverTrailBytes) {
    const CompareCase cases[] = {
        {"Section", "SECTION", 1252, 0},
        {"abc", "abd", 1252, -1},
        {"abc", "ab", 1252, 1},
        {"", "", 1252, 0},
        // 0xE9 is not an ASCII letter: no folding against 0xC9 in 1252.
        {"\xE9", "\xC9", 1252, 1},
        // In 932, 0x83 leads a double-byte character: 0x61 and 0x41 are trail bytes here.
        {"\x83\x61", "\x83\x41", 932, 1},
        {"\x83\x61x", "\x83\x61X", 932, 0},
        // The same bytes outside a DBCS code page are a letter pair that folds.
        {"\x83\x61", "\x83\x41", 1252, 0},
        // In 949 the second byte of a Hangul syllable can look like an ASCII letter.
        {"\xB0\x61", "\xB0\x41", 949, 1},
    };
    for (const auto& c : cases) {
        int result = qp::CompareNoCaseMb(c.a, c.b, c.code_page);
        int sign = (result > 0) - (result < 0);
        EXPECT_EQ(sign, c.sign) << c.a << " vs " << c.b << " in " << c.code_page;
    }
}

TEST(CodePage, UpperCaseKeepsTrailBytes) {
    EXPECT_EQ(qp::ToUpperMb("abc\x83\x61z", 932), "ABC\x83\x61Z");
    EXPECT_EQ(qp::ToUpperMb("abc\x83\x61z", 1252), "ABC\x83\x41Z");
    // A lead byte at the very end has no trail byte and is left alone.
    EXPECT_EQ(qp::ToUpperMb("a\x83", 932), "A\x83");
}

TEST(CodePage, ConvertsBetweenCodePagesAndUtf8) {
    EXPECT_EQ(qp::CodePageToUtf8("caf\xE9", 1252), "caf\xC3\xA9");
    EXPECT_EQ(qp::Utf8ToCodePage("caf\xC3\xA9", 1252), "caf\xE9");
    const std::string korean_utf8 = "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4";  // Korean "hangugeo"
    std::string cp949 = qp::Utf8ToCodePage(korean_utf8, 949);
    EXPECT_EQ(cp949.size(), 6u);
    EXPECT_EQ(qp::CodePageToUtf8(cp949, 949), korean_utf8);
}

TEST(CodePage, UnconvertibleBytesBecomeQuestionMarks) {
    // 0x81 is undefined in 1252 and a lone lead byte is invalid in 949.
    EXPECT_EQ(qp::CodePageToUtf8("a\x81z", 1252), "a?z");
    EXPECT_EQ(qp::CodePageToUtf8("ab\xB0", 949), "ab?");
    EXPECT_EQ(qp::Utf8ToCodePage("\xE2\x82\xAC", 949).empty(), false);
}

}  // namespace
