#include "platform/errors.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace qp = qx::platform;

TEST(Errors, SystemTextsEndWithCrLfAndUnknownNumbersHaveNone) {
    EXPECT_EQ(qp::FormatSystemMessage(2), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(qp::FormatSystemMessage(183),
              "Cannot create a file when that file already exists.\r\n");
    EXPECT_EQ(qp::FormatSystemMessage(87), "The parameter is incorrect.\r\n");
    EXPECT_EQ(qp::FormatSystemMessage(987654), "");
}

TEST(Errors, LastErrorIsPerThread) {
    qp::SetLastError(5);
    std::thread other([] {
        EXPECT_EQ(qp::GetLastError(), 0u);
        qp::SetLastError(87);
    });
    other.join();
    EXPECT_EQ(qp::GetLastError(), 5u);
}

TEST(Errors, HostErrorsMapToWindowsNumbers) {
    EXPECT_EQ(qp::ErrorFromErrno(ENOENT), qp::kErrorFileNotFound);
    EXPECT_EQ(qp::ErrorFromErrno(EACCES), qp::kErrorAccessDenied);
    EXPECT_EQ(qp::ErrorFromErrno(EEXIST), qp::kErrorFileExists);
    EXPECT_EQ(qp::ErrorFromErrno(ENOTDIR), qp::kErrorPathNotFound);
}
