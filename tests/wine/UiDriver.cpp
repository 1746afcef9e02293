// Drives a Vornix program the way a user would, from another process under
// the same Wine: finds its window, reads and clicks its controls, reads each
// message box (title, text, icon, owner) before dismissing it, and checks
// what landed on disk. Prints one line per failed check; exit status 0 when
// every check held.
//
//   ui_driver clone      PROGRAM EDITION STANDIN     (EDITION: 50 or 48)
//   ui_driver x86        PROGRAM EDITION STANDIN
//   ui_driver desktop-user STANDIN
//   ui_driver missing    PROGRAM EDITION
//   ui_driver existing   PROGRAM EDITION STANDIN
//   ui_driver faults     PROGRAM EDITION STANDIN
//   ui_driver identity   PROGRAM EDITION STANDIN     (drive M: must lead to drive C)
//   ui_driver manners    PROGRAM EDITION STANDIN INPUT ARTIFACTS   (INPUT: the X input pipe's folder)
//   ui_driver layout     PROGRAM EDITION STANDIN BITMAP
//   ui_driver version    PROGRAM EDITION
//   ui_driver install-only STANDIN
#include "runtime/Win32/Win32.h"  // first: windows.h for what follows

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "clonetool/editions/Edition.h"
#include "runtime/FileSystem.h"
#include "runtime/RuntimeError.h"
#include "runtime/Win32/DesktopUser.h"
#include "tools/SampleInstallation.h"

namespace {

namespace fs = std::filesystem;
using vornix::EditionProfile;

// The driver's own conversions, so that what it reads is never read by the
// code under test.
std::wstring Wide(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    wide.resize(static_cast<std::size_t>(
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), static_cast<int>(wide.size()))));
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    std::string utf8(wide.size() * 3, '\0');
    utf8.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                             utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
    return utf8;
}

int failures = 0;

void Check(bool holds, const std::string& what) {
    if (holds) return;
    ++failures;
    std::printf("FAIL: %s\n", what.c_str());
    std::fflush(stdout);
}

std::string TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
    return Utf8(text);
}

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return Utf8(name);
}

// The two folders a client may be installed in: Windows' own, and the one a
// 32-bit installer uses on 64-bit Windows.
const std::string kClassicFolder = "C:\\Program Files\\";
const std::string kX86Folder = "C:\\Program Files (x86)\\";
std::string folder = kClassicFolder;  // of the scenario running
fs::path Installation() { return Wide(folder + "AIM95"); }
fs::path Slot(int n) { return Wide(folder + "AIM95" + std::to_string(n)); }
const fs::path kStandinLog = L"C:\\vornix-standin.log";

// A fresh installation in `programFiles` with the stand-in as its aim.exe,
// and no clones and no other installation.
void Reset(const std::string& standin, const std::string& programFiles = kClassicFolder) {
    for (const std::string& each : {kClassicFolder, kX86Folder}) {
        folder = each;
        for (int n = 1; n <= 10; ++n) fs::remove_all(Slot(n));
        fs::remove_all(Installation());
    }
    folder = programFiles;
    fs::remove(kStandinLog);
    if (!standin.empty()) vornix::sample::InstallInto(Installation(), Wide(standin));
}

bool Within(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top && inner.bottom <= outer.bottom;
}

POINT Centre(const RECT& area) { return {(area.left + area.right) / 2, (area.top + area.bottom) / 2}; }

std::vector<unsigned char> Bytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Program {
    PROCESS_INFORMATION process = {};

    explicit Program(const std::string& path) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + Wide(path) + L"\"";
        Check(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &process) != FALSE,
              "start " + path);
    }
    ~Program() {
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, 99);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    bool Owns(HWND window) const {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        return owner == process.dwProcessId;
    }
    int ExitStatus() {
        if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) return -1;
        DWORD status = 0;
        GetExitCodeProcess(process.hProcess, &status);
        return static_cast<int>(status);
    }
};

// Waits for a state, keeping this process's own windows answering meanwhile.
template <typename Condition>
bool WaitFor(Condition condition, DWORD milliseconds = 20000) {
    for (DWORD waited = 0; waited < milliseconds; waited += 20) {
        if (condition()) return true;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(20);
    }
    return condition();
}

// The window once it is shown, that is, with all its controls in place.
HWND FindMainWindow(const Program& program, const std::string& title) {
    HWND window = FindWindowW(nullptr, Wide(title).c_str());
    return window && program.Owns(window) && ClassOf(window) != "#32770" && IsWindowVisible(window) ? window : nullptr;
}

// The window once it is shown; nullptr, a failed check, when it never is.
HWND ShownWindow(const Program& program, const EditionProfile& edition) {
    HWND window = nullptr;
    Check(WaitFor([&] { return (window = FindMainWindow(program, edition.title)) != nullptr; }), "the window appears");
    return window;
}

// Puts a destination into the text box, as pasting it would.
void Type(HWND textBox, const std::string& text) {
    SendMessageW(textBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

struct Box {
    HWND dialog = nullptr;
    std::string title, text;
    HWND owner = nullptr;
    char icon = '?';  // 'x' red (critical), 'i' blue (information)
    RECT area = {};
};

struct BoxSearch {
    const Program* program;
    HWND found;
};

// The icon's colour on screen: handles of another process cannot be compared.
char IconColour(HWND dialog) {
    HWND child = nullptr;
    while ((child = FindWindowExW(dialog, child, L"Static", nullptr)))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) break;
    if (!child) return '?';
    RECT area;
    GetWindowRect(child, &area);
    HDC screen = GetDC(nullptr);
    int red = 0, blue = 0;
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF pixel = GetPixel(screen, x, y);
            const int r = GetRValue(pixel), g = GetGValue(pixel), b = GetBValue(pixel);
            if (r > 150 && g < 110 && b < 110) ++red;
            if (b > 150 && r < 140 && b > g) ++blue;
        }
    ReleaseDC(nullptr, screen);
    return red > blue ? 'x' : blue > red ? 'i' : '?';
}

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    if (IsWindowVisible(window) && ClassOf(window) == "#32770" && search->program->Owns(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

Box WaitForBox(const Program& program) {
    BoxSearch search{&program, nullptr};
    WaitFor([&] {
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    Box box;
    if (!search.found) return box;
    box.dialog = search.found;
    Sleep(300);  // let it paint before the icon is read
    box.title = TextOf(box.dialog);
    box.text = TextOf(GetDlgItem(box.dialog, 0xFFFF));
    box.owner = GetWindow(box.dialog, GW_OWNER);
    box.icon = IconColour(box.dialog);
    GetWindowRect(box.dialog, &box.area);
    return box;
}

void Dismiss(const Box& box) {
    PostMessageW(box.dialog, WM_COMMAND, IDOK, 0);
    WaitFor([&] { return !IsWindow(box.dialog); }, 5000);
}

// Message box texts come back with CR LF or LF only, depending on the system.
std::string Lines(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

void ExpectBox(const Program& program, HWND owner, char icon, const std::string& title, const std::string& text) {
    const Box box = WaitForBox(program);
    Check(box.dialog != nullptr, "a message box titled \"" + title + "\"");
    if (!box.dialog) return;
    Check(box.title == title, "box title \"" + box.title + "\", expected \"" + title + "\"");
    Check(Lines(box.text) == Lines(text), "box \"" + title + "\" says \"" + box.text + "\"");
    Check(box.owner == owner, "box \"" + title + "\" has the right owner");
    Check(box.icon == icon, std::string("box \"") + title + "\" shows the " + (icon == 'x' ? "critical" : "information") +
                                " icon (saw " + box.icon + ")");
    Dismiss(box);
}

HWND Child(HWND window, const std::string& windowClass, int index = 0) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == windowClass || (windowClass == "Edit" && ClassOf(child) == "EDIT"))
            if (index-- == 0) return child;
    return nullptr;
}

struct Controls {
    HWND frame, text, button, label;
};

Controls ControlsOf(HWND window) {
    HWND frame = nullptr, button = nullptr;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassOf(child) != "Button") continue;
        ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX ? frame : button) = child;
    }
    return {frame, Child(window, "Edit"), button, Child(window, "Static")};
}

// The window once shown, with `typed` (if any) put into the text box and the
// button clicked; nullptr when no window came.
HWND ClickWith(const Program& program, const EditionProfile& edition, const std::string& typed) {
    const HWND window = ShownWindow(program, edition);
    if (!window) return nullptr;
    const Controls controls = ControlsOf(window);
    if (!typed.empty()) Type(controls.text, typed);
    PostMessageW(controls.button, BM_CLICK, 0, 0);
    return window;
}

// A run-time error box over `window` that begins with `report`; then status 1.
void ExpectRunTimeError(Program& program, HWND window, const EditionProfile& edition, const std::string& report) {
    const Box box = WaitForBox(program);
    Check(box.title == edition.title && box.icon == 'x' && box.owner == window,
          "a critical run-time error box titled with the program's title, got \"" + box.title + "\"");
    Check(Lines(box.text).starts_with(Lines(report)), "the report begins \"" + report + "\": " + box.text);
    // A reason from the system is whole, its line end and full stop trimmed.
    if (report.ends_with(" (")) Check(std::regex_search(box.text, std::regex(R"(\([^\r\n]*[^.\r\n (]\)$)")), "the system's reason: " + box.text);
    Check(box.area.right - box.area.left <= GetSystemMetrics(SM_CXSCREEN), "the box fits on the screen");
    Dismiss(box);
    Check(program.ExitStatus() == 1, "status 1 after the error");
}

void ExpectExitNotices(const Program& program, HWND window, const EditionProfile& edition) {
    const std::string host = vornix::Identity::kDistributionHost;
    ExpectBox(program, window, 'i', "About...",
              edition.title + "\r\n\r\nCreated by:\r\n" + vornix::Identity::kAuthorName + "\r\n(" +
                  vornix::Identity::kAuthorEmail + ")");
    ExpectBox(program, window, 'i', "Downloaded from " + host,
              edition.notice.firstLineLead + host + "\r\n\r\n" + edition.notice.secondLineLead + host +
                  edition.notice.secondLineTail);
}

// Closes the window: both exit notices, then status 0.
void CloseWithNotices(Program& program, HWND window, const EditionProfile& edition) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    ExpectExitNotices(program, window, edition);
    Check(program.ExitStatus() == 0, "status 0 after closing");
}

const EditionProfile& EditionNamed(const std::string& name) {
    return name == "48" ? vornix::Aim48Edition() : vornix::Aim50Edition();
}

// The first line the stand-in logged, once it has.
std::string StandinLine() {
    Check(WaitFor([] { return fs::exists(kStandinLog) && fs::file_size(kStandinLog) > 0; }), "the clone was started");
    std::ifstream logFile(kStandinLog);
    std::string line;
    std::getline(logFile, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::printf("stand-in: %s\n", line.c_str());
    return line;
}

// The control with the keyboard focus in the program's window thread.
HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// Clones 1 and 2 exist; a click makes clone 3 in the folder the client is in.
void CloneScenario(const std::string& path, const EditionProfile& edition, const std::string& standin,
                   const std::string& programFiles = kClassicFolder) {
    Reset(standin, programFiles);
    for (int n : {1, 2}) {
        fs::create_directories(Slot(n));
        fs::copy_file(Installation() / "aim.exe", Slot(n) / "aim.exe");
    }

    Program program(path);
    const HWND window = ShownWindow(program, edition);
    if (!window) return;
    const Controls controls = ControlsOf(window);
    Check(TextOf(controls.text) == folder + "AIM953\\", "proposes slot 3, not " + TextOf(controls.text));
    Check(FocusOf(window) == controls.text, "the text box has the keyboard focus at start-up");

    PostMessageW(controls.button, BM_CLICK, 0, 0);
    const Box finished = WaitForBox(program);
    Check(!IsWindowEnabled(controls.button), "the button is disabled while cloning");
    Check(finished.title == "Finished Copying" && finished.icon == 'i' && finished.owner == window,
          "\"Finished Copying\" comes first, owned, with the information icon (got \"" + finished.title + "\")");
    Check(Lines(finished.text) == "Finished copying and editing the files. You should see another instance of AIM pop up.",
          "\"Finished Copying\" text: " + finished.text);
    Dismiss(finished);
    Check(!fs::exists(kStandinLog), "nothing is started before the second notice is dismissed");
    ExpectBox(program, window, 'i', "If An Error Occurs",
              "If you get a runtime error after this message box, just go to the destination directory.\r\n"
              "You can either choose to run aim from there or create a shortcut to wherever on your PC.\r\n\r\n"
              "Have Fun!!");

    const std::string line = StandinLine();
    const std::string position = edition.patchPosition == 21915 ? "at21915=" : "at21756=";
    Check(line.find(position + "33") != std::string::npos, "the started clone carries digit 3: " + line);
    Check(line.find("|show=2|") != std::string::npos, "the clone was started minimized (show state 2): " + line);
    Check(line.find("cwd=" + folder + "AIM953") != std::string::npos, "the clone runs in its own directory: " + line);
    Check(line.find("path=" + folder + "AIM953\\aim.exe") != std::string::npos, "the clone's own aim.exe ran: " + line);

    Check(WaitFor([&] { return IsWindowEnabled(controls.button) != FALSE; }), "the button is enabled again");
    Check(TextOf(controls.text) == folder + "AIM954\\", "then proposes slot 4, not " + TextOf(controls.text));
    Check(WaitFor([&] { return FocusOf(window) == controls.button; }), "the button has the focus again after the clone");

    std::size_t copied = 0;
    for (const std::string& name : edition.manifest) {
        std::vector<unsigned char> expected = Bytes(Installation() / Wide(name));
        if (name == "aim.exe") expected[static_cast<std::size_t>(edition.patchPosition - 1)] = '3';
        // The patch is a write, and aim.exe takes its time; every other copy keeps the original's.
        copied += Bytes(Slot(3) / Wide(name)) == expected &&
                  (name == "aim.exe" ||
                   fs::last_write_time(Slot(3) / Wide(name)) == fs::last_write_time(Installation() / Wide(name)));
    }
    Check(copied == edition.manifest.size(), "every file copied exactly, with its time and the one byte patched");

    CloseWithNotices(program, window, edition);
}

// With both folders installed the classic one wins; with the x86 one only,
// the whole run stays in it.
void X86Scenario(const std::string& path, const EditionProfile& edition, const std::string& standin) {
    Reset(standin, kX86Folder);
    vornix::sample::InstallInto(Wide(kClassicFolder + "AIM95"), Wide(standin));
    {
        Program program(path);
        const HWND window = ShownWindow(program, edition);
        if (!window) return;
        Check(TextOf(ControlsOf(window).text) == kClassicFolder + "AIM951\\",
              "with both installations, the classic one: " + TextOf(ControlsOf(window).text));
        PostMessageW(window, WM_CLOSE, 0, 0);
        ExpectExitNotices(program, window, edition);
    }
    CloneScenario(path, edition, standin, kX86Folder);
}

// The start as the desktop user, called directly: what Wine can show of it.
// Wine has no shell window, so the program itself starts the clone plainly;
// here the start under a token runs with this process's own.
void DesktopUserScenario(const std::string& standin) {
    Reset(standin);
    std::printf("elevated: %d, shell window: %d, desktop user's token: %d\n", runtime::win32::IsElevated() ? 1 : 0,
                GetShellWindow() ? 1 : 0, runtime::win32::DesktopUserToken() ? 1 : 0);
    HANDLE own = nullptr, primary = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &own);
    const runtime::win32::ScopedKernelHandle ownToken{own};
    DuplicateTokenEx(own, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
                     nullptr, SecurityImpersonation, TokenPrimary, &primary);
    const runtime::win32::ScopedKernelHandle token{primary};
    const std::wstring directory = Wide(folder + "AIM95");
    const bool started = runtime::win32::StartWithToken(token.get(), directory + L"\\aim.exe", directory,
                                                        SW_SHOWMINIMIZED, folder + "AIM95\\aim.exe");
    Check(started, "CreateProcessWithTokenW is there to start with");
    const std::string line = StandinLine();
    Check(line.find("|show=2|") != std::string::npos && line.ends_with("cwd=" + folder + "AIM95"),
          "minimized, in its own directory: " + line);

    // A start that fails (Secondary Logon disabled, say; here a program that
    // is not there) is an error that says where the clone is and what to do.
    std::string report = "no error";
    try {
        runtime::win32::StartWithToken(token.get(), directory + L"\\gone.exe", directory, SW_SHOWMINIMIZED,
                                       folder + "AIM95\\gone.exe");
    } catch (const runtime::RuntimeError& error) {
        report = error.Report();
    }
    Check(report.find("the clone was made in C:\\Program Files\\AIM95\\ but could not be started as the desktop user; "
                      "start C:\\Program Files\\AIM95\\gone.exe by hand)") != std::string::npos,
          "a failed start says what to do: " + report);
}

void MissingScenario(const std::string& path, const EditionProfile& edition) {
    Reset("");
    Program program(path);
    const Box box = WaitForBox(program);
    Check(box.title == "Aim Not Found" && box.icon == 'x', "\"Aim Not Found\" with the critical icon, got \"" + box.title + "\"");
    Check(Lines(box.text) ==
              "Aim.exe has either been installed in another directory or hasn't been installed at all.\n"
              "Please re-install AIM to its defauly directory in order to use this program.",
          "\"Aim Not Found\" text: " + box.text);
    Check(box.owner == nullptr, "\"Aim Not Found\" has no owner");
    Check(FindMainWindow(program, edition.title) == nullptr, "no window while the box is up");
    Dismiss(box);
    Check(program.ExitStatus() == 1, "status 1");
}

void ExistingScenario(const std::string& path, const EditionProfile& edition, const std::string& standin) {
    Reset(standin);
    fs::create_directories(Slot(1));
    std::ofstream(Slot(1) / "mine.txt") << "keep";
    Program program(path);
    const HWND window = ShownWindow(program, edition);
    if (!window) return;
    Check(TextOf(ControlsOf(window).text) == "C:\\Program Files\\AIM952\\", "a folder without a clone is passed over");
    Type(ControlsOf(window).text, "C:\\Program Files\\AIM951\\");
    PostMessageW(ControlsOf(window).button, BM_CLICK, 0, 0);
    ExpectRunTimeError(program, window, edition, "Run-time error '75':\r\n\r\nPath/File access error: C:\\Program Files\\AIM951\\");
    std::size_t entries = static_cast<std::size_t>(std::distance(fs::directory_iterator(Slot(1)), fs::directory_iterator()));
    Check(entries == 1 && Bytes(Slot(1) / "mine.txt").size() == 4, "the existing directory is untouched");
}

// The pixels of a rectangle of the screen, or of a bitmap drawn by `draw`.
std::vector<COLORREF> Pixels(HDC source, int x, int y, int width, int height) {
    std::vector<COLORREF> pixels;
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column) pixels.push_back(GetPixel(source, x + column, y + row));
    return pixels;
}

// Font handles of another process cannot be read, so the label's font is
// found by drawing its text as a static control does, at each size the window
// may choose, until one matches the screen pixel for pixel. 0: none matched.
int IdentifyFontHeight(HWND label, int dpi) {
    RECT area;
    GetWindowRect(label, &area);
    const int width = area.right - area.left, height = area.bottom - area.top;
    const runtime::win32::WindowDC screen(nullptr);
    const std::vector<COLORREF> shown = Pixels(screen.get(), area.left, area.top, width, height);
    const runtime::win32::ScopedMemoryDC memory{CreateCompatibleDC(screen.get())};
    const runtime::win32::ScopedBitmap canvas{CreateCompatibleBitmap(screen.get(), width, height)};
    const runtime::win32::Selection onCanvas(memory.get(), canvas.get());
    const std::wstring text = Wide(TextOf(label));
    const int largest = MulDiv(8, dpi, 72);
    for (int size = largest; size >= largest * 3 / 4; --size) {
        RECT all = {0, 0, width, height};
        FillRect(memory.get(), &all, GetSysColorBrush(COLOR_BTNFACE));
        const runtime::win32::ScopedFont font = runtime::win32::CreateDialogFont(size);
        const runtime::win32::Selection inFont(memory.get(), font.get());
        SetTextColor(memory.get(), GetSysColor(COLOR_WINDOWTEXT));
        SetBkMode(memory.get(), TRANSPARENT);
        DrawTextW(memory.get(), text.c_str(), -1, &all, DT_LEFT | DT_WORDBREAK | DT_EXPANDTABS);
        if (Pixels(memory.get(), 0, 0, width, height) == shown) return size;
    }
    return 0;
}

// Starts the program, optionally types a destination, clicks, and expects a
// run-time error box that begins with `report`; then status 1.
void ExpectErrorAfterClick(const std::string& path, const EditionProfile& edition, const std::string& typed,
                           const std::string& report) {
    Program program(path);
    const HWND window = ClickWith(program, edition, typed);
    if (!window) return;
    ExpectRunTimeError(program, window, edition, report);
    for (const auto& entry : fs::directory_iterator(Wide(folder)))
        Check(!entry.path().filename().wstring().starts_with(L"vornix-partial-"),
              "nothing of the run is left: " + Utf8(entry.path().wstring()));
}

// Types `typed` into the box, clicks, dismisses both notices and closes the
// window; gives the line the started clone logged.
std::string StartedCloneOf(const std::string& path, const EditionProfile& edition, const std::string& typed) {
    fs::remove(kStandinLog);
    Program program(path);
    const HWND window = ClickWith(program, edition, typed);
    if (!window) return {};
    Dismiss(WaitForBox(program));
    Dismiss(WaitForBox(program));
    const std::string line = StandinLine();
    CloseWithNotices(program, window, edition);
    return line;
}

// Whatever name reaches a slot's directory, the clone gets that slot's digit;
// a client of the other release is refused before anything is made.
void IdentityScenario(const std::string& path, const EditionProfile& edition, const std::string& standin) {
    Reset(standin);
    const std::string digitAt = edition.patchPosition == 21915 ? "|at21915=" : "|at21756=";
    wchar_t shortName[MAX_PATH] = {};
    GetShortPathNameW(L"C:\\Program Files", shortName, MAX_PATH);
    std::printf("short name of C:\\Program Files: %s\n", Utf8(shortName).c_str());
    Check(Utf8(shortName) != "C:\\Program Files", "Wine gives C:\\Program Files a short name");
    const struct {
        std::string typed;
        int slot;
    } aliases[] = {{Utf8(shortName) + "\\AIM953\\", 3}, {"m:\\program files\\aim954", 4}};
    for (const auto& alias : aliases) {
        const std::string line = StartedCloneOf(path, edition, alias.typed);
        Check(line.find(digitAt + "3" + std::to_string(alias.slot) + "|") != std::string::npos,
              alias.typed + " gets digit " + std::to_string(alias.slot) + ": " + line);
        Check(fs::exists(Slot(alias.slot) / "aim.exe"), alias.typed + " is slot " + std::to_string(alias.slot) + "'s directory");
    }

    // This very program carries a version block; made to say the other
    // release, it stands in for the other release's aim.exe.
    Reset(standin);
    std::vector<unsigned char> client = Bytes(Wide(path));
    const unsigned char signature[] = {0xBD, 0x04, 0xEF, 0xFE, 0x00, 0x00, 0x01, 0x00};  // and the structure's version
    const auto fixed = std::search(client.begin(), client.end(), std::begin(signature), std::end(signature));
    Check(fixed != client.end(), "the program has a version block");
    if (fixed == client.end()) return;
    const bool fifty = edition.release.major == 5;
    const std::uint32_t other = fifty ? 0x00040008 : 0x00050000;
    for (int i = 0; i < 4; ++i) fixed[8 + i] = static_cast<unsigned char>(other >> (8 * i));
    std::ofstream(Installation() / "aim.exe", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(client.data()), static_cast<std::streamsize>(client.size()));
    Program program(path);
    ExpectBox(program, nullptr, 'x', "Wrong Version of AIM",
              "C:\\Program Files\\AIM95\\aim.exe is AIM " + std::string(fifty ? "4.8 (file version 4.8.0.2790)" : "5.0 (file version 5.0.0.2790)") +
                  ", and this program clones AIM " + (fifty ? "5.0" : "4.8") +
                  " only.\r\nUse Vornix (AIM v5.0) for AIM 5.0 and Vornix (AIM v4.8) for AIM 4.8.");
    Check(program.ExitStatus() == 1, "status 1 after the refusal");
    Check(!fs::exists(Slot(1)), "nothing is made");
}

// A window, title bar and all, as the screen shows it, into a 24-bit bitmap file.
void SaveScreenshot(HWND window, const std::string& bitmap) {
    RECT area;
    GetWindowRect(window, &area);
    const int width = area.right - area.left, height = area.bottom - area.top;
    const runtime::win32::WindowDC screen(nullptr);
    const runtime::win32::ScopedMemoryDC memory{CreateCompatibleDC(screen.get())};
    const runtime::win32::ScopedBitmap picture{CreateCompatibleBitmap(screen.get(), width, height)};
    {
        const runtime::win32::Selection onPicture(memory.get(), picture.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY);
    }
    BITMAPINFOHEADER header = {sizeof header, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<char> pixels((static_cast<DWORD>(width) * 3 + 3) / 4 * 4 * static_cast<DWORD>(height));
    GetDIBits(memory.get(), picture.get(), 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof header + pixels.size()), 0, 0,
                             sizeof(BITMAPFILEHEADER) + sizeof header};
    std::ofstream out(fs::path(Wide(bitmap)), std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
}

// Keys and clicks as a user makes them, through the X server: the harness
// carries out each xdotool command written to its pipe, then marks it done.
class XInput {
public:
    explicit XInput(const std::string& directory) : directory_(Wide(directory)) {}

    void Do(const std::string& command) const {
        fs::remove(directory_ / L"done");
        std::ofstream(directory_ / L"command", std::ios::binary) << command << "\n";
        Check(WaitFor([&] { return fs::exists(directory_ / L"done"); }, 5000), "X input carried out: " + command);
    }

    // Gives the X input focus to a window, as a window manager does when the
    // user picks it: Wine activates the window it sees focused.
    void FocusOn(HWND window) const {
        const auto x11 = reinterpret_cast<std::uintptr_t>(GetPropW(window, L"__wine_x11_whole_window"));
        Do("windowfocus --sync " + std::to_string(x11));
    }

    // Focuses `window` until `activated` holds: X may drop a focus change
    // that crosses one still on its way.
    template <typename Condition>
    bool FocusUntil(HWND window, Condition activated) const {
        for (int attempt = 0; attempt < 3; ++attempt) {
            FocusOn(window);
            if (WaitFor(activated, 5000)) return true;
        }
        return false;
    }

private:
    fs::path directory_;
};

// How much wider than its own text control a box's widest run without a
// space is, in the font message boxes use: more than 0 and the box breaks it.
int WidestRunPastTheText(const Box& box) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const runtime::win32::ScopedFont font{CreateFontIndirectW(&metrics.lfMessageFont)};
    const runtime::win32::WindowDC screen(nullptr);
    const runtime::win32::Selection inFont(screen.get(), font.get());
    RECT text;
    GetClientRect(GetDlgItem(box.dialog, 0xFFFF), &text);
    int widest = 0;
    const std::wstring wide = Wide(box.text);
    for (std::size_t start = 0; start < wide.size();) {
        const std::size_t end = std::min(wide.find_first_of(L" \r\n", start), wide.size());
        SIZE size = {};
        GetTextExtentPoint32W(screen.get(), wide.c_str() + start, static_cast<int>(end - start), &size);
        widest = std::max(widest, static_cast<int>(size.cx));
        start = end + 1;
    }
    return widest - text.right;
}

// Destinations too long for any box: each report fits the work area, OK
// button and all, and no line of it is broken a second time.
void ExpectTooLongReportsToFit(const std::string& path, const EditionProfile& edition, const std::string& artifacts) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const std::string manyNames = [] {
        std::string text = "C:\\";
        for (int i = 0; i < 40; ++i) text += std::string(140, 'd') + "\\";
        return text;
    }();
    const struct {
        std::string typed, picture;
    } tooLong[] = {{"C:\\" + std::string(6000, 'n') + "\\", "box-name-too-long"}, {manyNames, "box-path-too-long"}};
    for (const auto& c : tooLong) {
        Program refused(path);
        if (!ClickWith(refused, edition, c.typed)) return;
        const Box box = WaitForBox(refused);
        SaveScreenshot(box.dialog, artifacts + "\\" + c.picture + ".bmp");
        RECT ok = {};
        GetWindowRect(GetDlgItem(box.dialog, IDOK), &ok);
        Check(Within(box.area, work) && Within(ok, work) && ok.bottom > ok.top,
              c.picture + ": the box fits the work area, OK button and all, at " +
                  std::to_string(box.area.right - box.area.left) + "x" + std::to_string(box.area.bottom - box.area.top));
        Check(WidestRunPastTheText(box) <= 0, c.picture + ": a run is " + std::to_string(WidestRunPastTheText(box)) +
                                                  " pixels wider than the box's text, which breaks it again");
        Check(box.text.find("\xE2\x80\xA6") != std::string::npos, c.picture + ": what does not fit is left out");
        Dismiss(box);
        Check(refused.ExitStatus() == 1, "status 1 after the error");
    }
}

// What a user meets at the keyboard, with real keys and clicks: the proposal
// selected at start-up, the focus back where it was after switching away and
// after a minimise, a held Enter that clicks once, boxes that fit the screen.
void MannersScenario(const std::string& path, const EditionProfile& edition, const std::string& standin,
                     const std::string& inputDirectory, const std::string& artifacts) {
    Reset(standin);
    for (int n : {1, 2}) {
        fs::create_directories(Slot(n));
        fs::copy_file(Installation() / "aim.exe", Slot(n) / "aim.exe");
    }
    const XInput x(inputDirectory);
    Program program(path);
    const HWND window = ShownWindow(program, edition);
    if (!window) return;
    const Controls controls = ControlsOf(window);
    x.FocusOn(window);  // what a window manager would do as the window appears
    const std::string proposal = TextOf(controls.text);
    const DWORD selection = static_cast<DWORD>(SendMessageW(controls.text, EM_GETSEL, 0, 0));
    Check(LOWORD(selection) == 0 && HIWORD(selection) == proposal.size(), "the proposal is selected at start-up");
    x.Do("type Z");
    Check(WaitFor([&] { return TextOf(controls.text) == "Z"; }), "typing replaces the proposal: " + TextOf(controls.text));
    Type(controls.text, proposal);

    // Coming back to the window keeps the caret where it was: what is typed
    // then goes on from it, replacing nothing.
    x.Do("key End");
    x.Do("type Xa");
    Check(WaitFor([&] { return TextOf(controls.text) == proposal + "Xa"; }), "typed at the end: " + TextOf(controls.text));
    const HWND other = CreateWindowExW(0, L"STATIC", L"Another window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 400, 300,
                                       200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    Check(x.FocusUntil(other, [&] { return GetForegroundWindow() == other; }), "another window is activated");
    Check(x.FocusUntil(window, [&] { return GetForegroundWindow() == window && FocusOf(window) == controls.text; }),
          "back in Vornix, the text box has the focus again");
    x.Do("type Yb");
    Check(WaitFor([&] { return TextOf(controls.text) == proposal + "XaYb"; }),
          "typing after coming back goes on from the caret: " + TextOf(controls.text));
    Type(controls.text, proposal);

    // Another window, and back; a minimise and a restore.
    x.Do("key Tab");
    Check(WaitFor([&] { return FocusOf(window) == controls.button; }), "Tab moves to the button");
    Check(x.FocusUntil(other, [&] { return GetForegroundWindow() == other; }), "another window is activated");
    Check(x.FocusUntil(window, [&] { return GetForegroundWindow() == window && FocusOf(window) == controls.button; }),
          "back in Vornix, the button has the focus again");
    Check(x.FocusUntil(other, [&] { return GetForegroundWindow() == other; }), "another window is activated again");
    DestroyWindow(other);
    ShowWindow(window, SW_MINIMIZE);
    Check(WaitFor([&] { return IsIconic(window) != FALSE; }), "minimised");
    ShowWindow(window, SW_RESTORE);
    Check(WaitFor([&] { return !IsIconic(window) && IsWindowVisible(window); }), "restored");
    Check(x.FocusUntil(window, [&] { return GetForegroundWindow() == window && FocusOf(window) == controls.button; }),
          "restored, the button has the focus again");
    SaveScreenshot(window, artifacts + "\\focus-after-restore.bmp");


    // Enter pressed once and held through both notices. Tab there and back
    // first: the keys come after whatever X still had to say about focus.
    x.Do("key Tab");
    Check(WaitFor([&] { return FocusOf(window) == controls.text; }), "Tab moves to the text box");
    x.Do("key Tab");
    Check(WaitFor([&] { return FocusOf(window) == controls.button; }), "and back to the button");
    x.Do("keydown Return");
    const Box finished = WaitForBox(program);
    Check(finished.title == "Finished Copying", "a fresh Enter clicks: " + finished.title);
    // Where its OK button is, from the window's corner: a click meant for a
    // box still to come lands there.
    RECT ok = {}, owner = {};
    GetWindowRect(GetDlgItem(finished.dialog, IDOK), &ok);
    GetWindowRect(window, &owner);
    const POINT okFromCorner = {Centre(ok).x - owner.left, Centre(ok).y - owner.top};
    x.Do("keydown Return");
    Check(WaitFor([&] { return !IsWindow(finished.dialog); }), "the held Enter dismisses the first notice");
    const Box second = WaitForBox(program);
    x.Do("keydown Return");
    Check(WaitFor([&] { return !IsWindow(second.dialog); }), "and the second");
    StandinLine();
    Check(WaitFor([&] { return IsWindowEnabled(controls.button) && FocusOf(window) == controls.button; }),
          "the button has the focus after the clone");
    x.Do("keydown Return");
    x.Do("keydown Return");
    x.Do("keyup Return");
    x.Do("key alt+F4");  // comes after the held keys, in the same input
    const Box next = WaitForBox(program);
    Check(next.title == "About...", "the held Enter did not click again: next came \"" + next.title + "\"");
    if (next.title == "About...") {
        // Closes asked for again ("End task") while the close's notices are up are that close's.
        for (int again = 0; again < 2; ++again) {
            DWORD_PTR answer = 0;
            SendMessageTimeoutW(window, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &answer);
        }
        Dismiss(next);
        const Box downloaded = WaitForBox(program);
        Check(downloaded.title.starts_with("Downloaded from "), "then the second notice, once: " + downloaded.title);
        Dismiss(downloaded);
    }
    Check(program.ExitStatus() == 0, "status 0 after closing, with no more notices");
    Check(!fs::exists(Slot(4)), "no second clone");

    // Four quick presses of Enter that reach a busy program make one clone,
    // and a close request during the click waits for it: each notice stays up
    // until dismissed, then the exit notices come.
    Program busy(path);
    const HWND busyWindow = ShownWindow(busy, edition);
    if (!busyWindow) return;
    const HWND busyButton = ControlsOf(busyWindow).button;
    x.FocusOn(busyWindow);
    x.Do("key Tab");
    Check(WaitFor([&] { return FocusOf(busyWindow) == busyButton; }), "Tab moves to the button");
    RECT busyArea = {}, button = {};
    GetWindowRect(busyWindow, &busyArea);
    GetWindowRect(busyButton, &button);
    const std::string onButton = std::to_string(Centre(button).x) + " " + std::to_string(Centre(button).y);
    const std::string onOk = std::to_string(busyArea.left + okFromCorner.x) + " " + std::to_string(busyArea.top + okFromCorner.y);
    const HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(busyWindow, nullptr));
    SuspendThread(thread);  // what X delivers meanwhile waits, as it does behind a long copy
    x.Do("key --delay 100 Return Return Return Return");
    x.Do("mousemove " + onButton + " click --repeat 3 --delay 100 1");
    x.Do("mousemove " + onOk + " click --repeat 2 --delay 100 1");
    ResumeThread(thread);
    CloseHandle(thread);
    const Box copied = WaitForBox(busy);
    Check(copied.title == "Finished Copying", "the first press clicks: " + copied.title);
    DWORD_PTR answer = 0;
    Check(SendMessageTimeoutW(busyWindow, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &answer) != 0,
          "a close request during the click is held, not run inside it");
    Check(IsWindow(copied.dialog) && IsWindowVisible(copied.dialog), "the queued presses and clicks left \"Finished Copying\" up");
    Dismiss(copied);
    const Box advice = WaitForBox(busy);
    Check(advice.title == "If An Error Occurs", "the second notice comes next: " + advice.title);
    Dismiss(advice);
    ExpectExitNotices(busy, busyWindow, edition);
    Check(busy.ExitStatus() == 0, "status 0 after the held close");
    Check(fs::exists(Slot(4) / "aim.exe") && !fs::exists(Slot(5)), "four presses and five clicks made one clone");

    // A paste past what Windows takes is held whole enough to be refused, never cut short silently.
    {
        Program pasted(path);
        const HWND pastedWindow = ShownWindow(pasted, edition);
        if (!pastedWindow) return;
        const Controls box = ControlsOf(pastedWindow);
        Type(box.text, "");
        // Typed in pieces, as a paste arrives: each is taken up to the limit.
        const std::wstring piece(3300, L'n');
        SendMessageW(box.text, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"C:\\"));
        for (int i = 0; i < 10; ++i) SendMessageW(box.text, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(piece.c_str()));
        const LRESULT held = SendMessageW(box.text, WM_GETTEXTLENGTH, 0, 0);
        Check(held == 32768, "the box takes 32768 characters: " + std::to_string(held));
        PostMessageW(box.button, BM_CLICK, 0, 0);
        ExpectRunTimeError(pasted, pastedWindow, edition, "Run-time error '52':");
    }

}

// Every box a run shows, on a small or large screen at any DPI: within the
// work area, its text shown from its beginning, never shortened to nothing.
void BoxesScenario(const std::string& path, const EditionProfile& edition, const std::string& standin,
                   const std::string& artifacts) {
    Reset(standin);
    for (int n = 1; n <= 8; ++n) {
        fs::create_directories(Slot(n));
        fs::copy_file(Installation() / "aim.exe", Slot(n) / "aim.exe");
    }
    fs::create_directories(Slot(9));
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const std::string host = vornix::Identity::kDistributionHost;
    Program program(path);
    const auto expectFitting = [&](const std::string& title, const std::string& beginning) {
        const Box box = WaitForBox(program);
        std::string picture = title.substr(0, title.find(' '));
        SaveScreenshot(box.dialog, artifacts + "\\dialog-" + picture + ".bmp");
        Check(box.title == title, "the box \"" + title + "\" comes: " + box.title);
        Check(Within(box.area, work),
              title + ": the box fits the work area, at " + std::to_string(box.area.right - box.area.left) + "x" +
                  std::to_string(box.area.bottom - box.area.top));
        std::string flat = box.text;
        std::erase(flat, '\r');
        std::replace(flat.begin(), flat.end(), '\n', ' ');
        Check(flat.starts_with(beginning), title + ": the text begins \"" + beginning + "\": " + box.text);
        Dismiss(box);
    };
    expectFitting("Clone Folders In Use", "C:\\Program Files\\AIM959\\ is a folder without a clone in it,");
    const HWND window = ShownWindow(program, edition);
    if (!window) return;
    PostMessageW(ControlsOf(window).button, BM_CLICK, 0, 0);
    expectFitting("Finished Copying", "Finished copying and editing the files.");
    expectFitting("If An Error Occurs", "If you get a runtime error after this message box,");
    StandinLine();
    expectFitting("Clone Folders In Use", "C:\\Program Files\\AIM959\\ is a folder");  // the next proposal's
    PostMessageW(window, WM_CLOSE, 0, 0);
    expectFitting("About...", edition.title);
    expectFitting("Downloaded from " + host, edition.notice.firstLineLead + host);
    Check(program.ExitStatus() == 0, "status 0 after closing");
    Reset(standin);  // no folder in use: the window comes without a notice
    ExpectTooLongReportsToFit(path, edition, artifacts);
}

// Failures of the Win32 runtime: each reported, none leaving a half-made clone.
void FaultsScenario(const std::string& path, const EditionProfile& edition, const std::string& standin) {
    // Only ordinary files count as clones: not hidden, not system, not directories.
    Reset(standin);
    // Slot 1 stays free: any of them counted would carry the proposal past it.
    for (int n : {3, 5}) {
        fs::create_directories(Slot(n));
        fs::copy_file(Installation() / "aim.exe", Slot(n) / "aim.exe");
    }
    SetFileAttributesW((Slot(3) / "aim.exe").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW((Slot(5) / "aim.exe").c_str(), FILE_ATTRIBUTE_SYSTEM);
    fs::create_directories(Slot(7) / "aim.exe");
    {
        Program program(path);
        const HWND window = ShownWindow(program, edition);
        if (!window) return;
        Check(TextOf(ControlsOf(window).text) == "C:\\Program Files\\AIM951\\",
              "hidden, system and directory aim.exe are no clones; proposed " + TextOf(ControlsOf(window).text));
        CloseWithNotices(program, window, edition);
    }
    for (int n : {3, 5}) SetFileAttributesW((Slot(n) / "aim.exe").c_str(), FILE_ATTRIBUTE_NORMAL);

    Reset(standin);
    fs::remove(Installation() / "Patcher.dll");
    ExpectErrorAfterClick(path, edition, "",
                          "Run-time error '53':\r\n\r\nFile not found: C:\\Program Files\\AIM95\\Patcher.dll");
    Check(!fs::exists(Slot(1)), "no half-made clone after a missing file");

    Reset(standin);
    std::ofstream(Installation() / "aim.exe", std::ios::binary | std::ios::trunc) << std::string(20000, 'M');
    ExpectErrorAfterClick(path, edition, "",
                          "Run-time error '63':\r\n\r\nBad record number: C:\\Program Files\\AIM951\\aim.exe "
                          "(byte position 21915");
    Check(!fs::exists(Slot(1)), "no half-made clone after a short aim.exe");
    Check(fs::file_size(Installation() / "aim.exe") == 20000, "the installed aim.exe is untouched");

    Reset(standin);
    ExpectErrorAfterClick(path, edition, "C:\\Program Files\\A|B\\", "Run-time error '52':");
    ExpectErrorAfterClick(path, edition, "AIM953\\", "Run-time error '76':");
    ExpectErrorAfterClick(path, edition, "\\\\server\\share\\Clone\\",
                          "Run-time error '76':\r\n\r\nPath not found: \\\\server\\share\\Clone\\ (a network path, which is not "
                          "taken: map a drive letter to the share)");
    ExpectErrorAfterClick(path, edition, "\\\\?\\C:\\Clone\\", "Run-time error '76':\r\n\r\nPath not found: \\\\?\\C:\\Clone\\ (a device path");
    ExpectErrorAfterClick(path, edition, "C:\\A\x7F" "B\\", "Run-time error '52':\r\n\r\nBad file name or number: C:\\A\x7F" "B\\ (the delete character (U+007F)");
    ExpectErrorAfterClick(path, edition, "C:\\CON\\", "Run-time error '52':");
    // A long path is broken over lines at its separators, not across the screen.
    const std::string deep = "C:\\" + std::string(100, 'n') + "\\" + std::string(100, 'n') + "\\" + std::string(100, 'n') + "\\";
    ExpectErrorAfterClick(path, edition, deep, "Run-time error '76':");

    // A folder too long for Windows to start a program from is refused at the
    // click, before anything is made; one character less is cloned and started.
    const std::string longFolder = "C:\\" + std::string(130, 'm');
    CreateDirectoryW(Wide(longFolder).c_str(), nullptr);
    const std::string longest = longFolder + "\\" + std::string(248 - longFolder.size() - 1, 'c');
    ExpectErrorAfterClick(path, edition, longest + "x\\", "Run-time error '52':\r\n\r\nBad file name or number: C:\\");
    Check(!fs::exists(Wide(longest + "x")), "nothing is made for a folder too long");
    const std::string started = StartedCloneOf(path, edition, longest);
    Check(started.find("path=" + longest + "\\aim.exe|") != std::string::npos, "a folder of 248 characters is started: " + started);
    // A slot's name under another folder is no slot: no digit.
    fs::create_directories(L"C:\\Elsewhere");
    const std::string elsewhere = StartedCloneOf(path, edition, "C:\\Elsewhere\\AIM953\\");
    Check(elsewhere.find("|at21915=00|at21756=00|") != std::string::npos, "C:\\Elsewhere\\AIM953\\ gets no digit: " + elsewhere);
    fs::remove_all(L"C:\\Elsewhere");

    // A source held by another program without sharing is named as the source.
    Reset(standin);
    {
        const runtime::win32::ScopedKernelHandle held{CreateFileW((Installation() / "Aim95.hlp").c_str(), GENERIC_READ, 0,
                                                                  nullptr, OPEN_EXISTING, 0, nullptr)};
        ExpectErrorAfterClick(path, edition, "",
                              "Run-time error '70':\r\n\r\nPermission denied: C:\\Program Files\\AIM95\\Aim95.hlp (");
    }
    runtime::RemoveDirectoryTree("C:\\" + std::string(130, 'm'));

    // An installation whose files are read-only (copied from a CD) is
    // cloned, patched and started; it stays read-only.
    Reset(standin);
    for (const std::string& name : edition.manifest) SetFileAttributesW((Installation() / Wide(name)).c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string fromReadOnly = StartedCloneOf(path, edition, "");
    const std::string digitAt = edition.patchPosition == 21915 ? "|at21915=31|" : "|at21756=31|";
    Check(fromReadOnly.find(digitAt) != std::string::npos, "a read-only installation is cloned and patched: " + fromReadOnly);
    std::size_t stillReadOnly = 0;
    for (const std::string& name : edition.manifest) {
        const std::wstring file = (Installation() / Wide(name)).wstring();
        stillReadOnly += (GetFileAttributesW(file.c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    Check(stillReadOnly == edition.manifest.size(), "the installation stays read-only");

    // A letter outside ASCII: the clone is made in exactly that folder and started from it.
    const std::string cafe = StartedCloneOf(path, edition, "C:\\Program Files\\Caf\xC3\xA9\\");
    Check(fs::exists(L"C:\\Program Files\\Caf\u00E9\\aim.exe"), "the clone is in C:\\Program Files\\Caf\xC3\xA9");
    Check(cafe.find("path=C:\\Program Files\\Caf\xC3\xA9\\aim.exe|") != std::string::npos &&
              cafe.ends_with("cwd=C:\\Program Files\\Caf\xC3\xA9"),
          "started from C:\\Program Files\\Caf\xC3\xA9: " + cafe);
    fs::remove_all(L"C:\\Program Files\\Caf\u00E9");

    // Climbing past the root lands on the drive, with no slot digit.
    fs::remove_all(L"C:\\Clone");
    const std::string line = StartedCloneOf(path, edition, "C:\\..\\..\\Clone");
    Check(line.find("path=C:\\Clone\\aim.exe|") != std::string::npos, "the clone in C:\\Clone was started: " + line);
    Check(Bytes(L"C:\\Clone\\aim.exe") == Bytes(Installation() / "aim.exe"), "C:\\Clone\\aim.exe is an unpatched copy");
    fs::remove_all(L"C:\\Clone");
}

// Client area and controls in twips at the window's DPI, every text whole,
// the text box grey; the whole window is saved as a bitmap to look at.
void LayoutScenario(const std::string& path, const EditionProfile& edition, const std::string& standin,
                    const std::string& bitmap) {
    Reset(standin);
    Program program(path);
    const HWND window = ShownWindow(program, edition);
    if (!window) return;
    Sleep(500);
    const runtime::win32::WindowDC screenDC(nullptr);
    const HDC screen = screenDC.get();
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    std::printf("DPI %d\n", dpi);

    RECT client;
    GetClientRect(window, &client);
    Check(client.right == px(2895) && client.bottom == px(2010),
          "client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
    const Controls controls = ControlsOf(window);
    struct Expected {
        HWND control;
        const char* name;
        int left, top, width, height;
        const char* text;
    } expected[] = {
        {controls.frame, "Frame2", 0, 0, 2895, 855, "Destination Directory"},
        {controls.text, "txtDestination", 240, 360, 2415, 285, "C:\\Program Files\\AIM951\\"},
        {controls.label, "Label1", 120, 960, 2655, 615,
         "You need approximately 5.25MB free disk space to ensure that the files get copied properly."},
        {controls.button, "Command1", 120, 1680, 2655, 255, "Start Cloning..."},
    };
    const int fontHeight = IdentifyFontHeight(controls.label, dpi);
    std::printf("font height %d px\n", fontHeight);
    Check(fontHeight > 0, "the label's font is the dialog font at one of the sizes the window may pick");
    const runtime::win32::ScopedFont measuring = runtime::win32::CreateDialogFont(fontHeight ? fontHeight : 1);
    const runtime::win32::Selection inFont(screen, measuring.get());
    for (const Expected& e : expected) {
        Check(e.control != nullptr, std::string(e.name) + " exists");
        if (!e.control) continue;
        RECT r;
        GetWindowRect(e.control, &r);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
        Check(r.left == px(e.left) && r.top == px(e.top) && r.right - r.left == px(e.width) &&
                  r.bottom - r.top == px(e.height),
              std::string(e.name) + " at " + std::to_string(r.left) + "," + std::to_string(r.top) + " size " +
                  std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top));
        Check(TextOf(e.control) == e.text, std::string(e.name) + " reads \"" + TextOf(e.control) + "\"");
        if (!fontHeight) continue;
        const std::wstring text = Wide(e.text);
        RECT needed = {0, 0, r.right - r.left, 0};
        const bool wraps = e.control == controls.label;
        DrawTextW(screen, text.c_str(), -1, &needed, DT_CALCRECT | DT_NOPREFIX | (wraps ? DT_WORDBREAK : DT_SINGLELINE));
        Check(needed.right <= r.right - r.left && needed.bottom <= r.bottom - r.top,
              std::string(e.name) + "'s text fits: needs " + std::to_string(needed.right) + "x" +
                  std::to_string(needed.bottom));
    }
    const LRESULT sharedFont = SendMessageW(controls.label, WM_GETFONT, 0, 0);
    for (HWND control : {controls.frame, controls.text, controls.button})
        Check(SendMessageW(control, WM_GETFONT, 0, 0) == sharedFont, "every control uses the label's font");
    Check(GetWindow(controls.frame, GW_HWNDNEXT) == controls.text && GetWindow(controls.text, GW_HWNDNEXT) == controls.button &&
              GetWindow(controls.button, GW_HWNDNEXT) == controls.label,
          "tab order Frame2, txtDestination, Command1, Label1");

    RECT box;
    GetWindowRect(controls.text, &box);
    const COLORREF grey = GetPixel(screen, box.right - 6, (box.top + box.bottom) / 2);
    Check(grey == RGB(192, 192, 192), "txtDestination is light grey, got " + std::to_string(GetRValue(grey)) + "," +
                                          std::to_string(GetGValue(grey)) + "," + std::to_string(GetBValue(grey)));

    // With the focus gone to the button, the box is grey between and behind
    // its letters too: nothing in it is brighter than that grey.
    PostMessageW(controls.text, WM_KEYDOWN, VK_TAB, 0);
    Check(WaitFor([&] { return FocusOf(window) == controls.button; }), "Tab moves the focus to the button");
    Sleep(300);  // let it paint
    RECT inside;
    GetClientRect(controls.text, &inside);
    MapWindowPoints(controls.text, nullptr, reinterpret_cast<POINT*>(&inside), 2);
    int brighter = 0, greyPixels = 0;
    for (const COLORREF pixel : Pixels(screen, inside.left, inside.top, inside.right - inside.left, inside.bottom - inside.top)) {
        brighter += GetRValue(pixel) > 200 || GetGValue(pixel) > 200 || GetBValue(pixel) > 200;
        greyPixels += pixel == RGB(192, 192, 192);
    }
    Check(brighter == 0 && greyPixels > 0, "the box is grey throughout, letters aside: " + std::to_string(brighter) +
                                              " brighter pixels, " + std::to_string(greyPixels) + " grey");

    // The whole window, title bar and all, as the screen shows it.
    SaveScreenshot(window, bitmap);

    CloseWithNotices(program, window, edition);
}

std::string VersionString(const std::vector<char>& block, const char* name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\040904B0\\" + Wide(name);
    if (!VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return "(none)";
    return Utf8(value);
}

void VersionScenario(const std::string& path, const EditionProfile& edition) {
    const std::wstring file = Wide(path);
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeW(file.c_str(), &ignored));
    Check(!block.empty() && GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(block.size()), block.data()),
          "a version block");
    if (block.empty()) return;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length);
    Check(fixed && fixed->dwFileVersionMS == 0x00040008 && fixed->dwFileVersionLS == 2790 &&
              fixed->dwProductVersionMS == 0x00040008 && fixed->dwProductVersionLS == 2790,
          "binary versions 4.8.0.2790");
    WORD* translation = nullptr;
    VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length);
    Check(translation && length >= 4 && translation[0] == 0x0409 && translation[1] == 1200, "translation 0409, 1200");
    const std::pair<const char*, std::string> strings[] = {
        {"FileVersion", "4.08.2790"},
        {"ProductVersion", "4.08.2790"},
        {"FileDescription", "Allows you to clone up to 9 instances of AIM."},
        {"ProductName", "Vornix"},
        {"InternalName", edition.title},
        {"OriginalFilename", edition.title + ".exe"},
        {"CompanyName", "The Vornix developers"},
    };
    for (const auto& [name, value] : strings)
        Check(VersionString(block, name) == value, std::string(name) + " is \"" + VersionString(block, name) + "\"");
    Check(VersionString(block, "LegalCopyright") != "(none)" && VersionString(block, "LegalTrademarks") != "(none)",
          "LegalCopyright and LegalTrademarks are there");
    Check(ExtractIconExW(file.c_str(), -1, nullptr, nullptr, 0) == 1, "one icon");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.push_back(Utf8(argv[i]));
    if (args.size() == 2 && args[0] == "install-only") {
        Reset(args[1]);
        return 0;
    }
    if (args.size() == 2 && args[0] == "desktop-user") {
        SetEnvironmentVariableW(L"VORNIX_STANDIN_LOG", kStandinLog.c_str());
        DesktopUserScenario(args[1]);
        std::printf("desktop-user: %s\n", failures ? "FAILED" : "passed");
        return failures ? 1 : 0;
    }
    if (args.size() < 3) {
        std::printf("usage: ui_driver SCENARIO PROGRAM EDITION [STANDIN] [BITMAP]\n");
        return 2;
    }
    SetEnvironmentVariableW(L"VORNIX_STANDIN_LOG", kStandinLog.c_str());
    const EditionProfile& edition = EditionNamed(args[2]);
    const std::string standin = args.size() > 3 ? args[3] : "";
    try {
        if (args[0] == "clone") CloneScenario(args[1], edition, standin);
        else if (args[0] == "x86") X86Scenario(args[1], edition, standin);
        else if (args[0] == "missing") MissingScenario(args[1], edition);
        else if (args[0] == "existing") ExistingScenario(args[1], edition, standin);
        else if (args[0] == "faults") FaultsScenario(args[1], edition, standin);
        else if (args[0] == "identity") IdentityScenario(args[1], edition, standin);
        else if (args[0] == "manners" && args.size() > 5) MannersScenario(args[1], edition, standin, args[4], args[5]);
        else if (args[0] == "layout" && args.size() > 4) LayoutScenario(args[1], edition, standin, args[4]);
        else if (args[0] == "boxes" && args.size() > 4) BoxesScenario(args[1], edition, standin, args[4]);
        else if (args[0] == "version") VersionScenario(args[1], edition);
        else Check(false, "unknown scenario " + args[0]);
    } catch (const std::exception& error) {
        Check(false, std::string("stopped: ") + error.what());
    }
    std::printf("%s: %s\n", args[0].c_str(), failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
