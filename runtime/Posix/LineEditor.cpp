#include "LineEditor.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

#include "../Utf8.h"
#include "Locale.h"
#include "Process.h"

namespace runtime::posix {

int TerminalInput::Byte() {
    if (pushedBack_ >= 0) return std::exchange(pushedBack_, -1);
    while (next_ == buffer_.size()) {
        if (ended_) return kEnd;
        switch (WaitReadable(STDIN_FILENO)) {
        case Waited::Interrupted: return kEnd;
        case Waited::Resumed: return kResumed;
        case Waited::Readable: break;
        }
        char chunk[4096];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            ended_ = true;
            return kEnd;
        }
        buffer_.assign(chunk, static_cast<std::size_t>(got));
        next_ = 0;
    }
    return static_cast<unsigned char>(buffer_[next_++]);
}

bool TerminalInput::Line(std::string& line) {
    line.clear();
    int c;
    while ((c = Byte()) != kEnd && c != '\n')
        if (c >= 0) line += static_cast<char>(c);
    if (c == kEnd && line.empty()) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

bool WriteAll(int descriptor, std::string_view text) {
    while (!text.empty()) {
        const ssize_t put = ::write(descriptor, text.data(), text.size());
        if (put < 0 && errno != EINTR) return false;
        text.remove_prefix(static_cast<std::size_t>(std::max<ssize_t>(put, 0)));
    }
    return true;
}

bool TerminalOutput::Flush() {
    if (!failure_ && StandardOutputWasClosed()) failure_ = EBADF;
    if (!failure_ && !WriteAll(STDOUT_FILENO, buffer_)) failure_ = errno;
    buffer_.clear();
    return !failure_;
}

std::string Visible(std::string_view text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = ValidCharacterLength(text, i);
        if (length == 0) {
            shown += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        const char32_t code = CodePoint(text.substr(i, length));
        if (code < 0x20 || code == 0x7F) {
            shown += '^';
            shown += static_cast<char>(code ^ 0x40);
        } else if (code >= 0x80 && code < 0xA0) {
            char name[12];
            std::snprintf(name, sizeof name, "<U+%04X>", static_cast<unsigned>(code));
            shown += name;
        } else {
            shown.append(text.substr(i, length));
        }
        i += length;
    }
    return shown;
}

bool TerminalCanEdit() {
    const char* type = std::getenv("TERM");
    return type && *type && std::strcmp(type, "dumb") != 0;
}

namespace {

// Columns a printable character takes, from the C library's Unicode tables
// whatever the user's locale; -1 for one that is not printable.
int Columns(char32_t code) {
    const locale_t utf8 = Utf8Locale();
    if (!utf8) return code < 0x20 || code == 0x7F ? -1 : 1;
    const locale_t previous = ::uselocale(utf8);
    const int columns = ::wcwidth(static_cast<wchar_t>(code));
    ::uselocale(previous);
    return columns;
}

LineEditor::Character Measured(std::string bytes) {
    const bool valid = ValidCharacterLength(bytes, 0) == bytes.size();
    const int columns = valid ? Columns(CodePoint(bytes)) : -1;
    if (columns >= 0) return {bytes, bytes, columns};
    std::string shown = Visible(bytes);  // ASCII or U+FFFD, one column each
    const int width = valid ? static_cast<int>(shown.size()) : 1;
    return {std::move(bytes), std::move(shown), width};
}

std::ptrdiff_t Index(std::size_t at) { return static_cast<std::ptrdiff_t>(at); }

}  // namespace

std::optional<std::string> LineEditor::Edit(const std::string& prompt, const std::string& text) {
    termios saved{};
    if (::tcgetattr(STDIN_FILENO, &saved) != 0) return std::nullopt;
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    RestoreTerminalOnEnd(&saved, &raw);
    ::tcsetattr(STDIN_FILENO, TCSADRAIN, &raw);
    std::optional<std::string> edited = Run(prompt, text);
    RestoreTerminalOnEnd(&saved, nullptr);  // a continue from now on keeps it as it was
    ::tcsetattr(STDIN_FILENO, TCSADRAIN, &saved);
    RestoreTerminalOnEnd(nullptr, nullptr);
    output_.Put("\n");
    output_.Flush();
    if (edited && !edited->empty()) history_.push_back(*edited);
    return edited;
}

void LineEditor::Replace(const std::string& text) {
    line_.clear();
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = std::max<std::size_t>(ValidCharacterLength(text, i), 1);
        line_.push_back(Measured(text.substr(i, length)));
        i += length;
    }
    cursor_ = line_.size();
}

std::string LineEditor::Text() const {
    std::string text;
    for (const Character& character : line_) text += character.bytes;
    return text;
}

// Keys are handled as they come; the line is drawn again only once all that
// one read brought is handled, so that a paste costs one drawing per read.
std::optional<std::string> LineEditor::Run(const std::string& prompt, const std::string& text) {
    Replace(text);
    first_ = 0;
    recalled_ = history_.size();
    for (;;) {
        if (!input_.Waiting()) Draw(prompt);
        const int key = input_.Byte();
        if (key == TerminalInput::kEnd) return std::nullopt;
        bool going = true;
        switch (key) {
        case TerminalInput::kResumed: break;  // drawn again above
        case '\r':
        case '\n': Draw(prompt); return Text();
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
        case 0x10: Recall(-1); break;  // Ctrl-P
        case 0x0E: Recall(+1); break;  // Ctrl-N
        case 0x1B: going = Escape(); break;
        default:
            if (key >= 0x20) going = ReadCharacter(key);
            break;
        }
        if (!going) return std::nullopt;
    }
}

// The next byte of a key begun; a resume meanwhile is drawn after the key.
int LineEditor::NextByte() {
    int byte;
    while ((byte = input_.Byte()) == TerminalInput::kResumed) {
    }
    return byte;
}

// A character typed, from its first byte. A byte that cannot begin one, or
// cannot continue the one begun, ends it at once: what was begun is dropped
// and the byte that broke it is the next key. False at the end of input.
bool LineEditor::ReadCharacter(int lead) {
    std::string character(1, static_cast<char>(lead));
    const std::size_t length = SequenceLength(static_cast<unsigned char>(lead));
    if (length == 0) return true;
    while (character.size() < length) {
        const int next = NextByte();
        if (next == TerminalInput::kEnd) return false;
        if (!Continues(character, static_cast<unsigned char>(next))) {
            input_.PutBack(next);
            return true;
        }
        character += static_cast<char>(next);
    }
    line_.insert(line_.begin() + Index(cursor_++), Measured(std::move(character)));
    return true;
}

// The keys that terminals send as escape sequences, in either of the common
// encodings (ESC [ x, ESC O x, ESC [ n ~); others are ignored. An ESC that
// begins no sequence, or a byte that cannot go on with one, ends it at once
// and is the next key. False at the end of input.
bool LineEditor::Escape() {
    const int introducer = NextByte();
    if (introducer == TerminalInput::kEnd) return false;
    if (introducer != '[' && introducer != 'O') {
        input_.PutBack(introducer);
        return true;
    }
    std::string parameters;
    int final;
    while ((final = NextByte()) >= 0x20 && final < 0x40) parameters += static_cast<char>(final);
    if (final == TerminalInput::kEnd) return false;
    if (final < 0x40 || final > 0x7E) {
        input_.PutBack(final);
        return true;
    }
    const std::string number = parameters.substr(0, parameters.find(';'));
    if (final == '~') {
        if (number == "1" || number == "7") final = 'H';
        else if (number == "4" || number == "8") final = 'F';
        else if (number == "3") final = 'D' + 0x100;  // Delete
    }
    switch (final) {
    case 'A': Recall(-1); break;
    case 'B': Recall(+1); break;
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

// Up and Down through the earlier entries; below the last, the line being
// typed as it was before the first Up.
void LineEditor::Recall(int step) {
    if ((step < 0 && recalled_ == 0) || (step > 0 && recalled_ == history_.size())) return;
    if (recalled_ == history_.size()) typed_ = Text();
    recalled_ = step < 0 ? recalled_ - 1 : recalled_ + 1;
    Replace(recalled_ == history_.size() ? typed_ : history_[recalled_]);
}

// The prompt and as much of the line around the cursor as fits, in time
// linear in the line: every character's columns were measured once.
void LineEditor::Draw(const std::string& prompt) {
    winsize size{};
    const int columns = ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    const int room = std::max(columns - static_cast<int>(prompt.size()) - 1, 1);
    first_ = std::min(first_, cursor_);
    int before = 0;  // columns from the first character shown to the cursor
    for (std::size_t i = first_; i < cursor_; ++i) before += line_[i].columns;
    while (first_ < cursor_ && before > room) before -= line_[first_++].columns;
    std::string shown = "\r" + prompt;
    int used = 0;
    for (std::size_t i = first_; i < line_.size() && used + line_[i].columns <= room; ++i) {
        used += line_[i].columns;
        shown += line_[i].shown;
    }
    shown += "\x1b[K\r";
    const int at = static_cast<int>(prompt.size()) + before;
    if (at > 0) shown += "\x1b[" + std::to_string(at) + "C";
    output_.Put(shown);
    output_.Flush();
}

}  // namespace runtime::posix
