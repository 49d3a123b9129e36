#include "platform/sync.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include "platform/errors.h"

namespace qp = qx::platform;

namespace {

TEST(NamedMutex, SecondCreateSeesItExistsUntilEveryHandleCloses) {
    qp::NamedMutex first = qp::CreateMutexA(true, "qxtest mutex A");
    ASSERT_TRUE(first.IsValid());
    EXPECT_EQ(qp::GetLastError(), 0u);
    EXPECT_TRUE(first.IsOwned());
    {
        qp::NamedMutex second = qp::CreateMutexA(true, "qxtest mutex A");
        EXPECT_EQ(qp::GetLastError(), qp::kErrorAlreadyExists);
        EXPECT_TRUE(second.IsValid());
        EXPECT_FALSE(second.IsOwned());
        EXPECT_FALSE(second.Release());
    }
    // Names are case-sensitive, as Windows object names are.
    qp::NamedMutex other_case = qp::CreateMutexA(true, "QXTEST MUTEX A");
    EXPECT_EQ(qp::GetLastError(), 0u);
    EXPECT_TRUE(first.Release());
    first.Close();
    qp::NamedMutex again = qp::CreateMutexA(false, "qxtest mutex A");
    EXPECT_EQ(qp::GetLastError(), 0u);
    EXPECT_FALSE(again.IsOwned());
}

TEST(NamedMutex, AnotherProcessSeesTheMutexAndAKilledHolderLeavesNone) {
    qp::NamedMutex held = qp::CreateMutexA(true, "qxtest mutex B");
    ASSERT_EQ(qp::GetLastError(), 0u);
    pid_t child = ::fork();
    if (child == 0) {
        qp::NamedMutex probe = qp::CreateMutexA(true, "qxtest mutex B");
        ::_exit(qp::GetLastError() == qp::kErrorAlreadyExists ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    held.Close();

    child = ::fork();
    if (child == 0) {
        qp::NamedMutex owner = qp::CreateMutexA(true, "qxtest mutex C");
        ::pause();  // killed below while holding it
        ::_exit(0);
    }
    // Wait until the child holds it, then kill it.
    for (int i = 0; i < 500; ++i) {
        qp::NamedMutex probe = qp::CreateMutexA(false, "qxtest mutex C");
        if (qp::GetLastError() == qp::kErrorAlreadyExists) {
            break;
        }
        probe.Close();
        ::usleep(2000);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    qp::NamedMutex after = qp::CreateMutexA(true, "qxtest mutex C");
    EXPECT_EQ(qp::GetLastError(), 0u);
    EXPECT_TRUE(after.IsOwned());
}

TEST(WindowClass, AnotherWindowIsFoundAndAnswersMessages) {
    const std::string name = "qxtest Installer Program";
    EXPECT_FALSE(qp::FindWindowA(name));
    std::atomic<int> received{0};
    {
        qp::WindowClassListener window(name, [&](qp::UINT message, qp::DWORD w, qp::DWORD l) {
            received = static_cast<int>(message);
            return w + l;
        });
        ASSERT_TRUE(window.IsListening());
        EXPECT_TRUE(qp::FindWindowA(name));
        EXPECT_FALSE(qp::FindWindowA("qxtest other class"));
        qp::DWORD result = 0;
        ASSERT_TRUE(qp::SendMessageToClass(name, 0x802, 40, 2, &result));
        EXPECT_EQ(result, 42u);
        EXPECT_EQ(received.load(), 0x802);
    }
    EXPECT_FALSE(qp::FindWindowA(name));
    EXPECT_FALSE(qp::SendMessageToClass(name, 0x802, 0, 0));
}

}  // namespace
