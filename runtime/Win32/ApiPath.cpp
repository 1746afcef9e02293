#include "ApiPath.h"

#include "../WindowsPath.h"
#include "Errors.h"

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

bool IsMiss(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_NO_MORE_FILES ||
           error == ERROR_INVALID_NAME || error == ERROR_DIRECTORY;
}

std::optional<DWORD> AttributesOf(const std::wstring& apiPath, const std::string& path) {
    const DWORD attributes = GetFileAttributesW(apiPath.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return attributes;
    const DWORD error = GetLastError();
    if (IsMiss(error)) return std::nullopt;
    RaiseFromError(error, path, ErrorNumber::PathNotFound);
}

DWORD RequireFile(const std::wstring& apiPath, const std::string& path) {
    const std::optional<DWORD> attributes = AttributesOf(apiPath, path);
    if (!attributes) Raise(ErrorNumber::FileNotFound, path);
    if (*attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) Raise(ErrorNumber::FileNotFound, path, "not a file");
    return *attributes;
}

}  // namespace runtime::win32
