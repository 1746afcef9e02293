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
#include "tools/SampleInstallation.h"

namespace vornix::testing {
namespace {

using ::testing::ElementsAre;

class Form1Test : public ::testing::Test {
protected:
    explicit Form1Test(std::string programFiles = "Program Files")
        : prefix(true, std::move(programFiles)), launcher_(MakeRecordingLauncher(prefix.Scratch(), LaunchLog())) {
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

// The first slot after the highest clone whose directory can still be made;
// past slot 9 the user is told before cloning.
TEST_F(Form1Test, SlotScanProposesTheFirstFreeSlotAfterTheHighestClone) {
    const std::string kLeftovers =
        "C:\\Program Files\\AIM952\\ to C:\\Program Files\\AIM959\\ are in use without a clone in them, so the next "
        "clone goes to C:\\Program Files\\AIM9510\\ and gets no instance number.\r\nDelete or rename them to clone into "
        "them.";
    const std::string kOneLeftover = ", so the next clone goes to C:\\Program Files\\AIM9510\\ and gets no instance "
                                     "number.\r\nDelete or rename it to clone into it.";
    const struct {
        int proposed;
        std::vector<int> clones, leftovers, directoryNamedAimExe, aimExeLinkToNothing;
        std::string warning;
        std::vector<int> files;
    } cases[] = {
        {1},
        {4, {1, 3}},  // slot 2 stays a gap and is not offered
        {2, {1}, {3}},
        {4, {1}, {2, 3}},
        {2, {}, {1}},
        {1, {}, {}, {3}},      // a directory is no aim.exe
        {1, {}, {}, {}, {3}},  // nor is a link to nothing
        {10, {9}, {}, {}, {}, "You already have nine (9) 'cloned' Aim's. Go to C:\\Program Files\\AIM95(1-9) and make shortcuts to them."},
        {11, {9}, {10}, {}, {}, "You already have nine (9) 'cloned' Aim's. Go to C:\\Program Files\\AIM95(1-9) and make shortcuts to them."},
        {10, {1}, {2, 3, 4, 5, 6, 7, 8, 9}, {}, {}, kLeftovers},
        {10, {1, 2, 3, 4, 5, 6, 7, 8}, {9}, {}, {}, "C:\\Program Files\\AIM959\\ is a folder without a clone in it" + kOneLeftover},
        {10, {1, 2, 3, 4, 5, 6, 7, 8}, {}, {}, {}, "C:\\Program Files\\AIM959 is a file" + kOneLeftover, {9}},
    };
    for (const auto& c : cases) {
        for (int n = 1; n <= 11; ++n) std::filesystem::remove_all(prefix.Slot(n));
        for (int n : c.clones) prefix.AddClone(n);
        for (int n : c.leftovers) std::filesystem::create_directories(prefix.Slot(n));
        for (int n : c.files) TestPrefix::WriteBytes(prefix.Slot(n), {1});
        for (int n : c.directoryNamedAimExe) std::filesystem::create_directories(prefix.Slot(n) / "aim.exe");
        for (int n : c.aimExeLinkToNothing) {
            std::filesystem::create_directories(prefix.Slot(n));
            std::filesystem::create_symlink("gone.exe", prefix.Slot(n) / "aim.exe");
        }
        window.boxes.clear();
        EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM95" + std::to_string(c.proposed) + "\\")
            << ::testing::PrintToString(c.clones) << " " << ::testing::PrintToString(c.leftovers);
        if (c.warning.empty()) {
            EXPECT_TRUE(window.boxes.empty());
            continue;
        }
        ASSERT_EQ(window.boxes.size(), 1u);
        EXPECT_EQ(window.boxes[0].style, runtime::vbCritical);
        EXPECT_EQ(window.boxes[0].text, c.warning);
    }
}

TEST_F(Form1Test, SlotScanFindsClonesWhateverTheirLetterCase) {
    std::filesystem::create_directories(prefix.DriveC() / "Program Files" / "aim952");
    std::filesystem::copy_file(prefix.Installation() / "aim.exe", prefix.DriveC() / "Program Files" / "aim952" / "AIM.EXE");
    EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM953\\");
}

// The client's file lists as its releases install them, typed out here
// independently of the program's own table: order and letter case count.
TEST(Manifest, EachEditionCopiesItsReleasesFilesInOrder) {
    const auto joined = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
        return text;
    };
    EXPECT_EQ(joined(Aim50Edition().manifest),
        "aim.exe, AimCoreSvcs.dll, Aim95.hlp, Admin.ocm, advert.ocm, aim.odl, aim95.CNT, AlertUI.ocm, "
        "browse.ocm, buddyui.ocm, ChatUI.ocm, dunzip32.dll, dBenderC.dll, icbmft.ocm, icbmui.ocm, locateui.ocm, "
        "miscui.ocm, netwait.odl, NTP.ocm, osclogin.ocm, OscMail.ocm, oscmain.ocm, osconfig.ocm, OscSrch.ocm, "
        "popup.ocm, proto.ocm, rvapps.ocm, startup.ocm, stats.ocm, ticker.ocm, Xpcs Registry.dat, aimauto.exe, "
        "SendFile.exe, ShareFile.exe, AimRes.dll, aimtalk.dll, aimax.dll, ate32.dll, ateima32.dll, chksign.dll, "
        "coolbos.dll, coolbucky.dll, coolhttp.dll, coolsocket.dll, coolsos.dll, csh.dll, idlemon.dll, "
        "inetsocket.dll, jga0aol.dll, jga1aol.dll, jgataol.dll, jgedaol.dll, jgs2aol.dll, jgs3aol.dll, "
        "jgseaol.dll, jgtkaol.dll, oscarui.dll, oscore.dll, oscres.dll, PopupShim.dll, Patcher.dll, "
        "ProgressDlg.dll, StatsShim.dll, TranslateShim.dll, wndutils.dll, xmlparse.dll, xpcs.dll, xprt.dll, "
        "xptl.dll, icbmftvc.lst, rvappstm.lst, Sounds\\cashregister.wav, Sounds\\dooropen.wav, "
        "Sounds\\doorslam.wav, Sounds\\imrcv.wav, Sounds\\imsend.wav, Sounds\\moo.wav, Sounds\\newalert.wav, "
        "Sounds\\newmail.wav, Sounds\\phone.wav, Sounds\\ring.wav, Sounds\\talkbeg.wav, Sounds\\talkend.wav, "
        "Sounds\\talkstop.wav");
    EXPECT_EQ(joined(Aim48Edition().manifest),
        "aim.exe, Aim95.hlp, Admin.ocm, advert.ocm, aim.odl, aim95.CNT, AlertUI.ocm, browse.ocm, buddyui.ocm, "
        "ChatUI.ocm, icbmft.ocm, icbmui.ocm, locateui.ocm, miscui.ocm, netwait.odl, NTP.ocm, osclogin.ocm, "
        "OscMail.ocm, oscmain.ocm, osconfig.ocm, OscSrch.ocm, popup.ocm, proto.ocm, rvapps.ocm, startup.ocm, "
        "stats.ocm, ticker.ocm, Xpcs Registry.dat, aimauto.exe, SendFile.exe, ShareFile.exe, AimRes.dll, "
        "aimtalk.dll, ate32.dll, ateima32.dll, chksign.dll, coolbos.dll, coolbucky.dll, coolhttp.dll, "
        "coolsocket.dll, coolsos.dll, csh.dll, idlemon.dll, inetsocket.dll, jga0aol.dll, jga1aol.dll, "
        "jgataol.dll, jgedaol.dll, jgs2aol.dll, jgs3aol.dll, jgseaol.dll, jgtkaol.dll, oscarui.dll, oscore.dll, "
        "oscres.dll, PopupShim.dll, StatsShim.dll, TranslateShim.dll, wndutils.dll, xmlparse.dll, xpcs.dll, "
        "xprt.dll, xptl.dll, icbmftvc.lst, rvappstm.lst, Sounds\\cashregister.wav, Sounds\\dooropen.wav, "
        "Sounds\\doorslam.wav, Sounds\\imrcv.wav, Sounds\\imsend.wav, Sounds\\moo.wav, Sounds\\newalert.wav, "
        "Sounds\\newmail.wav, Sounds\\phone.wav, Sounds\\ring.wav, Sounds\\talkbeg.wav, Sounds\\talkend.wav, "
        "Sounds\\talkstop.wav");
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
    ASSERT_THAT(window.Titles(), ElementsAre("About...", "Downloaded from www.vornix.example"));
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

    ASSERT_THAT(window.Titles(), ElementsAre("Finished Copying", "If An Error Occurs", "About...",
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
    EXPECT_EQ(ReadText(LaunchLog()), "start|/d|C:\\Program Files\\AIM953\\|/min|C:\\Program Files\\AIM953\\aim.exe|\n");

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

// A 32-bit installer on 64-bit Windows installs under Program Files (x86).
class ProgramFilesX86 : public Form1Test, public ::testing::WithParamInterface<bool> {
protected:
    ProgramFilesX86() : Form1Test("Program Files (x86)") {}
    const EditionProfile& Edition() const { return GetParam() ? Aim50Edition() : Aim48Edition(); }
};

TEST_P(ProgramFilesX86, TheRunStaysInTheFolderItFoundTheClientIn) {
    EXPECT_EQ(ProposalAtStart(Edition()), "C:\\Program Files (x86)\\AIM951\\");
    prefix.AddClone(1);
    EXPECT_EQ(ProposalAtStart(Edition()), "C:\\Program Files (x86)\\AIM952\\");
    EXPECT_EQ(Run(Edition(), {kClick}), 0);
    EXPECT_THAT(prefix.MiscopiedFiles(prefix.Slot(2), Edition(), '2'), ::testing::IsEmpty());
    EXPECT_EQ(ReadText(LaunchLog()), "start|/d|C:\\Program Files (x86)\\AIM952\\|/min|C:\\Program Files (x86)\\AIM952\\aim.exe|\n");
    EXPECT_THAT(window.textAfterAction, ElementsAre("C:\\Program Files (x86)\\AIM953\\"));
    EXPECT_FALSE(std::filesystem::exists(prefix.DriveC() / "Program Files")) << "nothing lands in the other folder";

    prefix.AddClone(9);
    EXPECT_EQ(ProposalAtStart(Edition()), "C:\\Program Files (x86)\\AIM9510\\");
    ASSERT_FALSE(window.boxes.empty());
    EXPECT_EQ(window.boxes.back().text, "You already have nine (9) 'cloned' Aim's. Go to C:\\Program Files (x86)\\AIM95(1-9) "
                                        "and make shortcuts to them.");
}

INSTANTIATE_TEST_SUITE_P(BothEditions, ProgramFilesX86, ::testing::Bool(),
                         [](const auto& param) { return param.param ? "Aim50" : "Aim48"; });

TEST_F(Form1Test, WithBothInstallationsTheClassicFolderWins) {
    sample::InstallInto(prefix.DriveC() / "Program Files (x86)" / "AIM95");
    std::filesystem::create_directories(prefix.DriveC() / "Program Files (x86)" / "AIM951");
    std::filesystem::copy_file(prefix.Installation() / "aim.exe", prefix.DriveC() / "Program Files (x86)" / "AIM951" / "aim.exe");
    EXPECT_EQ(ProposalAtStart(), "C:\\Program Files\\AIM951\\");
}

TEST_F(Form1Test, ASecondClickClonesIntoTheSlotProposedAfterTheFirst) {
    EXPECT_EQ(Run(Aim50Edition(), {kClick, kClick}), 0);
    EXPECT_THAT(window.textAfterAction, ElementsAre("C:\\Program Files\\AIM952\\", "C:\\Program Files\\AIM953\\"));
    EXPECT_EQ(TestPrefix::ByteAt(prefix.Slot(2) / "aim.exe", 21914), '2');
}

TEST_F(Form1Test, CloningSlotNineProposesSlotTenWithTheNotice) {
    for (int n = 1; n <= 8; ++n) prefix.AddClone(n);
    EXPECT_EQ(Run(Aim50Edition(), {kClick}), 0);
    EXPECT_EQ(TestPrefix::ByteAt(prefix.Slot(9) / "aim.exe", 21914), '9');
    EXPECT_THAT(window.Titles(), ElementsAre("Finished Copying", "If An Error Occurs", "9 Aim's Cloned", "About...",
                                             "Downloaded from www.vornix.example"));
    EXPECT_THAT(window.textAfterAction, ElementsAre("C:\\Program Files\\AIM9510\\"));
}

// Whatever fails, the installation is untouched, no half-made clone remains and
// the report names number, description and path.
class CloneRunFaults : public Form1Test {
protected:
    ShownBox RunAndExpectError(const EditionProfile& edition) {
        const auto installationBefore = TestPrefix::Snapshot(prefix.Installation());
        EXPECT_EQ(Run(edition, {kClick}), 1);
        EXPECT_EQ(TestPrefix::Snapshot(prefix.Installation()), installationBefore);
        EXPECT_FALSE(window.boxes.empty());
        if (window.boxes.empty()) return {};
        const ShownBox& report = window.boxes.back();
        EXPECT_EQ(report.style, runtime::vbCritical);
        EXPECT_EQ(report.title, edition.title);
        EXPECT_THAT(window.Titles(), ::testing::Not(::testing::Contains("About...")));
        // Nothing of the run is left beside the slots.
        for (const auto& entry : std::filesystem::directory_iterator(prefix.ProgramFiles()))
            EXPECT_THAT(entry.path().filename().string(), ::testing::Not(::testing::StartsWith("vornix-partial-")));
        return report;
    }
};

TEST_F(CloneRunFaults, AnExistingDestinationIsLeftAloneAndNothingIsCopied) {
    std::filesystem::create_directories(prefix.Slot(1));
    TestPrefix::WriteBytes(prefix.Slot(1) / "mine.txt", {'k', 'e', 'e', 'p'});
    window.typed = "C:\\Program Files\\AIM951";
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
    EXPECT_THAT(report.text, ::testing::MatchesRegex(".*Path/File access error: .*recording-launcher \\(it exited with "
                                                     "status 1 while starting C:\\\\Program Files\\\\AIM951\\\\aim\\.exe: "
                                                     "Application could not be started, or no application associated\\)"));
    EXPECT_EQ(TestPrefix::ByteAt(prefix.Slot(1) / "aim.exe", 21914), '1');
}

TEST_F(CloneRunFaults, ASecondCloneIntoTheFirstsDirectoryLeavesItWhole) {
    form = std::make_unique<Form1>(Aim50Edition());
    form->Form_Load();
    ASSERT_EQ(runtime::ClickButton(*form, form->Command1), std::nullopt);
    const auto firstClone = TestPrefix::Snapshot(prefix.Slot(1));
    form->txtDestination.SetText("C:\\Program Files\\AIM951\\");
    EXPECT_EQ(runtime::ClickButton(*form, form->Command1), 1);
    ASSERT_FALSE(window.boxes.empty());
    EXPECT_THAT(window.boxes.back().text,
                ::testing::StartsWith("Run-time error '75':\r\n\r\nPath/File access error: C:\\Program Files\\AIM951\\"));
    EXPECT_EQ(TestPrefix::Snapshot(prefix.Slot(1)), firstClone);
}

}  // namespace
}  // namespace vornix::testing
