// The window as lines on a terminal: drawn after loading and after each
// command, with one-key commands at a prompt. Scripts rely on this exact text.
#include <histedit.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "../Forms.h"

namespace runtime {
namespace {

// A reader that went away (`| head`) ends input, as a closed terminal does.
bool ReadLine(std::string& line) {
    if (!std::cout || !std::getline(std::cin, line)) return false;
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

// Editing a line at a terminal, already filled in, with the run's earlier
// entries a key away.
class LineEditor {
public:
    LineEditor()
        : locale_(std::setlocale(LC_CTYPE, "")),  // so that the editor reads UTF-8 as characters
          editor_(el_init("vornix", stdin, stdout, stderr), el_end), history_(history_init(), history_end) {
        HistEvent event;
        history(history_.get(), &event, H_SETSIZE, 100);
        el_set(editor_.get(), EL_EDITOR, "emacs");
        el_set(editor_.get(), EL_SIGNAL, 1);  // the terminal is put back before an interruption ends us
        el_set(editor_.get(), EL_HIST, history, history_.get());
        el_set(editor_.get(), EL_CLIENTDATA, &prompt_);
        el_set(editor_.get(), EL_PROMPT, &Prompt);
    }

    std::optional<std::string> Edit(const std::string& prompt, const std::string& text) {
        prompt_ = prompt;
        el_push(editor_.get(), text.c_str());
        int length = 0;
        const char* line = el_gets(editor_.get(), &length);
        if (!line) return std::nullopt;
        std::string edited(line, static_cast<std::size_t>(length));
        while (!edited.empty() && (edited.back() == '\n' || edited.back() == '\r')) edited.pop_back();
        HistEvent event;
        if (!edited.empty()) history(history_.get(), &event, H_ENTER, edited.c_str());
        return edited;
    }

private:
    static char* Prompt(EditLine* editor) {
        void* prompt = nullptr;
        el_get(editor, EL_CLIENTDATA, &prompt);
        return static_cast<std::string*>(prompt)->data();
    }

    const char* locale_;
    std::unique_ptr<EditLine, void (*)(EditLine*)> editor_;
    std::unique_ptr<History, void (*)(History*)> history_;
    std::string prompt_;
};

template <typename T>
T* FirstOf(const Form& form, ControlKind kind) {
    for (Control* control : form.Controls())
        if (control->Kind() == kind) return static_cast<T*>(control);
    return nullptr;
}

std::string Usage(const std::string& program, const Form& form) {
    return "Usage: " + program + " [--help | --version]\n"
           "\n" +
           form.Caption() +
           " makes up to nine extra, independently runnable copies\n"
           "(clones) of the AIM client installed in a Wine prefix, so that several\n"
           "instances can run side by side. It looks for the client in\n"
           "C:\\Program Files\\AIM95\\ (in a 64-bit prefix, C:\\Program Files (x86)\\AIM95\\),\n"
           "proposes the next free clone directory beside it, AIM951 to AIM959, and on\n"
           "request copies the client there, writes the clone's slot digit into its\n"
           "aim.exe and starts it with Wine.\n"
           "\n"
           "The window is drawn as text. At its prompt:\n"
           "  Enter    start cloning into the destination shown\n"
           "  e        edit the destination\n"
           "  q        close the window (so does the end of input)\n"
           "\n"
           "Environment:\n"
           "  WINEPREFIX  the Wine prefix to work in (default: ~/.wine)\n"
           "  WINE        the Wine program that starts the clone (default: wine)\n"
           "\n"
           "Exit status:\n"
           "  0  the window was closed\n"
           "  1  the client is not installed, or an error ended the program\n"
           "  2  the command line was not understood\n";
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

    std::optional<int> AnswerCommandLine(const Form& form, const std::vector<std::string>& commandLine,
                                         const std::string& version) override {
        if (commandLine.size() < 2) return std::nullopt;
        const std::string program = commandLine[0].substr(commandLine[0].find_last_of('/') + 1);
        const std::string& option = commandLine[1];
        const bool known = option == "--help" || option == "--version";
        if (known && commandLine.size() == 2) {
            std::cout << (option == "--help" ? Usage(program, form) : form.Caption() + ' ' + version + '\n');
            return 0;
        }
        const std::string& wrong = known ? commandLine[2] : option;
        std::cerr << program << ": " << (wrong.starts_with('-') ? "unknown option '" : "unexpected argument '") << wrong
                  << "'\nTry '" << program << " --help' for more information.\n";
        return 2;
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
                if (auto text = EditDestination(textBox->Text())) textBox->SetText(*text);
            } else {
                std::cout << "Press Enter to start cloning, e to edit the destination, q to close." << std::endl;
                continue;
            }
            if (ended) return *ended;
            Draw(form);
        }
    }

private:
    // At a terminal the destination is edited in place; a script sends a line.
    std::optional<std::string> EditDestination(const std::string& current) {
        static const char* kPrompt = "New destination: ";
        if (::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
            if (!editor_) editor_ = std::make_unique<LineEditor>();
            return editor_->Edit(kPrompt, current);
        }
        std::cout << kPrompt << std::flush;
        std::string text;
        if (!AnswerPrompt(text)) return std::nullopt;
        return text;
    }

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

    std::unique_ptr<LineEditor> editor_;
};

}  // namespace

WindowSystem& PlatformWindowSystem() {
    static TerminalWindow window;
    return window;
}

}  // namespace runtime
