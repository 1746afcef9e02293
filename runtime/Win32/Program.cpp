#include "../Program.h"

#include <vector>

#include "../RuntimeError.h"
#include "ApiPath.h"
#include "DesktopUser.h"
#include "Errors.h"

namespace runtime {
namespace win32 {
namespace {

// Named here: XP's headers, which we build against, do not know them.
constexpr auto kTokenElevation = static_cast<TOKEN_INFORMATION_CLASS>(20);
using CreateProcessWithTokenFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID, LPCWSTR,
                                                     LPSTARTUPINFOW, LPPROCESS_INFORMATION);

std::vector<wchar_t> CommandLine(const std::wstring& program) {
    const std::wstring quoted = L"\"" + program + L"\"";
    std::vector<wchar_t> line(quoted.begin(), quoted.end());
    line.push_back(L'\0');
    return line;
}

STARTUPINFOW StartupInfo(WORD show) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = show;
    return startup;
}

void LetGo(const PROCESS_INFORMATION& started) {
    // Not watched: the clone lives on by itself.
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

}  // namespace

bool IsElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const ScopedKernelHandle owner{token};
    DWORD elevated = 0, size = 0;
    return GetTokenInformation(token, kTokenElevation, &elevated, sizeof elevated, &size) && elevated != 0;
}

ScopedKernelHandle DesktopUserToken() {
    const HWND shell = GetShellWindow();
    DWORD shellProcessId = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &shellProcessId)) return ScopedKernelHandle{};
    const ScopedKernelHandle process{OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, shellProcessId)};
    HANDLE token = nullptr;
    if (!process || !OpenProcessToken(process.get(), TOKEN_DUPLICATE, &token)) return ScopedKernelHandle{};
    const ScopedKernelHandle shellToken{token};
    HANDLE primary = nullptr;
    constexpr DWORD kAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT |
                              TOKEN_ADJUST_SESSIONID;
    if (!DuplicateTokenEx(shellToken.get(), kAccess, nullptr, SecurityImpersonation, TokenPrimary, &primary))
        return ScopedKernelHandle{};
    return ScopedKernelHandle{primary};
}

bool StartWithToken(HANDLE token, const std::wstring& program, const std::wstring& directory, WORD show,
                    const std::string& path) {
    static const auto createProcessWithToken =
        LookUp<CreateProcessWithTokenFunction>(L"advapi32.dll", "CreateProcessWithTokenW");
    if (!createProcessWithToken) return false;
    std::vector<wchar_t> commandLine = CommandLine(program);
    STARTUPINFOW startup = StartupInfo(show);
    PROCESS_INFORMATION started = {};
    if (!createProcessWithToken(token, 0, program.c_str(), commandLine.data(), 0, nullptr, directory.c_str(),
                                &startup, &started)) {
        // Never elevated instead (the Secondary Logon service may be off):
        // the clone is whole, and the user can start it.
        const DWORD error = GetLastError();
        try {
            RaiseFromError(error, path, ErrorNumber::FileNotFound);
        } catch (RuntimeError& failure) {
            failure.AddNote("the clone was made in " + path.substr(0, path.find_last_of('\\') + 1) +
                            " but could not be started as the desktop user; start " + path + " by hand");
            throw;
        }
    }
    LetGo(started);
    return true;
}

}  // namespace win32

void PrepareProcess() {
    // A path on an empty drive is an error for the tool to report, not a
    // system dialog asking for a disk.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
}

// A window program has no console to be interrupted from; a process ended
// from outside leaves at most a staging directory, which no scan counts.
InterruptionShield::InterruptionShield() = default;
InterruptionShield::~InterruptionShield() = default;
void RaiseIfInterrupted(const std::string&) {}
void EndIfInterrupted() {}

void StartProgram(const std::string& path, WindowStyle style) {
    std::wstring program = win32::ApiPath(path);
    win32::RequireFile(program, path);
    // Windows starts programs by their plain path: "\\?\" only where it must.
    if (program.starts_with(L"\\\\?\\") && program.size() - 4 < MAX_PATH) program.erase(0, 4);

    // The clone runs in its own directory, beside its own files. Windows
    // keeps a process's directory in MAX_PATH characters, long names or not.
    std::wstring directory = program.substr(0, program.find_last_of(L'\\'));
    if (directory.starts_with(L"\\\\?\\")) directory.erase(0, 4);
    if (directory.size() == 2) directory += L'\\';
    if (directory.size() >= MAX_PATH)
        Raise(ErrorNumber::PathFileAccessError, path,
              "Windows cannot start a program from a folder whose path has " + std::to_string(MAX_PATH) +
                  " characters or more; clone into a shorter destination");

    const WORD show = static_cast<WORD>(style == WindowStyle::MinimizedFocus ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    // An elevated tool starts the clone as the desktop user; with no shell
    // to take the rights from, as itself.
    if (win32::IsElevated())
        if (const win32::ScopedKernelHandle token = win32::DesktopUserToken())
            if (win32::StartWithToken(token.get(), program, directory, show, path)) return;
    std::vector<wchar_t> commandLine = win32::CommandLine(program);
    STARTUPINFOW startup = win32::StartupInfo(show);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, directory.c_str(),
                        &startup, &started))
        win32::RaiseFromError(GetLastError(), path, ErrorNumber::FileNotFound);
    win32::LetGo(started);
}

}  // namespace runtime
