#include "Win32.h"

#include "../WindowsPath.h"

namespace runtime::win32 {

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring ApiPath(const std::string& path) {
    std::wstring wide = Wide(ParseWindowsPath(path).ToString());
    if (wide.size() >= MAX_PATH - 12) wide.insert(0, L"\\\\?\\");  // room for a name in a directory
    return wide;
}

DWORD RequireFile(const std::wstring& apiPath, const std::string& path) {
    const DWORD attributes = GetFileAttributesW(apiPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        Raise(ErrorNumber::FileNotFound, path);
    return attributes;
}

namespace {
std::string SystemMessage(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : L"system error " + std::to_wstring(error);
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
