// The registry shared by several processes: concurrent writers, a writer killed mid-burst, a
// forked child, and the registry view of machines other than the test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/machine.h"
#include "platform/registry.h"
#include "platform/registry_store.h"
#include "support/temp_machine.h"

extern char** environ;

namespace fs = std::filesystem;
namespace qp = qx::platform;

namespace {

// The helper with args, stdout into *out_fd when asked, QXSETUP_MACHINE replaced when
// machine is not empty. The pid, or -1.
pid_t Spawn(const std::vector<std::string>& args, int* out_fd = nullptr,
            const fs::path& machine = {}) {
    std::vector<std::string> env_text;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (machine.empty() || std::strncmp(*entry, "QXSETUP_MACHINE=", 16) != 0) {
            env_text.emplace_back(*entry);
        }
    }
    if (!machine.empty()) {
        env_text.push_back("QXSETUP_MACHINE=" + machine.string());
    }
    std::vector<char*> env;
    for (std::string& text : env_text) {
        env.push_back(text.data());
    }
    env.push_back(nullptr);
    std::vector<std::string> argv_text = {QX_REGISTRY_HELPER};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : argv_text) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int pipe_fds[2] = {-1, -1};
    if (out_fd != nullptr) {
        if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
            return -1;
        }
        posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    }
    pid_t pid = -1;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (out_fd != nullptr) {
        ::close(pipe_fds[1]);
        *out_fd = pipe_fds[0];
    }
    return rc == 0 ? pid : -1;
}

// Exit status, or 128 + the signal that ended the process.
int Wait(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof(buffer))) > 0) {
        text.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return text;
}

qp::LONG QueryDword(qp::HKEY key, const std::string& name, qp::DWORD* value) {
    qp::DWORD size = sizeof(*value);
    return qp::RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                reinterpret_cast<qp::BYTE*>(value), &size);
}

std::string IntegrityOfTestMachine() {
    std::string error;
    auto store = qp::RegistryStore::Open(qx::test::MachineRoot(), 1252, &error);
    return store ? store->IntegrityCheck() : error;
}

TEST(RegistryStress, TwoProcessesWritingAtOnceLoseNothingAndNeverFail) {
    constexpr int kCount = 5000;
    const auto start = std::chrono::steady_clock::now();
    pid_t first = Spawn({"write", "A-", std::to_string(kCount)});
    pid_t second = Spawn({"write", "B-", std::to_string(kCount)});
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_EQ(Wait(first), 0) << "a call of the first writer failed (see its stderr)";
    EXPECT_EQ(Wait(second), 0) << "a call of the second writer failed (see its stderr)";
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("two writers, %d values each: %.2f s\n", kCount, seconds);

    qp::RegKey key;
    ASSERT_EQ(qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxStress", 0, qp::KEY_READ,
                                key.Receive()),
              0);
    qp::DWORD values = 0;
    ASSERT_EQ(qp::RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   &values, nullptr, nullptr, nullptr, nullptr),
              0);
    EXPECT_EQ(values, 2u * kCount);
    int wrong = 0;
    for (const char* prefix : {"A-", "B-"}) {
        for (int i = 0; i < kCount; ++i) {
            qp::DWORD value = 0;
            if (QueryDword(key.Get(), prefix + std::to_string(i), &value) != 0 ||
                value != static_cast<qp::DWORD>(i)) {
                ++wrong;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(IntegrityOfTestMachine(), "ok");
}

TEST(RegistryStress, AWriterKilledMidBurstLosesNoCommittedValue) {
    for (size_t kill_after : {200u, 2500u}) {
        qp::LONG cleared = qp::RegDeleteKeyA(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxBurst");
        ASSERT_TRUE(cleared == 0 || cleared == 2) << cleared;
        int out = -1;
        pid_t pid = Spawn({"burst", "100000000"}, &out);
        ASSERT_GT(pid, 0);
        std::vector<qp::DWORD> reported;
        std::string pending;
        bool killed = false;
        char buffer[4096];
        ssize_t got = 0;
        while ((got = ::read(out, buffer, sizeof(buffer))) > 0) {
            pending.append(buffer, static_cast<size_t>(got));
            size_t whole = pending.size() / 4 * 4;
            for (size_t at = 0; at < whole; at += 4) {
                qp::DWORD index = 0;
                std::memcpy(&index, pending.data() + at, 4);
                reported.push_back(index);
            }
            pending.erase(0, whole);
            if (!killed && reported.size() >= kill_after) {
                ::kill(pid, SIGKILL);
                killed = true;
            }
        }
        ::close(out);
        EXPECT_EQ(Wait(pid), 128 + SIGKILL) << "the writer ended before it was killed";
        ASSERT_GE(reported.size(), kill_after);

        EXPECT_EQ(IntegrityOfTestMachine(), "ok");
        qp::RegKey key;
        ASSERT_EQ(qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxBurst", 0, qp::KEY_READ,
                                    key.Receive()),
                  0);
        size_t missing = 0;
        for (size_t i = 0; i < reported.size(); ++i) {
            EXPECT_EQ(reported[i], i);
            qp::DWORD value = 0;
            if (QueryDword(key.Get(), "v" + std::to_string(reported[i]), &value) != 0 ||
                value != reported[i]) {
                ++missing;
            }
        }
        EXPECT_EQ(missing, 0u) << "of " << reported.size() << " reported values";
        // And the store takes writes again at once.
        qp::DWORD one = 1;
        qp::RegKey writable;
        ASSERT_EQ(qp::RegOpenKeyExA(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxBurst", 0, qp::KEY_WRITE,
                                    writable.Receive()),
                  0);
        EXPECT_EQ(qp::RegSetValueExA(writable.Get(), "after", 0, qp::REG_DWORD,
                                     reinterpret_cast<qp::BYTE*>(&one), 4),
                  0);
    }
}

TEST(RegistryStress, AForkedChildUsesAConnectionOfItsOwn) {
    qp::RegKey key;
    ASSERT_EQ(qp::RegCreateKeyExA(qp::HKEY_LOCAL_MACHINE, "SYSTEM\\QxFork", 0, nullptr, 0,
                                  qp::KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr),
              0);
    qp::DWORD parent_value = 1;
    ASSERT_EQ(qp::RegSetValueExA(key.Get(), "parent", 0, qp::REG_DWORD,
                                 reinterpret_cast<qp::BYTE*>(&parent_value), 4),
              0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // The handle opened before the fork stays usable in the child.
        int failures = 0;
        for (qp::DWORD i = 0; i < 200; ++i) {
            std::string name = "child" + std::to_string(i);
            failures += qp::RegSetValueExA(key.Get(), name.c_str(), 0, qp::REG_DWORD,
                                           reinterpret_cast<qp::BYTE*>(&i), 4) != 0;
        }
        ::_exit(failures == 0 ? 0 : 1);
    }
    int failures = 0;
    for (qp::DWORD i = 0; i < 200; ++i) {
        std::string name = "parent" + std::to_string(i);
        failures += qp::RegSetValueExA(key.Get(), name.c_str(), 0, qp::REG_DWORD,
                                       reinterpret_cast<qp::BYTE*>(&i), 4) != 0;
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(Wait(pid), 0);
    qp::DWORD value = 0;
    EXPECT_EQ(QueryDword(key.Get(), "child199", &value), 0);
    EXPECT_EQ(value, 199u);
    EXPECT_EQ(IntegrityOfTestMachine(), "ok");
}

TEST(RegistryView, OnlyA64BitMachineRedirectsAThirtyTwoBitProgram) {
    // Printed by the helper: creating Software\QxView, opening it natively, opening
    // Software\Wow6432Node\QxView natively.
    const struct {
        const char* os;
        const char* results;
    } cases[] = {{"xp", "0 0 2\n"}, {"win7", "0 0 2\n"}, {"win7x64", "0 2 0\n"}};
    for (const auto& c : cases) {
        fs::path root = qx::test::MachineRoot() / "machines" / (std::string("view-") + c.os);
        qp::MachineSetup setup;
        setup.os = c.os;
        std::string error;
        ASSERT_TRUE(qp::Machine::Create(root, setup, true, &error)) << error;
        int out = -1;
        pid_t pid = Spawn({"view"}, &out, root);
        ASSERT_GT(pid, 0);
        EXPECT_EQ(ReadAll(out), c.results) << c.os;
        EXPECT_EQ(Wait(pid), 0);
    }
}

}  // namespace
