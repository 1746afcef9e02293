// The window as lines on a terminal: drawn after loading and after each
// command, with one-key commands at a prompt. Scripts rely on this exact text.
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>

#include <unistd.h>

#include "../Forms.h"

namespace runtime {
namespace {

bool ReadLine(std::string& line) {
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// A terminal echoes the user's Enter after a prompt; for a script we end the
// prompt's line ourselves, so every output starts on a line of its own.
bool AnswerPrompt(std::string& line) {
    static const bool echoed = ::isatty(STDIN_FILENO) != 0;
    const bool got = ReadLine(line);
    if (!echoed) std::cout << '\n';
    return got;
}

template <typename T>
T* FirstOf(const Form& form, ControlKind kind) {
    for (Control* control : form.Controls())
        if (control->Kind() == kind) return static_cast<T*>(control);
    return nullptr;
}

class TerminalWindow : public WindowSystem {
public:
    void ShowMessageBox(const std::string& text, MsgBoxStyle style, const std::string& title) override {
        std::cout << (style == vbCritical ? "[x] " : "[i] ") << title << '\n';
        for (std::size_t start = 0;;) {
            const std::size_t end = text.find("\r\n", start);
            std::cout << "    " << text.substr(start, end - start) << '\n';
            if (end == std::string::npos) break;
            start = end + 2;
        }
        std::cout << "[OK]" << std::endl;
        std::string dismissed;
        ReadLine(dismissed);
    }

    int RunWindow(Form& form) override {
        auto* button = FirstOf<CommandButton>(form, ControlKind::CommandButton);
        auto* textBox = FirstOf<TextBox>(form, ControlKind::TextBox);
        const std::string prompt = "Enter = " + button->Content() + ", e = edit destination, q = close: ";
        Draw(form);
        for (;;) {
            std::cout << prompt << std::flush;
            std::string command;
            std::optional<int> ended;
            if (!AnswerPrompt(command) || command == "q") {
                ended = RequestClose(form);
            } else if (command.empty()) {
                ended = ClickButton(form, *button);
            } else if (command == "e") {
                std::cout << "New destination: " << std::flush;
                std::string text;
                if (AnswerPrompt(text)) textBox->SetText(text);
            } else {
                std::cout << "Press Enter to start cloning, e to edit the destination, q to close." << std::endl;
                continue;
            }
            if (ended) return *ended;
            Draw(form);
        }
    }

private:
    static void Draw(const Form& form) {
        std::cout << '\n' << form.Caption() << '\n';
        std::vector<Control*> controls = form.Controls();
        std::stable_sort(controls.begin(), controls.end(),
                         [](const Control* a, const Control* b) { return a->Bounds().top < b->Bounds().top; });
        for (const Control* control : controls) {
            switch (control->Kind()) {
            case ControlKind::Frame:
                std::cout << control->Content() << ':';
                for (const Control* inside : form.Controls())
                    if (inside->Container() == control) std::cout << ' ' << inside->Content();
                std::cout << '\n';
                break;
            case ControlKind::Label: std::cout << control->Content() << '\n'; break;
            case ControlKind::CommandButton:
                std::cout << '[' << control->Content() << ']' << (control->Enabled() ? "" : " (disabled)") << '\n';
                break;
            case ControlKind::TextBox: break;  // drawn with its frame
            }
        }
    }
};

}  // namespace

WindowSystem& PlatformWindowSystem() {
    static TerminalWindow window;
    return window;
}

}  // namespace runtime
