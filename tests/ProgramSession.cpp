#include "ProgramSession.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace vornix::testing {
namespace {

constexpr uid_t kNobody = 65534;

bool HaveSetpriv() { return ::access("/usr/bin/setpriv", X_OK) == 0; }

}  // namespace

void SessionOptions::InjectFaults(const std::vector<std::string>& settings) {
    environment.push_back("LD_PRELOAD=" VORNIX_FAULT_INJECTION);
    environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
    environment.insert(environment.end(), settings.begin(), settings.end());
}

bool CanRunUnprivileged() { return ::geteuid() != 0 || HaveSetpriv(); }

void GiveToUnprivilegedUser(const std::string& path) {
    if (::geteuid() != 0) return;
    if (::lchown(path.c_str(), kNobody, kNobody) != 0) throw std::runtime_error("chown " + path);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
        if (::lchown(entry.path().c_str(), kNobody, kNobody) != 0) throw std::runtime_error("chown " + entry.path().string());
}

ProgramSession::ProgramSession(const std::string& program, const SessionOptions& options) {
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::string script = options.shellSetup + "\nexec \"$@\"";
    std::vector<std::string> arguments = {"/bin/sh", "-c", script, "sh"};
    if (options.unprivileged && ::geteuid() == 0)
        for (const char* word : {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"})
            arguments.emplace_back(word);
    arguments.push_back(program);
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
    for (const std::string& extra : options.environment) environment.push_back(extra);

    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (std::string& text : strings) result.push_back(text.data());
        result.push_back(nullptr);
        return result;
    };
    if (options.terminal) {
        std::vector<char*> argv = pointers(arguments), envp = pointers(environment);
        winsize size = {24, 100, 0, 0};
        int terminal = -1;
        child_ = ::forkpty(&terminal, nullptr, nullptr, &size);
        if (child_ < 0) throw std::runtime_error("forkpty");
        if (child_ == 0) {
            ::execve("/bin/sh", argv.data(), envp.data());
            ::_exit(127);
        }
        for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]}) ::close(fd);
        input_ = terminal;
        output_fd_ = ::dup(terminal);
        ::signal(SIGPIPE, SIG_IGN);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDERR_FILENO);
    const int spawned = ::posix_spawn(&child_, "/bin/sh", &actions, nullptr, pointers(arguments).data(),
                                      pointers(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input_ = toChild[1];
    output_fd_ = fromChild[0];
    if (spawned != 0) throw std::runtime_error(std::string("spawn: ") + std::strerror(spawned));
    ::signal(SIGPIPE, SIG_IGN);  // a child that ended early must not end the test
}

ProgramSession::~ProgramSession() {
    if (status_ < 0 && child_ > 0) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }
    if (input_ >= 0) ::close(input_);
    if (output_fd_ >= 0) ::close(output_fd_);
}

bool ProgramSession::ReadSome(int timeoutMs) {
    if (output_fd_ < 0) return false;
    pollfd ready = {output_fd_, POLLIN, 0};
    if (::poll(&ready, 1, timeoutMs) <= 0) return false;
    char buffer[4096];
    const ssize_t got = ::read(output_fd_, buffer, sizeof buffer);
    if (got <= 0) return false;
    output_.append(buffer, static_cast<std::size_t>(got));
    return true;
}

bool ProgramSession::WaitFor(const std::string& text, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const std::size_t at = output_.find(text, consumed_);
        if (at != std::string::npos) {
            consumed_ = at + text.size();
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !ReadSome(static_cast<int>(left.count()))) return false;
    }
}

void ProgramSession::Send(const std::string& line) { SendKeys(line + "\n"); }

void ProgramSession::SendKeys(const std::string& keys) {
    if (::write(input_, keys.data(), keys.size()) < 0) { /* the program has ended; Finish() tells */ }
}

void ProgramSession::Signal(int signal) const { ::kill(child_, signal); }

void ProgramSession::CloseOutput() {
    ::close(output_fd_);
    output_fd_ = -1;
}

int ProgramSession::Finish() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    while (ReadSome(30000)) {
    }
    int status = 0;
    ::waitpid(child_, &status, 0);
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return status_;
}

Transcript RunProgram(const std::string& program, const std::string& input, const SessionOptions& options) {
    ProgramSession session(program, options);
    if (!input.empty()) {
        // Answers are consumed line by line, so all of them can be sent at once.
        std::string lines = input;
        if (lines.back() == '\n') lines.pop_back();
        session.Send(lines);
    }
    const int status = session.Finish();
    return {status, session.Output()};
}

}  // namespace vornix::testing
