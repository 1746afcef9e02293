// The window as lines on a terminal: drawn after loading and after each
// command, with one-key commands at a prompt. Scripts rely on this exact text.
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "../Forms.h"
#include "../Program.h"
#include "../RuntimeError.h"
#include "../Utf8.h"
#include "Process.h"

namespace runtime {
namespace {

// Writes all of `text`; false, with errno set, when that fails.
bool WriteAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t put = ::write(descriptor, text.data(), text.size());
        if (put < 0 && errno != EINTR) return false;
        text.remove_prefix(static_cast<std::size_t>(std::max<ssize_t>(put, 0)));
    }
    return true;
}

// Standard output, written out at each prompt. A write that fails is
// remembered: nothing more is shown there.
class Output {
public:
    void Put(std::string_view text) { buffer_ += text; }
    // False once output has failed; Failure() then says why (an errno).
    bool Flush() {
        if (!failure_ && posix::StandardOutputWasClosed()) failure_ = EBADF;
        if (!failure_ && !WriteAll(STDOUT_FILENO, buffer_)) failure_ = errno;
        buffer_.clear();
        return !failure_;
    }
    int Failure() const { return failure_; }

private:
    std::string buffer_;
    int failure_ = 0;
};

// Standard input, a byte or a line at a time. End of input, a read error and
// an interruption held back all end it.
class Input {
public:
    // The next byte, or -1 at the end.
    int Byte() {
        if (next_ == buffer_.size()) {
            if (ended_ || !posix::WaitReadable(STDIN_FILENO)) return -1;
            char chunk[4096];
            ssize_t got;
            while ((got = ::read(STDIN_FILENO, chunk, sizeof chunk)) < 0 && errno == EINTR) {
            }
            if (got <= 0) {
                ended_ = true;
                return -1;
            }
            buffer_.assign(chunk, static_cast<std::size_t>(got));
            next_ = 0;
        }
        return static_cast<unsigned char>(buffer_[next_++]);
    }

    // A line without its end (LF, or CR LF from a script written elsewhere);
    // false at the end of input.
    bool Line(std::string& line) {
        line.clear();
        int c;
        while ((c = Byte()) >= 0 && c != '\n') line += static_cast<char>(c);
        if (c < 0 && line.empty()) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }

private:
    std::string buffer_;
    std::size_t next_ = 0;
    bool ended_ = false;
};

// Columns a character takes on a terminal: none for combining marks, two for
// the wide characters of East Asian scripts and emoji, one for the rest.
int Columns(std::string_view character) {
    char32_t code = static_cast<unsigned char>(character[0]);
    if (character.size() > 1) {
        code &= 0x3F >> (character.size() - 1);
        for (std::size_t i = 1; i < character.size(); ++i) code = (code << 6) | (character[i] & 0x3F);
    }
    if ((code >= 0x300 && code <= 0x36F) || (code >= 0x200B && code <= 0x200F) || (code >= 0xFE00 && code <= 0xFE0F))
        return 0;
    const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                      (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                      (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
                      (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1F64F) ||
                      (code >= 0x1F900 && code <= 0x1F9FF) || (code >= 0x20000 && code <= 0x3FFFD);
    return wide ? 2 : 1;
}

// Edits one line at a terminal, filled in, with the run's earlier entries a
// key away. Text is UTF-8 whatever the locale says; a line longer than the
// terminal scrolls sideways. The terminal is set up before the prompt is
// drawn, so that no key is ever echoed by the terminal itself, and put back
// afterwards, also should a signal end the program meanwhile.
class LineEditor {
public:
    explicit LineEditor(Input& input, Output& output) : input_(input), output_(output) {}

    // The line edited; nothing at the end of input.
    std::optional<std::string> Edit(const std::string& prompt, const std::string& text) {
        termios saved{};
        if (::tcgetattr(STDIN_FILENO, &saved) != 0) return std::nullopt;
        termios raw = saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        posix::RestoreTerminalOnEnd(&saved);
        ::tcsetattr(STDIN_FILENO, TCSADRAIN, &raw);
        std::optional<std::string> edited = Run(prompt, text);
        ::tcsetattr(STDIN_FILENO, TCSADRAIN, &saved);
        posix::RestoreTerminalOnEnd(nullptr);
        output_.Put("\n");
        output_.Flush();
        if (edited && !edited->empty()) history_.push_back(*edited);
        return edited;
    }

private:
    using Characters = std::vector<std::string>;

    static Characters Split(const std::string& text) {
        Characters characters;
        for (std::size_t i = 0; i < text.size();) {
            characters.push_back(text.substr(i, CharacterLength(text, i)));
            i += characters.back().size();
        }
        return characters;
    }

    static std::string Join(const Characters& characters, std::size_t from = 0, std::size_t to = std::string::npos) {
        std::string text;
        for (std::size_t i = from; i < std::min(to, characters.size()); ++i) text += characters[i];
        return text;
    }

    static int Width(const Characters& characters, std::size_t from, std::size_t to) {
        int width = 0;
        for (std::size_t i = from; i < to; ++i) width += Columns(characters[i]);
        return width;
    }

    std::optional<std::string> Run(const std::string& prompt, const std::string& text) {
        line_ = Split(text);
        cursor_ = line_.size();
        first_ = 0;
        std::size_t recalled = history_.size();
        std::string current;
        for (;;) {
            Draw(prompt);
            const int key = input_.Byte();
            if (key < 0) return std::nullopt;
            switch (key) {
            case '\r':
            case '\n': return Join(line_);
            case 0x01: cursor_ = 0; break;                                   // Ctrl-A
            case 0x05: cursor_ = line_.size(); break;                        // Ctrl-E
            case 0x02: cursor_ -= cursor_ > 0; break;                        // Ctrl-B
            case 0x06: cursor_ += cursor_ < line_.size(); break;             // Ctrl-F
            case 0x0B: line_.erase(line_.begin() + Index(cursor_), line_.end()); break;  // Ctrl-K
            case 0x15:  // Ctrl-U
                line_.erase(line_.begin(), line_.begin() + Index(cursor_));
                cursor_ = 0;
                break;
            case 0x7F:
            case 0x08:
                if (cursor_ > 0) line_.erase(line_.begin() + Index(--cursor_));
                break;
            case 0x04:  // Ctrl-D: delete, or the end of input on an empty line
                if (line_.empty()) return std::nullopt;
                if (cursor_ < line_.size()) line_.erase(line_.begin() + Index(cursor_));
                break;
            case 0x10: Recall(-1, recalled, current); break;  // Ctrl-P
            case 0x0E: Recall(+1, recalled, current); break;  // Ctrl-N
            case 0x1B:
                if (!Escape(recalled, current)) return std::nullopt;
                break;
            default:
                if (key >= 0x20) Insert(static_cast<char>(key));
                break;
            }
        }
    }

    static std::ptrdiff_t Index(std::size_t at) { return static_cast<std::ptrdiff_t>(at); }

    // A character typed: the lead byte given, its continuation read.
    void Insert(char lead) {
        std::string character(1, lead);
        const auto byte = static_cast<unsigned char>(lead);
        const int more = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
        for (int i = 0; i < more; ++i) {
            const int next = input_.Byte();
            if (next < 0) break;
            character += static_cast<char>(next);
        }
        line_.insert(line_.begin() + Index(cursor_++), character);
    }

    // The keys that terminals send as escape sequences, in either of the
    // common encodings (ESC [ x, ESC O x, ESC [ n ~); others are ignored.
    // False at the end of input.
    bool Escape(std::size_t& recalled, std::string& current) {
        int introducer = input_.Byte();
        if (introducer != '[' && introducer != 'O') return introducer >= 0;  // Alt and a key: ignored
        std::string parameters;
        int final;
        while ((final = input_.Byte()) >= 0 && final >= 0x20 && final < 0x40) parameters += static_cast<char>(final);
        if (final < 0) return false;
        const std::string number = parameters.substr(0, parameters.find(';'));
        if (final == '~') {
            if (number == "1" || number == "7") final = 'H';
            else if (number == "4" || number == "8") final = 'F';
            else if (number == "3") final = 'D' + 0x100;  // Delete
        }
        switch (final) {
        case 'A': Recall(-1, recalled, current); break;
        case 'B': Recall(+1, recalled, current); break;
        case 'C': cursor_ += cursor_ < line_.size(); break;
        case 'D': cursor_ -= cursor_ > 0; break;
        case 'H': cursor_ = 0; break;
        case 'F': cursor_ = line_.size(); break;
        case 'D' + 0x100:
            if (cursor_ < line_.size()) line_.erase(line_.begin() + Index(cursor_));
            break;
        default: break;
        }
        return true;
    }

    // Up and Down through the earlier entries; below the last, the line as it
    // was before the first Up.
    void Recall(int step, std::size_t& recalled, std::string& current) {
        if ((step < 0 && recalled == 0) || (step > 0 && recalled == history_.size())) return;
        if (recalled == history_.size()) current = Join(line_);
        recalled = step < 0 ? recalled - 1 : recalled + 1;
        line_ = Split(recalled == history_.size() ? current : history_[recalled]);
        cursor_ = line_.size();
    }

    // The prompt and as much of the line around the cursor as fits.
    void Draw(const std::string& prompt) {
        winsize size{};
        const int columns = ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
        const int room = std::max(columns - static_cast<int>(prompt.size()) - 1, 1);
        first_ = std::min(first_, cursor_);
        while (first_ < cursor_ && Width(line_, first_, cursor_) > room) ++first_;
        std::size_t last = first_;
        while (last < line_.size() && Width(line_, first_, last + 1) <= room) ++last;
        const int at = static_cast<int>(prompt.size()) + Width(line_, first_, cursor_);
        output_.Put("\r" + prompt + Join(line_, first_, last) + "\x1b[K\r");
        if (at > 0) output_.Put("\x1b[" + std::to_string(at) + "C");
        output_.Flush();
    }

    Input& input_;
    Output& output_;
    std::vector<std::string> history_;
    Characters line_;
    std::size_t cursor_ = 0;
    std::size_t first_ = 0;  // the first character shown
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
           "  0    the window was closed\n"
           "  1    the client is missing or of another release, an error ended the\n"
           "       program, or its window could not be written to standard output\n"
           "  2    the command line was not understood\n"
           "  128+N  ended by signal N, after taking back a clone being made:\n"
           "       130 Ctrl-C, 129 a closed terminal, 143 a request to terminate\n";
}

std::string BoxText(const std::string& text, MsgBoxStyle style, const std::string& title) {
    std::string box = (style == vbCritical ? "[x] " : "[i] ") + title + '\n';
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find("\r\n", start);
        box += "    " + text.substr(start, end - start) + '\n';
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

    // At a terminal the destination is edited in place; a script sends a line.
    std::optional<std::string> EditDestination(const std::string& current) {
        static const char* kPrompt = "New destination: ";
        if (::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) return editor_.Edit(kPrompt, current);
        output_.Put(kPrompt);
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
                output_.Put(control->Content() + ':');
                for (const Control* inside : form.Controls())
                    if (inside->Container() == control) output_.Put(' ' + inside->Content());
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

    Output output_;
    Input input_;
    LineEditor editor_{input_, output_};
};

}  // namespace

WindowSystem& PlatformWindowSystem() {
    static TerminalWindow window;
    return window;
}

}  // namespace runtime
