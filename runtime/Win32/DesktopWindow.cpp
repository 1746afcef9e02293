// The form as a real window: child controls placed in twips scaled to the
// window's DPI, message boxes owned by it, events dispatched from its
// window procedure.
#include "Win32.h"  // first: commctrl.h needs windows.h

#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "../Forms.h"
#include "../Utf8.h"

namespace runtime {
namespace {

using win32::Utf8;
using win32::Wide;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0  // Windows 8.1; XP's headers lack it
#endif

constexpr int kTwipsPerInch = 1440;
// Lines of a message box are wrapped, and runs without a space broken at
// their separators, before they grow wider than this, in dialog units of the
// message font, or than the work area: the box never wraps them again
// (Wine's box starts 176 units wide and breaks a longer word across lines).
constexpr int kWidestRun = 160;
// Where a message box wraps its text itself, in dialog units.
constexpr int kBoxWrapsAt = 176;
// What a message box adds around its text, at 96 DPI: beside the icon,
// margins and borders; above and below, margins and the OK button.
constexpr int kBoxChromeWidth = 64;
constexpr int kBoxChromeHeight = 96;
// Text past this many bytes is not measured: it is cut there at once.
constexpr std::size_t kLongestText = 8000;
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL
constexpr WPARAM kLongestTyped = 32767 + 1;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr wchar_t kWindowClass[] = L"VornixWindow";

int Pixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

UINT DpiOf(HWND window) {
    static const auto getDpiForWindow = win32::LookUp<UINT(WINAPI*)(HWND)>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow && window)
        if (const UINT dpi = getDpiForWindow(window)) return dpi;
    const win32::WindowDC screen(nullptr);
    return static_cast<UINT>(GetDeviceCaps(screen.get(), LOGPIXELSY));
}

SIZE WindowSizeFor(int clientWidth, int clientHeight, UINT dpi) {
    static const auto adjustForDpi = win32::LookUp<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>(
        L"user32.dll", "AdjustWindowRectExForDpi");
    RECT frame = {0, 0, clientWidth, clientHeight};
    if (!adjustForDpi || !adjustForDpi(&frame, kWindowStyle, FALSE, 0, dpi))
        AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

class ChildPeer : public ControlPeer {
public:
    explicit ChildPeer(HWND window) : window_(window) {}
    std::string ReadText() override {
        std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window_)) + 1, L'\0');
        text.resize(static_cast<std::size_t>(GetWindowTextW(window_, text.data(), static_cast<int>(text.size()))));
        return Utf8(text);
    }
    void WriteText(const std::string& text) override { SetWindowTextW(window_, Wide(text).c_str()); }
    void WriteEnabled(bool enabled) override { EnableWindow(window_, enabled ? TRUE : FALSE); }

private:
    HWND window_;
};

struct Child {
    Control* control;
    HWND window;
    std::unique_ptr<ChildPeer> peer;
};

// The lines of `text` (lines joined by CR LF), each broken at its spaces
// into as few as `fits`.
std::vector<std::string> WrappedLines(std::string_view text, const std::function<bool(std::string_view)>& fits) {
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find("\r\n", start);
        const std::string_view paragraph = text.substr(start, end - start);
        std::string line;
        for (std::size_t word = 0; word <= paragraph.size();) {
            const std::size_t space = std::min(paragraph.find(' ', word), paragraph.size());
            const std::string next(paragraph.substr(word, space - word));
            if (!line.empty() && !fits(line + ' ' + next)) lines.push_back(std::exchange(line, {}));
            line += (line.empty() ? "" : " ") + next;
            word = space + 1;
        }
        lines.push_back(line);
        if (end == std::string_view::npos) return lines;
        start = end + 2;
    }
}

// The text as a message box can show it on the screen, from its beginning:
// lines wrapped before they would widen the box past the work area (long
// runs without a space broken at their separators), and where it is still
// taller than the work area, its last line that fits cut at what fits.
std::string FitForBox(const std::string& text, HWND owner, UINT dpi) {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    const win32::ScopedFont font{CreateFontIndirectW(&metrics.lfMessageFont)};
    const win32::WindowDC screen(nullptr);
    const win32::Selection inFont(screen.get(), font.get());
    const auto width = [&](std::string_view line) {
        const std::wstring wide = Wide(std::string(line));
        SIZE size = {};
        GetTextExtentPoint32W(screen.get(), wide.c_str(), static_cast<int>(wide.size()), &size);
        return static_cast<int>(size.cx);
    };
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const int workWidth = monitor.rcWork.right - monitor.rcWork.left;
    const int workHeight = monitor.rcWork.bottom - monitor.rcWork.top;
    // A dialog unit is a quarter of the font's average letter; the box wraps
    // at its own width, and what it adds is the icon, margins and borders.
    const int average = width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const auto dialogUnits = [average](int units) { return MulDiv(units, average, 4 * 52); };
    const int chrome = GetSystemMetrics(SM_CXICON) + MulDiv(kBoxChromeWidth, static_cast<int>(dpi), 96);
    const int widest = std::max(std::min(dialogUnits(kWidestRun), workWidth - chrome), dialogUnits(16));
    const auto fits = [&](std::string_view line) { return width(line) <= widest; };

    const std::string_view head = Head(text, kLongestText);
    const std::string broken = BreakLongRuns(head, fits);
    std::vector<std::string> lines = WrappedLines(broken, fits);

    TEXTMETRICW measure = {};
    GetTextMetricsW(screen.get(), &measure);
    const int lineHeight = std::max(1, static_cast<int>(measure.tmHeight + measure.tmExternalLeading));
    const int room = workHeight - GetSystemMetrics(SM_CYCAPTION) - MulDiv(kBoxChromeHeight, static_cast<int>(dpi), 96);
    const std::size_t most = static_cast<std::size_t>(std::max(room / lineHeight, 1));
    const bool cut = lines.size() > most || head.size() < text.size();
    // Where the box's own wrapping fits the work area, its text is left as
    // it was (long runs aside); it is wrapped here only where it must be.
    const bool boxFits = dialogUnits(kBoxWrapsAt) + chrome <= workWidth;
    if (boxFits && !cut) return broken;
    if (lines.size() > most) lines.resize(most);
    if (cut) {
        std::string& last = lines.back();
        while (!last.empty() && !fits(last + "\xE2\x80\xA6")) last.resize(Head(last, last.size() - 1).size());
        last += "\xE2\x80\xA6";
    }
    std::string shown;
    for (const std::string& line : lines) shown += (shown.empty() ? "" : "\r\n") + line;
    return shown;
}

class Win32Window : public WindowSystem {
public:
    void ShowMessageBox(const std::string& text, MsgBoxStyle style, const std::string& title) override {
        UINT type = MB_OK | (style == vbCritical ? MB_ICONERROR : MB_ICONINFORMATION);
        if (!window_) type |= MB_TASKMODAL | MB_SETFOREGROUND;  // nothing to own it yet
        if (busy_) DropQueuedInput();  // only what comes after the box appears dismisses it
        MessageBoxW(window_, Wide(FitForBox(text, window_, DpiOf(window_))).c_str(), Wide(title).c_str(), type);
    }

    int RunWindow(Form& form) override {
        form_ = &form;
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);

        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = instance;
        // Both sizes from the icon's own images, each drawn for its size.
        windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                          GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
        windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                            GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        windowClass.lpszClassName = kWindowClass;
        RegisterClassExW(&windowClass);

        CreateWindowExW(0, kWindowClass, Wide(form.Caption()).c_str(), kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0,
                        0, nullptr, nullptr, instance, this);
        if (!window_) return 1;
        CreateChildren(instance);
        Layout(DpiOf(window_));
        ShowWindow(window_, SW_SHOWNORMAL);
        UpdateWindow(window_);
        Focus(GetNextDlgTabItem(window_, nullptr, FALSE));  // the first tab stop: the text box

        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (window_ && IsHeldKey(message)) continue;
            if (window_ && IsDialogMessageW(window_, &message)) continue;  // Tab between the controls
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        return exitStatus_;
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* self = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            self->window_ = window;
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
        auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && self->window_ == window) return self->Handle(message, wParam, lParam);
        return DefWindowProcW(window, message, wParam, lParam);
    }

    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case WM_COMMAND: {
            // Enter on a button that is not the default one reaches us as IDOK
            // from nobody: it clicks the button that has the focus.
            const HWND from = LOWORD(wParam) == IDOK && !lParam ? GetFocus() : reinterpret_cast<HWND>(lParam);
            if (HIWORD(wParam) == BN_CLICKED)
                for (Child& child : children_)
                    if (child.window == from && child.control->Kind() == ControlKind::CommandButton) Click(child);
            return 0;
        }
        case WM_CLOSE:
            // A close requested while a click runs ("End task", say) waits
            // for the click to finish: the two never interleave. One that
            // comes while a close shows its notices is that close's.
            if (busy_) {
                closeRequested_ = true;
            } else if (!closing_) {
                closing_ = true;
                const std::optional<int> status = RequestClose(*form_);
                closing_ = false;
                if (status) EndWith(*status);
            }
            return 0;
        // As dialog boxes do: the control that had the focus gets it back when
        // the window is activated again, after another window or a restore.
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                if (const HWND focus = GetFocus(); focus && IsChild(window_, focus)) focus_ = focus;
            } else if (!HIWORD(wParam)) {
                RestoreFocus();
            }
            return 0;
        case WM_SETFOCUS:
            RestoreFocus();
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORSTATIC:
            for (Child& child : children_)
                if (child.window == reinterpret_cast<HWND>(lParam) && child.control->BackColor()) {
                    const Color color = *child.control->BackColor();
                    SetBkColor(reinterpret_cast<HDC>(wParam), RGB(color.red, color.green, color.blue));
                    if (!backBrush_) backBrush_.Reset(CreateSolidBrush(RGB(color.red, color.green, color.blue)));
                    return reinterpret_cast<LRESULT>(backBrush_.get());
                }
            break;
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            Layout(HIWORD(wParam));
            return 0;
        }
        case WM_DESTROY:
            for (Child& child : children_) child.control->Attach(nullptr);
            window_ = nullptr;
            font_.Reset();
            backBrush_.Reset();
            PostQuitMessage(exitStatus_);
            return 0;
        default: break;
        }
        return DefWindowProcW(window_, message, wParam, lParam);
    }

    // A key that was already down (held through a box that closed, or
    // repeating) never clicks: only a fresh press does. Held Space still
    // types into the text box.
    bool IsHeldKey(const MSG& message) const {
        const bool held = (message.message == WM_KEYDOWN || message.message == WM_CHAR) && (message.lParam & (1L << 30));
        if (!held || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) return false;
        return message.wParam == VK_RETURN || (message.wParam == VK_SPACE && message.hwnd != TextBoxWindow());
    }

    HWND TextBoxWindow() const {
        for (const Child& child : children_)
            if (child.control->Kind() == ControlKind::TextBox) return child.window;
        return nullptr;
    }

    // Gives a control the focus; the text box then has its text selected, so
    // that typing replaces it, as tabbing to it does.
    void Focus(HWND control) {
        if (!control) return;
        SetFocus(control);
        if (control == TextBoxWindow()) SendMessageW(control, EM_SETSEL, 0, -1);
    }

    // The control keeps its caret and selection, as a dialog box's does; only
    // with none to give it back to does the window choose, as at first showing.
    void RestoreFocus() {
        if (focus_ && IsWindow(focus_) && IsWindowEnabled(focus_)) SetFocus(focus_);
        else Focus(GetNextDlgTabItem(window_, nullptr, FALSE));
    }

    // Keys and clicks that came while the window was busy were meant for
    // nothing that comes next: as a busy dialog box does, it says "not now".
    static void DropQueuedInput() {
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
        while (PeekMessageW(&message, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
        }
        while (PeekMessageW(&message, nullptr, WM_NCMOUSEMOVE, WM_NCMBUTTONDBLCLK, PM_REMOVE)) {
        }
    }

    // The window takes no messages while the event runs, so the wait cursor
    // set before it stays until the first message box.
    void Click(Child& button) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
        busy_ = true;
        const std::optional<int> status = ClickButton(*form_, static_cast<CommandButton&>(*button.control));
        DropQueuedInput();
        busy_ = false;
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)));  // IDC_ARROW
        if (status) return EndWith(*status);
        if (std::exchange(closeRequested_, false)) PostMessageW(window_, WM_CLOSE, 0, 0);
        // Disabling the button took the focus away; give it back.
        if (IsWindowEnabled(button.window)) Focus(button.window);
    }

    void EndWith(int status) {
        exitStatus_ = status;
        DestroyWindow(window_);
    }

    // In tab order: Windows tabs through children in the order they were made.
    void CreateChildren(HINSTANCE instance) {
        std::vector<Control*> controls = form_->Controls();
        std::stable_sort(controls.begin(), controls.end(),
                         [](const Control* a, const Control* b) { return a->TabIndex() < b->TabIndex(); });
        int id = kFirstControlId;
        for (Control* control : controls) {
            const wchar_t* windowClass = L"BUTTON";
            DWORD style = WS_CHILD | WS_VISIBLE;
            DWORD extended = 0;
            switch (control->Kind()) {
            case ControlKind::Frame: style |= BS_GROUPBOX; break;
            case ControlKind::TextBox:
                windowClass = L"EDIT";
                style |= WS_TABSTOP | ES_AUTOHSCROLL;
                extended = WS_EX_CLIENTEDGE;
                break;
            case ControlKind::Label:
                windowClass = L"STATIC";
                style |= SS_LEFT;  // wraps at word boundaries
                break;
            case ControlKind::CommandButton: style |= WS_TABSTOP | BS_PUSHBUTTON; break;
            }
            HWND window = CreateWindowExW(extended, windowClass, Wide(control->Content()).c_str(), style, 0, 0, 0, 0,
                                          window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance, nullptr);
            EnableWindow(window, control->Enabled() ? TRUE : FALSE);
            // The longest path Windows takes, and one more: what is longer is
            // refused at the click, never cut short by the box.
            if (control->Kind() == ControlKind::TextBox) SendMessageW(window, EM_SETLIMITTEXT, kLongestTyped, 0);
            auto peer = std::make_unique<ChildPeer>(window);
            control->Attach(peer.get());
            children_.push_back({control, window, std::move(peer)});
        }
    }

    void Layout(UINT dpi) {
        const SIZE size = WindowSizeFor(Pixels(form_->ClientWidth(), dpi), Pixels(form_->ClientHeight(), dpi), dpi);
        SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        for (Child& child : children_) {
            const RECT bounds = PixelBounds(*child.control, dpi);
            SetWindowPos(child.window, nullptr, bounds.left, bounds.top, bounds.right - bounds.left,
                         bounds.bottom - bounds.top, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        // 8 points, or the next smaller size where a wider face would not fit.
        const int largest = MulDiv(8, static_cast<int>(dpi), 72);
        win32::ScopedFont font;
        for (int height = largest; height >= largest * 3 / 4; --height) {
            font = win32::CreateDialogFont(height);
            if (TextsFit(font.get(), dpi)) break;
        }
        for (Child& child : children_)
            SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
        font_ = std::move(font);
    }

    static RECT PixelBounds(const Control& control, UINT dpi) {
        TwipsRect bounds = control.Bounds();
        if (const Control* container = control.Container()) {
            bounds.left += container->Bounds().left;
            bounds.top += container->Bounds().top;
        }
        const int left = Pixels(bounds.left, dpi);
        const int top = Pixels(bounds.top, dpi);
        return {left, top, left + Pixels(bounds.width, dpi), top + Pixels(bounds.height, dpi)};
    }

    // Whether every caption and text shows whole in its control with `font`:
    // the label wraps, everything else stays on one line inside its borders.
    bool TextsFit(HFONT font, UINT dpi) const {
        const win32::WindowDC windowDC(window_);
        const HDC dc = windowDC.get();
        const win32::Selection selection(dc, font);
        const int border = MulDiv(4, static_cast<int>(dpi), 96);
        bool fit = true;
        for (const Child& child : children_) {
            const RECT bounds = PixelBounds(*child.control, dpi);
            const int width = bounds.right - bounds.left;
            const int height = bounds.bottom - bounds.top;
            const std::wstring text = Wide(child.control->Content());
            RECT needed = {0, 0, width, 0};
            switch (child.control->Kind()) {
            case ControlKind::Label:
                DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
                fit = fit && needed.bottom <= height && needed.right <= width;
                break;
            case ControlKind::Frame:
                DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
                fit = fit && needed.right <= width - 4 * border;
                break;
            case ControlKind::TextBox:
            case ControlKind::CommandButton:
                DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
                fit = fit && needed.right <= width - 2 * border && needed.bottom <= height - border;
                break;
            }
        }
        return fit;
    }

    Form* form_ = nullptr;
    HWND window_ = nullptr;
    HWND focus_ = nullptr;  // the control to give the focus back to
    std::vector<Child> children_;
    win32::ScopedFont font_;
    win32::ScopedBrush backBrush_;
    int exitStatus_ = 0;
    bool busy_ = false;            // while a click runs
    bool closeRequested_ = false;  // meanwhile
    bool closing_ = false;         // while a close shows its notices
};

}  // namespace

namespace win32 {
ScopedFont CreateDialogFont(int pixelHeight) {
    LOGFONTW font = {};
    font.lfHeight = -pixelHeight;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    lstrcpynW(font.lfFaceName, L"MS Shell Dlg 2", LF_FACESIZE);
    return ScopedFont{CreateFontIndirectW(&font)};
}
}  // namespace win32

WindowSystem& PlatformWindowSystem() {
    static Win32Window window;
    return window;
}

}  // namespace runtime
