// qxshellopen: the machine's "open". Every file association, URL handler and the browser of a
// machine made by `qxmachine init` run it; it records what it was asked to open in the
// machine's run/shell-open.log and, with QXSETUP_HOST_OPEN=1, opens it on the host.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "platform/shell_seed.h"

extern char** environ;

namespace {

namespace qp = qx::platform;

std::string RecordLine(int argc, char** argv, qp::UINT code_page) {
    std::string line = "open";
    for (int i = 1; i < argc; ++i) {
        std::string arg = qp::CodePageToUtf8(argv[i], code_page);
        for (char& c : arg) {
            if (c == '\t' || c == '\r' || c == '\n') {
                c = ' ';
            }
        }
        line += "\t" + arg;
    }
    return line + "\n";
}

// One write to a file opened for appending, so lines of concurrent runs never interleave.
bool AppendRecord(const std::filesystem::path& file, const std::string& line) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    ssize_t written = ::write(fd, line.data(), line.size());
    ::close(fd);
    return written == static_cast<ssize_t>(line.size());
}

bool LooksLikeWindowsPath(const std::string& text) {
    return text.size() >= 2 && text[1] == ':' &&
           std::isalpha(static_cast<unsigned char>(text[0])) &&
           (text.size() == 2 || text[2] == '\\' || text[2] == '/');
}

// Hands the target to xdg-open as one argument; no shell ever sees it.
int HostOpen(const std::string& target, qp::UINT code_page) {
    std::string host_target = qp::CodePageToUtf8(target, code_page);
    if (LooksLikeWindowsPath(target)) {
        std::optional<std::filesystem::path> host = qp::WindowsToHostPath(target);
        if (!host) {
            std::cerr << "qxshellopen: no host path for " << host_target << "\n";
            return 1;
        }
        host_target = host->string();
    }
    std::vector<char*> argv = {const_cast<char*>("xdg-open"), host_target.data(), nullptr};
    pid_t pid = -1;
    int err = ::posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv.data(), environ);
    if (err != 0) {
        std::cerr << "qxshellopen: cannot run xdg-open: " << std::strerror(err) << "\n";
        return 1;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
    qp::Machine& machine = qp::Machine::Current();
    const qp::UINT code_page = machine.Config().code_page;
    const std::filesystem::path record = machine.RunFolder() / qp::kShellOpenRecord;
    if (!AppendRecord(record, RecordLine(argc, argv, code_page))) {
        std::cerr << "qxshellopen: cannot write " << record.string() << "\n";
        return 1;
    }
    const char* host_open = std::getenv("QXSETUP_HOST_OPEN");
    if (host_open != nullptr && std::strcmp(host_open, "1") == 0 && argc > 1) {
        return HostOpen(argv[1], code_page);
    }
    return 0;
}
