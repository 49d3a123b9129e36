#include "registry/key_path.h"

#include <gtest/gtest.h>

#include <string>

namespace qr = qx::registry;

namespace {

// "Software\" and a Shift-JIS katakana so, whose trail byte is the backslash's code.
const std::string kSo = "\x83\x5C";

TEST(KeyPath, TrailBytesAreNoSeparators) {
    const std::string path = "Software\\" + kSo;
    EXPECT_EQ(qr::LastSeparator(path, 932), 8u);
    EXPECT_FALSE(qr::EndsWithSeparator(path, 932));
    EXPECT_EQ(qr::WithoutTrailingSeparators(path + "\\\\", 932), path);
    // In a single-byte code page the same bytes end with a separator.
    EXPECT_EQ(qr::LastSeparator(path, 1252), 10u);
    EXPECT_EQ(qr::WithoutTrailingSeparators(path, 1252), "Software\\\x83");
}

TEST(KeyPath, PlainPaths) {
    EXPECT_EQ(qr::LastSeparator("Software", 1252), std::string::npos);
    EXPECT_EQ(qr::LastSeparator("A\\B\\C", 1252), 3u);
    EXPECT_TRUE(qr::EndsWithSeparator("A\\", 1252));
    EXPECT_FALSE(qr::EndsWithSeparator("", 1252));
    EXPECT_EQ(qr::WithoutTrailingSeparators("\\\\", 1252), "");
}

}  // namespace
