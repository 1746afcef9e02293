// A built program run as a child with its terminal window on pipes, so a test
// can wait for what it prints and answer like a user.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace vornix::testing {

// How Finish() tells an end by signal N from any exit status.
constexpr int KilledBy(int signal) { return 256 + signal; }

struct SessionOptions {
    // Passed to the program.
    std::vector<std::string> arguments;
    // Extra NAME=value pairs for the child's environment.
    std::vector<std::string> environment;
    // Shell commands run before the program (ulimit, umask ...).
    std::string shellSetup;
    // Run without root's privileges (as nobody) when the tests run as root.
    bool unprivileged = false;
    // On a pseudo-terminal of its own, as a user at a terminal runs it.
    bool terminal = false;
    // Signals blocked in the program when it starts.
    std::vector<int> blockedSignals;
    // Standard error apart from standard output (not at a terminal).
    bool separateErrors = false;

    // Preloads the fault-injection library, set up by these NAME=value pairs.
    void InjectFaults(const std::vector<std::string>& settings);
};

class ProgramSession {
public:
    ProgramSession(const std::string& program, const SessionOptions& options = {});
    ProgramSession(const ProgramSession&) = delete;
    ProgramSession& operator=(const ProgramSession&) = delete;
    ~ProgramSession();

    // Waits until the output holds `text` after what earlier waits consumed.
    // Gives up after `timeout`, well within a test's own time limit.
    bool WaitFor(const std::string& text, std::chrono::seconds timeout = std::chrono::seconds(10));
    void Send(const std::string& line);
    // Sends keys as they are, with no line end added.
    void SendKeys(const std::string& keys);
    // Sends a signal to the program.
    void Signal(int signal) const;
    // Stops reading its output, as a pager that quits does.
    void CloseOutput();
    // Closes the input, reads to the end and returns the exit status, or
    // KilledBy(N) when signal N ended it. A program still running after the
    // deadline is killed, and the test fails with what it printed.
    int Finish(std::chrono::seconds deadline = std::chrono::seconds(20));
    const std::string& Output() const { return output_; }
    // Standard error, when kept apart.
    const std::string& Errors() const { return errors_; }

private:
    bool ReadSome(int timeoutMs);

    pid_t child_ = -1;
    int input_ = -1;
    int output_fd_ = -1;
    int errors_fd_ = -1;
    std::string output_;
    std::string errors_;
    std::size_t consumed_ = 0;
    int status_ = -1;
};

// Everything at once: input, then the transcript and status.
struct Transcript {
    int status;
    std::string output;
    std::string errors;  // when kept apart
};
Transcript RunProgram(const std::string& program, const std::string& input, const SessionOptions& options = {});

// Whether SessionOptions::unprivileged can take effect here.
bool CanRunUnprivileged();
// Hands a tree to the user unprivileged sessions run as.
void GiveToUnprivilegedUser(const std::string& path);

}  // namespace vornix::testing
