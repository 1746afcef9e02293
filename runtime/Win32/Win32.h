// Small helpers at the Win32 boundary: UTF-8 inside and UTF-16 for the API,
// and scoped owners for what the API hands out.
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

namespace runtime::win32 {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// A function of a system DLL that older Windows lacks, looked up when the
// program runs so that the program still loads there; nullptr when absent.
template <typename Function>
Function LookUp(const wchar_t* dll, const char* name) {
    const HMODULE module = GetModuleHandleW(dll);
    const FARPROC found = module ? GetProcAddress(module, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

// Owns one handle and closes it as its traits say, once, when it goes out of
// scope. Traits give the handle type, its invalid value and how to close it.
template <typename Traits>
class ScopedHandle {
public:
    using Handle = typename Traits::Handle;

    explicit ScopedHandle(Handle handle = Traits::Invalid()) : handle_(handle) {}
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { Reset(); }

    Handle get() const { return handle_; }
    explicit operator bool() const { return Traits::IsValid(handle_); }
    // Closes the handle held now and holds `next`; false when closing failed.
    bool Reset(Handle next = Traits::Invalid()) {
        const bool closed = !Traits::IsValid(handle_) || Traits::Close(handle_);
        handle_ = next;
        return closed;
    }
    Handle Release() {
        const Handle handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }

private:
    Handle handle_;
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }
    static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

struct FindHandleTraits : KernelHandleTraits {
    static bool Close(Handle handle) { return FindClose(handle) != FALSE; }
};

template <typename GdiObject>
struct GdiObjectTraits {
    using Handle = GdiObject;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static bool Close(Handle handle) { return DeleteObject(handle) != FALSE; }
};

struct MemoryDCTraits {
    using Handle = HDC;
    static Handle Invalid() { return nullptr; }
    static bool IsValid(Handle handle) { return handle != nullptr; }
    static bool Close(Handle handle) { return DeleteDC(handle) != FALSE; }
};

using ScopedKernelHandle = ScopedHandle<KernelHandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedFont = ScopedHandle<GdiObjectTraits<HFONT>>;
using ScopedBrush = ScopedHandle<GdiObjectTraits<HBRUSH>>;
using ScopedBitmap = ScopedHandle<GdiObjectTraits<HBITMAP>>;
using ScopedMemoryDC = ScopedHandle<MemoryDCTraits>;

// A window's DC (the screen's for nullptr), released when it goes out of scope.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC and puts the previous one back at the end.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    ~Selection() { SelectObject(dc_, previous_); }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The classic dialog font at a height in pixels: what the window's layout in
// twips was measured against.
ScopedFont CreateDialogFont(int pixelHeight);

}  // namespace runtime::win32
