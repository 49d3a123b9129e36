#include "platform/files.h"

#include <gtest/gtest.h>

#include "platform/errors.h"
#include "support/temp_machine.h"

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

TEST(Files, CreateNewRefusesAnExistingFileWithFileExists) {
    fs::path host;
    std::string folder = qx::test::MakeTestFolder("create_new", &host);
    std::string path = folder + "\\a.log";
    {
        qp::File first = qp::CreateFileA(path, qp::kGenericWrite, 0, qp::kCreateNew);
        ASSERT_TRUE(first);
        EXPECT_TRUE(first.WriteAll("one"));
    }
    qp::File second = qp::CreateFileA(path, qp::kGenericWrite, 0, qp::kCreateNew);
    EXPECT_FALSE(second);
    EXPECT_EQ(qp::GetLastError(), qp::kErrorFileExists);
    EXPECT_EQ(qx::test::ReadHostFile(host / "a.log"), "one");
}

TEST(Files, OpeningReportsWindowsErrors) {
    std::string folder = qx::test::MakeTestFolder("open_errors");
    struct Case {
        std::string path;
        qp::DWORD error;
    };
    const Case cases[] = {
        {folder + "\\missing.txt", qp::kErrorFileNotFound},
        {folder + "\\no\\such\\dir.txt", qp::kErrorPathNotFound},
        {folder, qp::kErrorAccessDenied},
        {"Q:\\x.txt", qp::kErrorPathNotFound},
    };
    for (const auto& c : cases) {
        qp::File file =
            qp::CreateFileA(c.path, qp::kGenericRead, qp::kFileShareRead, qp::kOpenExisting);
        EXPECT_FALSE(file) << c.path;
        EXPECT_EQ(qp::GetLastError(), c.error) << c.path;
    }
}

TEST(Files, AppendsAtTheEndAndReadsWholeFiles) {
    fs::path host;
    std::string folder = qx::test::MakeTestFolder("append", &host);
    std::string path = folder + "\\data.bin";
    ASSERT_EQ(qp::WriteWholeFile(path, std::string("ab\0c", 4)), 0u);
    {
        qp::File file =
            qp::CreateFileA(path, qp::kGenericRead | qp::kGenericWrite, 0, qp::kOpenExisting);
        ASSERT_TRUE(file);
        EXPECT_EQ(file.GetSize(), 4u);
        ASSERT_TRUE(file.SeekToEnd());
        EXPECT_TRUE(file.WriteAll("\r\n"));
    }
    std::string data;
    ASSERT_EQ(qp::ReadWholeFile(path, &data), 0u);
    EXPECT_EQ(data, std::string("ab\0c\r\n", 6));
    EXPECT_EQ(qp::ReadWholeFile(folder + "\\none", &data), qp::kErrorFileNotFound);
}

TEST(Files, AttributesFoldersAndDeletion) {
    std::string folder = qx::test::MakeTestFolder("attributes");
    EXPECT_EQ(qp::GetFileAttributesA(folder), qp::kFileAttributeDirectory);
    EXPECT_EQ(qp::GetFileAttributesA(folder + "\\x"), qp::kInvalidFileAttributes);
    ASSERT_TRUE(qp::CreateDirectoryA(folder + "\\sub"));
    EXPECT_FALSE(qp::CreateDirectoryA(folder + "\\sub"));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorAlreadyExists);
    ASSERT_EQ(qp::WriteWholeFile(folder + "\\sub\\f.txt", "x"), 0u);
    EXPECT_EQ(qp::GetFileAttributesA(folder + "\\SUB\\F.TXT"), qp::kFileAttributeNormal);
    EXPECT_FALSE(qp::DeleteFileA(folder + "\\sub"));
    EXPECT_TRUE(qp::DeleteFileA(folder + "\\sub\\f.txt"));
    EXPECT_FALSE(qp::DeleteFileA(folder + "\\sub\\f.txt"));
    EXPECT_EQ(qp::GetLastError(), qp::kErrorFileNotFound);
}

}  // namespace
