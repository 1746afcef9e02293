// The window as lines on a terminal: drawn after loading and after each
// command, with one-key commands at a prompt. Scripts rely on this exact text.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "../Forms.h"
#include "../Program.h"
#include "../RuntimeError.h"
#include "LineEditor.h"
#include "Process.h"

namespace runtime {
namespace {

using posix::LineEditor;
using posix::TerminalInput;
using posix::TerminalOutput;
using posix::Visible;
using posix::WriteAll;

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
           "  0    the window was closed\n"
           "  1    the client is missing or of another release, an error ended the\n"
           "       program, or its window could not be written to standard output\n"
           "  2    the command line was not understood\n"
           "  128+N  ended by signal N, after taking back a clone being made:\n"
           "       130 Ctrl-C, 131 Ctrl-\\, 129 a closed terminal, 143 a request to terminate\n";
}

std::string BoxText(const std::string& text, MsgBoxStyle style, const std::string& title) {
    std::string box = (style == vbCritical ? "[x] " : "[i] ") + Visible(title) + '\n';
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find("\r\n", start);
        box += "    " + Visible(std::string_view(text).substr(start, end - start)) + '\n';
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return box + "[OK]\n";
}

class TerminalWindow : public WindowSystem {
public:
    // A box the window can no longer show is an error of its own; a problem
    // it was to report still reaches standard error.
    void ShowMessageBox(const std::string& text, MsgBoxStyle style, const std::string& title) override {
        const std::string box = BoxText(text, style, title);
        if (!output_.Failure()) {
            output_.Put(box);
            output_.Flush();
        }
        if (const int failure = output_.Failure()) {
            if (style == vbCritical) WriteAll(STDERR_FILENO, box);
            Raise(ErrorNumber::DeviceIOError, "standard output", std::strerror(failure));
        }
        if (posix::InterruptionPending()) return;  // the program is ending: nothing waits for the user
        std::string dismissed;
        input_.Line(dismissed);
    }

    std::optional<int> AnswerCommandLine(const Form& form, const std::vector<std::string>& commandLine,
                                         const std::string& version) override {
        const std::string program = commandLine[0].substr(commandLine[0].find_last_of('/') + 1);
        bool optionsEnded = false;
        std::optional<std::string> wanted;
        for (std::size_t i = 1; i < commandLine.size(); ++i) {
            const std::string& argument = commandLine[i];
            if (!optionsEnded && argument == "--") {
                optionsEnded = true;
                continue;
            }
            const bool option = !optionsEnded && argument.starts_with('-');
            if (option && !wanted && (argument == "--help" || argument == "--version")) {
                wanted = argument;
                continue;
            }
            std::string complaint = program;
            complaint.append(option ? ": unknown option '" : ": unexpected argument '")
                .append(argument)
                .append("'\nTry '")
                .append(program)
                .append(" --help' for more information.\n");
            WriteAll(STDERR_FILENO, complaint);
            return 2;
        }
        if (!wanted) return std::nullopt;
        output_.Put(*wanted == "--help" ? Usage(program, form) : form.Caption() + ' ' + version + '\n');
        if (output_.Flush()) return 0;
        WriteAll(STDERR_FILENO, program + ": write error: " + std::strerror(output_.Failure()) + "\n");
        return 1;
    }

    int RunWindow(Form& form) override {
        auto* button = FirstOf<CommandButton>(form, ControlKind::CommandButton);
        auto* textBox = FirstOf<TextBox>(form, ControlKind::TextBox);
        const std::string prompt = "Enter = " + button->Content() + ", e = edit destination, q = close: ";
        bool draw = true;
        for (;;) {
            if (draw) Draw(form);
            draw = true;
            output_.Put(prompt);
            if (!output_.Flush()) {
                // The window cannot be shown: nothing is done for a user who cannot see it.
                const RuntimeError error(ErrorNumber::DeviceIOError, "standard output", std::strerror(output_.Failure()));
                WriteAll(STDERR_FILENO, BoxText(error.Report(), vbCritical, form.Caption()));
                return 1;
            }
            std::string command;
            std::optional<int> ended;
            if (!AnswerPrompt(command) || command == "q") {
                ended = RequestClose(form);
            } else if (command.empty()) {
                ended = ClickButton(form, *button);
            } else if (command == "e") {
                if (auto text = EditDestination(textBox->Text())) textBox->SetText(*text);
            } else {
                output_.Put("Press Enter to start cloning, e to edit the destination, q to close.\n");
                draw = false;
                continue;
            }
            if (ended) return *ended;
        }
    }

private:
    // A terminal echoes the user's Enter after a prompt; for a script we end
    // the prompt's line ourselves, so every output starts on a line of its own.
    bool AnswerPrompt(std::string& line) {
        const bool got = input_.Line(line);
        if (!::isatty(STDIN_FILENO)) output_.Put("\n");
        return got;
    }

    // At a terminal the destination is edited in place; a script sends a
    // line, and so does a user at a terminal that takes no cursor moves.
    std::optional<std::string> EditDestination(const std::string& current) {
        const bool terminal = ::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO);
        if (terminal && posix::TerminalCanEdit()) return editor_.Edit("New destination: ", current);
        output_.Put(terminal ? "New destination (this terminal cannot edit: type it whole, then Enter): "
                             : "New destination: ");
        output_.Flush();
        std::string text;
        if (!AnswerPrompt(text)) return std::nullopt;
        return text;
    }

    void Draw(const Form& form) {
        output_.Put("\n" + form.Caption() + "\n");
        std::vector<Control*> controls = form.Controls();
        std::stable_sort(controls.begin(), controls.end(),
                         [](const Control* a, const Control* b) { return a->Bounds().top < b->Bounds().top; });
        for (const Control* control : controls) {
            switch (control->Kind()) {
            case ControlKind::Frame:
                output_.Put(Visible(control->Content()) + ':');
                for (const Control* inside : form.Controls())
                    if (inside->Container() == control) output_.Put(' ' + Visible(inside->Content()));
                output_.Put("\n");
                break;
            case ControlKind::Label: output_.Put(control->Content() + '\n'); break;
            case ControlKind::CommandButton:
                output_.Put('[' + control->Content() + ']' + (control->Enabled() ? "" : " (disabled)") + '\n');
                break;
            case ControlKind::TextBox: break;  // drawn with its frame
            }
        }
    }

    TerminalOutput output_;
    TerminalInput input_;
    LineEditor editor_{input_, output_};
};

}  // namespace

WindowSystem& PlatformWindowSystem() {
    static TerminalWindow window;
    return window;
}

}  // namespace runtime
