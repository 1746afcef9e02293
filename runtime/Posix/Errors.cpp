#include "Errors.h"

#include <cerrno>
#include <cstring>

namespace runtime::posix {

bool IsMiss(int error) { return error == ENOENT || error == ENOTDIR; }

void RaiseFromErrno(int error, const std::string& path, ErrorNumber missing) {
    ErrorNumber number = ErrorNumber::PathFileAccessError;
    switch (error) {
    case ENOENT: number = missing; break;
    case ENOTDIR: number = ErrorNumber::PathNotFound; break;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY: number = ErrorNumber::PermissionDenied; break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: number = ErrorNumber::DiskFull; break;
    case EIO: number = ErrorNumber::DeviceIOError; break;
    case ENAMETOOLONG: number = ErrorNumber::BadFileNameOrNumber; break;
    case EMFILE:
    case ENFILE: number = ErrorNumber::TooManyFiles; break;
    default: break;
    }
    Raise(number, path, std::strerror(error));
}

}  // namespace runtime::posix
