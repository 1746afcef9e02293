#include "Form1.h"

#include <algorithm>
#include <utility>

#include "runtime/FileSystem.h"
#include "runtime/Program.h"
#include "runtime/RuntimeError.h"
#include "runtime/WindowsPath.h"

namespace vornix {

using namespace runtime;

namespace {
std::string Text(std::string_view literal) { return std::string(literal); }
}  // namespace

Form1::Form1(const EditionProfile& edition)
    : Form(edition.title, 2895, 2010),
      Frame2(*this, "Frame2", "Destination Directory", {0, 0, 2895, 855}, 0),
      txtDestination(*this, "txtDestination", Frame2, SlotDirectory(kClassicLayout, 1), {240, 360, 2415, 285}, 1,
                     {192, 192, 192}),
      Label1(*this, "Label1",
             "You need approximately 5.25MB free disk space to ensure that the files get copied properly.",
             {120, 960, 2655, 615}, 3),
      Command1(*this, "Command1", "Start Cloning...", {120, 1680, 2655, 255}, 2),
      edition_(edition) {
    Command1.Click = [this] { Command1_Click(); };
}

void Form1::Form_Load() {
    if (FileExists(Text(kClassicLayout.installCheckPath)) == True) {
        layout_ = &kClassicLayout;
    } else if (FileExists(Text(kProgramFilesX86Layout.installCheckPath)) == True) {
        layout_ = &kProgramFilesX86Layout;
        txtDestination.SetText(SlotDirectory(*layout_, 1));
    } else {
        MsgBox("Aim.exe has either been installed in another directory or hasn't been installed at all.\r\n"
               "Please re-install AIM to its defauly directory in order to use this program.",
               vbCritical, "Aim Not Found");
        End();
    }
    // Another release has other files and another patch position: its clone
    // would be broken. A client without a version block is taken as it is.
    const std::string client = Text(layout_->installCheckPath);
    if (const std::optional<FileVersion> version = GetFileVersion(client);
        version && (version->major != edition_.release.major || version->minor != edition_.release.minor)) {
        MsgBox(client + " is AIM " + std::to_string(version->major) + "." + std::to_string(version->minor) +
                   " (file version " + version->ToString() + "), and this program clones AIM " +
                   std::to_string(edition_.release.major) + "." + std::to_string(edition_.release.minor) +
                   " only.\r\n" + Identity::kProgramPerRelease,
               vbCritical, "Wrong Version of AIM");
        End();
    }
    ScanSlots();
}

// Proposes the first slot after the highest one whose aim.exe exists, passing
// over folders that hold no clone: a proposal can always be made. Gaps below
// the highest clone are left alone, since a user may keep them for a reason.
void Form1::ScanSlots() {
    Integer highestClone = 0;
    SlotCounter = 1;
    while (SlotCounter <= 9) {
        // A folder this user may not look into holds no clone the user can run.
        const std::string slot = SlotDirectory(*layout_, SlotCounter);
        if (CanListDirectory(slot) && FileExists(slot + Text(kClientProgramName)) == True) highestClone = SlotCounter;
        SlotCounter += 1;
    }
    SlotCounter = highestClone + 1;
    while (NameExists(SlotDirectory(*layout_, SlotCounter))) SlotCounter += 1;
    txtDestination.SetText(SlotDirectory(*layout_, SlotCounter));
    if (SlotCounter <= 9) return;

    // Past slot 9 a clone gets no instance digit: say so before the user clones.
    if (highestClone == 9)
        MsgBox("You already have nine (9) 'cloned' Aim's. Go to " + Text(layout_->slotStem) +
                   "(1-9) and make shortcuts to them.",
               vbCritical, "9 Aim's Cloned");
    else
        MsgBox(LeftoversInTheWay(highestClone + 1) + ", so the next clone goes to " + SlotDirectory(*layout_, SlotCounter) +
                   " and gets no instance number.\r\nDelete or rename " +
                   (highestClone + 1 < 9 ? "them to clone into them." : "it to clone into it."),
               vbCritical, "Clone Folders In Use");
}

// What stands in slots `first` to 9 without a clone, named as what it is.
std::string Form1::LeftoversInTheWay(Integer first) {
    if (first < 9)
        return SlotDirectory(*layout_, first) + " to " + SlotDirectory(*layout_, 9) + " are in use without a clone in them";
    const std::string slot = SlotDirectory(*layout_, 9);
    const std::string asFile = slot.substr(0, slot.size() - 1);
    if (FileExists(asFile) == True) return asFile + " is a file";
    return slot + " is a folder without a clone in it";
}

void Form1::Command1_Click() {
    Command1.SetEnabled(false);
    // Read once, as Windows reads it: the directory made, patched, named in
    // every report and started from is this one.
    destination_ = DirectoryPath(txtDestination.Text());
    try {
        CopyFiles();
        EditAim();
        // The clone appears under its own name only now, whole: whatever
        // stops the run before leaves nothing that a slot scan would count.
        RenameDirectory(stagingDirectory_, destination_);
        stagingDirectory_.clear();
    } catch (RuntimeError& error) {
        error.ReportUnder(stagingDirectory_, destination_);
        if (auto failure = TakeBackHalfMadeClone()) error.AddNote(*failure);
        throw;
    }
    try {
        MsgBox("Finished copying and editing the files. You should see another instance of AIM pop up.",
               vbInformation, "Finished Copying");
        MsgBox("If you get a runtime error after this message box, just go to the destination directory.\r\n"
               "You can either choose to run aim from there or create a shortcut to wherever on your PC.\r\n\r\n"
               "Have Fun!!",
               vbInformation, "If An Error Occurs");
    } catch (RuntimeError& error) {
        // The clone is whole: say so, since the report alone would not.
        error.AddNote("the clone was made in " + destination_ + " and was not started");
        throw;
    }
    StartProgram(destination_ + Text(kClientProgramName), WindowStyle::MinimizedFocus);
    ScanSlots();
    Command1.SetEnabled(true);
}

void Form1::Form_Unload(Integer& Cancel) {
    (void)Cancel;  // the close always goes ahead
    MsgBox(edition_.title + "\r\n\r\nCreated by:\r\n" + Identity::kAuthorName + "\r\n(" + Identity::kAuthorEmail + ")",
           vbInformation, "About...");
    const std::string host = Identity::kDistributionHost;
    const NoticeWording& notice = edition_.notice;
    MsgBox(notice.firstLineLead + host + "\r\n\r\n" + notice.secondLineLead + host + notice.secondLineTail,
           vbInformation, "Downloaded from " + host);
}

// Builds the clone beside its destination; an existing destination is
// refused before anything is made or copied.
void Form1::CopyFiles() {
    const auto longest = std::max_element(edition_.manifest.begin(), edition_.manifest.end(),
                                          [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    stagingDirectory_ = MakeStagingDirectory(destination_, *longest);
    MakeDirectory(stagingDirectory_ + Text(kSoundsSuffix));
    for (const std::string& name : edition_.manifest)
        CopyFile(Text(layout_->sourceInstallation) + name, stagingDirectory_ + name);
}

// The digit follows the directory the destination is on disk, so that every
// way of reaching a slot's directory (another spelling, a link, another
// drive letter, a short name) gets that slot's digit.
void Form1::EditAim() {
    const int fileNumber = FreeFile();
    OpenBinary(fileNumber, stagingDirectory_ + Text(kClientProgramName));
    for (Integer slot = 1; slot <= 9; slot += 1) {
        if (SameDirectoryEntry(destination_, SlotDirectory(*layout_, slot))) {
            PutByte(fileNumber, edition_.patchPosition, static_cast<std::uint8_t>('0' + slot.Value()));
            break;
        }
    }
    Close(fileNumber);
}

Boolean Form1::FileExists(const std::string& FileName) { return FileLookup(FileName, 0).empty() ? False : True; }

// Removes what this run built; a destination that existed before is never
// touched. Says what could not be removed, if anything.
std::optional<std::string> Form1::TakeBackHalfMadeClone() {
    if (stagingDirectory_.empty()) return std::nullopt;
    const std::string staging = std::exchange(stagingDirectory_, {});
    CloseAllFiles();  // an open aim.exe would keep its directory alive on Windows
    try {
        RemoveDirectoryTree(staging);
    } catch (const RuntimeError& failure) {
        return "the partly made clone could not be removed: " + std::string(failure.what());
    }
    return std::nullopt;
}

}  // namespace vornix
