// File primitives of the emulated machine: Windows paths in, Windows error numbers out
// (through the thread-local last error), RAII handles.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace qx::platform {

inline constexpr DWORD kGenericRead = 0x80000000u;
inline constexpr DWORD kGenericWrite = 0x40000000u;
inline constexpr DWORD kFileShareRead = 0x1;
inline constexpr DWORD kFileShareWrite = 0x2;
inline constexpr DWORD kCreateNew = 1;
inline constexpr DWORD kCreateAlways = 2;
inline constexpr DWORD kOpenExisting = 3;
inline constexpr DWORD kOpenAlways = 4;
inline constexpr DWORD kTruncateExisting = 5;
inline constexpr DWORD kInvalidFileSize = 0xFFFFFFFFu;
inline constexpr DWORD kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr DWORD kFileAttributeDirectory = 0x10;
inline constexpr DWORD kFileAttributeNormal = 0x80;

// An open file. Closing happens on destruction; a default-constructed File is invalid.
class File {
  public:
    File() = default;
    explicit File(int fd) : m_fd(fd) {}
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool IsValid() const { return m_fd >= 0; }
    explicit operator bool() const { return IsValid(); }

    // Each returns true on success; on failure the last error is set.
    bool Read(void* buffer, DWORD size, DWORD* read);
    bool Write(const void* data, DWORD size, DWORD* written);
    bool WriteAll(std::string_view data);
    bool SeekToEnd();
    DWORD GetSize();  // kInvalidFileSize on failure
    void Close();

  private:
    int m_fd = -1;
};

// CreateFileA: access is kGenericRead/kGenericWrite, disposition one of kCreateNew ... .
// The share mode is accepted for the shape of the call; the host does not enforce it.
File CreateFileA(std::string_view path, DWORD access, DWORD share, DWORD disposition);

// Reads a whole file. Returns 0 or the Windows error number.
DWORD ReadWholeFile(std::string_view path, std::string* out);
// Creates or truncates a file and writes the bytes. Returns 0 or the Windows error number.
DWORD WriteWholeFile(std::string_view path, std::string_view data);

DWORD GetFileAttributesA(std::string_view path);
bool CreateDirectoryA(std::string_view path);
bool DeleteFileA(std::string_view path);

// INI files in the Windows manner: the rest of the file is kept as it is. A null key removes
// the section, a null value removes the key.
bool WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                std::string_view path);
// Replaces the keys of a section with the "key=value" entries of a double-NUL list.
bool WritePrivateProfileSectionA(const char* section, const char* entries, std::string_view path);
// Reads one value; returns the count of bytes copied (without the NUL), the default when the
// key or file is missing. Surrounding double quotes are removed as Windows does.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* default_value,
                               char* buffer, DWORD size, std::string_view path);

}  // namespace qx::platform
