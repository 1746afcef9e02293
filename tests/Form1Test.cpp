// Form1 driven in-process through a scripted window, over a real prefix.
#include "clonetool/Form1.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "ScriptedWindow.h"
#include "TestPrefix.h"
#include "clonetool/editions/Edition.h"

namespace vornix::testing {
namespace {

using ::testing::ElementsAre;

class Form1Test : public ::testing::Test {
protected:
    Form1Test() : launcher_(MakeRecordingLauncher(prefix.Scratch(), LaunchLog())) {
        ::setenv("WINE", launcher_.c_str(), 1);
    }
    ~Form1Test() override { ::unsetenv("WINE"); }

    std::filesystem::path LaunchLog() const { return prefix.Scratch() / "launched.log"; }

    // Loads the form, runs the script and closes the window.
    int Run(const EditionProfile& edition, std::vector<ScriptedWindow::Action> script = {}) {
        form = std::make_unique<Form1>(edition);
        window.script = std::move(script);
        return runtime::Run(*form);
    }

    std::string ProposalAtStart(const EditionProfile& edition = Aim50Edition()) {
        window.script = {ScriptedWindow::Action::Close};
        form = std::make_unique<Form1>(edition);
        form->Form_Load();
        return form->txtDestination.Text();
    }

    TestPrefix prefix;
    ScriptedWindow window;
    std::unique_ptr<Form1> form;

private:
    std::filesystem::path launcher_;
};

constexpr auto kClick = ScriptedWindow::Action::Click;

TEST_F(Form1Test, SlotScanProposesTheSlotAfterTheHighestClone) {
    EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM951\\");
    prefix.AddClone(1);
    prefix.AddClone(3);  // slot 2 stays a gap and is not offered
    EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM954\\");
    std::filesystem::remove(prefix.Slot(3) / "aim.exe");  // a directory without aim.exe is free
    EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM952\\");
    EXPECT_TRUE(window.boxes.empty());
}

TEST_F(Form1Test, SlotScanFindsClonesWhateverTheirLetterCase) {
    std::filesystem::create_directories(prefix.DriveC() / "Program Files" / "aim952");
    std::filesystem::copy_file(prefix.Installation() / "aim.exe", prefix.DriveC() / "Program Files" / "aim952" / "AIM.EXE");
    EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM953\\");
}

TEST_F(Form1Test, SlotScanIgnoresADirectoryNamedAimExe) {
    std::filesystem::create_directories(prefix.Slot(1) / "aim.exe");
    EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM951\\");
}

TEST_F(Form1Test, NineClonesProposeSlotTenAndSaySoAtOnce) {
    prefix.AddClone(9);
    EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM9510\\");
    ASSERT_EQ(window.boxes.size(), 1u);
    EXPECT_EQ(window.boxes[0].style, runtime::vbCritical);
    EXPECT_EQ(window.boxes[0].title, "9 Aim's Cloned");
    EXPECT_EQ(window.boxes[0].text,
              "You already have nine (9) 'cloned' Aim's. Go to C:\\Program Files\\AIM95(1-9) and make shortcuts to them.");
}

TEST(Form1NotInstalled, OnlyTheCriticalNoticeAndNoWindow) {
    TestPrefix empty(false);
    ScriptedWindow window;
    Form1 form(Aim50Edition());
    EXPECT_EQ(runtime::Run(form), 1);
    EXPECT_FALSE(window.windowShown);
    ASSERT_EQ(window.boxes.size(), 1u);  // and no exit notices
    EXPECT_EQ(window.boxes[0].style, runtime::vbCritical);
    EXPECT_EQ(window.boxes[0].title, "Aim Not Found");
    EXPECT_EQ(window.boxes[0].text,
              "Aim.exe has either been installed in another directory or hasn't been installed at all.\r\n"
              "Please re-install AIM to its defauly directory in order to use this program.");
}

TEST_F(Form1Test, ClosingShowsAboutThenTheEditionsDistributionNotice) {
    EXPECT_EQ(Run(Aim48Edition()), 0);
    EXPECT_THAT(window.Titles(), ElementsAre("About...", "Downloaded from www.vornix.example"));
    EXPECT_EQ(window.boxes[0].text, "Vornix (AIM v4.8)\r\n\r\nCreated by:\r\nThe Vornix developers\r\n(developers@vornix.example)");
    EXPECT_EQ(window.boxes[1].text,
              "This file has been downloaded from www.vornix.example\r\n\r\nIf you got it from anywhere else please "
              "report it to the webmaster of www.vornix.example ASAP.");
    EXPECT_EQ(window.boxes[1].style, runtime::vbInformation);
}

class CloneRun : public Form1Test, public ::testing::WithParamInterface<bool> {
protected:
    const EditionProfile& Edition() const { return GetParam() ? Aim50Edition() : Aim48Edition(); }
};

TEST_P(CloneRun, OneClickMakesTheNextCloneAndProposesTheOneAfter) {
    prefix.AddClone(1);
    prefix.AddClone(2);
    std::set<std::string> presentWhileBoxUp;
    window.onBox = [&](const std::string& title) {
        if (std::filesystem::exists(prefix.Slot(3) / "aim.exe")) presentWhileBoxUp.insert(title);
        if (title == "Finished Copying" || title == "If An Error Occurs") {
            EXPECT_FALSE(std::filesystem::exists(LaunchLog())) << "started before the notices were dismissed";
        }
    };
    EXPECT_EQ(Run(Edition(), {kClick}), 0);

    EXPECT_THAT(window.Titles(), ElementsAre("Finished Copying", "If An Error Occurs", "About...",
                                             "Downloaded from www.vornix.example"));
    EXPECT_FALSE(window.boxes[0].buttonEnabled);
    EXPECT_FALSE(window.boxes[1].buttonEnabled);
    EXPECT_TRUE(window.boxes[2].buttonEnabled);
    EXPECT_EQ(window.boxes[1].text,
              "If you get a runtime error after this message box, just go to the destination directory.\r\n"
              "You can either choose to run aim from there or create a shortcut to wherever on your PC.\r\n\r\n"
              "Have Fun!!");
    EXPECT_EQ(presentWhileBoxUp.count("Finished Copying"), 1u);
    EXPECT_THAT(window.textAfterAction, ElementsAre("C:\\Program Files\\AIM954\\"));
    EXPECT_EQ(ReadText(LaunchLog()), "start|/min|C:\\Program Files\\AIM953\\aim.exe|\n");

    // Exactly the manifest, byte for byte, but for the slot digit.
    const std::vector<std::string> copied = TestPrefix::FilesUnder(prefix.Slot(3));
    EXPECT_EQ(copied.size(), Edition().manifest.size());
    EXPECT_THAT(prefix.MiscopiedFiles(prefix.Slot(3), Edition(), '3'), ::testing::IsEmpty());
    const auto inSounds = static_cast<std::size_t>(
        std::count_if(copied.begin(), copied.end(), [](const std::string& name) { return name.starts_with("Sounds/"); }));
    EXPECT_EQ(inSounds, 13u);
    EXPECT_EQ(copied.size() - inSounds, GetParam() ? 71u : 65u);
}

INSTANTIATE_TEST_SUITE_P(BothEditions, CloneRun, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Aim50" : "Aim48"; });

TEST_F(Form1Test, ASecondClickClonesIntoTheSlotProposedAfterTheFirst) {
    EXPECT_EQ(Run(Aim50Edition(), {kClick, kClick}), 0);
    EXPECT_THAT(window.textAfterAction, ElementsAre("C:\\Program Files\\AIM952\\", "C:\\Program Files\\AIM953\\"));
    EXPECT_EQ(TestPrefix::Bytes(prefix.Slot(2) / "aim.exe")[21914], '2');
}

TEST_F(Form1Test, CloningSlotNineProposesSlotTenWithTheNotice) {
    for (int n = 1; n <= 8; ++n) prefix.AddClone(n);
    EXPECT_EQ(Run(Aim50Edition(), {kClick}), 0);
    EXPECT_EQ(TestPrefix::Bytes(prefix.Slot(9) / "aim.exe")[21914], '9');
    EXPECT_THAT(window.Titles(), ElementsAre("Finished Copying", "If An Error Occurs", "9 Aim's Cloned", "About...",
                                             "Downloaded from www.vornix.example"));
    EXPECT_THAT(window.textAfterAction, ElementsAre("C:\\Program Files\\AIM9510\\"));
}

// Destinations typed by the user.
struct TypedDestination {
    const char* text;
    const char* hostDirectory;  // relative to drive C
    std::optional<char> digit;
};

class TypedDestinations : public Form1Test, public ::testing::WithParamInterface<TypedDestination> {};

TEST_P(TypedDestinations, CloneIntoTheDirectoryTheTextNames) {
    const TypedDestination& typed = GetParam();
    form = std::make_unique<Form1>(Aim50Edition());
    form->Form_Load();
    form->txtDestination.SetText(typed.text);
    ASSERT_EQ(runtime::ClickButton(*form, form->Command1), std::nullopt);

    const std::filesystem::path clone = prefix.DriveC() / typed.hostDirectory;
    std::vector<std::uint8_t> expected = TestPrefix::Bytes(prefix.Installation() / "aim.exe");
    if (typed.digit) expected[21914] = static_cast<std::uint8_t>(*typed.digit);
    EXPECT_EQ(TestPrefix::Bytes(clone / "aim.exe"), expected);
    EXPECT_EQ(TestPrefix::FilesUnder(clone).size(), 84u);
    EXPECT_EQ(TestPrefix::FilesUnder(prefix.Root()).size(), 84u * 2) << "something besides the clone was made";
}

INSTANTIATE_TEST_SUITE_P(
    Form1, TypedDestinations,
    ::testing::Values(TypedDestination{"C:\\Program Files\\AIM953", "Program Files/AIM953", '3'},
                      TypedDestination{"c:\\program files\\aim953\\", "Program Files/aim953", std::nullopt},
                      TypedDestination{"C:\\..\\..\\..\\Clone\\", "Clone", std::nullopt},
                      TypedDestination{"C:/Program Files//AIM95/../Mine", "Program Files/Mine", std::nullopt}));

// Whatever fails, the installation is untouched, no half-made clone remains and
// the report names number, description and path.
class CloneRunFaults : public Form1Test {
protected:
    ShownBox RunAndExpectError(const EditionProfile& edition) {
        installationBefore_ = Snapshot(prefix.Installation());
        EXPECT_EQ(Run(edition, {kClick}), 1);
        EXPECT_EQ(Snapshot(prefix.Installation()), installationBefore_);
        EXPECT_FALSE(window.boxes.empty());
        if (window.boxes.empty()) return {};
        const ShownBox& report = window.boxes.back();
        EXPECT_EQ(report.style, runtime::vbCritical);
        EXPECT_EQ(report.title, edition.title);
        EXPECT_THAT(window.Titles(), ::testing::Not(::testing::Contains("About...")));
        return report;
    }

    static std::vector<std::vector<std::uint8_t>> Snapshot(const std::filesystem::path& directory) {
        std::vector<std::vector<std::uint8_t>> contents;
        for (const std::string& name : TestPrefix::FilesUnder(directory)) contents.push_back(TestPrefix::Bytes(directory / name));
        return contents;
    }

private:
    std::vector<std::vector<std::uint8_t>> installationBefore_;
};

TEST_F(CloneRunFaults, AnExistingDestinationIsLeftAloneAndNothingIsCopied) {
    std::filesystem::create_directories(prefix.Slot(1));
    TestPrefix::WriteBytes(prefix.Slot(1) / "mine.txt", {'k', 'e', 'e', 'p'});
    const ShownBox report = RunAndExpectError(Aim50Edition());
    EXPECT_EQ(report.text, "Run-time error '75':\r\n\r\nPath/File access error: C:\\Program Files\\AIM951\\ (it exists already)");
    EXPECT_THAT(TestPrefix::FilesUnder(prefix.Slot(1)), ElementsAre("mine.txt"));
}

TEST_F(CloneRunFaults, AMissingManifestFileLeavesNoCloneBehind) {
    std::filesystem::remove(prefix.Installation() / "Patcher.dll");
    const ShownBox report = RunAndExpectError(Aim50Edition());
    EXPECT_EQ(report.text, "Run-time error '53':\r\n\r\nFile not found: C:\\Program Files\\AIM95\\Patcher.dll");
    EXPECT_FALSE(std::filesystem::exists(prefix.Slot(1)));
}

TEST_F(CloneRunFaults, TheOlderReleaseDoesNotNeedTheFilesItLacks) {
    std::filesystem::remove(prefix.Installation() / "Patcher.dll");
    EXPECT_EQ(Run(Aim48Edition(), {kClick}), 0);
    EXPECT_EQ(TestPrefix::FilesUnder(prefix.Slot(1)).size(), 78u);
}

TEST_F(CloneRunFaults, AShortAimExeIsNeitherExtendedNorKept) {
    TestPrefix::WriteBytes(prefix.Installation() / "aim.exe", std::vector<std::uint8_t>(21914, 'x'));
    const ShownBox report = RunAndExpectError(Aim50Edition());
    EXPECT_EQ(report.text, "Run-time error '63':\r\n\r\nBad record number: C:\\Program Files\\AIM951\\aim.exe "
                           "(byte position 21915 is past the end of the file, which has 21914 bytes)");
    EXPECT_FALSE(std::filesystem::exists(prefix.Slot(1)));
}

TEST_F(CloneRunFaults, AFailedStartComesAfterTheNoticesAndKeepsTheClone) {
    ::setenv("WINE", MakeRecordingLauncher(prefix.Scratch(), LaunchLog(), 1).c_str(), 1);
    const ShownBox report = RunAndExpectError(Aim50Edition());
    EXPECT_THAT(window.Titles(), ElementsAre("Finished Copying", "If An Error Occurs", "Vornix (AIM v5.0)"));
    EXPECT_EQ(report.text, "Run-time error '53':\r\n\r\nFile not found: C:\\Program Files\\AIM951\\aim.exe "
                           "(Application could not be started, or no application associated)");
    EXPECT_EQ(TestPrefix::Bytes(prefix.Slot(1) / "aim.exe")[21914], '1');
}

TEST_F(CloneRunFaults, AMissingLauncherIsReported) {
    ::setenv("WINE", (prefix.Scratch() / "no-such-wine").c_str(), 1);
    const ShownBox report = RunAndExpectError(Aim50Edition());
    EXPECT_NE(report.text.find("Run-time error '53'"), std::string::npos);
    EXPECT_NE(report.text.find("could not run"), std::string::npos);
}

}  // namespace
}  // namespace vornix::testing
