// Destinations a user may type, through the real program: each one gives a
// correct clone or a clear error, and nothing ever lands outside drive C.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "ProgramSession.h"
#include "TestPrefix.h"

namespace vornix::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct TypedDestination {
    std::string name;   // of the case
    std::string typed;  // into the text box
    // A clone expected in this directory (relative to drive C, host form) ...
    std::string cloneDirectory;
    char digit = 0;  // ... patched with this digit (0: no digit)
    // ... or else this run-time error.
    int error = 0;
    // Host directories (relative to drive C) made before the run.
    std::string existing;
};

void PrintTo(const TypedDestination& destination, std::ostream* out) { *out << destination.name; }

std::vector<TypedDestination> Cases() {
    const std::string longName(120, 'n');
    const std::string deep = longName + "/" + longName;  // with the clone, past 260 characters
    std::string veryLong = "C:\\";
    for (int i = 0; i < 45; ++i) veryLong += std::string(95, 'd') + "\\";
    std::vector<TypedDestination> cases = {
        {"Empty", "", "", 0, 76},
        {"OnlySpaces", "   ", "", 0, 76},
        {"Relative", "AIM953\\", "", 0, 76},
        {"Unc", "\\\\server\\share\\", "", 0, 76},
        {"UnmappedDrive", "Q:\\Clone\\", "", 0, 76},
        {"ClimbingPastTheRoot", "C:\\..\\..\\..\\Clone\\", "Clone"},
        {"TrailingDotAndSpace", "C:\\Program Files\\Clone. \\", "Program Files/Clone"},
        {"ForwardSlashes", "C:/Program Files/AIM953/", "Program Files/AIM953"},
        {"MixedSeparators", "C:\\Program Files/Mixed\\\\", "Program Files/Mixed"},
        {"SlotWithoutSeparator", "C:\\Program Files\\AIM953", "Program Files/AIM953", '3'},
        {"SlotInOtherCase", "C:\\PROGRAM FILES\\aim953\\", "Program Files/aim953"},
        {"NonAscii", "C:\\Program Files\\Klön 日本 😀\\", "Program Files/Klön 日本 😀"},
        {"LongerThan260", "C:\\" + longName + "\\" + longName + "\\Clone\\", deep + "/Clone", 0, 0, deep},
        {"LongerThan4096", veryLong, "", 0, 76},
        {"NameLongerThan255", "C:\\" + std::string(300, 'x') + "\\", "", 0, 52},
    };
    const char* forbidden[] = {"<", ">", ":", "\"", "|", "?", "*", "\t"};
    for (std::size_t i = 0; i < std::size(forbidden); ++i)
        cases.push_back({"Forbidden" + std::to_string(i), std::string("C:\\Program Files\\A") + forbidden[i] + "B\\", "", 0, 52});
    const char* devices[] = {"CON", "nul", "COM1", "LPT1", "con.txt", "Nul.log", "com1.dat", "LPT1.x"};
    for (std::size_t i = 0; i < std::size(devices); ++i)
        cases.push_back({"Device" + std::to_string(i), std::string("C:\\") + devices[i] + "\\", "", 0, 52});
    return cases;
}

class BadDestination : public ::testing::TestWithParam<TypedDestination> {
protected:
    TestPrefix prefix;
};

// Every path under `root`, as relative names.
std::vector<std::string> Names(const fs::path& root) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root)) names.push_back(entry.path().lexically_relative(root).string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_P(BadDestination, GivesACloneOrAClearError) {
    const TypedDestination& destination = GetParam();
    if (!destination.existing.empty()) fs::create_directories(prefix.DriveC() / destination.existing);
    const fs::path launcher = MakeRecordingLauncher(prefix.Scratch(), prefix.Scratch() / "launched.log");
    const std::vector<std::string> before = Names(prefix.Sandbox());

    const Transcript run = RunProgram(VORNIX_AIM50_PROGRAM, "e\n" + destination.typed + "\n\n\n\nq\n\n\n",
                                      {{"WINE=" + launcher.string()}});

    std::vector<std::string> expected = before;
    if (destination.error) {
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.output, HasSubstr("Run-time error '" + std::to_string(destination.error) + "':"));
    } else {
        EXPECT_EQ(run.status, 0) << run.output;
        const fs::path clone = prefix.DriveC() / fs::u8path(destination.cloneDirectory);
        std::vector<std::uint8_t> aim = TestPrefix::Bytes(prefix.Installation() / "aim.exe");
        if (destination.digit) aim[21914] = static_cast<std::uint8_t>(destination.digit);
        EXPECT_EQ(TestPrefix::Bytes(clone / "aim.exe"), aim);
        EXPECT_EQ(TestPrefix::FilesUnder(clone).size(), 84u);
        const std::string inSandbox = clone.lexically_relative(prefix.Sandbox()).string();
        for (const std::string& name : Names(clone)) expected.push_back(inSandbox + "/" + name);
        expected.push_back(inSandbox);
        expected.push_back("scratch/launched.log");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(prefix.Sandbox()), expected) << "only the clone and the launcher's log are new";
}

INSTANTIATE_TEST_SUITE_P(Typed, BadDestination, ::testing::ValuesIn(Cases()),
                         [](const auto& param) { return param.param.name; });

}  // namespace
}  // namespace vornix::testing
