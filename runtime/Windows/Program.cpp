#include "../Program.h"

#include <vector>

#include "Win32.h"

namespace runtime {

void StartProgram(const std::string& path, WindowStyle style) {
    const std::wstring program = win32::ApiPath(path);
    win32::RequireFile(program, path);

    // The clone runs in its own directory, beside its own files.
    std::wstring directory = program.substr(0, program.find_last_of(L'\\'));
    if (directory.size() == 2) directory += L'\\';
    std::wstring commandLine = L"\"" + program + L"\"";
    std::vector<wchar_t> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back(L'\0');

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(style == WindowStyle::MinimizedFocus ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(program.c_str(), mutableCommandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.c_str(), &startup, &started))
        win32::RaiseFromError(GetLastError(), path, ErrorNumber::FileNotFound);
    // Not watched: the clone lives on by itself.
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
}

}  // namespace runtime
