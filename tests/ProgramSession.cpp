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

#include <gtest/gtest.h>

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
    int toChild[2], fromChild[2], errorsFromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0 || ::pipe2(errorsFromChild, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : options.blockedSignals) sigaddset(&blocked, signal);
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
            ::signal(SIGPIPE, SIG_DFL);  // as a shell starts it, not as this test ignores it
            ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
            ::execve("/bin/sh", argv.data(), envp.data());
            ::_exit(127);
        }
        for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1], errorsFromChild[0], errorsFromChild[1]}) ::close(fd);
        input_ = terminal;
        output_fd_ = ::dup(terminal);
        ::signal(SIGPIPE, SIG_IGN);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, options.separateErrors ? errorsFromChild[1] : fromChild[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &blocked);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);  // as a shell starts it, not as this test ignores it
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int spawned = ::posix_spawn(&child_, "/bin/sh", &actions, &attributes, pointers(arguments).data(),
                                      pointers(environment).data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    ::close(errorsFromChild[1]);
    input_ = toChild[1];
    output_fd_ = fromChild[0];
    errors_fd_ = errorsFromChild[0];
    if (spawned != 0) throw std::runtime_error(std::string("spawn: ") + std::strerror(spawned));
    ::signal(SIGPIPE, SIG_IGN);  // a child that ended early must not end the test
}

ProgramSession::~ProgramSession() {
    if (status_ < 0 && child_ > 0) {
        ::kill(child_, SIGKILL);
        ::waitpid(child_, nullptr, 0);
    }
    for (int fd : {input_, output_fd_, errors_fd_})
        if (fd >= 0) ::close(fd);
}

// Reads what either stream has; false when both have ended or nothing came in time.
bool ProgramSession::ReadSome(int timeoutMs) {
    pollfd ready[2] = {{output_fd_, POLLIN, 0}, {errors_fd_, POLLIN, 0}};
    if ((output_fd_ < 0 && errors_fd_ < 0) || ::poll(ready, 2, timeoutMs) <= 0) return false;
    int* streams[2] = {&output_fd_, &errors_fd_};
    std::string* texts[2] = {&output_, &errors_};
    for (int i = 0; i < 2; ++i) {
        if (!ready[i].revents) continue;
        char buffer[4096];
        const ssize_t got = ::read(*streams[i], buffer, sizeof buffer);
        if (got > 0) {
            texts[i]->append(buffer, static_cast<std::size_t>(got));
        } else {
            ::close(*streams[i]);
            *streams[i] = -1;
        }
    }
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

int ProgramSession::Finish(std::chrono::seconds deadline) {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    const auto end = std::chrono::steady_clock::now() + deadline;
    int status = 0;
    while (::waitpid(child_, &status, WNOHANG) != child_) {
        if (std::chrono::steady_clock::now() > end) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, &status, 0);
            ADD_FAILURE() << "the program was still running after " << deadline.count() << " s; it printed:\n"
                          << output_ << errors_;
            break;
        }
        if (!ReadSome(10)) ::usleep(10000);
    }
    while (ReadSome(1000)) {  // what it wrote last; a child it left may hold the pipe
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : KilledBy(WTERMSIG(status));
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
    return {status, session.Output(), session.Errors()};
}

}  // namespace vornix::testing
