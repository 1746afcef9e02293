// Whatever goes wrong, through the real programs: the installation stays as it
// was, nothing outside the destination changes, the destination is absent or
// a complete clone, and a critical box names number, description and path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <fcntl.h>

#include <climits>
#include <csignal>
#include <filesystem>
#include <regex>
#include <thread>

#include "ProgramSession.h"
#include "TestPrefix.h"
#include "clonetool/editions/Edition.h"

namespace vornix::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kAim50 = VORNIX_AIM50_PROGRAM;

// The staging directory's random part, which a test cannot know.
std::string WithoutStagingNames(const std::string& output) {
    return std::regex_replace(output, std::regex(R"(vornix-partial-[0-9a-f]{8})"), "vornix-partial-*");
}

// Files the clone being built holds so far (0 while there is none).
std::size_t FilesBeingCloned(const fs::path& programFiles) {
    std::size_t files = 0;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(programFiles, ignored))
        if (entry.path().filename().string().starts_with("vornix-partial-"))
            for (const auto& file : fs::recursive_directory_iterator(entry.path(), ignored))
                files += file.is_regular_file(ignored);
    return files;
}

class FailureMatrix : public ::testing::Test {
protected:
    FailureMatrix() { options.environment = {"WINE=" + MakeRecordingLauncher(prefix.Scratch(), LaunchLog()).string()}; }

    fs::path LaunchLog() const { return prefix.Scratch() / "launched.log"; }

    // Takes what must not change: everything but the scratch files and, when
    // the run is to create it, the destination (and what a fault changes).
    void Remember(const fs::path& newDestination = {}, const fs::path& changedByFault = {}) {
        excluded_ = {prefix.Scratch()};
        for (const fs::path& changing : {newDestination, changedByFault})
            if (!changing.empty()) excluded_.push_back(changing);
        before_ = TestPrefix::Snapshot(prefix.Sandbox(), excluded_);
    }

    // Runs one clone (typing `destination` first when given) and checks the
    // report and that nothing outside the destination changed.
    Transcript CloneAndExpectError(int number, const std::string& description, const std::string& path,
                                   const std::string& destination = {}) {
        const std::string typed = destination.empty() ? "" : "e\n" + destination + "\n";
        const Transcript run = RunProgram(program_, typed + "\n\n\n\n\n", options);
        ExpectReport(run, number, description, path);
        ExpectNothingElseChanged();
        return run;
    }

    // Names only what changed: a whole snapshot is too long to read.
    void ExpectNothingElseChanged() const {
        const std::map<std::string, std::string> after = TestPrefix::Snapshot(prefix.Sandbox(), excluded_);
        std::string changed;
        for (const auto& [name, what] : after)
            if (const auto was = before_.find(name); was == before_.end() || was->second != what) changed += "\n  new or changed: " + name;
        for (const auto& [name, what] : before_)
            if (!after.contains(name)) changed += "\n  gone: " + name;
        EXPECT_EQ(changed, "") << "something outside the destination changed";
    }

    static void ExpectReport(const Transcript& run, int number, const std::string& description, const std::string& path) {
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_THAT(WithoutStagingNames(run.output),
                    HasSubstr("[x] Vornix (AIM v5.0)\n    Run-time error '" + std::to_string(number) + "':\n    \n    " +
                              description + ": " + path));
        EXPECT_THAT(run.output, Not(HasSubstr("About...")));
    }

    // Absent, or holding every file of the clone with its digit.
    void ExpectNoHalfMadeClone(const fs::path& clone, char digit) const {
        if (!fs::exists(clone)) return;
        EXPECT_THAT(prefix.MiscopiedFiles(clone, Aim50Edition(), digit), ::testing::IsEmpty()) << "half-made clone";
    }

    // A copy of the program in the sandbox, which other users may reach:
    // the build directory may lie where they cannot.
    fs::path CopyOthersCanRun() {
        const fs::path copy = prefix.Scratch() / "vornix-aim50";
        fs::copy_file(kAim50, copy);
        for (const fs::path& open : {prefix.Sandbox(), prefix.Scratch()}) fs::permissions(open, fs::perms(0755));
        program_ = copy.string();
        return copy;
    }

    // Runs the program as nobody, from that copy.
    void RunUnprivileged() {
        CopyOthersCanRun();
        GiveToUnprivilegedUser(prefix.Sandbox().string());
        options.unprivileged = true;
    }

    TestPrefix prefix;
    SessionOptions options;

private:
    std::string program_ = kAim50;
    std::vector<fs::path> excluded_;
    std::map<std::string, std::string> before_;
};

// A source entry that cannot be copied: error 53 at once, and no clone. A
// link is followed: to an ordinary file it is that file.
TEST_F(FailureMatrix, ASourceThatIsMissingOrNoOrdinaryFile) {
    const struct {
        const char* entry;
        const char* kind;
        const char* reported = nullptr;  // when another than the entry
    } cases[] = {{"Patcher.dll", "missing"},   {"Sounds/talkstop.wav", "missing"}, {"Patcher.dll", "fifo"},
                 {"Patcher.dll", "socket"},    {"Patcher.dll", "device"},          {"Patcher.dll", "directory"},
                 {"Patcher.dll", "fifo at the open"}, {"Patcher.dll", "link to a file"},
                 {"Sounds", "dangling link", "Sounds/cashregister.wav"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.entry) + " " + c.kind);
        const fs::path entry = prefix.Installation() / c.entry;
        const fs::path moved = prefix.Scratch() / "moved";
        fs::rename(entry, moved);
        const std::string kind = c.kind;
        int listening = -1;
        if (kind == "fifo") {
            ASSERT_EQ(::mkfifo(entry.c_str(), 0644), 0);
        }
        const SessionOptions plain = options;
        if (kind == "fifo at the open") {  // after it was looked at: the open must not wait for a writer
            fs::copy_file(moved, entry);
            options.InjectFaults({"VORNIX_FIFO_AT_OPEN_SUFFIX=/Patcher.dll"});
        }
        if (kind == "link to a file") fs::create_symlink(moved, entry);
        if (kind == "dangling link") fs::create_directory_symlink(prefix.Scratch() / "gone", entry);
        if (kind == "device") fs::create_symlink("/dev/zero", entry);
        if (kind == "directory") fs::create_directory(entry);
        if (kind == "socket") {
            listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            entry.string().copy(address.sun_path, sizeof address.sun_path - 1);
            ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        }
        Remember(prefix.Slot(1), kind == "fifo at the open" ? entry : fs::path());
        std::string windowsName = c.reported ? c.reported : c.entry;
        std::replace(windowsName.begin(), windowsName.end(), '/', '\\');
        if (kind == "link to a file") {
            const Transcript run = RunProgram(kAim50, "\n\n\n", options);
            EXPECT_EQ(run.status, 0) << run.output;
            EXPECT_EQ(TestPrefix::Bytes(prefix.Slot(1) / c.entry), TestPrefix::Bytes(moved));
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(prefix.Slot(1) / c.entry))) << "a copy, not a link";
            fs::remove_all(prefix.Slot(1));
        } else {
            CloneAndExpectError(53, "File not found", "C:\\Program Files\\AIM95\\" + windowsName);
            EXPECT_FALSE(fs::exists(prefix.Slot(1)));
        }
        if (listening >= 0) ::close(listening);
        fs::remove(entry);
        fs::rename(moved, entry);
        options = plain;
    }
}

TEST_F(FailureMatrix, AimExeVanishingAfterStartUp) {
    ProgramSession session(kAim50, options);
    ASSERT_TRUE(session.WaitFor("q = close: "));
    fs::remove(prefix.Installation() / "aim.exe");
    Remember(prefix.Slot(1));
    session.Send("");
    session.Send("");
    ExpectReport({session.Finish(), session.Output()}, 53, "File not found", "C:\\Program Files\\AIM95\\aim.exe");
    EXPECT_FALSE(fs::exists(prefix.Slot(1)));
}

// What is started is looked at once more just before: a clone's aim.exe
// turned into a folder while a notice is up is not found, and nothing starts.
TEST_F(FailureMatrix, AClonesAimExeReplacedByAFolderBeforeTheStart) {
    ProgramSession session(kAim50, options);
    ASSERT_TRUE(session.WaitFor("q = close: "));
    session.Send("");
    ASSERT_TRUE(session.WaitFor("[i] Finished Copying"));
    fs::remove(prefix.Slot(1) / "aim.exe");
    fs::create_directory(prefix.Slot(1) / "aim.exe");
    session.Send("");
    session.Send("");
    ExpectReport({session.Finish(), session.Output()}, 53, "File not found", "C:\\Program Files\\AIM951\\aim.exe");
    EXPECT_FALSE(fs::exists(LaunchLog())) << "the launcher is never started";
}

TEST_F(FailureMatrix, TheDestinationExistingAsADirectoryOrAFile) {
    const std::string slot1 = "C:\\Program Files\\AIM951\\";
    fs::remove(prefix.Installation() / "Patcher.dll");  // refused before any copy would find it missing
    fs::create_directories(prefix.Slot(1));
    TestPrefix::WriteBytes(prefix.Slot(1) / "mine.txt", {1, 2});
    Remember();
    CloneAndExpectError(75, "Path/File access error", slot1, slot1);
    fs::remove_all(prefix.Slot(1));
    TestPrefix::WriteBytes(prefix.Slot(1), {3, 4});
    Remember();
    CloneAndExpectError(75, "Path/File access error", slot1, slot1);
}

// A prefix Wine would refuse to start the clone in is refused as Wine
// refuses it, before the window is drawn and before anything is made.
TEST_F(FailureMatrix, APrefixWineWouldRefuseIsRefusedBeforeTheWindow) {
    const fs::path file = prefix.Scratch() / "a-file";
    TestPrefix::WriteBytes(file, {1});
    enum class Who { Anyone, AnotherUser, ThePrefixAnotherUsers };  // the last two only as root
    const struct {
        const char* name;
        std::string shellSetup;
        int number;
        std::string report;
        Who who = Who::Anyone;
    } cases[] = {
        {"relative", "cd '" + prefix.Sandbox().string() + "' && export WINEPREFIX=prefix", 76,
         "Path not found: WINEPREFIX=prefix (not an absolute path, which Wine refuses as a prefix)"},
        {"a file", "export WINEPREFIX='" + file.string() + "'", 76,
         "Path not found: " + file.string() + " (the Wine prefix is not a directory)"},
        {"a user the user database does not know, with no HOME", "exec /usr/bin/setpriv --reuid=54321 --regid=54321 "
         "--clear-groups env -u HOME -u WINEPREFIX \"$@\"", 76,
         "Path not found: ~/.wine (neither WINEPREFIX nor HOME is set, and user 54321 has no home folder)", Who::AnotherUser},
        {"another user's, as under sudo", "", 70,
         "Permission denied: " + prefix.Root().string() + " (the Wine prefix is not owned by you", Who::ThePrefixAnotherUsers},
    };
    const fs::path program = CopyOthersCanRun();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.who != Who::Anyone && (::geteuid() != 0 || !CanRunUnprivileged())) continue;
        if (c.who == Who::ThePrefixAnotherUsers) GiveToUnprivilegedUser(prefix.Root().string());
        options.shellSetup = c.shellSetup;
        Remember();
        const Transcript run = RunProgram(program, "\n\n\n", options);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.output, ::testing::StartsWith("[x] Vornix (AIM v5.0)\n    Run-time error '" +
                                                      std::to_string(c.number) + "':\n    \n    " + c.report));
        EXPECT_THAT(run.output, Not(HasSubstr("Destination Directory")));
        ExpectNothingElseChanged();
    }
}

TEST_F(FailureMatrix, TheDestinationsParentMissing) {
    Remember();
    CloneAndExpectError(76, "Path not found", "C:\\No Such Folder\\Clone\\", "C:\\No Such Folder\\Clone\\");
}

// What nobody may not do: each is error 70 naming the path, never "not found".
TEST_F(FailureMatrix, WhatTheUserMayNotReadOrWrite) {
    if (!CanRunUnprivileged()) GTEST_SKIP() << "needs setpriv to drop root's privileges";
    RunUnprivileged();
    const fs::path programFiles = prefix.DriveC() / "Program Files";
    const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(programFiles, write, fs::perm_options::remove);
    Remember();
    CloneAndExpectError(70, "Permission denied", "C:\\Program Files\\AIM951\\");
    fs::permissions(programFiles, write, fs::perm_options::add);

    fs::permissions(prefix.Installation() / "Patcher.dll", fs::perms::none);
    Remember(prefix.Slot(1));
    CloneAndExpectError(70, "Permission denied", "C:\\Program Files\\AIM95\\Patcher.dll");
    EXPECT_FALSE(fs::exists(prefix.Slot(1)));
    fs::permissions(prefix.Installation() / "Patcher.dll", fs::perms::owner_all);

    // A directory that cannot be read is no empty one.
    fs::permissions(prefix.Installation() / "Sounds", fs::perms::none);
    Remember(prefix.Slot(1));
    CloneAndExpectError(70, "Permission denied", "C:\\Program Files\\AIM95\\Sounds\\cashregister.wav");
    fs::permissions(prefix.Installation() / "Sounds", fs::perms::owner_all);
    // One that may only be searched cannot say a name is missing in every case.
    fs::remove(prefix.Installation() / "Sounds" / "ring.wav");
    fs::permissions(prefix.Installation() / "Sounds", fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    Remember(prefix.Slot(1));
    CloneAndExpectError(70, "Permission denied", "C:\\Program Files\\AIM95\\Sounds\\ring.wav");
    fs::permissions(prefix.Installation() / "Sounds", fs::perms::owner_all);

    fs::permissions(prefix.Installation(), fs::perms::none);
    Remember();
    const Transcript run = RunProgram(prefix.Scratch() / "vornix-aim50", "\n\n", options);
    ExpectReport(run, 70, "Permission denied", "C:\\Program Files\\AIM95\\aim.exe");
    EXPECT_THAT(run.output, Not(HasSubstr("Aim Not Found")));
    fs::permissions(prefix.Installation(), fs::perms::owner_all);

    // Slot folders of another user's that cannot be looked into hold no clone of ours: passed over.
    prefix.AddClone(1);
    GiveToUnprivilegedUser(prefix.Slot(1).string());
    fs::create_directories(prefix.Slot(2));
    fs::create_directories(prefix.Slot(3));
    fs::permissions(prefix.Slot(2), fs::perms::none);
    fs::permissions(prefix.Slot(3), fs::perms::owner_write | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec);
    const Transcript passed = RunProgram(prefix.Scratch() / "vornix-aim50", "q\n\n\n", options);
    EXPECT_EQ(passed.status, 0) << passed.output;
    EXPECT_THAT(passed.output, HasSubstr("Destination Directory: C:\\Program Files\\AIM954\\\n"));
}

TEST_F(FailureMatrix, TheDiskFillingUpPartway) {
    // A file-size limit of 150 KiB: aim.exe (64 KiB) and the next file fit, the help file does not.
    TestPrefix::WriteBytes(prefix.Installation() / "aim.exe", std::vector<std::uint8_t>(65536, 'M'));
    options.shellSetup = "ulimit -f 300";
    Remember(prefix.Slot(1));
    CloneAndExpectError(61, "Disk full", "C:\\Program Files\\AIM951\\Aim95.hlp");
    EXPECT_FALSE(fs::exists(prefix.Slot(1)));
}

TEST_F(FailureMatrix, AnAimExeTooShortForThePatch) {
    TestPrefix::WriteBytes(prefix.Installation() / "aim.exe", std::vector<std::uint8_t>(20000, 'M'));
    Remember(prefix.Slot(1));
    CloneAndExpectError(63, "Bad record number", "C:\\Program Files\\AIM951\\aim.exe (byte position 21915");
    EXPECT_FALSE(fs::exists(prefix.Slot(1)));
}

TEST_F(FailureMatrix, AnAimExeThatCannotBeOpenedForWriting) {
    options.InjectFaults({"VORNIX_FAIL_RDWR_SUFFIX=/aim.exe"});
    Remember(prefix.Slot(1));
    CloneAndExpectError(70, "Permission denied", "C:\\Program Files\\AIM951\\aim.exe");
    EXPECT_FALSE(fs::exists(prefix.Slot(1)));
}

TEST_F(FailureMatrix, ATakeBackThatFailsIsNamedInTheReport) {
    options.InjectFaults({"VORNIX_FAIL_REMOVE_SUFFIX=aim.exe"});
    fs::remove(prefix.Installation() / "Patcher.dll");
    const Transcript run = RunProgram(kAim50, "\n\n", options);
    EXPECT_THAT(WithoutStagingNames(run.output),
                HasSubstr("File not found: C:\\Program Files\\AIM95\\Patcher.dll (the partly made clone could not be "
                          "removed: Path/File access error: C:\\Program Files\\vornix-partial-*\\ (Device or resource "
                          "busy))"));
    EXPECT_FALSE(fs::exists(prefix.Slot(1)));
}

TEST_F(FailureMatrix, ALauncherMissingOrFailingIsNamedAndLeavesTheFinishedClone) {
    const auto saying = [&](const char* name, const std::string& words) {
        return MakeScript(prefix.Scratch() / name, words + "\nexit 3\n");
    };
    const fs::path talkative = saying("talkative-wine", "head -c 10000 /dev/zero | tr '\\0' x");
    const fs::path atTheLimit = saying("limit-wine", "head -c 2048 /dev/zero | tr '\\0' y");
    const fs::path overTheLimit = saying("over-wine", "head -c 2049 /dev/zero | tr '\\0' w");
    const fs::path huge = MakeScript(prefix.Scratch() / "huge-wine", "head -c 1048576 /dev/zero | tr '\\0' z\nexit 1\n");
    const fs::path colourful = saying("colourful-wine", "printf '\\033[31mred\\007\\n'");
    const fs::path stopping = MakeScript(prefix.Scratch() / "stopping-wine", "kill -STOP $$\n");
    const std::string starting = " while starting C:\\Program Files\\AIM951\\aim.exe";
    const struct {
        fs::path launcher;
        int number;
        std::string report;  // up to its end
    } cases[] = {
        {prefix.Scratch() / "no-such-wine", 53,
         "File not found: " + (prefix.Scratch() / "no-such-wine").string() +
             " (the Wine launcher that starts C:\\Program Files\\AIM951\\aim.exe could not be run: No such file or "
             "directory; set WINE to the wine program)"},
        {MakeRecordingLauncher(prefix.Scratch(), LaunchLog(), 1), 75,
         "Path/File access error: " + (prefix.Scratch() / "recording-launcher").string() + " (it exited with status 1" +
             starting + ": Application could not be started, or no application associated)"},
        {talkative, 75,
         "Path/File access error: " + talkative.string() + " (it exited with status 3" + starting + ": " +
             std::string(2048, 'x') + " ...)"},
        {atTheLimit, 75, ": " + std::string(2048, 'y') + ")"},
        {overTheLimit, 75, ": " + std::string(2048, 'w') + " ...)"},
        {huge, 75, "(it exited with status 1" + starting + ": " + std::string(2048, 'z') + " ...)"},
        {colourful, 75, starting + ": ^[[31mred^G)"},
        {stopping, 75, "(it was stopped by SIGSTOP" + starting + ", and is left stopped as process "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.launcher);
        options.environment = {"WINE=" + c.launcher.string()};
        fs::remove_all(prefix.Slot(1));
        const Transcript run = RunProgram(kAim50, "\n\n\n\n\n", options);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.output, HasSubstr("Run-time error '" + std::to_string(c.number) + "':\n    \n    "));
        EXPECT_THAT(run.output, HasSubstr(c.report));
        EXPECT_LT(run.output.find("[i] If An Error Occurs"), run.output.find("Run-time error"));
        ExpectNoHalfMadeClone(prefix.Slot(1), '1');
        EXPECT_TRUE(fs::exists(prefix.Slot(1)));
        std::smatch stopped;
        if (std::regex_search(run.output, stopped, std::regex("left stopped as process ([0-9]+)")))
            ::kill(std::stoi(stopped[1]), SIGKILL);
    }

    // What the launcher leaves running writes, once it has returned, goes
    // nowhere: nothing of ours holds it in memory.
    const fs::path gate = prefix.Scratch() / "late-gate", result = prefix.Scratch() / "late-result";
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    options.environment = {"WINE=" + MakeScript(prefix.Scratch() / "leaving-wine",
                                                "(trap '' PIPE; read x < '" + gate.string() + "'; echo late && r=kept || "
                                                "r=nowhere; echo $r > '" + result.string() + ".new' && mv '" + result.string() + ".new' '" +
                                                    result.string() + "') &\n").string()};
    fs::remove_all(prefix.Slot(1));
    EXPECT_EQ(RunProgram(kAim50, "\n\n\nq\n\n\n", options).status, 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int opened;
    while ((opened = ::open(gate.c_str(), O_WRONLY | O_NONBLOCK)) < 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::close(opened);
    while (!fs::exists(result) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ReadText(result), "nowhere\n");
}

// File systems that cannot do everything: one without the kernel's copy
// between them, one that cannot refuse to replace. A directory made under
// the destination's name just before the clone is put in place is never
// replaced.
TEST_F(FailureMatrix, FileSystemsThatCannotDoEverything) {
    const std::string slot1 = "C:\\Program Files\\AIM951\\";
    const struct {
        std::vector<std::string> faults;
        bool raced = false;
        std::string shellSetup;
        int number = 0;  // the error it ends with, if any
        std::string report;
    } cases[] = {
        {{"VORNIX_RACE_RENAME=1"}, true},
        {{"VORNIX_RACE_RENAME=1", "VORNIX_RENAME_CANNOT_REFUSE=1"}, true},
        {{"VORNIX_RENAME_CANNOT_REFUSE=1"}},
        {{"VORNIX_COPY_RANGE_ERRNO=18"}},  // EXDEV: another file system
        // Copied through our own hands, on a small stack.
        {{"VORNIX_COPY_RANGE_ERRNO=18"}, false, "ulimit -s 64"},
        {{"VORNIX_MKDIR_ERRNO=30"}, false, "", 70, "Permission denied: " + slot1 + " (Read-only file system)"},
        {{"VORNIX_CREATE_ERRNO=20"}, false, "", 76, "Path not found: " + slot1 + "aim.exe (Not a directory)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.faults) + " " + c.shellSetup);
        SessionOptions faulty = options;
        faulty.InjectFaults(c.faults);
        faulty.shellSetup = c.shellSetup;
        const Transcript run = RunProgram(kAim50, "\n\n\n", faulty);
        if (c.raced) {
            ExpectReport(run, 75, "Path/File access error", slot1 + " (it exists already)");
            EXPECT_TRUE(fs::is_directory(prefix.Slot(1)) && fs::is_empty(prefix.Slot(1))) << "the other directory is kept";
        } else if (c.number) {
            EXPECT_EQ(run.status, 1);
            EXPECT_THAT(run.output, HasSubstr("Run-time error '" + std::to_string(c.number) + "':\n    \n    " + c.report));
            EXPECT_FALSE(fs::exists(prefix.Slot(1)));
        } else {
            EXPECT_EQ(run.status, 0) << run.output;
            EXPECT_THAT(prefix.MiscopiedFiles(prefix.Slot(1), Aim50Edition(), '1'), ::testing::IsEmpty()) << run.output;
        }
        EXPECT_EQ(FilesBeingCloned(prefix.ProgramFiles()), 0u);
        fs::remove_all(prefix.Slot(1));
    }
}

// The host path of the clone's longest file, in the folder it is written to
// first and in the one it ends up in, at the host's limit and one byte over:
// what is over is refused before anything is made.
TEST_F(FailureMatrix, TheHostsPathLimitAtItsEdge) {
    const std::string longest = "Sounds/cashregister.wav", stagingName = "vornix-partial-01234567";
    const std::string drive = (prefix.Root() / "dosdevices" / "c:").string();  // drive C as the program reaches it
    const struct {
        const char* name;
        std::string folder;
        std::size_t bytes;  // of the longest file's host path where it is first written
        bool refused;
    } cases[] = {
        {"a long name at the limit", std::string(40, 'N'), PATH_MAX - 1, false},
        {"a long name one over", std::string(40, 'N'), PATH_MAX, true},
        {"a short name, its staging folder at the limit", "Short", PATH_MAX - 1, false},
        {"a short name, only its staging folder one over", "Short", PATH_MAX, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t folder = std::max(c.folder.size(), stagingName.size());
        std::size_t left = c.bytes - drive.size() - 1 - folder - 1 - longest.size();
        std::string typed = "C:", host = drive;
        fs::path parent = prefix.DriveC();
        for (std::size_t step; left > 0; left -= step) {  // folders of at most 250 bytes, each with its separator
            step = std::min<std::size_t>(251, left);
            if (left - step == 1) --step;
            typed += "\\" + std::string(step - 1, 'p');
            host += "/" + std::string(step - 1, 'p');
            parent /= std::string(step - 1, 'p');
        }
        fs::create_directories(parent);
        ASSERT_EQ((host + "/" + std::string(folder, 'x') + "/" + longest).size(), c.bytes);
        Remember(c.refused ? fs::path() : parent / c.folder);
        const Transcript run = RunProgram(kAim50, "e\n" + typed + "\\" + c.folder + "\\\n\n\n\nq\n\n\n", options);
        if (c.refused) {
            EXPECT_EQ(run.status, 1);
            EXPECT_THAT(run.output, HasSubstr("(its files would have host paths of " + std::to_string(c.bytes) +
                                              " bytes; the host takes fewer than " + std::to_string(PATH_MAX) + ")"));
        } else {
            EXPECT_EQ(run.status, 0) << run.output;
            const char unpatched = static_cast<char>(TestPrefix::ByteAt(prefix.Installation() / "aim.exe", 21914));
            EXPECT_THAT(prefix.MiscopiedFiles(parent / c.folder, Aim50Edition(), unpatched), ::testing::IsEmpty()) << run.output;
        }
        ExpectNothingElseChanged();
        fs::remove_all(prefix.DriveC() / typed.substr(3, typed.find('\\', 3) - 3));
    }
}

TEST_F(FailureMatrix, TwoProgramsCloningIntoTheSameSlotAtOnce) {
    ProgramSession first(kAim50, options), second(kAim50, options);
    ASSERT_TRUE(first.WaitFor("q = close: "));
    ASSERT_TRUE(second.WaitFor("q = close: "));
    Remember(prefix.Slot(1));
    first.Send("");
    second.Send("");
    for (int notice = 0; notice < 2; ++notice) {  // then end of input closes the window
        first.Send("");
        second.Send("");
    }
    const int statuses[] = {first.Finish(), second.Finish()};
    const std::string& loser = statuses[0] == 1 ? first.Output() : second.Output();
    EXPECT_EQ(statuses[0] + statuses[1], 1) << "one wins, the other fails";
    EXPECT_THAT(loser, HasSubstr("Run-time error '75':\n    \n    Path/File access error: C:\\Program Files\\AIM951\\"));
    ExpectNoHalfMadeClone(prefix.Slot(1), '1');
    EXPECT_TRUE(fs::exists(prefix.Slot(1) / "aim.exe"));
    ExpectNothingElseChanged();
}

// Wherever an interruption comes, the program ends promptly as its signal
// ends a program, alone, with the terminal as it was; an ignored one is
// ignored. The clone is complete by then in every case here.
TEST_F(FailureMatrix, AnInterruptionEndsTheProgramWhereverItComes) {
    const fs::path pidFile = prefix.Scratch() / "launcher.pid", gate = prefix.Scratch() / "gate";
    ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
    const fs::path waiting =
        MakeScript(prefix.Scratch() / "waiting-wine", "echo $$ > '" + pidFile.string() + ".new' && mv '" + pidFile.string() +
                                                          ".new' '" + pidFile.string() + "'\nread line < '" + gate.string() + "'\n");
    enum class At { Prompt, Notice, Launcher };
    const struct {
        const char* name;
        At at;
        int signal;
        std::string shellSetup;
        int status;
    } cases[] = {
        {"at the prompt", At::Prompt, SIGTERM, "", KilledBy(SIGTERM)},
        {"at the prompt under nohup", At::Prompt, SIGHUP, "trap '' HUP", 0},
        {"while a notice waits", At::Notice, SIGINT, "", KilledBy(SIGINT)},
        {"Ctrl-\\ at the prompt", At::Prompt, SIGQUIT, "", KilledBy(SIGQUIT)},
        {"SIGUSR2 while a notice waits", At::Notice, SIGUSR2, "", KilledBy(SIGUSR2)},
        {"while the launcher runs", At::Launcher, SIGTERM, "", KilledBy(SIGTERM)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionOptions session = options;
        session.shellSetup = c.shellSetup;
        if (c.at == At::Launcher) session.environment = {"WINE=" + waiting.string()};
        ProgramSession program(kAim50, session);
        ASSERT_TRUE(program.WaitFor("q = close: "));
        if (c.at != At::Prompt) program.Send("");
        if (c.at == At::Notice) {
            ASSERT_TRUE(program.WaitFor("[i] Finished Copying"));
        }
        if (c.at == At::Launcher) {
            program.Send("\n");
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!fs::exists(pidFile) && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            ASSERT_TRUE(fs::exists(pidFile)) << "the launcher never started:\n" << program.Output();
        }
        program.Signal(c.signal);
        if (c.status != 0) {
            // Acted on before any more input comes.
            ASSERT_TRUE(c.at == At::Prompt || program.WaitFor("Run-time error '18':\n    \n    User interrupt occurred"));
            EXPECT_EQ(program.Finish(), c.status);
        } else {
            program.Send("q\n\n");
            EXPECT_EQ(program.Finish(), 0);
        }
        if (c.at != At::Prompt) ExpectNoHalfMadeClone(prefix.Slot(1), '1');
        if (c.at == At::Notice && c.status != 0) {
            EXPECT_THAT(program.Output(), HasSubstr("the clone was made in C:\\Program Files\\AIM951\\ and was not started)"));
            EXPECT_THAT(program.Output(), Not(HasSubstr("If An Error Occurs"))) << "no box once interrupted";
        }
        if (c.at == At::Launcher) {
            const pid_t launcher = std::stoi(ReadText(pidFile));
            EXPECT_EQ(::kill(launcher, 0), 0) << "the launcher is left to finish";
            ::close(::open(gate.c_str(), O_WRONLY));  // lets it finish
        }
        fs::remove_all(prefix.Slot(1));
    }

    // While the destination is edited at a terminal, from a shell script.
    SessionOptions atTerminal;
    atTerminal.terminal = true;
    atTerminal.environment = {"TERM=xterm"};
    atTerminal.shellSetup = "sh -c 'echo \"pid $$\"; exec \"$0\"' \"$@\" </dev/tty & wait $!; echo \"status $?\"; "
                            "case $(stty -a) in *-icanon*) echo raw;; *) echo cooked;; esac; exit";
    ProgramSession script(kAim50, atTerminal);
    ASSERT_TRUE(script.WaitFor("pid "));
    const std::size_t at = script.Output().find("pid ");
    ASSERT_TRUE(script.WaitFor("q = close: "));
    script.SendKeys("e\r");
    ASSERT_TRUE(script.WaitFor("New destination: "));
    ::kill(std::stoi(script.Output().substr(at + 4)), SIGTERM);
    ASSERT_TRUE(script.WaitFor("status 143")) << "the script goes on after the program";
    ASSERT_TRUE(script.WaitFor("cooked")) << "the terminal is as it was";
    EXPECT_EQ(script.Finish(), 0);
}

// The program is stopped partway through a slowed clone; whatever the point,
// no half-made clone remains, and the next run clones into the same slot.
TEST_F(FailureMatrix, AnInterruptedCloneNeverCountsAndNeverBlocksTheSlot) {
    const struct {
        int signal;
        std::size_t filesCopied;  // when it is sent
    } cases[] = {{SIGINT, 1},   {SIGINT, 40},  {SIGTERM, 60}, {SIGHUP, 20},  {SIGQUIT, 30}, {SIGUSR1, 50},
                 {SIGALRM, 10}, {SIGKILL, 1},  {SIGKILL, 40}, {SIGKILL, 84}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(sigabbrev_np(c.signal)) + " after " + std::to_string(c.filesCopied) + " files");
        SessionOptions slowed = options;
        slowed.InjectFaults({"VORNIX_COPY_DELAY_MS=10"});
        ProgramSession session(kAim50, slowed);
        ASSERT_TRUE(session.WaitFor("q = close: "));
        session.Send("");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (FilesBeingCloned(prefix.ProgramFiles()) < c.filesCopied && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        session.Signal(c.signal);
        const int status = session.Finish();
        EXPECT_EQ(status, KilledBy(c.signal)) << "ended as the signal ends a program";
        if (c.signal != SIGKILL) {
            EXPECT_THAT(session.Output(), HasSubstr("Run-time error '18':\n    \n    User interrupt occurred: "));
            EXPECT_EQ(FilesBeingCloned(prefix.ProgramFiles()), 0u) << "the staging directory is taken back";
        }
        ExpectNoHalfMadeClone(prefix.Slot(1), '1');

        // The next run clones into the slot the scan proposes: the same one, unless the clone had finished.
        const bool finished = fs::exists(prefix.Slot(1));
        const Transcript next = RunProgram(kAim50, "\n\n\n", options);
        EXPECT_EQ(next.status, 0) << next.output;
        ExpectNoHalfMadeClone(prefix.Slot(finished ? 2 : 1), finished ? '2' : '1');
        EXPECT_TRUE(fs::exists(prefix.Slot(finished ? 2 : 1) / "aim.exe"));
        for (int n : {1, 2}) fs::remove_all(prefix.Slot(n));
    }
}

// The launcher (and through it Wine and the client) gets the prefix by its
// absolute path, /dev/null for input, a process group of its own, descriptors
// 0 to 2 only and default signal dispositions, whatever Vornix had.
TEST_F(FailureMatrix, TheLauncherInheritsNothingOfOurs) {
    const fs::path inherited = prefix.Scratch() / "inherited";
    const fs::path onPath = prefix.Scratch() / "bin";
    fs::create_directories(onPath);
    fs::create_symlink(VORNIX_INSPECTING_LAUNCHER, onPath / "wine");
    const std::string log = "VORNIX_INSPECT_LOG=" + inherited.string();
    const std::string launcher = "WINE=" VORNIX_INSPECTING_LAUNCHER;
    const struct {
        const char* name;
        std::vector<std::string> environment;
        std::string shellSetup;
        std::vector<int> blocked;
        bool terminal = false;
    } cases[] = {
        {"plain", {launcher, log}},
        {"signals ignored and blocked", {launcher, log}, "trap '' USR1 TERM HUP", {SIGUSR2, SIGINT}},
        {"wine found on PATH", {"PATH=" + onPath.string() + ":/usr/bin:/bin", log}},
        {"input from a terminal that stops background output", {launcher, log}, "stty tostop", {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionOptions session;
        session.environment = c.environment;
        session.shellSetup = c.shellSetup;
        session.blockedSignals = c.blocked;
        session.terminal = c.terminal;
        fs::remove(inherited);
        const Transcript run = RunProgram(kAim50, "\n\n\nq\n\n\n", session);  // q: a terminal never ends input
        EXPECT_EQ(run.status, 0) << run.output;
        ExpectNoHalfMadeClone(prefix.Slot(1), '1');
        EXPECT_EQ(ReadText(inherited),
                  "WINEPREFIX=" + prefix.Root().string() + "\nstdin /dev/null\nsession own\nterminal none\n");
        fs::remove_all(prefix.Slot(1));
    }
}

}  // namespace
}  // namespace vornix::testing
