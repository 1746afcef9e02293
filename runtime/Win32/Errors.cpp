#include "Errors.h"

namespace runtime::win32 {
namespace {

std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : Wide("system error " + std::to_string(error));
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return Utf8(text);
}

}  // namespace

void RaiseFromError(DWORD error, const std::string& path, ErrorNumber missing) {
    ErrorNumber number = ErrorNumber::PathFileAccessError;
    switch (error) {
    case ERROR_FILE_NOT_FOUND: number = missing; break;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:
    case ERROR_BAD_NETPATH: number = ErrorNumber::PathNotFound; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: number = ErrorNumber::PermissionDenied; break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: number = ErrorNumber::DiskFull; break;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE: number = ErrorNumber::BadFileNameOrNumber; break;
    case ERROR_CRC:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE: number = ErrorNumber::DeviceIOError; break;
    case ERROR_TOO_MANY_OPEN_FILES: number = ErrorNumber::TooManyFiles; break;
    default: break;
    }
    Raise(number, path, SystemMessage(error));
}

}  // namespace runtime::win32
