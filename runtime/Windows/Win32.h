// Small helpers at the Win32 boundary: UTF-8 inside, UTF-16 for the API.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// Our own runtime::CopyFile must not turn into CopyFileW.
#undef CopyFile

#include <string>

#include "../RuntimeError.h"

namespace runtime::win32 {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// The classic dialog font at a height in pixels: what the window's layout in
// twips was measured against.
HFONT CreateDialogFont(int pixelHeight);

// The path checked and normalised as Windows reads it, ready for the wide
// API ("\\?\" in front when it is too long for the plain form).
std::wstring ApiPath(const std::string& path);

// The attributes of an existing file at an API path; error 53 (with `path`)
// when there is none or it is a directory.
DWORD RequireFile(const std::wstring& apiPath, const std::string& path);

// A Win32 error as the classic run-time error; `missing` is the number used
// when the name itself is not there.
[[noreturn]] void RaiseFromError(DWORD error, const std::string& path, ErrorNumber missing);

// Closes a handle when it goes out of scope.
class Handle {
public:
    explicit Handle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Reset(); }
    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
    // Closes now; false when closing failed.
    bool Reset() {
        const bool closed = !valid() || CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        return closed;
    }

private:
    HANDLE handle_;
};

}  // namespace runtime::win32
