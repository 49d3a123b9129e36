#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/code_page.h"
#include "platform/errors.h"
#include "platform/paths.h"

namespace qx::platform {

namespace fs = std::filesystem;

File::~File() {
    Close();
}

File::File(File&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

void File::Close() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

bool File::Read(void* buffer, DWORD size, DWORD* read) {
    *read = 0;
    auto* out = static_cast<char*>(buffer);
    while (*read < size) {
        ssize_t n = ::read(m_fd, out + *read, size - *read);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            SetLastError(ErrorFromErrno(errno));
            return false;
        }
        if (n == 0) {
            break;
        }
        *read += static_cast<DWORD>(n);
    }
    return true;
}

bool File::Write(const void* data, DWORD size, DWORD* written) {
    *written = 0;
    const auto* in = static_cast<const char*>(data);
    while (*written < size) {
        ssize_t n = ::write(m_fd, in + *written, size - *written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            SetLastError(ErrorFromErrno(errno));
            return false;
        }
        *written += static_cast<DWORD>(n);
    }
    return true;
}

bool File::WriteAll(std::string_view data) {
    DWORD written = 0;
    return Write(data.data(), static_cast<DWORD>(data.size()), &written);
}

bool File::SeekToEnd() {
    if (::lseek(m_fd, 0, SEEK_END) < 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

DWORD File::GetSize() {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return kInvalidFileSize;
    }
    if (st.st_size >= static_cast<off_t>(kInvalidFileSize)) {
        SetLastError(kErrorFilenameExcedRange);
        return kInvalidFileSize;
    }
    return static_cast<DWORD>(st.st_size);
}

File CreateFileA(std::string_view path, DWORD access, DWORD /*share*/, DWORD disposition) {
    std::optional<fs::path> host = WindowsToHostPath(path);
    if (!host || path.empty()) {
        SetLastError(path.empty() ? kErrorPathNotFound : kErrorPathNotFound);
        return File();
    }
    int flags = O_CLOEXEC;
    bool read = (access & kGenericRead) != 0;
    bool write = (access & kGenericWrite) != 0;
    flags |= (read && write) ? O_RDWR : (write ? O_WRONLY : O_RDONLY);
    switch (disposition) {
        case kCreateNew:
            flags |= O_CREAT | O_EXCL;
            break;
        case kCreateAlways:
            flags |= O_CREAT | O_TRUNC;
            break;
        case kOpenExisting:
            break;
        case kOpenAlways:
            flags |= O_CREAT;
            break;
        case kTruncateExisting:
            flags |= O_TRUNC;
            break;
        default:
            SetLastError(kErrorInvalidParameter);
            return File();
    }
    std::error_code ec;
    if (fs::is_directory(*host, ec)) {
        SetLastError(kErrorAccessDenied);
        return File();
    }
    if (!fs::is_directory(host->parent_path(), ec)) {
        SetLastError(kErrorPathNotFound);
        return File();
    }
    int fd = ::open(host->c_str(), flags, 0644);
    if (fd < 0) {
        SetLastError(errno == EEXIST ? kErrorFileExists : ErrorFromErrno(errno));
        return File();
    }
    // CREATE_ALWAYS and OPEN_ALWAYS report an existing file through the last error.
    SetLastError(kErrorSuccess);
    return File(fd);
}

DWORD ReadWholeFile(std::string_view path, std::string* out) {
    File file = CreateFileA(path, kGenericRead, kFileShareRead, kOpenExisting);
    if (!file) {
        return GetLastError();
    }
    DWORD size = file.GetSize();
    if (size == kInvalidFileSize) {
        return GetLastError();
    }
    out->assign(size, '\0');
    DWORD read = 0;
    if (!file.Read(out->data(), size, &read)) {
        return GetLastError();
    }
    out->resize(read);
    return kErrorSuccess;
}

DWORD WriteWholeFile(std::string_view path, std::string_view data) {
    File file = CreateFileA(path, kGenericWrite, 0, kCreateAlways);
    if (!file) {
        return GetLastError();
    }
    return file.WriteAll(data) ? kErrorSuccess : GetLastError();
}

DWORD GetFileAttributesA(std::string_view path) {
    std::optional<fs::path> host = WindowsToHostPath(path);
    std::error_code ec;
    if (!host) {
        SetLastError(kErrorPathNotFound);
        return kInvalidFileAttributes;
    }
    fs::file_status status = fs::status(*host, ec);
    if (ec || !fs::exists(status)) {
        SetLastError(kErrorFileNotFound);
        return kInvalidFileAttributes;
    }
    return fs::is_directory(status) ? kFileAttributeDirectory : kFileAttributeNormal;
}

bool CreateDirectoryA(std::string_view path) {
    std::optional<fs::path> host = WindowsToHostPath(path);
    if (!host) {
        SetLastError(kErrorPathNotFound);
        return false;
    }
    if (::mkdir(host->c_str(), 0755) != 0) {
        SetLastError(errno == EEXIST ? kErrorAlreadyExists : ErrorFromErrno(errno));
        return false;
    }
    return true;
}

bool DeleteFileA(std::string_view path) {
    std::optional<fs::path> host = WindowsToHostPath(path);
    std::error_code ec;
    if (!host || fs::is_directory(*host, ec)) {
        SetLastError(host ? kErrorAccessDenied : kErrorPathNotFound);
        return false;
    }
    if (::unlink(host->c_str()) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    return true;
}

}  // namespace qx::platform
