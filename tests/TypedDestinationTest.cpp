// Destinations a user may type, in-process through Form1 and through the real
// program: each gives a correct clone, with the digit of the slot whose
// directory it names as Windows reads it, or a clear error; nothing ever
// lands outside the clone.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "ProgramSession.h"
#include "ScriptedWindow.h"
#include "TestPrefix.h"
#include "clonetool/Form1.h"
#include "clonetool/editions/Edition.h"

namespace vornix::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct TypedDestination {
    std::string name;   // of the case
    std::string typed;  // into the text box
    // A clone expected in this directory (relative to drive C, host form) ...
    std::string clone;
    char digit = 0;  // ... patched with this digit (0: no digit)
    // ... or else this run-time error.
    int error = 0;
    // Host directories (relative to drive C) made before the run.
    std::string existing;
    // The client installed under Program Files (x86) only.
    bool x86 = false;
    // Links made before the run, relative to the prefix: name and target.
    std::vector<std::pair<std::string, std::string>> links;
    // What the launcher is asked to start, when the case says.
    std::string started;
    // Words the report of an error holds, when the case says.
    std::string report;
};

// "{root}" in a typed path stands for the prefix's host directory.
std::string WithRoot(std::string text, const fs::path& root) {
    if (const auto at = text.find("{root}"); at != std::string::npos) text.replace(at, 6, root.string());
    return text;
}

void PrintTo(const TypedDestination& destination, std::ostream* out) { *out << destination.name; }

std::vector<TypedDestination> Cases() {
    const std::string longName(120, 'n');
    std::string hostLongName, hostName255;  // 100 and 85 characters of 3 bytes each
    for (int i = 0; i < 100; ++i) hostLongName += "\xE4\xB8\xAD";
    for (int i = 0; i < 85; ++i) hostName255 += "\xE4\xB8\xAD";
    const std::string deep = longName + "/" + longName;  // with the clone, past 260 characters
    std::string veryLong = "C:\\";
    for (int i = 0; i < 45; ++i) veryLong += std::string(95, 'd') + "\\";
    std::vector<TypedDestination> cases = {
        {.name = "Empty", .typed = "", .error = 76},
        {.name = "OnlySpaces", .typed = "   ", .error = 76},
        {.name = "Relative", .typed = "AIM953\\", .error = 76},
        {.name = "Unc", .typed = "\\\\server\\share\\", .error = 76, .report = "a network path, which is not taken: map a drive letter"},
        {.name = "OnlyTwoSeparators", .typed = "\\\\", .error = 76, .report = "a network path"},
        {.name = "UncWithSlashes", .typed = "//server/share/Clone", .error = 76, .report = "a network path"},
        {.name = "LongPathPrefix", .typed = "\\\\?\\C:\\Clone\\", .error = 76, .report = "a device path, which is not taken"},
        {.name = "DevicePrefix", .typed = "\\\\.\\C:\\Clone\\", .error = 76, .report = "a device path, which is not taken"},
        {.name = "UnmappedDrive", .typed = "Q:\\Clone\\", .error = 76},
        {.name = "ClimbingPastTheRoot", .typed = "C:\\..\\..\\..\\Clone\\", .clone = "Clone"},
        {.name = "TrailingDotAndSpace", .typed = "C:\\Program Files\\Clone. \\", .clone = "Program Files/Clone"},
        {.name = "MixedSeparators", .typed = "C:\\Program Files/Mixed\\\\", .clone = "Program Files/Mixed"},
        {.name = "OutsideTheSlots", .typed = "C:/Program Files//AIM95/../Mine", .clone = "Program Files/Mine"},
        // Every spelling of slot 3's directory gets digit 3.
        {.name = "Slot", .typed = "C:\\Program Files\\AIM953\\", .clone = "Program Files/AIM953", .digit = '3'},
        {.name = "SlotWithoutSeparator", .typed = "C:\\Program Files\\AIM953", .clone = "Program Files/AIM953", .digit = '3'},
        {.name = "SlotInLowerCase", .typed = "c:\\program files\\aim953\\", .clone = "Program Files/aim953", .digit = '3'},
        {.name = "SlotInOtherCase", .typed = "C:\\PROGRAM FILES\\aim953\\", .clone = "Program Files/aim953", .digit = '3'},
        {.name = "SlotWithForwardSlashes", .typed = "C:/Program Files/AIM953/", .clone = "Program Files/AIM953", .digit = '3'},
        {.name = "SlotWithTrailingSpace", .typed = "C:\\Program Files\\AIM953 ", .clone = "Program Files/AIM953", .digit = '3'},
        {.name = "SlotWithDoubledSeparator", .typed = "C:\\Program Files\\\\AIM953\\", .clone = "Program Files/AIM953", .digit = '3'},
        {.name = "SlotThroughDotDot", .typed = "C:\\Program Files\\AIM95\\..\\AIM953\\", .clone = "Program Files/AIM953", .digit = '3'},
        {.name = "SlotZero", .typed = "C:\\Program Files\\AIM950\\", .clone = "Program Files/AIM950"},
        {.name = "SlotTen", .typed = "C:\\Program Files\\AIM9510\\", .clone = "Program Files/AIM9510"},
        // ... and so does every other way of reaching it, started from what was typed.
        {.name = "SlotThroughALinkedFolder", .typed = "C:\\PF\\AIM953\\", .clone = "Program Files/AIM953", .digit = '3',
         .links = {{"drive_c/PF", "Program Files"}}},
        {.name = "SlotThroughAnotherDrive", .typed = "d:\\program files\\aim953", .clone = "Program Files/aim953",
         .digit = '3', .links = {{"dosdevices/d:", "../drive_c"}}, .started = "D:\\program files\\aim953\\"},
        {.name = "SlotThroughDriveZ", .typed = "Z:{root}/drive_c/Program Files/AIM953", .clone = "Program Files/AIM953",
         .digit = '3', .links = {{"dosdevices/z:", "/"}}},
        {.name = "SlotStartedAsNormalised", .typed = "C:/Program Files/AIM95/../AIM953. ", .clone = "Program Files/AIM953",
         .digit = '3', .started = "C:\\Program Files\\AIM953\\"},
        {.name = "LastName250Long", .typed = "C:\\Program Files\\" + std::string(250, 'L'),
         .clone = "Program Files/" + std::string(250, 'L')},
        {.name = "X86Slot", .typed = "c:\\program files (x86)\\aim954", .clone = "Program Files (x86)/aim954", .digit = '4', .x86 = true},
        {.name = "X86RunClassicSlot", .typed = "C:\\Program Files\\AIM954\\", .clone = "Program Files/AIM954", .existing = "Program Files", .x86 = true},
        {.name = "NonAscii", .typed = "C:\\Program Files\\Klön 日本 😀\\", .clone = "Program Files/Klön 日本 😀"},
        {.name = "NonAsciiInOtherCase", .typed = "C:\\über\\ǅ Σ\\", .clone = "Über/ǅ Σ", .existing = "Über"},
        {.name = "BesideATwinInOtherCase", .typed = "C:\\program files\\AIM953\\", .clone = "program files/AIM953",
         .existing = "program files"},
        {.name = "LongerThan260", .typed = "C:\\" + longName + "\\" + longName + "\\Clone\\", .clone = deep + "/Clone", .existing = deep},
        {.name = "LongerThan4096", .typed = veryLong, .error = 76},
        {.name = "LastName255Long", .typed = "C:\\" + std::string(255, 'L') + "\\", .clone = std::string(255, 'L')},
        {.name = "NameOf256", .typed = "C:\\" + std::string(256, 'x') + "\\", .error = 52, .report = "a name of 256 characters"},
        {.name = "NameLongerThan255", .typed = "C:\\" + std::string(300, 'x') + "\\", .error = 52},
        {.name = "NameOf255BytesOnTheHost", .typed = "C:\\" + hostName255 + "\\", .clone = hostName255},
        {.name = "NameOf256BytesOnTheHost", .typed = "C:\\" + hostName255 + "a\\", .error = 52, .report = "a name of 256 bytes on the host"},
        // Letters of every script are folded, each to its own capital only.
        {.name = "CyrillicInOtherCase", .typed = "C:\\\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82\\Clone\\",
         .clone = "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2/Clone", .existing = "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2"},
        {.name = "DotlessIFoldsToI", .typed = "C:\\Iab\\Clone\\", .clone = "\xC4\xB1" "ab/Clone", .existing = "\xC4\xB1" "ab"},
        {.name = "DotlessINeverMatchesAnotherName", .typed = "C:\\Iab\\Clone\\", .error = 76, .existing = "\xC4\xB1" "ac"},
        {.name = "NameLongerThanTheHostTakes", .typed = "C:\\" + hostLongName + "\\", .error = 52},
        {.name = "NameOf256Utf16Units", .typed = "C:\\" + std::string(254, 'n') + "😀\\", .error = 52},
        {.name = "OverlongUtf8", .typed = "C:\\\xE0\x80\xAF\\", .error = 52},
        {.name = "Utf16Surrogate", .typed = "C:\\\xED\xA0\x80\\", .error = 52},
    };
    const char* forbidden[] = {"<", ">", ":", "\"", "|", "?", "*", "\t", "\x7F", "\x1F"};
    const char* named[] = {"'<'", "'>'", "':'", "'\"'", "'|'", "'?'", "'*'", "a tab (U+0009)", "the delete character (U+007F)",
                           "the control character U+001F"};
    for (std::size_t i = 0; i < std::size(forbidden); ++i)
        cases.push_back({.name = "Forbidden" + std::to_string(i),
                         .typed = std::string("C:\\Program Files\\A") + forbidden[i] + "B\\", .error = 52,
                         .report = std::string(named[i]) + ", which Windows takes in no name"});
    const char* devices[] = {"CON", "nul", "COM1", "LPT1", "con.txt", "Nul.log", "com1.dat", "LPT1.x", "CON .txt", "COM9", "lpt9"};
    for (std::size_t i = 0; i < std::size(devices); ++i)
        cases.push_back({.name = "Device" + std::to_string(i), .typed = std::string("C:\\") + devices[i] + "\\", .error = 52,
                         .report = "a device name"});
    // Numbered devices start at 1: these are plain names.
    for (const char* plain : {"COM0", "LPT0", "COM10", "CONSOLE", "AUXILIARY"})
        cases.push_back({.name = std::string("Plain") + plain, .typed = std::string("C:\\") + plain + "\\", .clone = plain});
    return cases;
}

class TypedDestinations : public ::testing::TestWithParam<TypedDestination> {
protected:
    TypedDestinations() : prefix(true, GetParam().x86 ? "Program Files (x86)" : "Program Files") {
        if (!GetParam().existing.empty()) fs::create_directories(prefix.DriveC() / fs::u8path(GetParam().existing));
        for (const auto& [name, target] : GetParam().links) fs::create_directory_symlink(target, prefix.Root() / name);
        ::setenv("WINE", MakeRecordingLauncher(prefix.Scratch(), prefix.Scratch() / "launched.log").c_str(), 1);
        before_ = TestPrefix::Snapshot(prefix.Sandbox());
    }
    ~TypedDestinations() override { ::unsetenv("WINE"); }

    // The clone or the error expected, and nothing else new but the launcher's log.
    void ExpectOutcome(int status, const std::string& report) const {
        const TypedDestination& destination = GetParam();
        std::map<std::string, std::string> after = TestPrefix::Snapshot(prefix.Sandbox());
        if (destination.error) {
            EXPECT_EQ(status, 1);
            EXPECT_THAT(report, HasSubstr("Run-time error '" + std::to_string(destination.error) + "':"));
            EXPECT_THAT(report, HasSubstr(destination.report));
        } else {
            EXPECT_EQ(status, 0) << report;
            const fs::path clone = prefix.DriveC() / fs::u8path(destination.clone);
            std::vector<std::uint8_t> aim = TestPrefix::Bytes(prefix.Installation() / "aim.exe");
            if (destination.digit) aim[21914] = static_cast<std::uint8_t>(destination.digit);
            EXPECT_EQ(TestPrefix::Bytes(clone / "aim.exe"), aim);
            EXPECT_EQ(TestPrefix::FilesUnder(clone).size(), 84u);
            if (!destination.started.empty()) {
                EXPECT_EQ(ReadText(prefix.Scratch() / "launched.log"),
                          "start|/d|" + destination.started + "|/min|" + destination.started + "aim.exe|\n");
            }
            const std::string inSandbox = clone.lexically_relative(prefix.Sandbox()).string();
            std::erase_if(after, [&](const auto& entry) {
                return entry.first == inSandbox || entry.first.starts_with(inSandbox + "/") ||
                       entry.first == "scratch/launched.log";
            });
        }
        EXPECT_EQ(after, before_) << "only the clone and the launcher's log are new";
    }

    TestPrefix prefix;

private:
    std::map<std::string, std::string> before_;
};

TEST_P(TypedDestinations, InProcess) {
    ScriptedWindow window;
    Form1 form(Aim50Edition());
    form.Form_Load();
    form.txtDestination.SetText(WithRoot(GetParam().typed, prefix.Root()));
    const std::optional<int> ended = runtime::ClickButton(form, form.Command1);
    ExpectOutcome(ended.value_or(0), window.boxes.empty() ? "" : window.boxes.back().text);
}

TEST_P(TypedDestinations, ThroughTheProgram) {
    const Transcript run =
        RunProgram(VORNIX_AIM50_PROGRAM, "e\n" + WithRoot(GetParam().typed, prefix.Root()) + "\n\n\n\nq\n\n\n");
    ExpectOutcome(run.status, run.output);
}

INSTANTIATE_TEST_SUITE_P(Typed, TypedDestinations, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return param.param.name; });

}  // namespace
}  // namespace vornix::testing
