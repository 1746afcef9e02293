#include "Form1.h"

#include "editions/Paths.h"
#include "runtime/FileSystem.h"
#include "runtime/Program.h"
#include "runtime/RuntimeError.h"

namespace vornix {

using namespace runtime;

namespace {
std::string Text(std::string_view literal) { return std::string(literal); }
}  // namespace

Form1::Form1(const EditionProfile& edition)
    : Form(edition.title, 2895, 2010),
      Frame2(*this, "Frame2", "Destination Directory", {0, 0, 2895, 855}, 0),
      txtDestination(*this, "txtDestination", Frame2, Text(kDefaultDestination), {240, 360, 2415, 285}, 1,
                     {192, 192, 192}),
      Label1(*this, "Label1",
             "You need approximately 5.25MB free disk space to ensure that the files get copied properly.",
             {120, 960, 2655, 615}, 3),
      Command1(*this, "Command1", "Start Cloning...", {120, 1680, 2655, 255}, 2),
      edition_(edition) {
    Command1.Click = [this] { Command1_Click(); };
}

void Form1::Form_Load() {
    if (FileExists(Text(kInstallCheckPath)) == False) {
        MsgBox("Aim.exe has either been installed in another directory or hasn't been installed at all.\r\n"
               "Please re-install AIM to its defauly directory in order to use this program.",
               vbCritical, "Aim Not Found");
        End();
    }
    ScanSlots();
}

// Proposes the slot after the highest one whose aim.exe exists; gaps below it
// are left alone, since a user may keep them for a reason.
void Form1::ScanSlots() {
    Boolean lastProbe = False;
    SlotCounter = 1;
    while (SlotCounter <= 9) {
        lastProbe = FileExists(Text(kSlotStem) + NumberToText(SlotCounter) + "\\aim.exe");
        if (lastProbe == True) txtDestination.SetText(Text(kSlotStem) + NumberToText(SlotCounter + 1) + "\\");
        SlotCounter += 1;
    }
    // Slot 10 gets no instance digit: say so before the user clones into it.
    if (lastProbe == True)
        MsgBox("You already have nine (9) 'cloned' Aim's. Go to C:\\Program Files\\AIM95(1-9) and make shortcuts "
               "to them.",
               vbCritical, "9 Aim's Cloned");
}

void Form1::Command1_Click() {
    Command1.SetEnabled(false);
    cloneDirectoryMadeByThisRun_ = false;
    try {
        CopyFiles();
        EditAim();
    } catch (RuntimeError& error) {
        // A half-filled slot would count as a clone at the next scan.
        if (auto failure = TakeBackHalfMadeClone()) error.AddNote(*failure);
        throw;
    }
    MsgBox("Finished copying and editing the files. You should see another instance of AIM pop up.",
           vbInformation, "Finished Copying");
    MsgBox("If you get a runtime error after this message box, just go to the destination directory.\r\n"
           "You can either choose to run aim from there or create a shortcut to wherever on your PC.\r\n\r\n"
           "Have Fun!!",
           vbInformation, "If An Error Occurs");
    StartProgram(Destination() + Text(kClientProgramName), WindowStyle::MinimizedFocus);
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

void Form1::CopyFiles() {
    MakeDirectory(Destination());
    cloneDirectoryMadeByThisRun_ = true;
    MakeDirectory(Destination() + Text(kSoundsSuffix));
    for (const std::string& name : edition_.manifest)
        CopyFile(Text(kSourceInstallation) + name, Destination() + name);
}

void Form1::EditAim() {
    const int fileNumber = FreeFile();
    OpenBinary(fileNumber, Destination() + Text(kClientProgramName));
    for (std::size_t slot = 1; slot <= kPatchComparisonLiterals.size(); ++slot) {
        if (Destination() == kPatchComparisonLiterals[slot - 1]) {
            PutByte(fileNumber, edition_.patchPosition, static_cast<std::uint8_t>('0' + slot));
            break;
        }
    }
    Close(fileNumber);
}

Boolean Form1::FileExists(const std::string& FileName) { return FileLookup(FileName, 0).empty() ? False : True; }

// The text of txtDestination, read afresh, as the directory it names: names
// are appended to it, so a missing trailing separator is supplied.
std::string Form1::Destination() const {
    std::string text = txtDestination.Text();
    if (text.empty() || (text.back() != '\\' && text.back() != '/')) text += '\\';
    return text;
}

// Removes the destination when this run made it; a destination that existed
// before is never touched. Says what could not be removed, if anything.
std::optional<std::string> Form1::TakeBackHalfMadeClone() {
    if (!cloneDirectoryMadeByThisRun_) return std::nullopt;
    cloneDirectoryMadeByThisRun_ = false;
    CloseAllFiles();  // an open aim.exe would keep its directory alive on Windows
    try {
        RemoveDirectoryTree(Destination());
    } catch (const RuntimeError& failure) {
        return "the partly made clone could not be removed: " + std::string(failure.what());
    }
    return std::nullopt;
}

}  // namespace vornix
