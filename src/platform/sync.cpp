#include "platform/sync.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/clock.h"
#include "platform/errors.h"
#include "platform/machine.h"

namespace qx::platform {

namespace fs = std::filesystem;

namespace {

// Windows object names are case-sensitive and may hold any character: hash them for a file name.
std::string ObjectKey(std::string_view name) {
    std::uint64_t hash = 1469598103934665603ull;
    for (char c : name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%016llx", static_cast<unsigned long long>(hash));
    return buffer;
}

bool LockRange(int fd, short type, off_t start, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = 1;
    return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0;
}

// Byte 0: every handle holds it shared, so an exclusive probe tells whether the mutex exists.
// Byte 1: held exclusive by the owner.
constexpr off_t kExistsByte = 0;
constexpr off_t kOwnerByte = 1;

fs::path WindowClassFolder(std::string_view class_name) {
    return Machine::Current().RunFolder() / ("wnd-" + ObjectKey(class_name));
}

// Socket addresses go through /proc/self/fd so long machine paths still fit sun_path.
bool MakeAddress(int dir_fd, const std::string& name, sockaddr_un* address) {
    std::memset(address, 0, sizeof(*address));
    address->sun_family = AF_UNIX;
    int n = std::snprintf(address->sun_path, sizeof(address->sun_path), "/proc/self/fd/%d/%s",
                          dir_fd, name.c_str());
    return n > 0 && static_cast<size_t>(n) < sizeof(address->sun_path);
}

bool WriteFull(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadFull(int fd, void* data, size_t size, int timeout_ms) {
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        pollfd pfd{fd, POLLIN, 0};
        int ready = ::poll(&pfd, 1, timeout_ms);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return false;
        }
        ssize_t n = ::recv(fd, bytes, size, 0);
        if (n <= 0) {
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Connects to one live window of the class; stale sockets of ended processes are removed.
int ConnectToClass(std::string_view class_name) {
    fs::path folder = WindowClassFolder(class_name);
    int dir_fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) {
        return -1;
    }
    int connected = -1;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        if (fd < 0 || !MakeAddress(dir_fd, entry.path().filename().string(), &address)) {
            if (fd >= 0) {
                ::close(fd);
            }
            continue;
        }
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
            connected = fd;
            break;
        }
        ::close(fd);
        if (errno == ECONNREFUSED) {
            fs::remove(entry.path(), ec);
        }
    }
    ::close(dir_fd);
    return connected;
}

}  // namespace

NamedMutex::~NamedMutex() {
    Close();
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept : m_fd(other.m_fd), m_owned(other.m_owned) {
    other.m_fd = -1;
    other.m_owned = false;
}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_owned = other.m_owned;
        other.m_fd = -1;
        other.m_owned = false;
    }
    return *this;
}

bool NamedMutex::Release() {
    if (m_fd < 0 || !m_owned) {
        SetLastError(288);  // ERROR_NOT_OWNER
        return false;
    }
    LockRange(m_fd, F_UNLCK, kOwnerByte, false);
    m_owned = false;
    return true;
}

void NamedMutex::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);  // drops both locks of this handle
        m_fd = -1;
        m_owned = false;
    }
}

NamedMutex CreateMutexA(bool initially_owned, std::string_view name) {
    NamedMutex mutex;
    fs::path run = Machine::Current().RunFolder();
    std::error_code ec;
    fs::create_directories(run, ec);
    fs::path lock_path = run / ("mutex-" + ObjectKey(name) + ".lock");
    mutex.m_fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (mutex.m_fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return mutex;
    }
    // A creator holds byte 0 exclusively only for the moment it takes ownership; retry a
    // little when we meet one in that window.
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (LockRange(mutex.m_fd, F_WRLCK, kExistsByte, false)) {
            if (initially_owned) {
                mutex.m_owned = LockRange(mutex.m_fd, F_WRLCK, kOwnerByte, false);
            }
            LockRange(mutex.m_fd, F_RDLCK, kExistsByte, false);
            SetLastError(kErrorSuccess);
            return mutex;
        }
        if (LockRange(mutex.m_fd, F_RDLCK, kExistsByte, false)) {
            SetLastError(kErrorAlreadyExists);
            return mutex;
        }
        Sleep(5);
    }
    mutex.Close();
    SetLastError(kErrorAccessDenied);
    return mutex;
}

WindowClassListener::WindowClassListener(std::string_view class_name, Handler handler)
    : m_handler(std::move(handler)) {
    fs::path folder = WindowClassFolder(class_name);
    std::error_code ec;
    fs::create_directories(folder, ec);
    m_dir_fd = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    m_socket_name = std::to_string(::getpid()) + "-" +
                    ObjectKey(std::to_string(reinterpret_cast<std::uintptr_t>(this))) + ".sock";
    sockaddr_un address{};
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_dir_fd < 0 || fd < 0 || !MakeAddress(m_dir_fd, m_socket_name, &address) ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd, 8) != 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    m_listen_fd = fd;
    m_wake_fd = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { Serve(); });
}

WindowClassListener::~WindowClassListener() {
    if (m_thread.joinable()) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t n = ::write(m_wake_fd, &one, sizeof(one));
        m_thread.join();
    }
    if (m_listen_fd >= 0) {
        ::unlinkat(m_dir_fd, m_socket_name.c_str(), 0);
        ::close(m_listen_fd);
    }
    for (int fd : {m_wake_fd, m_dir_fd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void WindowClassListener::Serve() {
    for (;;) {
        pollfd fds[2] = {{m_listen_fd, POLLIN, 0}, {m_wake_fd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        int client = ::accept4(m_listen_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        std::uint32_t message[3] = {};
        if (ReadFull(client, message, sizeof(message), 2000)) {
            std::uint32_t result = m_handler ? m_handler(message[0], message[1], message[2]) : 0;
            WriteFull(client, &result, sizeof(result));
        }
        ::close(client);
    }
}

bool FindWindowA(std::string_view class_name) {
    int fd = ConnectToClass(class_name);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

bool SendMessageToClass(std::string_view class_name, UINT message, DWORD wparam, DWORD lparam,
                        DWORD* result) {
    int fd = ConnectToClass(class_name);
    if (fd < 0) {
        return false;
    }
    std::uint32_t packet[3] = {message, wparam, lparam};
    std::uint32_t answer = 0;
    bool ok = WriteFull(fd, packet, sizeof(packet)) && ReadFull(fd, &answer, sizeof(answer), 5000);
    ::close(fd);
    if (ok && result != nullptr) {
        *result = answer;
    }
    return ok;
}

}  // namespace qx::platform
