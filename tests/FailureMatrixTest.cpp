// Whatever goes wrong, through the real programs: the installation stays as it
// was, nothing outside the destination changes, the destination is absent or
// a complete clone, and a critical box names number, description and path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "ProgramSession.h"
#include "TestPrefix.h"
#include "clonetool/editions/Edition.h"

namespace vornix::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kAim50 = VORNIX_AIM50_PROGRAM;

// Every entry under `root` but the excluded subtrees: its kind and contents.
std::map<std::string, std::string> Snapshot(const fs::path& root, const std::vector<fs::path>& excluded) {
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (std::find(excluded.begin(), excluded.end(), it->path()) != excluded.end()) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string name = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            entries[name] = "link " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            entries[name] = "directory";
        else
            entries[name] = std::to_string(std::hash<std::string>{}(ReadText(it->path())));
    }
    return entries;
}

class FailureMatrix : public ::testing::Test {
protected:
    FailureMatrix() { options.environment = {"WINE=" + MakeRecordingLauncher(prefix.Scratch(), LaunchLog()).string()}; }

    fs::path LaunchLog() const { return prefix.Scratch() / "launched.log"; }

    // Takes what must not change: everything but the scratch files and, when
    // the run is to create it, the destination.
    void Remember(const fs::path& newDestination = {}) {
        excluded_ = {prefix.Scratch()};
        if (!newDestination.empty()) excluded_.push_back(newDestination);
        before_ = Snapshot(prefix.Sandbox(), excluded_);
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

    void ExpectNothingElseChanged() const {
        EXPECT_EQ(Snapshot(prefix.Sandbox(), excluded_), before_) << "something outside the destination changed";
    }

    static void ExpectReport(const Transcript& run, int number, const std::string& description, const std::string& path) {
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_THAT(run.output, HasSubstr("[x] Vornix (AIM v5.0)\n    Run-time error '" + std::to_string(number) +
                                          "':\n    \n    " + description + ": " + path));
        EXPECT_THAT(run.output, Not(HasSubstr("About...")));
    }

    // Absent, or holding every file of the clone with its digit.
    void ExpectNoHalfMadeClone(const fs::path& clone, char digit) const {
        if (!fs::exists(clone)) return;
        EXPECT_THAT(prefix.MiscopiedFiles(clone, Aim50Edition(), digit), ::testing::IsEmpty()) << "half-made clone";
    }

    // Runs the program as nobody, from a copy in the sandbox: the build
    // directory may lie where nobody cannot reach.
    void RunUnprivileged() {
        const fs::path copy = prefix.Scratch() / "vornix-aim50";
        fs::copy_file(kAim50, copy);
        program_ = copy.string();
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

TEST_F(FailureMatrix, AManifestFileMissingInTheMiddleOrAtTheEnd) {
    for (const char* missing : {"Patcher.dll", "Sounds/talkstop.wav"}) {
        const std::vector<std::uint8_t> kept = TestPrefix::Bytes(prefix.Installation() / missing);
        fs::remove(prefix.Installation() / missing);
        Remember(prefix.Slot(1));
        std::string windowsName = missing;
        std::replace(windowsName.begin(), windowsName.end(), '/', '\\');
        CloneAndExpectError(53, "File not found", "C:\\Program Files\\AIM95\\" + windowsName);
        EXPECT_FALSE(fs::exists(prefix.Slot(1)));
        TestPrefix::WriteBytes(prefix.Installation() / missing, kept);
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

TEST_F(FailureMatrix, TheDestinationExistingAsADirectoryOrAFile) {
    fs::create_directories(prefix.Slot(1));
    TestPrefix::WriteBytes(prefix.Slot(1) / "mine.txt", {1, 2});
    Remember();
    CloneAndExpectError(75, "Path/File access error", "C:\\Program Files\\AIM951\\");
    fs::remove_all(prefix.Slot(1));
    TestPrefix::WriteBytes(prefix.Slot(1), {3, 4});
    Remember();
    CloneAndExpectError(75, "Path/File access error", "C:\\Program Files\\AIM951\\");
}

TEST_F(FailureMatrix, TheDestinationsParentMissing) {
    Remember();
    CloneAndExpectError(76, "Path not found", "C:\\No Such Folder\\Clone\\", "C:\\No Such Folder\\Clone\\");
}

TEST_F(FailureMatrix, AReadOnlyParentDirectory) {
    if (!CanRunUnprivileged()) GTEST_SKIP() << "needs setpriv to drop root's privileges";
    RunUnprivileged();
    fs::permissions(prefix.DriveC() / "Program Files", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    Remember();
    CloneAndExpectError(70, "Permission denied", "C:\\Program Files\\AIM951\\");
}

TEST_F(FailureMatrix, AnUnreadableSourceFile) {
    if (!CanRunUnprivileged()) GTEST_SKIP() << "needs setpriv to drop root's privileges";
    RunUnprivileged();
    fs::permissions(prefix.Installation() / "Patcher.dll", fs::perms::none);
    Remember(prefix.Slot(1));
    CloneAndExpectError(70, "Permission denied", "C:\\Program Files\\AIM95\\Patcher.dll");
    EXPECT_FALSE(fs::exists(prefix.Slot(1)));
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
    options.environment.push_back("LD_PRELOAD=" VORNIX_FAULT_INJECTION);
    options.environment.push_back("VORNIX_FAIL_RDWR_SUFFIX=AIM951/aim.exe");
    options.environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
    Remember(prefix.Slot(1));
    CloneAndExpectError(70, "Permission denied", "C:\\Program Files\\AIM951\\aim.exe");
    EXPECT_FALSE(fs::exists(prefix.Slot(1)));
}

TEST_F(FailureMatrix, ALauncherMissingOrFailingLeavesTheFinishedClone) {
    for (const fs::path& launcher : {prefix.Scratch() / "no-such-wine", MakeRecordingLauncher(prefix.Scratch(), LaunchLog(), 1)}) {
        options.environment = {"WINE=" + launcher.string()};
        fs::remove_all(prefix.Slot(1));
        Remember(prefix.Slot(1));
        const Transcript run = CloneAndExpectError(53, "File not found", "C:\\Program Files\\AIM951\\aim.exe");
        EXPECT_LT(run.output.find("[i] If An Error Occurs"), run.output.find("Run-time error"));
        ASSERT_TRUE(fs::exists(prefix.Slot(1)));
        ExpectNoHalfMadeClone(prefix.Slot(1), '1');
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

}  // namespace
}  // namespace vornix::testing
