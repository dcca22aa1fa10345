#pragma once
// Win32 error codes as the pages know them. Every failure that reaches a page is
// one of these, whatever Linux facility produced it.

#include <cstdint>

namespace win32 {

using ErrorCode = std::uint32_t;

constexpr ErrorCode kSuccess = 0;                     // ERROR_SUCCESS
constexpr ErrorCode kFileNotFound = 2;                // ERROR_FILE_NOT_FOUND
constexpr ErrorCode kPathNotFound = 3;                // ERROR_PATH_NOT_FOUND
constexpr ErrorCode kAccessDenied = 5;                // ERROR_ACCESS_DENIED
constexpr ErrorCode kInvalidHandle = 6;               // ERROR_INVALID_HANDLE
constexpr ErrorCode kNotEnoughMemory = 8;             // ERROR_NOT_ENOUGH_MEMORY
constexpr ErrorCode kBadFormat = 11;                  // ERROR_BAD_FORMAT
constexpr ErrorCode kInvalidData = 13;                // ERROR_INVALID_DATA
constexpr ErrorCode kGenFailure = 31;                 // ERROR_GEN_FAILURE
constexpr ErrorCode kNotSupported = 50;               // ERROR_NOT_SUPPORTED
constexpr ErrorCode kInvalidParameter = 87;           // ERROR_INVALID_PARAMETER
constexpr ErrorCode kInsufficientBuffer = 122;        // ERROR_INSUFFICIENT_BUFFER
constexpr ErrorCode kInvalidName = 123;               // ERROR_INVALID_NAME
constexpr ErrorCode kBadExeFormat = 193;              // ERROR_BAD_EXE_FORMAT
constexpr ErrorCode kAlreadyExists = 183;             // ERROR_ALREADY_EXISTS
constexpr ErrorCode kTimeout = 1460;                  // ERROR_TIMEOUT
constexpr ErrorCode kElevationRequired = 740;         // ERROR_ELEVATION_REQUIRED
constexpr ErrorCode kServiceDoesNotExist = 1060;      // ERROR_SERVICE_DOES_NOT_EXIST
constexpr ErrorCode kServiceNotActive = 1062;         // ERROR_SERVICE_NOT_ACTIVE
constexpr ErrorCode kCancelled = 1223;                // ERROR_CANCELLED
constexpr ErrorCode kRpcServerUnavailable = 1722;     // RPC_S_SERVER_UNAVAILABLE
constexpr ErrorCode kInvalidPrinterName = 1801;       // ERROR_INVALID_PRINTER_NAME
constexpr ErrorCode kPrinterAlreadyExists = 1802;     // ERROR_PRINTER_ALREADY_EXISTS
constexpr ErrorCode kInvalidPrinterCommand = 1803;    // ERROR_INVALID_PRINTER_COMMAND
constexpr ErrorCode kUnknownPrinterDriver = 1797;     // ERROR_UNKNOWN_PRINTER_DRIVER
constexpr ErrorCode kPrinterNotFound = 3012;          // ERROR_PRINTER_NOT_FOUND

// errno from a failed system call, as the nearest Win32 code.
ErrorCode fromErrno(int err);

}  // namespace win32
