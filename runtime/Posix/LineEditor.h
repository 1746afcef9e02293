// Reading keys and lines at a terminal, writing to it, and editing one line
// in place.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace runtime::posix {

// Standard input, a byte or a line at a time. End of input, a read error and
// an interruption held back all end it.
class TerminalInput {
public:
    static constexpr int kEnd = -1;
    static constexpr int kResumed = -2;  // continued after a stop

    // The next byte, kEnd at the end, or kResumed.
    int Byte();
    // Gives a byte back, to be the next one read.
    void PutBack(int byte) { pushedBack_ = byte; }
    // Whether bytes already read are waiting: a paste arrives in one read.
    bool Waiting() const { return pushedBack_ >= 0 || next_ < buffer_.size(); }
    // A line without its end (LF, or CR LF from a script written elsewhere);
    // false at the end of input.
    bool Line(std::string& line);

private:
    std::string buffer_;
    std::size_t next_ = 0;
    int pushedBack_ = -1;
    bool ended_ = false;
};

// Standard output, written out at each prompt. A write that fails is
// remembered: nothing more is shown there.
class TerminalOutput {
public:
    void Put(std::string_view text) { buffer_ += text; }
    // False once output has failed; Failure() then says why (an errno).
    bool Flush();
    int Failure() const { return failure_; }

private:
    std::string buffer_;
    int failure_ = 0;
};

// Writes all of `text`; false, with errno set, when that fails.
bool WriteAll(int descriptor, std::string_view text);

// Text from outside (a launcher's words, names read from disk) as a terminal
// can show it harmlessly: control characters in caret notation (ESC is ^[),
// other unprintable ones as <U+0085>, bytes that are not UTF-8 as U+FFFD.
std::string Visible(std::string_view text);

// Whether the terminal's type says it takes cursor moves and line erasing.
bool TerminalCanEdit();

// Edits one line at a terminal, filled in, with the run's earlier entries a
// key away. Text is UTF-8 whatever the locale says; a line longer than the
// terminal scrolls sideways. The terminal is set up before the prompt is
// drawn, so that no key is ever echoed by the terminal itself, and put back
// afterwards, also should a signal end or stop the program meanwhile.
class LineEditor {
public:
    LineEditor(TerminalInput& input, TerminalOutput& output) : input_(input), output_(output) {}

    // The line edited; nothing at the end of input.
    std::optional<std::string> Edit(const std::string& prompt, const std::string& text);

    struct Character {
        std::string bytes;
        std::string shown;
        int columns;
    };

private:
    std::optional<std::string> Run(const std::string& prompt, const std::string& text);
    int NextByte();
    bool ReadCharacter(int lead);
    bool Escape();
    void Recall(int step);
    void Draw(const std::string& prompt);
    void Replace(const std::string& text);
    std::string Text() const;

    TerminalInput& input_;
    TerminalOutput& output_;
    std::vector<std::string> history_;
    std::size_t recalled_ = 0;     // the entry shown; history_.size() for the line being typed
    std::string typed_;            // the line being typed, while an entry is shown
    std::vector<Character> line_;
    std::size_t cursor_ = 0;
    std::size_t first_ = 0;  // the first character shown
};

}  // namespace runtime::posix
