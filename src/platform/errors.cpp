#include "platform/errors.h"

#include <cerrno>
#include <map>

namespace qx::platform {

namespace {

thread_local DWORD t_last_error = 0;

const std::map<DWORD, const char*>& MessageTable() {
    static const std::map<DWORD, const char*> table = {
        {0, "The operation completed successfully."},
        {1, "Incorrect function."},
        {2, "The system cannot find the file specified."},
        {3, "The system cannot find the path specified."},
        {4, "The system cannot open the file."},
        {5, "Access is denied."},
        {6, "The handle is invalid."},
        {8, "Not enough storage is available to process this command."},
        {13, "The data is invalid."},
        {14, "Not enough storage is available to complete this operation."},
        {15, "The system cannot find the drive specified."},
        {17, "The system cannot move the file to a different disk drive."},
        {21, "The device is not ready."},
        {32, "The process cannot access the file because it is being used by another process."},
        {38, "Reached the end of the file."},
        {39, "The disk is full."},
        {50, "The request is not supported."},
        {53, "The network path was not found."},
        {80, "The file exists."},
        {87, "The parameter is incorrect."},
        {109, "The pipe has been ended."},
        {112, "There is not enough space on the disk."},
        {120, "This function is not supported on this system."},
        {122, "The data area passed to a system call is too small."},
        {123, "The filename, directory name, or volume label syntax is incorrect."},
        {126, "The specified module could not be found."},
        {127, "The specified procedure could not be found."},
        {145, "The directory is not empty."},
        {183, "Cannot create a file when that file already exists."},
        {193, "%1 is not a valid Win32 application."},
        {206, "The filename or extension is too long."},
        {234, "More data is available."},
        {258, "The wait operation timed out."},
        {259, "No more data is available."},
        {267, "The directory name is invalid."},
        {1008, "An attempt was made to reference a token that does not exist."},
        {1056, "An instance of the service is already running."},
        {1060, "The specified service does not exist as an installed service."},
        {1062, "The service has not been started."},
        {1223, "The operation was canceled by the user."},
        {1305, "The revision level is unknown."},
        {1306, "Indicates two revision levels are incompatible."},
        {1336, "The access control list (ACL) structure is invalid."},
        {1337, "The security ID structure is invalid."},
        {1338, "The security descriptor structure is invalid."},
        {1344, "No more memory is available for security information updates."},
        {1797, "The printer driver is unknown."},
        {1801, "The printer name is invalid."},
        {1802, "The printer already exists."},
        {1804, "The specified datatype is invalid."},
    };
    return table;
}

}  // namespace

DWORD GetLastError() {
    return t_last_error;
}

void SetLastError(DWORD error) {
    t_last_error = error;
}

DWORD ErrorFromErrno(int err) {
    switch (err) {
        case 0:
            return kErrorSuccess;
        case ENOENT:
            return kErrorFileNotFound;
        case ENOTDIR:
            return kErrorPathNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return kErrorAccessDenied;
        case EEXIST:
            return kErrorFileExists;
        case EBADF:
            return kErrorInvalidHandle;
        case ENOMEM:
            return kErrorNotEnoughMemory;
        case ENOSPC:
            return 112;
        case ENAMETOOLONG:
            return kErrorFilenameExcedRange;
        case ENOTEMPTY:
            return kErrorDirNotEmpty;
        case EINVAL:
            return kErrorInvalidParameter;
        case EBUSY:
        case ETXTBSY:
            return kErrorSharingViolation;
        default:
            return 1;  // ERROR_INVALID_FUNCTION: nothing closer exists
    }
}

std::string FormatSystemMessage(DWORD error) {
    const auto& table = MessageTable();
    auto it = table.find(error);
    if (it == table.end()) {
        return {};
    }
    return std::string(it->second) + "\r\n";
}

}  // namespace qx::platform
