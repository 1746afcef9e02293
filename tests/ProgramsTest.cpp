// The built programs end to end, through their terminal window: what a user or
// a script sees, the exit status, and what lands on disk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "ProgramSession.h"
#include "TestPrefix.h"
#include "tools/SampleInstallation.h"

namespace vornix::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class Programs : public ::testing::Test {
protected:
    explicit Programs(bool installed = true) : prefix(installed) {
        ::setenv("WINE", MakeRecordingLauncher(prefix.Scratch(), LaunchLog()).c_str(), 1);
    }
    ~Programs() override { ::unsetenv("WINE"); }

    std::filesystem::path LaunchLog() const { return prefix.Scratch() / "launched.log"; }

    TestPrefix prefix;
};

constexpr const char* kAim50 = VORNIX_AIM50_PROGRAM;
constexpr const char* kAim48 = VORNIX_AIM48_PROGRAM;

const std::string kWindowBody =
    "You need approximately 5.25MB free disk space to ensure that the files get copied properly.\n"
    "[Start Cloning...]\n"
    "Enter = Start Cloning..., e = edit destination, q = close: \n";

const std::string kExitNotices50 =
    "[i] About...\n    Vornix (AIM v5.0)\n    \n    Created by:\n    The Vornix developers\n"
    "    (developers@vornix.example)\n[OK]\n"
    "[i] Downloaded from www.vornix.example\n    This program has been downloaded from www.vornix.example\n    \n"
    "    If you downloaded it from anywhere else please let the webmaster of www.vornix.example know ASAP.\n[OK]\n";

TEST_F(Programs, DrawTheWindowWithTheProposalAndCloseWithBothNotices) {
    prefix.AddClone(1);
    prefix.AddClone(2);
    const Transcript run = RunProgram(kAim50, "q\n\n\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output, "\nVornix (AIM v5.0)\nDestination Directory: C:\\Program Files\\AIM953\\\n" + kWindowBody +
                              kExitNotices50);
}

TEST_F(Programs, EndOfInputClosesTheWindowAndDismissesTheNotices) {
    const Transcript run = RunProgram(kAim48, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.output, HasSubstr("\nVornix (AIM v4.8)\nDestination Directory: C:\\Program Files\\AIM951\\\n"));
    EXPECT_THAT(run.output, HasSubstr("[i] Downloaded from www.vornix.example\n    This file has been downloaded"));
}

TEST_F(Programs, ClickCloneAndClickAgain) {
    prefix.AddClone(1);
    prefix.AddClone(2);
    const Transcript run = RunProgram(kAim48, "\n\n\n\n\n\nq\n\n\n");
    EXPECT_EQ(run.status, 0);
    const std::string finished = "[i] Finished Copying\n    Finished copying and editing the files. You should see "
                                 "another instance of AIM pop up.\n[OK]\n[i] If An Error Occurs\n";
    const auto first = run.output.find(finished);
    ASSERT_NE(first, std::string::npos) << run.output;
    EXPECT_NE(run.output.find(finished, first + 1), std::string::npos);
    EXPECT_THAT(run.output, HasSubstr("Destination Directory: C:\\Program Files\\AIM954\\\n"));
    EXPECT_THAT(run.output, HasSubstr("Destination Directory: C:\\Program Files\\AIM955\\\n"));
    EXPECT_EQ(ReadText(LaunchLog()),
              "start|/d|C:\\Program Files\\AIM953\\|/min|C:\\Program Files\\AIM953\\aim.exe|\n"
              "start|/d|C:\\Program Files\\AIM954\\|/min|C:\\Program Files\\AIM954\\aim.exe|\n");
    EXPECT_EQ(TestPrefix::FilesUnder(prefix.Slot(3)).size(), 78u);
    EXPECT_EQ(TestPrefix::ByteAt(prefix.Slot(3) / "aim.exe", 21755), '3');
    EXPECT_EQ(TestPrefix::ByteAt(prefix.Slot(4) / "aim.exe", 21755), '4');
}

TEST_F(Programs, EditTheDestinationThenClone) {
    const Transcript run = RunProgram(kAim50, "e\nC:\\Program Files\\AIM957\n\n\n\nq\n\n\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.output, HasSubstr("New destination: \n\nVornix (AIM v5.0)\nDestination Directory: C:\\Program Files\\AIM957\n"));
    EXPECT_EQ(TestPrefix::ByteAt(prefix.Slot(7) / "aim.exe", 21914), '7');
    EXPECT_THAT(run.output, HasSubstr("Destination Directory: C:\\Program Files\\AIM958\\\n"));
}

// At a terminal the destination opens for editing, filled in, with the run's
// earlier entries a key away: the keys of either common encoding, UTF-8 even
// where the locale says ASCII. Where only input is a terminal, a line is read.
TEST_F(Programs, EditTheDestinationAtATerminal) {
    SessionOptions atTerminal;
    atTerminal.terminal = true;
    atTerminal.environment = {"TERM=xterm-256color", "LC_ALL=C"};
    ProgramSession session(kAim50, atTerminal);
    std::string current = "C:\\Program Files\\AIM951\\";
    const auto typeAndExpect = [&](const std::string& keys, const std::string& destination) {
        ASSERT_TRUE(session.WaitFor("q = close: "));
        session.SendKeys("e\r");
        ASSERT_TRUE(session.WaitFor("New destination: " + current)) << session.Output();
        current = destination;
        session.SendKeys(keys);
        ASSERT_TRUE(session.WaitFor("Destination Directory: " + destination + "\r\n")) << session.Output();
    };
    // A failed wait ends the test: each edit goes on from the one before.
    const auto edit = [&](const std::string& keys, const std::string& destination) {
        if (!HasFatalFailure()) typeAndExpect(keys, destination);
    };
    edit("\x1b[D\x7f" "7\r", "C:\\Program Files\\AIM957\\");             // Left, Backspace, 7
    edit("\x01\x0b" "C:\\Other\\\r", "C:\\Other\\");                      // Ctrl-A, Ctrl-K, type
    edit("\x1b[H\x1b[3~" "D\x1b[F\x7f\r", "D:\\Other");                   // Home, Delete, D, End, Backspace
    edit("\x1b[A\x1b[A\x1b[A\r", "C:\\Program Files\\AIM957\\");       // Up three times: the first entry
    edit("\x1b[1~\x1b[3~" "E\x1b[4~\x7f\r", "E:\\Program Files\\AIM957");  // Home and End as VT keys
    edit("\x1bOH\x1b[3~" "F\x1bOF" "\\Kl\xC3\xB6n\r", "F:\\Program Files\\AIM957\\Kl\xC3\xB6n");
    edit("X\x1b[A\x1b[B\r", current + "X");                               // Up, Down: the line typed is back
    edit("\x15" "A\xE9" "B\x1b" "C\xF0\x1b[\r", "ABC");                     // broken UTF-8, a lone ESC, ESC [ Enter
    edit("\x08\x08" "D\x1b[@\x1b[3~\r", "AD");                            // Ctrl-H twice, D, ESC [ @ (a whole key), Delete at the end
    edit("\x15\x04", "AD");                                               // Ctrl-U, end of input: unchanged
    if (HasFatalFailure()) return;

    // The cursor after a combining mark; a long line scrolled back by Ctrl-A.
    ASSERT_TRUE(session.WaitFor("q = close: "));
    session.SendKeys("e\r");
    ASSERT_TRUE(session.WaitFor("New destination: AD"));
    session.SendKeys("\x15" "e\xCC\x81");
    ASSERT_TRUE(session.WaitFor("New destination: e\xCC\x81\x1b[K\r\x1b[18C")) << session.Output();
    session.SendKeys("\x15" "B" + std::string(150, 'x'));
    ASSERT_TRUE(session.WaitFor("x\x1b[K\r\x1b[99C")) << session.Output();
    session.SendKeys("\x01");
    ASSERT_TRUE(session.WaitFor("New destination: Bxxx")) << session.Output();
    session.SendKeys("\r");
    ASSERT_TRUE(session.WaitFor("q = close: "));
    session.SendKeys("q\r\r\r");
    EXPECT_EQ(session.Finish(), 0);
    EXPECT_FALSE(std::filesystem::exists(prefix.Slot(7)));

    // Ctrl-Z: the terminal as it was while stopped, the editor back after fg;
    // then Ctrl-\ ends it by its signal, with the terminal as it was.
    const std::string mode = "case $(stty -a) in *-icanon*) echo raw;; *) echo cooked;; esac";
    // Ctrl-Z comes between the ESC of a Left key and the rest of it: kept
    // in the queue (noflsh), the key is whole after fg.
    atTerminal.shellSetup = "stty noflsh; set -m; \"$@\"; echo \"stopped $?\"; " + mode + "; fg; echo \"status $?\"; " + mode + "; exit";
    ProgramSession stopped(kAim50, atTerminal);
    ASSERT_TRUE(stopped.WaitFor("q = close: "));
    stopped.SendKeys("e\r");
    ASSERT_TRUE(stopped.WaitFor("New destination: "));
    stopped.SendKeys("\x1b\x1a");
    ASSERT_TRUE(stopped.WaitFor("stopped 148"));
    ASSERT_TRUE(stopped.WaitFor("cooked"));
    stopped.SendKeys("[D");
    ASSERT_TRUE(stopped.WaitFor("New destination: C:\\Program Files\\AIM951\\")) << "drawn again";
    stopped.SendKeys("\x1b[DX\r");
    ASSERT_TRUE(stopped.WaitFor("Destination Directory: C:\\Program Files\\AIM95X1\\\r\n")) << stopped.Output();
    stopped.SendKeys("e\r");
    ASSERT_TRUE(stopped.WaitFor("New destination: C:\\Program Files\\AIM95X1\\"));
    stopped.SendKeys("\x1c");
    ASSERT_TRUE(stopped.WaitFor("status 131"));
    EXPECT_TRUE(stopped.WaitFor("cooked"));
    EXPECT_EQ(stopped.Finish(), 0);

    // A line is read where output is no terminal, and where the terminal takes
    // no cursor moves (it then gets none at all).
    const struct {
        std::string type, shellSetup, prompt;
    } plain[] = {
        {"TERM=xterm", "\"$@\" | cat; exit", "New destination: "},
        {"TERM=dumb", "", "New destination (this terminal cannot edit: type it whole, then Enter): "},
    };
    for (const auto& c : plain) {
        atTerminal.environment = {c.type};
        atTerminal.shellSetup = c.shellSetup;
        ProgramSession lined(kAim50, atTerminal);
        ASSERT_TRUE(lined.WaitFor("q = close: "));
        lined.SendKeys("e\r");
        ASSERT_TRUE(lined.WaitFor(c.prompt));
        lined.SendKeys("C:\\Lined\\\r");
        ASSERT_TRUE(lined.WaitFor("Destination Directory: C:\\Lined\\\r\n")) << lined.Output();
        lined.SendKeys("q\r\r\r");
        EXPECT_EQ(lined.Finish(), 0);
        EXPECT_TRUE(c.type != "TERM=dumb" || lined.Output().find('\x1b') == std::string::npos) << lined.Output();
    }
}

TEST_F(Programs, AnswerHelpAndVersionAndRefuseTheRest) {
    const std::string tryHelp = "Try 'vornix-aim50 --help' for more information.\n";
    const struct {
        const char* program;
        std::vector<std::string> arguments;
        int status;
        std::string output;  // all of it, or how it begins
    } cases[] = {
        {kAim50, {"--version"}, 0, "Vornix (AIM v5.0) 4.08.2790\n"},
        {kAim48, {"--version"}, 0, "Vornix (AIM v4.8) 4.08.2790\n"},
        {kAim50, {"--help"}, 0, "Usage: vornix-aim50 [--help | --version]\n\nVornix (AIM v5.0) makes up to nine"},
        {kAim50, {"--verbose"}, 2, "vornix-aim50: unknown option '--verbose'\n" + tryHelp},
        {kAim50, {"C:\\Clone"}, 2, "vornix-aim50: unexpected argument 'C:\\Clone'\n" + tryHelp},
        {kAim50, {"--version", "--help"}, 2, "vornix-aim50: unknown option '--help'\n" + tryHelp},
        {kAim50, {"--"}, 0, "\nVornix (AIM v5.0)\nDestination Directory: C:\\Program Files\\AIM951\\\n"},
    };
    for (const auto& c : cases) {
        SessionOptions options;
        options.arguments = c.arguments;
        const Transcript run = RunProgram(c.program, "", options);
        EXPECT_EQ(run.status, c.status) << c.arguments[0];
        EXPECT_THAT(run.output, ::testing::StartsWith(c.output));
        if (c.arguments[0] == "--help") {
            for (const char* covered : {"\n  e ", "WINEPREFIX", "WINE ", "Exit status", "\n  2 ", "\n  128+N "})
                EXPECT_THAT(run.output, HasSubstr(covered));
        } else if (c.arguments[0] != "--") {
            EXPECT_EQ(run.output, c.output);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(prefix.Slot(1)));
}

// What a script sends, line by line: lines from elsewhere may end in CR LF.
TEST_F(Programs, AnswerEachLineOfAScript) {
    const std::string kPrompt = "Enter = Start Cloning..., e = edit destination, q = close: \n";
    const struct {
        std::string input;
        std::string shown;
        bool clones = false;
    } cases[] = {
        {"x\nq\n\n\n", "close: \nPress Enter to start cloning, e to edit the destination, q to close.\n" + kPrompt + "[i] About..."},
        {"q\r\n\r\n\r\n", kPrompt + "[i] About..."},
        {"\r\n\r\n\r\nq\n\n\n", kPrompt + "[i] Finished Copying", true},
        {"e\n", "New destination: \n\nVornix (AIM v5.0)\nDestination Directory: C:\\Program Files\\AIM951\\\n"},
        {"e\nC:\\Tab\there\x1b[2J\\\n", "Destination Directory: C:\\Tab^Ihere^[[2J\\\n"},
        {"e\nC:\\A\x7F" "B\\\n", "Destination Directory: C:\\A^?B\\\n"},
        {"e\nC:\\Clone\\", "Destination Directory: C:\\Clone\\\n"},  // the last line without its line feed
    };
    for (const auto& c : cases) {
        ProgramSession session(kAim50);
        session.SendKeys(c.input);  // as it is: the input ends where it ends
        const Transcript run = {session.Finish(), session.Output()};
        EXPECT_EQ(run.status, 0);
        EXPECT_THAT(run.output, HasSubstr(c.shown)) << c.input;
        EXPECT_THAT(run.output, Not(HasSubstr("\x7F")));
        EXPECT_EQ(std::filesystem::exists(prefix.Slot(1)), c.clones);
        std::filesystem::remove_all(prefix.Slot(1));
    }
}

TEST_F(Programs, ARunTimeErrorIsReportedAndEndsTheProgram) {
    std::filesystem::create_directories(prefix.Slot(1));
    const Transcript run = RunProgram(kAim50, "e\nC:\\Program Files\\AIM951\\\n\n\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.output, HasSubstr("close: \n[x] Vornix (AIM v5.0)\n    Run-time error '75':\n    \n"
                                      "    Path/File access error: C:\\Program Files\\AIM951\\ (it exists already)\n[OK]\n"));
    EXPECT_THAT(run.output, Not(HasSubstr("About...")));
}

// Output that cannot be written is an error, told on standard error: nothing
// is done for a user who cannot see the window.
TEST_F(Programs, OutputThatCannotBeWrittenIsAnErrorOnStandardError) {
    const std::string k57 = "Run-time error '57':\n    \n    Device I/O error: standard output (";
    const std::string fifo = (prefix.Scratch() / "fifo").string();
    const struct {
        const char* name;
        std::string shellSetup;
        std::vector<std::string> arguments;
        std::optional<std::string> closeAfter;  // our end of its output is closed once this is seen
        std::string errors;
        bool cloned = false;
    } cases[] = {
        {"full", "exec >/dev/full", {}, {}, k57 + "No space left on device)"},
        {"closed", "exec >&-", {}, {}, k57 + "Bad file descriptor)"},
        {"no reader", "mkfifo '" + fifo + "' && exec 3<>'" + fifo + "' >'" + fifo + "' 3<&-", {}, {}, k57 + "Broken pipe)"},
        {"reader gone after the clone", "", {}, "[i] Finished Copying",
         k57 + "Broken pipe; the clone was made in C:\\Program Files\\AIM951\\ and was not started)", true},
        {"help", "exec >/dev/full", {"--help"}, {}, "vornix-aim50: write error: No space left on device\n"},
        {"version", "exec >&-", {"--", "--version"}, {}, "vornix-aim50: unexpected argument '--version'\n"},
        {"version", "exec >&-", {"--version", "--"}, {}, "vornix-aim50: write error: Bad file descriptor\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SessionOptions options;
        options.shellSetup = c.shellSetup;
        options.arguments = c.arguments;
        options.separateErrors = true;
        ProgramSession session(kAim50, options);
        session.Send("");
        if (c.closeAfter) {
            EXPECT_TRUE(session.WaitFor(*c.closeAfter));
            session.CloseOutput();
        }
        session.Send("\n\n");
        EXPECT_EQ(session.Finish(), c.errors.find("unexpected") == std::string::npos ? 1 : 2);
        EXPECT_THAT(session.Errors(), HasSubstr(c.errors));
        EXPECT_EQ(std::filesystem::exists(prefix.Slot(1)), c.cloned);
        EXPECT_FALSE(std::filesystem::exists(LaunchLog())) << "nothing is started";
        std::filesystem::remove_all(prefix.Slot(1));
    }
}

// Another release's aim.exe has other files and another patch position.
TEST_F(Programs, RefuseAClientOfAnotherReleaseBeforeDrawingTheWindow) {
    const std::string kRefusal =
        "[x] Wrong Version of AIM\n    C:\\Program Files\\AIM95\\aim.exe is AIM 5.0 (file version 5.0.2938.1), and this "
        "program clones AIM 4.8 only.\n    Use Vornix (AIM v5.0) for AIM 5.0 and Vornix (AIM v4.8) for AIM 4.8.\n[OK]\n";
    const struct {
        const char* program;
        std::uint16_t major, minor;
        std::string output;  // all of it when refused, how it begins when not
    } cases[] = {
        {kAim48, 5, 0, kRefusal},
        {kAim50, 4, 8, "[x] Wrong Version of AIM\n    C:\\Program Files\\AIM95\\aim.exe is AIM 4.8 (file version 4.8.2938.1), "
                       "and this program clones AIM 5.0 only.\n"},
        {kAim50, 5, 1, "[x] Wrong Version of AIM\n"},
        {kAim50, 5, 0, "\nVornix (AIM v5.0)\nDestination Directory: C:\\Program Files\\AIM951\\\n"},
    };
    for (const auto& c : cases) {
        TestPrefix::WriteBytes(prefix.Installation() / "aim.exe", sample::ClientProgram(c.major, c.minor));
        const Transcript run = RunProgram(c.program, "\n\n\n\n");
        EXPECT_THAT(run.output, ::testing::StartsWith(c.output));
        const bool refused = c.output.starts_with("[x]");
        if (c.output == kRefusal) {
            EXPECT_EQ(run.output, kRefusal);
        }
        EXPECT_EQ(run.status, refused ? 1 : 0);
        EXPECT_EQ(std::filesystem::exists(prefix.Slot(1)), !refused);
        std::filesystem::remove_all(prefix.Slot(1));
    }
}

// The sample installer makes an installation where there is none, and
// writes nothing at all where any file of one is: the user's own, say.
TEST(SampleInstaller, NeverWritesOverAnInstallation) {
    TestPrefix prefix(false);
    const std::string installer = VORNIX_SAMPLE_INSTALL_PROGRAM, root = prefix.Root().string();
    const Transcript made = RunProgram(installer, "", {.arguments = {root}});
    EXPECT_EQ(made.status, 0) << made.output;
    EXPECT_EQ(made.output, "Installed a sample client in " + root + "/dosdevices/c:/Program Files/AIM95\n");
    ASSERT_EQ(TestPrefix::FilesUnder(prefix.Installation()).size(), 84u);
    for (const char* kept : {"aim.exe", "Sounds/talkstop.wav"}) {
        SCOPED_TRACE(kept);
        std::filesystem::remove_all(prefix.Installation());
        std::filesystem::create_directories((prefix.Installation() / kept).parent_path());
        TestPrefix::WriteBytes(prefix.Installation() / kept, {'m', 'i', 'n', 'e'});
        const auto before = TestPrefix::Snapshot(prefix.Root());
        const Transcript refused = RunProgram(installer, "", {.arguments = {"--", root}});
        EXPECT_EQ(refused.status, 1);
        EXPECT_THAT(refused.output, HasSubstr("vornix-sample-install: " + root + "/dosdevices/c:/Program Files/AIM95/" +
                                              kept + " exists already"));
        EXPECT_EQ(TestPrefix::Snapshot(prefix.Root()), before) << "nothing was written";
    }
}

class ProgramsWithoutClient : public Programs {
protected:
    ProgramsWithoutClient() : Programs(false) {}
};

TEST_F(ProgramsWithoutClient, SayAimNotFoundAndNeverDrawTheWindow) {
    for (const char* program : {kAim50, kAim48}) {
        const Transcript run = RunProgram(program, "\n\n");
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output,
                  "[x] Aim Not Found\n"
                  "    Aim.exe has either been installed in another directory or hasn't been installed at all.\n"
                  "    Please re-install AIM to its defauly directory in order to use this program.\n[OK]\n");
    }
}

}  // namespace
}  // namespace vornix::testing
