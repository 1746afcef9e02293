// Programs start through Wine, the way a user starts one by hand:
// `$WINE start /min C:\path\prog.exe` in the prefix in use.
#include "../Program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "../RuntimeError.h"
#include "WinePath.h"

extern char** environ;

namespace runtime {
namespace {

std::vector<std::string> StartArguments(const std::string& wine, const std::string& path, WindowStyle style) {
    std::vector<std::string> arguments = {wine, "start"};
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

std::string Trimmed(std::string text) {
    for (char& c : text)
        if (c == '\r' || c == '\n') c = ' ';
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The launcher's messages go to a file, not a pipe: the started program may
// inherit the handle and live on, and we must not wait for it.
std::string ReadBack(std::FILE* captured) {
    std::string text;
    std::rewind(captured);
    char buffer[512];
    while (std::size_t got = std::fread(buffer, 1, sizeof buffer, captured)) text.append(buffer, got);
    return Trimmed(text);
}

}  // namespace

void StartProgram(const std::string& path, WindowStyle style) {
    const posix::HostPath mapped = posix::MapPath(path);
    struct stat info {};
    if (mapped.missing != 0 || ::stat(mapped.host.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        Raise(ErrorNumber::FileNotFound, path);

    const char* configured = std::getenv("WINE");
    const std::string wine = configured && *configured ? configured : "wine";
    std::vector<std::string> arguments = StartArguments(wine, path, style);
    std::vector<std::string> environment = LauncherEnvironment();

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> captured(std::tmpfile(), std::fclose);
    if (!captured) Raise(ErrorNumber::FileNotFound, path, "no temporary file for the launcher's output");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fileno(captured.get()), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fileno(captured.get()), STDERR_FILENO);

    pid_t launcher = 0;
    const int spawned = ::posix_spawnp(&launcher, wine.c_str(), &actions, nullptr, Pointers(arguments).data(),
                                       Pointers(environment).data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        Raise(ErrorNumber::FileNotFound, path, "could not run " + wine + ": " + std::strerror(spawned));

    int status = 0;
    while (::waitpid(launcher, &status, 0) < 0)
        if (errno != EINTR) Raise(ErrorNumber::FileNotFound, path, "lost track of " + wine);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;

    std::string said = ReadBack(captured.get());
    if (said.empty())
        said = WIFEXITED(status) ? wine + " exited with status " + std::to_string(WEXITSTATUS(status))
                                 : wine + " was ended by signal " + std::to_string(WTERMSIG(status));
    Raise(ErrorNumber::FileNotFound, path, said);
}

}  // namespace runtime
