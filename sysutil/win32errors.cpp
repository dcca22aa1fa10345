#include "sysutil/win32errors.h"

#include <cerrno>

namespace win32 {

ErrorCode fromErrno(int err)
{
    switch (err) {
    case 0: return kSuccess;
    case ENOENT: return kFileNotFound;
    case ENOTDIR: return kPathNotFound;
    case EACCES:
    case EPERM: return kAccessDenied;
    case ENOMEM: return kNotEnoughMemory;
    case EINVAL: return kInvalidParameter;
    case ENAMETOOLONG: return kInvalidName;
    case ENOEXEC: return kBadExeFormat;
    case EEXIST: return kAlreadyExists;
    case ETIMEDOUT: return kTimeout;
    case ECONNREFUSED:
    case EHOSTUNREACH:
    case ENETUNREACH: return kRpcServerUnavailable;
    default: return kGenFailure;
    }
}

}  // namespace win32
