// Prints how Vornix performs on the sample installation (the 5.0 file set,
// about 5 MB):
//  - one clone (copy and patch, in-process, one click with a launcher that
//    does nothing) against `cp -r` of the same files into a fresh directory on
//    the same file system, alternating the two; the median ratio;
//  - start-up of vornix-aim50 to its first drawing of the window (nine slot
//    probes), and the program's peak resident memory.
//   vornix-benchmark [ROUNDS]
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "clonetool/Form1.h"
#include "tools/SampleInstallation.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Keeps the notices of a click off the terminal.
class SilentWindow : public runtime::WindowSystem {
public:
    void ShowMessageBox(const std::string&, runtime::MsgBoxStyle, const std::string&) override {}
    int RunWindow(runtime::Form&) override { return 0; }
};

double TimeClone(vornix::Form1& form, const std::string& destination) {
    form.txtDestination.SetText(destination);
    const auto start = Clock::now();
    if (runtime::ClickButton(form, form.Command1)) {
        std::fprintf(stderr, "the clone failed\n");
        std::exit(1);
    }
    return Milliseconds(Clock::now() - start);
}

double TimeCopy(const fs::path& from, const fs::path& to) {
    std::vector<std::string> arguments = {"cp", "-r", from.string(), to.string()};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t child = 0;
    int status = 0;
    if (::posix_spawnp(&child, "cp", nullptr, nullptr, argv.data(), environ) != 0 || ::waitpid(child, &status, 0) < 0 ||
        status != 0) {
        std::fprintf(stderr, "cp failed\n");
        std::exit(1);
    }
    return Milliseconds(Clock::now() - start);
}

struct StartUp {
    double milliseconds;
    long peakKilobytes;
};

// From starting the program to the last line of its first drawing.
StartUp TimeStartUp(const char* program) {
    int output[2];
    if (::pipe(output) != 0) std::exit(1);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    char* argv[] = {const_cast<char*>(program), nullptr};
    const auto start = Clock::now();
    pid_t child = 0;
    if (::posix_spawn(&child, program, &actions, nullptr, argv, environ) != 0) std::exit(1);
    ::close(output[1]);
    std::string seen;
    double drawn = -1;
    char buffer[4096];
    for (ssize_t got; (got = ::read(output[0], buffer, sizeof buffer)) > 0;) {
        seen.append(buffer, static_cast<std::size_t>(got));
        if (drawn < 0 && seen.find("[Start Cloning...]") != std::string::npos) drawn = Milliseconds(Clock::now() - start);
    }
    ::close(output[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    posix_spawn_file_actions_destroy(&actions);
    if (drawn < 0) {
        std::fprintf(stderr, "the window was never drawn:\n%s\n", seen.c_str());
        std::exit(1);
    }
    return {drawn, usage.ru_maxrss};
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    const fs::path prefix = fs::temp_directory_path() / ("vornix-benchmark-" + std::to_string(::getpid()));
    vornix::sample::Install(prefix);
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    ::setenv("WINE", "true", 1);
    const fs::path installation = vornix::sample::InstallationDirectory(prefix);
    const fs::path copies = prefix / "drive_c" / "copies";
    fs::create_directories(copies);

    SilentWindow silent;
    runtime::UseWindowSystem(&silent);
    vornix::Form1 form(vornix::Aim50Edition());
    std::vector<double> clones, plainCopies, ratios;
    for (int round = 0; round < rounds; ++round) {
        const double clone = TimeClone(form, "C:\\copies\\clone" + std::to_string(round) + "\\");
        const double copy = TimeCopy(installation, copies / ("copy" + std::to_string(round)));
        clones.push_back(clone);
        plainCopies.push_back(copy);
        ratios.push_back(clone / copy);
        fs::remove_all(copies / ("clone" + std::to_string(round)));
        fs::remove_all(copies / ("copy" + std::to_string(round)));
    }
    runtime::UseWindowSystem(nullptr);

    std::vector<double> startUps;
    long peak = 0;
    for (int round = 0; round < rounds; ++round) {
        const StartUp startUp = TimeStartUp(VORNIX_AIM50_PROGRAM);
        startUps.push_back(startUp.milliseconds);
        peak = std::max(peak, startUp.peakKilobytes);
    }
    fs::remove_all(prefix);

    std::printf("rounds: %d\n", rounds);
    std::printf("clone (copy and patch of 84 files, one click):  median %.2f ms\n", Median(clones));
    std::printf("cp -r of the same files:                        median %.2f ms\n", Median(plainCopies));
    std::printf("clone / cp:                                     median ratio %.2f (target 1.2 or less)\n", Median(ratios));
    std::printf("start-up to the first drawing (nine probes):    median %.2f ms (target under 20)\n", Median(startUps));
    std::printf("peak resident memory of vornix-aim50:           %.1f MB (target under 8)\n", static_cast<double>(peak) / 1024.0);
    return 0;
}
