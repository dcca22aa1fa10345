#include "sysutil/formatmessage.h"

#include <map>

namespace sysutil {

QString formatMessage(win32::ErrorCode id)
{
    static const std::map<win32::ErrorCode, const char*> texts = {
        {win32::kSuccess, "The operation completed successfully."},
        {win32::kFileNotFound, "The system cannot find the file specified."},
        {win32::kPathNotFound, "The system cannot find the path specified."},
        {win32::kAccessDenied, "Access is denied."},
        {win32::kInvalidHandle, "The handle is invalid."},
        {win32::kNotEnoughMemory, "Not enough memory resources are available to process this command."},
        {win32::kBadFormat, "An attempt was made to load a program with an incorrect format."},
        {win32::kInvalidData, "The data is invalid."},
        {win32::kGenFailure, "A device attached to the system is not functioning."},
        {win32::kNotSupported, "The request is not supported."},
        {win32::kInvalidParameter, "The parameter is incorrect."},
        {win32::kInsufficientBuffer, "The data area passed to a system call is too small."},
        {win32::kInvalidName, "The filename, directory name, or volume label syntax is incorrect."},
        {win32::kAlreadyExists, "Cannot create a file when that file already exists."},
        {win32::kBadExeFormat, "%1 is not a valid Win32 application."},
        {win32::kElevationRequired, "The requested operation requires elevation."},
        {win32::kServiceDoesNotExist, "The specified service does not exist as an installed service."},
        {win32::kServiceNotActive, "The service has not been started."},
        {win32::kCancelled, "The operation was canceled by the user."},
        {win32::kTimeout, "This operation returned because the timeout period expired."},
        {win32::kRpcServerUnavailable, "The RPC server is unavailable."},
        {win32::kUnknownPrinterDriver, "The printer driver is unknown."},
        {win32::kInvalidPrinterName, "The printer name is invalid."},
        {win32::kPrinterAlreadyExists, "The printer already exists."},
        {win32::kInvalidPrinterCommand, "The printer command is invalid."},
        {win32::kPrinterNotFound, "The printer was not found."},
    };
    const auto it = texts.find(id);
    return it == texts.end() ? QString() : QString::fromLatin1(it->second);
}

}  // namespace sysutil
