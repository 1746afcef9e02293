// Programs start through Wine, the way a user starts one by hand:
// `$WINE start /d C:\path /min C:\path\prog.exe` in the prefix in use; the
// program runs in its own directory, beside its own files.
#include "../Program.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../RuntimeError.h"
#include "Errors.h"
#include "FileDescriptor.h"
#include "Process.h"
#include "WinePath.h"

extern char** environ;

namespace runtime {
namespace {

// The most of the launcher's own words that a report carries.
constexpr std::size_t kLauncherOutputLimit = 2048;

volatile std::sig_atomic_t shielded = 0;
volatile std::sig_atomic_t heldBack = 0;  // the signal of an interruption held back
volatile std::sig_atomic_t resumed = 0;   // continued after a stop, not yet told
std::atomic<const termios*> terminalToRestore{nullptr};
std::atomic<const termios*> terminalInUse{nullptr};
bool standardOutputWasClosed = false;
sigset_t interruptions;  // filled once, before any handler is installed

// Every signal from outside whose default action ends a process. Faults
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS) are left as
// they are: a crash is no interruption, and its report matters more.
std::vector<int> EndingSignals() {
    std::vector<int> signals = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU};
#if defined(SIGPOLL)
    signals.push_back(SIGPOLL);
#endif
#if defined(SIGPWR)
    signals.push_back(SIGPWR);
#endif
#if defined(SIGSTKFLT)
    signals.push_back(SIGSTKFLT);
#endif
#if defined(SIGRTMIN)
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) signals.push_back(signal);
#endif
    return signals;
}

// Ends the program the way `signal` ends any program, with the terminal as
// it was; no core file, since this end is asked for, not a crash. Safe in a
// signal handler.
void EndBySignal(int signal) {
    if (const termios* state = terminalToRestore.load()) ::tcsetattr(STDIN_FILENO, TCSANOW, state);
    const rlimit noCore = {0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);  // never reached: the default action of these signals is to end
}

void OnInterruption(int signal) {
    if (shielded)
        heldBack = signal;
    else
        EndBySignal(signal);
}

// Ctrl-Z: the terminal as it was while stopped; the editor's mode again when
// continued (OnContinue), whoever continues it.
void OnStop(int signal) {
    const int savedErrno = errno;
    if (const termios* state = terminalToRestore.load()) ::tcsetattr(STDIN_FILENO, TCSADRAIN, state);
    struct sigaction mine {}, fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(signal, &fallback, &mine);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    ::sigprocmask(SIG_UNBLOCK, &only, nullptr);
    ::raise(signal);  // stops here until continued
    ::sigprocmask(SIG_BLOCK, &only, nullptr);
    ::sigaction(signal, &mine, nullptr);
    errno = savedErrno;
}

void OnContinue(int) {
    const int savedErrno = errno;
    if (const termios* state = terminalInUse.load()) ::tcsetattr(STDIN_FILENO, TCSADRAIN, state);
    resumed = 1;
    errno = savedErrno;
}

void OnChildChange(int) {}  // only wakes the wait for the launcher

std::string SignalName(int signal) {
    switch (signal) {
    case SIGINT: return "Ctrl-C (SIGINT)";
    case SIGQUIT: return "Ctrl-\\ (SIGQUIT)";
    case SIGHUP: return "the terminal closing (SIGHUP)";
    default: break;
    }
    if (const char* abbreviation = ::sigabbrev_np(signal)) return std::string("SIG") + abbreviation;
    return "signal " + std::to_string(signal);
}

std::vector<std::string> StartArguments(const std::string& wine, const std::string& path, WindowStyle style) {
    std::vector<std::string> arguments = {wine, "start", "/d", path.substr(0, path.find_last_of("\\/") + 1)};
    if (style == WindowStyle::MinimizedFocus) arguments.emplace_back("/min");
    arguments.push_back(path);
    return arguments;
}

// Our environment with WINEPREFIX naming the prefix we resolved paths in.
std::vector<std::string> LauncherEnvironment() {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry)
        if (std::strncmp(*entry, "WINEPREFIX=", 11) != 0) variables.emplace_back(*entry);
    variables.push_back("WINEPREFIX=" + posix::WinePrefix().string());
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& text : strings) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The launcher's messages, on one line; past the limit marked as cut.
std::string OneLine(std::string text) {
    if (text.size() > kLauncherOutputLimit) text.replace(kLauncherOutputLimit, std::string::npos, " ...");
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Only descriptors 0 to 2 and default signal dispositions pass on to the
// launcher, and through it to Wine and the client. It runs in a session of
// its own, without a controlling terminal: a Ctrl-C or a closed terminal
// meant for Vornix does not reach it, and a launcher that touches the
// terminal gets an error instead of being stopped.
class CleanSpawn {
public:
    explicit CleanSpawn(int output) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, output, STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions_, output, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
        posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
#endif
        posix_spawnattr_init(&attributes_);
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSID);
    }
    ~CleanSpawn() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    CleanSpawn(const CleanSpawn&) = delete;
    CleanSpawn& operator=(const CleanSpawn&) = delete;

    int Run(pid_t& child, std::vector<std::string>& arguments, std::vector<std::string>& environment) {
        return ::posix_spawnp(&child, arguments[0].c_str(), &actions_, &attributes_, Pointers(arguments).data(),
                              Pointers(environment).data());
    }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

// Reads what is there without waiting; false once every writer has gone.
// What passes the limit is read and dropped, so the writer never blocks.
bool ReadAvailable(int reader, std::string& kept) {
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(reader, chunk, sizeof chunk);
        if (got == 0) return false;
        if (got < 0) return errno == EAGAIN || errno == EINTR;
        const std::size_t room = kept.size() > kLauncherOutputLimit ? 0 : kLauncherOutputLimit + 1 - kept.size();
        kept.append(chunk, std::min(room, static_cast<std::size_t>(got)));
    }
}

// Blocks the interruptions (and, to wait for a child, SIGCHLD, with a
// handler that makes it wake the wait) for a wait that ppoll opens again
// atomically: a signal that comes just before the wait is seen by it.
class BlockedForWait {
public:
    explicit BlockedForWait(bool children) : children_(children) {
        sigset_t blocked = interruptions;
        sigaddset(&blocked, SIGCONT);
        if (children) {
            sigaddset(&blocked, SIGCHLD);
            struct sigaction waking {};
            waking.sa_handler = OnChildChange;
            ::sigaction(SIGCHLD, &waking, &childAction_);
        }
        ::sigprocmask(SIG_BLOCK, &blocked, &previous_);
    }
    ~BlockedForWait() {
        ::sigprocmask(SIG_SETMASK, &previous_, nullptr);
        if (children_) ::sigaction(SIGCHLD, &childAction_, nullptr);
    }
    BlockedForWait(const BlockedForWait&) = delete;
    BlockedForWait& operator=(const BlockedForWait&) = delete;
    const sigset_t* Open() const { return &previous_; }

private:
    bool children_;
    sigset_t previous_;
    struct sigaction childAction_ {};
};

}  // namespace

void PrepareProcess() {
    // A descriptor closed at the start would be handed to the first file
    // opened: it stands on /dev/null instead, and output there is an error.
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (::fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF) continue;
        ::open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);  // takes the lowest free number
        if (descriptor == STDOUT_FILENO) standardOutputWasClosed = true;
    }
    // A closed terminal or pipe ends input (the terminal window sees it); a
    // file-size limit ends a copy with "Disk full".
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    const auto install = [](int signal, void (*handler)(int)) {
        struct sigaction action {}, previous {};
        action.sa_handler = handler;
        sigfillset(&action.sa_mask);  // one handler at a time
        action.sa_flags = 0;  // no restart: a blocked read, wait or copy returns and looks at what was held back
        ::sigaction(signal, &action, &previous);
        if (previous.sa_handler == SIG_IGN) ::sigaction(signal, &previous, nullptr);  // nohup stays nohup
    };
    // Blocked meanwhile: an ignored signal must not meet our handler in the
    // instant before it is ignored again.
    sigset_t all, previous;
    sigfillset(&all);
    ::sigprocmask(SIG_BLOCK, &all, &previous);
    sigemptyset(&interruptions);
    for (int signal : EndingSignals()) {
        sigaddset(&interruptions, signal);
        install(signal, OnInterruption);
    }
    install(SIGTSTP, OnStop);
    install(SIGCONT, OnContinue);
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
}

InterruptionShield::InterruptionShield() { shielded = 1; }

InterruptionShield::~InterruptionShield() { shielded = 0; }

void RaiseIfInterrupted(const std::string& path) {
    if (const int signal = heldBack) Raise(ErrorNumber::UserInterrupt, path, "stopped by " + SignalName(signal));
}

void EndIfInterrupted() {
    if (const int signal = heldBack) EndBySignal(signal);
}

namespace posix {

bool InterruptionPending() { return heldBack != 0; }

bool StandardOutputWasClosed() { return standardOutputWasClosed; }

Waited WaitReadable(int descriptor) {
    const BlockedForWait blocked(false);
    for (;;) {
        if (heldBack) return Waited::Interrupted;
        if (resumed) {
            resumed = 0;
            return Waited::Resumed;
        }
        pollfd waiting = {descriptor, POLLIN, 0};
        if (::ppoll(&waiting, 1, nullptr, blocked.Open()) >= 0 || errno != EINTR) return Waited::Readable;
    }
}

void RestoreTerminalOnEnd(const termios* saved, const termios* inUse) {
    terminalInUse.store(inUse);
    terminalToRestore.store(saved);
}

}  // namespace posix

void StartProgram(const std::string& path, WindowStyle style) {
    RaiseIfInterrupted(path);
    const posix::HostPath mapped = posix::MapPath(path);
    struct stat info {};
    if (mapped.missing != 0 || ::stat(mapped.host.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        Raise(ErrorNumber::FileNotFound, path);

    const char* configured = std::getenv("WINE");
    const std::string wine = configured && *configured ? configured : "wine";
    std::vector<std::string> arguments = StartArguments(wine, path, style);
    std::vector<std::string> environment = LauncherEnvironment();

    // The launcher's messages come through a pipe that is read while it runs
    // and closed when it has ended: what Wine and the clone, which inherit
    // it, write later goes nowhere instead of piling up.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) posix::RaiseFromErrno(errno, wine, ErrorNumber::FileNotFound);
    const posix::FileDescriptor reader(ends[0]);
    posix::FileDescriptor writer(ends[1]);
    ::fcntl(reader.get(), F_SETFL, O_NONBLOCK);
    pid_t launcher = 0;
    if (const int failed = CleanSpawn(writer.get()).Run(launcher, arguments, environment))
        Raise(ErrorNumber::FileNotFound, wine,
              "the Wine launcher that starts " + path + " could not be run: " + std::strerror(failed) +
                  "; set WINE to the wine program");
    writer.Close();

    // An interruption meanwhile is acted on at once: the clone is complete,
    // and the launcher is left to finish on its own.
    std::string said;
    int status = 0;
    {
        const BlockedForWait blocked(true);
        for (bool open = true;;) {
            const pid_t changed = ::waitpid(launcher, &status, WNOHANG | WUNTRACED);
            if (changed == launcher) break;
            if (changed < 0 && errno != EINTR) posix::RaiseFromErrno(errno, wine, ErrorNumber::FileNotFound);
            RaiseIfInterrupted(path);
            pollfd output = {reader.get(), POLLIN, 0};
            ::ppoll(&output, open ? 1 : 0, nullptr, blocked.Open());
            if (open && output.revents) open = ReadAvailable(reader.get(), said);
        }
    }
    ReadAvailable(reader.get(), said);
    if (WIFSTOPPED(status))
        Raise(ErrorNumber::PathFileAccessError, wine,
              "it was stopped by " + SignalName(WSTOPSIG(status)) + " while starting " + path +
                  ", and is left stopped as process " + std::to_string(launcher));
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;

    const std::string how = WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                              : std::string("was ended by signal ") + std::to_string(WTERMSIG(status));
    said = OneLine(std::move(said));
    Raise(ErrorNumber::PathFileAccessError, wine,
          "it " + how + " while starting " + path + (said.empty() ? "" : ": " + said));
}

}  // namespace runtime
