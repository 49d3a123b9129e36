// Windows-shaped scalar and record types the engine and modules share.
// The product's platform is LLP64: DWORD and LONG are 32-bit here whatever the host's long is.
#pragma once

#include <cstdint>

namespace qx::platform {

using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using WORD = std::uint16_t;
using BYTE = std::uint8_t;
using COLORREF = std::uint32_t;
using LANGID = std::uint16_t;

struct POINT {
    LONG x = 0;
    LONG y = 0;
};

struct SIZE {
    LONG cx = 0;
    LONG cy = 0;
};

struct RECT {
    LONG left = 0;
    LONG top = 0;
    LONG right = 0;
    LONG bottom = 0;
};

// Windows error numbers the program reports or reacts to.
inline constexpr DWORD kErrorSuccess = 0;
inline constexpr DWORD kErrorFileNotFound = 2;
inline constexpr DWORD kErrorPathNotFound = 3;
inline constexpr DWORD kErrorAccessDenied = 5;
inline constexpr DWORD kErrorInvalidHandle = 6;
inline constexpr DWORD kErrorNotEnoughMemory = 8;
inline constexpr DWORD kErrorInvalidData = 13;
inline constexpr DWORD kErrorOutOfMemory = 14;
inline constexpr DWORD kErrorSharingViolation = 32;
inline constexpr DWORD kErrorHandleEof = 38;
inline constexpr DWORD kErrorFileExists = 80;
inline constexpr DWORD kErrorInvalidParameter = 87;
inline constexpr DWORD kErrorInsufficientBuffer = 122;
inline constexpr DWORD kErrorInvalidName = 123;
inline constexpr DWORD kErrorDirNotEmpty = 145;
inline constexpr DWORD kErrorAlreadyExists = 183;
inline constexpr DWORD kErrorFilenameExcedRange = 206;
inline constexpr DWORD kWaitTimeout = 258;
inline constexpr DWORD kErrorNoMoreItems = 259;

}  // namespace qx::platform
