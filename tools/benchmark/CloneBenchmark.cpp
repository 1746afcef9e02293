// Prints how Vornix performs on the sample installation (the 5.0 file set,
// about 5 MB), each figure beside its target:
//  - a whole clone run of vornix-aim50 (start, draw, clone, notices, launcher,
//    close) against `cp -r` of the same folder, as separate processes,
//    alternated, the median of the pairs' ratios;
//  - one clone in-process (one click) against `cp -r`, alternated likewise;
//  - start-up to the first drawing of the window, and a whole run with empty
//    input against /bin/true;
//  - the program's peak resident memory;
//  - a clone whose help file is a 2 GB sparse file with 300 KB of data;
//  - the system calls per copied file (strace, where it is installed).
//   vornix-benchmark [ROUNDS]
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "vornix-benchmark: %s\n", what.c_str());
    std::exit(1);
}

// Keeps the notices of a click off the terminal.
class SilentWindow : public runtime::WindowSystem {
public:
    void ShowMessageBox(const std::string&, runtime::MsgBoxStyle, const std::string&) override {}
    int RunWindow(runtime::Form&) override { return 0; }
};

struct Finished {
    double milliseconds;  // from the start to `marker` in its output, or to its end
    std::string output;
};

// Runs a program to its end with `input` on its standard input.
Finished Run(std::vector<std::string> arguments, const std::string& input = {}, const std::string& marker = {}) {
    int in[2], out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) Fail("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1]}) posix_spawn_file_actions_addclose(&actions, fd);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t child = 0;
    if (::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) Fail("cannot run " + arguments[0]);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0) Fail("cannot write to " + arguments[0]);
    ::close(in[1]);
    Finished finished{-1, {}};
    char buffer[4096];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        finished.output.append(buffer, static_cast<std::size_t>(got));
        if (finished.milliseconds < 0 && !marker.empty() && finished.output.find(marker) != std::string::npos)
            finished.milliseconds = Milliseconds(Clock::now() - start);
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (finished.milliseconds < 0) finished.milliseconds = Milliseconds(Clock::now() - start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail(arguments[0] + " failed:\n" + finished.output);
    return finished;
}

double TimeClick(vornix::Form1& form, const std::string& destination) {
    form.txtDestination.SetText(destination);
    const auto start = Clock::now();
    if (runtime::ClickButton(form, form.Command1)) Fail("the clone failed");
    return Milliseconds(Clock::now() - start);
}

// The peak resident memory of one run, as GNU time measures it: a child's
// own figure would start from this process's, which its spawn shares.
long PeakKilobytes(const std::string& program, const std::string& input, const fs::path& scratch) {
    const fs::path report = scratch / "time.txt";
    Run({"/usr/bin/time", "-o", report.string(), "-f", "%M", program}, input);
    long kilobytes = -1;
    std::ifstream(report) >> kilobytes;
    return kilobytes;
}

// The total of `strace -c`'s table for one run of the program.
long SystemCalls(const std::string& program, const std::string& input, const fs::path& scratch) {
    const fs::path table = scratch / "strace.txt";
    Run({"strace", "-c", "-o", table.string(), program}, input);
    std::ifstream in(table);
    std::string line;
    long calls = -1;
    while (std::getline(in, line))
        if (line.find(" total") != std::string::npos) std::sscanf(line.c_str(), "%*f %*f %*d %ld", &calls);
    if (calls < 0) {  // the table lacks the microseconds column when a run is short
        in.clear();
        in.seekg(0);
        while (std::getline(in, line))
            if (line.find(" total") != std::string::npos) std::sscanf(line.c_str(), "%*f %*f %ld", &calls);
    }
    return calls;
}

void Print(const char* what, const std::string& figure, const char* target) {
    std::printf("%-52s %-28s target: %s\n", what, figure.c_str(), target);
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 21;
    const fs::path prefix = fs::temp_directory_path() / ("vornix-benchmark-" + std::to_string(::getpid()));
    vornix::sample::Install(prefix);
    ::setenv("WINEPREFIX", prefix.c_str(), 1);
    ::setenv("WINE", "true", 1);
    const fs::path installation = vornix::sample::InstallationDirectory(prefix);
    const fs::path programFiles = installation.parent_path();
    const fs::path copies = prefix / "drive_c" / "copies";
    fs::create_directories(copies);
    const std::string program = VORNIX_AIM50_PROGRAM;
    const auto copy = [&](const fs::path& to) { return Run({"cp", "-r", installation.string(), to.string()}).milliseconds; };
    const auto removeClones = [&] {
        for (int n = 1; n <= 9; ++n) fs::remove_all(programFiles / ("AIM95" + std::to_string(n)));
    };

    // Whole processes, as a user or a script waits for them.
    std::vector<double> wholeRatios, wholeRuns, copiesOfWhole;
    for (int round = 0; round < rounds; ++round) {
        removeClones();
        fs::remove_all(copies / "copy");
        const double whole = Run({program}, "\n\n\n").milliseconds;
        const double plain = copy(copies / "copy");
        wholeRuns.push_back(whole);
        copiesOfWhole.push_back(plain);
        wholeRatios.push_back(whole / plain);
    }
    removeClones();

    // The clone alone, in this process.
    SilentWindow silent;
    runtime::UseWindowSystem(&silent);
    vornix::Form1 form(vornix::Aim50Edition());
    std::vector<double> clones, plainCopies, ratios;
    for (int round = 0; round < rounds; ++round) {
        const double clone = TimeClick(form, "C:\\copies\\clone" + std::to_string(round) + "\\");
        const double plain = copy(copies / ("copy" + std::to_string(round)));
        clones.push_back(clone);
        plainCopies.push_back(plain);
        ratios.push_back(clone / plain);
        fs::remove_all(copies / ("clone" + std::to_string(round)));
        fs::remove_all(copies / ("copy" + std::to_string(round)));
    }

    // A help file of 2 GB with 300 KB of data: a third at its start, middle and end.
    const fs::path sparse = installation / "Aim95.hlp";
    const std::vector<char> data(std::size_t{100} * 1024, 'd');
    {
        const int fd = ::open(sparse.c_str(), O_WRONLY | O_TRUNC);
        const off_t size = off_t{2} << 30;
        for (off_t at : {off_t{0}, size / 2, size - static_cast<off_t>(data.size())})
            if (::pwrite(fd, data.data(), data.size(), at) != static_cast<ssize_t>(data.size())) Fail("cannot write the sparse file");
        ::close(fd);
    }
    const double sparseClone = TimeClick(form, "C:\\copies\\sparse\\");
    struct stat copied {};
    ::stat((copies / "sparse" / "Aim95.hlp").c_str(), &copied);
    runtime::UseWindowSystem(nullptr);
    fs::remove_all(copies / "sparse");
    fs::resize_file(sparse, vornix::sample::GeneratedContents("Aim95.hlp").size());

    std::vector<double> startUps, emptyRuns, trueRuns;
    for (int round = 0; round < rounds; ++round) {
        startUps.push_back(Run({program}, "", "[Start Cloning...]").milliseconds);
        emptyRuns.push_back(Run({program}).milliseconds);
        trueRuns.push_back(Run({"/bin/true"}).milliseconds);
    }
    const long peak = ::access("/usr/bin/time", X_OK) == 0 ? PeakKilobytes(program, "\n\n\n", copies) : -1;
    removeClones();

    long perFile = -1;
    if (::access("/usr/bin/strace", X_OK) == 0) {
        const long idle = SystemCalls(program, "", copies);
        const long cloning = SystemCalls(program, "\n\n\n", copies);
        removeClones();
        perFile = (cloning - idle) / static_cast<long>(vornix::Aim50Edition().manifest.size());
    }
    fs::remove_all(prefix);

    std::printf("rounds: %d, on the sample installation (84 files, about 5 MB)\n", rounds);
    Print("whole clone run / cp -r, as processes", Format("%.2f", Median(wholeRatios)) + " (" +
                                                      Format("%.1f", Median(wholeRuns)) + " against " +
                                                      Format("%.1f ms)", Median(copiesOfWhole)),
          "1.10 or less");
    Print("the clone alone / cp -r, in process", Format("%.2f", Median(ratios)) + " (" + Format("%.1f", Median(clones)) +
                                                     " against " + Format("%.1f ms)", Median(plainCopies)),
          "1.02 or less");
    Print("start-up to the first drawing", Format("%.2f ms", Median(startUps)), "under 2 ms");
    Print("whole run with empty input, beyond /bin/true", Format("%.2f ms", Median(emptyRuns) - Median(trueRuns)),
          "1 ms or less");
    Print("peak resident memory of a clone run", peak < 0 ? "not measured (no /usr/bin/time)" : Format("%.1f MB", static_cast<double>(peak) / 1024.0),
          "under 4 MB");
    Print("clone with a 2 GB sparse file (300 KB of data)", Format("%.0f ms", sparseClone), "under 500 ms");
    Print("  of which the copy takes on disk", Format("%.0f KB", static_cast<double>(copied.st_blocks) * 512 / 1024),
          "under 1024 KB");
    Print("system calls per copied file", perFile < 0 ? "not measured (no strace)" : std::to_string(perFile), "about 7");
    return 0;
}
