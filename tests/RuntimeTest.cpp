// The runtime's services over a real prefix: how Windows paths reach the host,
// and what each file operation does at its edges.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>

#include "TestPrefix.h"
#include "runtime/FileVersion.h"
#include "tools/SampleInstallation.h"
#include "runtime/FileSystem.h"
#include "runtime/Forms.h"
#include "runtime/Integer.h"
#include "runtime/Posix/WinePath.h"
#include "runtime/Program.h"
#include "runtime/RuntimeError.h"
#include "runtime/Utf8.h"

namespace vornix::testing {
namespace {

using runtime::ErrorNumber;
using runtime::RuntimeError;

// Runs `operation` and gives back the number of the run-time error it raised.
template <typename Operation>
std::optional<ErrorNumber> ErrorOf(Operation operation) {
    try {
        operation();
    } catch (const RuntimeError& error) {
        return error.Number();
    }
    return std::nullopt;
}

// Each end of the 16-bit range: a sum landing on it, and one past it.
TEST(Integer, AddsWithinSixteenBitsAndOverflowsWithError6) {
    const struct {
        std::int16_t start, added;
        const char* sum;  // nullptr: overflow
    } cases[] = {
        {32766, 1, "32767"}, {32767, 1, nullptr},     {32767, 0, "32767"},  {-32767, -1, "-32768"},
        {-32768, -1, nullptr}, {0, -32768, "-32768"}, {-1, -32768, nullptr}, {-32768, 32767, "-1"},
        {9, 1, "10"},        {-5, 0, "-5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " + " + std::to_string(c.added));
        runtime::Integer counter = c.start;
        if (c.sum) {
            ASSERT_EQ(ErrorOf([&] { counter += c.added; }), std::nullopt);
            EXPECT_EQ(runtime::NumberToText(counter), c.sum);
        } else {
            EXPECT_EQ(ErrorOf([&] { counter += c.added; }), ErrorNumber::Overflow);
        }
    }
}

// One that comes during an event after its last runtime operation is not
// lost: the program ends by it as soon as the event is over.
TEST(Interruptions, OneAfterAnEventsLastOperationEndsTheProgramAfterTheEvent) {
    runtime::Form form("Interrupted", 1, 1);
    runtime::CommandButton button(form, "Command1", "Go", {0, 0, 1, 1}, 0);
    button.Click = [] { std::raise(SIGTERM); };
    EXPECT_EXIT(
        {
            runtime::PrepareProcess();
            runtime::ClickButton(form, button);
            std::exit(0);
        },
        ::testing::KilledBySignal(SIGTERM), "");
}

TEST(ClickButton, ADisabledButtonRunsNothing) {
    runtime::Form form("Clicked", 1, 1);
    runtime::CommandButton button(form, "Command1", "Go", {0, 0, 1, 1}, 0);
    int clicks = 0;
    button.Click = [&] { ++clicks; };
    button.SetEnabled(false);
    EXPECT_EQ(runtime::ClickButton(form, button), std::nullopt);
    EXPECT_EQ(clicks, 0);
    button.SetEnabled(true);
    EXPECT_EQ(runtime::ClickButton(form, button), std::nullopt);
    EXPECT_EQ(clicks, 1);
}

TEST(RuntimeErrorReport, NamesNumberDescriptionAndPath) {
    RuntimeError error(ErrorNumber::PathNotFound, "D:\\x\\");
    EXPECT_EQ(error.Report(), "Run-time error '76':\r\n\r\nPath not found: D:\\x\\");
    error.AddNote("nothing was removed");
    EXPECT_EQ(error.Report(), "Run-time error '76':\r\n\r\nPath not found: D:\\x\\ (nothing was removed)");
}

TEST(ParseWindowsPath, CollapsesSeparatorsAndNeverClimbsAboveTheRoot) {
    using runtime::ParseWindowsPath;
    EXPECT_THAT(ParseWindowsPath("C:\\Program Files\\AIM953\\\\Sounds\\").components,
                ::testing::ElementsAre("Program Files", "AIM953", "Sounds"));
    EXPECT_THAT(ParseWindowsPath("c:/a/./b/../../../../etc/").components, ::testing::ElementsAre("etc"));
    EXPECT_THAT(ParseWindowsPath("C:\\x\\y.\\z. \\...\\").components, ::testing::ElementsAre("x", "y", "z"));
    EXPECT_EQ(ParseWindowsPath("d:\\").drive, 'd');
}

TEST(ParseWindowsPath, RefusesWhatWindowsRefuses) {
    using runtime::ParseWindowsPath;
    for (const char* relative : {"AIM953\\", "\\\\server\\share\\", "\\Program Files\\", "C:relative", "", "1:\\x"})
        EXPECT_EQ(ErrorOf([&] { ParseWindowsPath(relative); }), ErrorNumber::PathNotFound) << relative;
    for (const char* bad : {"C:\\a<b", "C:\\a>b", "C:\\a:b", "C:\\a\"b", "C:\\a|b", "C:\\a?b", "C:\\a*b",
                            "C:\\a\tb", "C:\\CON", "C:\\x\\nul.txt", "C:\\com1\\", "C:\\LPT9.log", "C:\\CON .txt",
                            // not UTF-8: stray bytes, overlong forms, surrogates, beyond U+10FFFF
                            "C:\\\xff\xfe", "C:\\\xC1\xBF", "C:\\\xE0\x80\xAF", "C:\\\xF0\x80\x80\xAF",
                            "C:\\\xED\xA0\x80", "C:\\\xF4\x90\x80\x80", "C:\\\xF7\xBF\xBF\xBF", "C:\\\xE2\x82",
                            "C:\\\xC3\xC3"})
        EXPECT_EQ(ErrorOf([&] { ParseWindowsPath(bad); }), ErrorNumber::BadFileNameOrNumber) << bad;
    EXPECT_EQ(ErrorOf([] { ParseWindowsPath(std::string("C:\\a\0b", 6)); }), ErrorNumber::BadFileNameOrNumber);
    try {
        ParseWindowsPath("C:\\AIM\t953\\");
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Detail(), "a tab (U+0009), which Windows takes in no name") << "an invisible character is named";
    }
    // Past Windows' limits, for a path and for a name: a short report, by the path's start and end.
    for (const std::string& tooLong : {"C:\\" + std::string(6000, 'n') + "\\end\\", "C:\\" + std::string(33000, 'n')}) {
        try {
            ParseWindowsPath(tooLong);
            ADD_FAILURE() << "accepted " << tooLong.size() << " characters";
        } catch (const RuntimeError& error) {
            EXPECT_EQ(error.Number(), ErrorNumber::BadFileNameOrNumber);
            EXPECT_THAT(error.Path(), ::testing::MatchesRegex("C:\\\\n{53}\xE2\x80\xA6n*(\\\\end\\\\)?"));
            EXPECT_LT(error.Report().size(), 220u) << error.Report();
        }
    }
    for (const std::string& longest : {"C:\\" + std::string(255, 'n'), "C:\\" + std::string(253, 'n') + "\xF0\x9F\x98\x80"})
        EXPECT_EQ(ErrorOf([&] { ParseWindowsPath(longest); }), std::nullopt);
    for (const char* fine : {"C:\\console\\com10\\lpt\\", "C:\\\xED\x9F\xBF", "C:\\\xF4\x8F\xBF\xBF", "C:\\\xC2\x80"})
        EXPECT_EQ(ErrorOf([&] { ParseWindowsPath(fine); }), std::nullopt) << fine;
}

// Crafted programs, each with the version Windows would find in it (or none).
TEST(ReadFileVersion, FindsTheVersionWhereWindowsWould) {
    const auto put = [](std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    constexpr std::size_t kResources = 0x200, kSection = 0x58 + 0xE0;
    const struct {
        const char* name;
        std::function<void(std::vector<std::uint8_t>&)> craft;
        std::string version;
    } cases[] = {
        {"as made", [](auto&) {}, "5.0.2938.1"},
        {"a named entry before the id entries", [&](auto& bytes) {
             std::copy_n(bytes.begin() + kResources + 0x18, 0x18, bytes.begin() + kResources + 0xC0);  // the names, moved
             put(bytes, kResources + 12, 1, 2);
             put(bytes, kResources + 14, 1, 2);
             put(bytes, kResources + 16, 0x800000F0, 4);  // a name, leading to an empty directory
             put(bytes, kResources + 20, 0x800000D8, 4);
             put(bytes, kResources + 24, 16, 4);
             put(bytes, kResources + 28, 0x800000C0, 4);
         }, "5.0.2938.1"},
        {"a 64-bit program (PE32+), its optional header 16 bytes longer", [&](auto& bytes) {
             put(bytes, 0x58, 0x20B, 2);
             put(bytes, 0x54, 0xF0, 2);
             std::copy_backward(bytes.begin() + kSection, bytes.begin() + kSection + 40, bytes.begin() + kSection + 56);
             std::copy_backward(bytes.begin() + 0x58 + 92, bytes.begin() + kSection, bytes.begin() + kSection + 16);
         }, "5.0.2938.1"},
        {"an optional header of neither kind", [&](auto& bytes) { put(bytes, 0x58, 0x20C, 2); }, "none"},
        {"raw data ending one byte before the block", [&](auto& bytes) { put(bytes, kSection + 16, 0x57, 4); }, "none"},
        {"a version block whose value length is 0", [&](auto& bytes) { put(bytes, kResources + 0x58 + 2, 0, 2); }, "none"},
    };
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = vornix::sample::ClientProgram(5, 0);
        c.craft(bytes);
        const auto version = runtime::ReadFileVersion([&](std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
            const std::size_t got = offset < bytes.size() ? std::min<std::size_t>(size, bytes.size() - offset) : 0;
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), got, buffer);
            return got;
        });
        EXPECT_EQ(version ? version->ToString() : "none", c.version) << c.name;
    }
}

TEST(WithoutMiddle, KeepsWholeCharactersWithinItsShare) {
    EXPECT_EQ(runtime::WithoutMiddle("a\xC3\xA9xyz\xC3\xA9" "b", 2, "|"), "a|b");
}

TEST(BreakLongRuns, BreaksOnlyLongRunsAfterTheirLastSeparatorThatFits) {
    const struct {
        std::string text;
        std::string broken;
    } cases[] = {
        {"Path not found: C:\\short\\ (it is)", "Path not found: C:\\short\\ (it is)"},
        {"x C:\\aaaa\\bbbb\\cccc\\ y", "x C:\\aaaa\\\r\nbbbb\\cccc\\ y"},
        {"C:\\" + std::string(12, 'n') + "\\end", "C:\\\r\n" + std::string(10, 'n') + "\r\nnn\\end"},
        {"line one\r\nC:\\aaaa\\bbbb\\", "line one\r\nC:\\aaaa\\\r\nbbbb\\"},
        {std::string(9, 'n') + "\xC3\xB6x", std::string(9, 'n') + "\xC3\xB6\r\nx"},  // never inside a character
        {std::string(10, 'n') + "\\", std::string(9, 'n') + "\r\nn\\"},  // never a separator alone
    };
    const auto tenCharacters = [](std::string_view run) {
        return std::count_if(run.begin(), run.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }) <= 10;
    };
    for (const auto& c : cases) EXPECT_EQ(runtime::BreakLongRuns(c.text, tenCharacters), c.broken) << c.text;
}

class MappedPrefix : public ::testing::Test {
protected:
    TestPrefix prefix{false};
};

TEST_F(MappedPrefix, FindsExistingNamesInAnyCaseExactNamesFirstAndKeepsTheCaseOfNewOnes) {
    std::filesystem::create_directories(prefix.DriveC() / "Program Files" / "Mixed");
    const auto mapped = runtime::posix::MapPath("C:\\PROGRAM FILES\\mixed\\New Name\\");
    EXPECT_EQ(mapped.host, prefix.Root() / "dosdevices/c:/Program Files/Mixed/New Name");
    EXPECT_EQ(mapped.missing, 1u);
    for (const char* twin : {"aim.exe", "AIM.EXE"}) TestPrefix::WriteBytes(prefix.DriveC() / twin, {1});
    for (const char* twin : {"aim.exe", "AIM.EXE"}) EXPECT_EQ(runtime::FileLookup(std::string("C:\\") + twin, 0), twin);
}

// The prefix as Wine finds it: WINEPREFIX, else .wine in HOME, else in the
// user database's home folder; refused where Wine refuses it.
TEST_F(MappedPrefix, ThePrefixIsFoundAsWineFindsItAndDrivesComeFromItsDosdevices) {
    const auto report = [](const std::function<void()>& action) {
        try {
            action();
        } catch (const RuntimeError& error) {
            return error.Report();
        }
        return std::string("no error");
    };
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::filesystem::path fromDatabase = std::filesystem::path(::getpwuid(::getuid())->pw_dir) / ".wine";
    const std::filesystem::path file = prefix.Sandbox() / "not-a-prefix";
    TestPrefix::WriteBytes(file, {1});
    const struct {
        const char* winePrefix;  // nullptr: unset
        const char* home;        // nullptr: unset
        std::filesystem::path found;
        std::string refusal;
    } cases[] = {
        {"", "/somewhere", "/somewhere/.wine"},  // empty is as good as unset
        {nullptr, "/somewhere", "/somewhere/.wine"},
        {nullptr, nullptr, fromDatabase},
        {nullptr, "", fromDatabase},
        {"prefix", nullptr, {}, "Run-time error '76':\r\n\r\nPath not found: WINEPREFIX=prefix (not an absolute path, which Wine refuses as a prefix)"},
        {file.c_str(), nullptr, {}, "Run-time error '76':\r\n\r\nPath not found: " + file.string() + " (the Wine prefix is not a directory)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.winePrefix ? c.winePrefix : "unset") + " " + (c.home ? c.home : "unset"));
        c.winePrefix ? ::setenv("WINEPREFIX", c.winePrefix, 1) : ::unsetenv("WINEPREFIX");
        c.home ? ::setenv("HOME", c.home, 1) : ::unsetenv("HOME");
        if (c.refusal.empty()) {
            EXPECT_EQ(runtime::posix::WinePrefix(), c.found);
        } else {
            EXPECT_EQ(report([] { runtime::posix::WinePrefix(); }), c.refusal);
        }
    }
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("WINEPREFIX", prefix.Root().c_str(), 1);

    const auto mapping = [&](const char* path) { return report([path] { runtime::posix::MapPath(path); }); };
    EXPECT_EQ(mapping("Q:\\x"), "Run-time error '76':\r\n\r\nPath not found: Q:\\x (drive q: is not mapped in the Wine prefix " +
                                    prefix.Root().string() + ")");
    std::filesystem::create_directories(prefix.Root() / "elsewhere");
    std::filesystem::create_directory_symlink("../elsewhere", prefix.Root() / "dosdevices" / "q:");
    EXPECT_EQ(runtime::posix::MapPath("q:\\x").host, prefix.Root() / "dosdevices/q:/x");
    // A dangling c: is no drive C, whatever drive_c holds.
    std::filesystem::remove(prefix.Root() / "dosdevices" / "c:");
    std::filesystem::create_directory_symlink("../gone", prefix.Root() / "dosdevices" / "c:");
    EXPECT_EQ(mapping("C:\\x"), "Run-time error '76':\r\n\r\nPath not found: C:\\x (drive c: is not mapped in the Wine prefix " +
                                    prefix.Root().string() + " (dosdevices/c: points to ../gone, which is not a directory))");
    // With no c: at all, Wine's own default.
    std::filesystem::remove(prefix.Root() / "dosdevices" / "c:");
    EXPECT_EQ(runtime::posix::MapPath("C:\\x").host, prefix.Root() / "drive_c/x");
}

// However a path reaches slot 3's directory, it is slot 3's directory.
TEST_F(MappedPrefix, SameDirectoryEntryComparesWhatTheDirectoriesAreOnDisk) {
    namespace fs = std::filesystem;
    for (const char* folder : {"Program Files/AIM95", "Program Files (x86)"}) fs::create_directories(prefix.DriveC() / folder);
    fs::create_directory_symlink("Program Files", prefix.DriveC() / "PF");
    fs::create_directory_symlink("../drive_c", prefix.Root() / "dosdevices" / "d:");
    fs::create_directory_symlink("/", prefix.Root() / "dosdevices" / "z:");
    const std::string viaRoot = "Z:" + prefix.Root().string() + "/drive_c/Program Files/AIM953";
    const struct {
        std::string path;
        bool same;
    } cases[] = {
        {"c:\\program files\\aim953\\", true},
        {"C:/Program Files//AIM953", true},
        {"C:\\Program Files\\AIM953 .\\", true},
        {"C:\\Program Files\\AIM95\\..\\AIM953\\.\\", true},
        {"C:\\PF\\AIM953\\", true},
        {"D:\\Program Files\\aim953", true},
        {viaRoot, true},
        {"C:\\Program Files\\AIM9510\\", false},
        {"C:\\Program Files (x86)\\AIM953\\", false},
        {"C:\\Program Files\\AIM953\\Sounds", false},
        {"C:\\Missing\\AIM953\\", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(runtime::SameDirectoryEntry(c.path, "C:\\Program Files\\AIM953\\"), c.same) << c.path;
    EXPECT_FALSE(runtime::SameDirectoryEntry("C:\\Missing\\AIM953\\", "C:\\Gone\\AIM953\\")) << "nothing is no directory";
}

TEST_F(MappedPrefix, MakeDirectoryMakesOneLevelAndRefusesWhatExists) {
    runtime::MakeDirectory("C:\\One\\");
    EXPECT_TRUE(std::filesystem::is_directory(prefix.DriveC() / "One"));
    EXPECT_EQ(ErrorOf([] { runtime::MakeDirectory("C:\\one"); }), ErrorNumber::PathFileAccessError);
    EXPECT_EQ(ErrorOf([] { runtime::MakeDirectory("C:\\Two\\Three\\"); }), ErrorNumber::PathNotFound);
    TestPrefix::WriteBytes(prefix.DriveC() / "file", {1});
    EXPECT_EQ(ErrorOf([] { runtime::MakeDirectory("C:\\file\\sub\\"); }), ErrorNumber::PathNotFound);
}

TEST_F(MappedPrefix, CopyFileReplacesButNeverCopiesOntoItsSource) {
    TestPrefix::WriteBytes(prefix.DriveC() / "a.bin", {1, 2, 3});
    TestPrefix::WriteBytes(prefix.DriveC() / "b.bin", {9, 9, 9, 9, 9});
    runtime::CopyFile("C:\\a.bin", "C:\\B.BIN");
    EXPECT_EQ(TestPrefix::Bytes(prefix.DriveC() / "b.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(ErrorOf([] { runtime::CopyFile("C:\\a.bin", "C:\\A.bin"); }), ErrorNumber::PathFileAccessError);
    EXPECT_EQ(TestPrefix::Bytes(prefix.DriveC() / "a.bin"), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(ErrorOf([] { runtime::CopyFile("C:\\missing.bin", "C:\\c.bin"); }), ErrorNumber::FileNotFound);
    EXPECT_FALSE(std::filesystem::exists(prefix.DriveC() / "c.bin"));
    EXPECT_EQ(ErrorOf([] { runtime::CopyFile("C:\\a.bin", "C:\\no\\dir\\c.bin"); }), ErrorNumber::PathNotFound);
}

// The modification time and permissions as cp keeps them, and Wine's DOS
// attributes as Windows' copy keeps them.
TEST_F(MappedPrefix, CopyFileKeepsModificationTimePermissionsAndDosAttributes) {
    namespace fs = std::filesystem;
    const mode_t umask = ::umask(022);
    const struct {
        fs::perms source, copy;
        const char* attributes = nullptr;  // user.DOSATTRIB of the source, when it has one
        const char* replaced = nullptr;    // ... and of a copy it replaces
    } cases[] = {{fs::perms(0755), fs::perms(0755)}, {fs::perms(0444), fs::perms(0644), "0x21"},
                 {fs::perms(0666), fs::perms(0644), "0x6"}, {fs::perms(0644), fs::perms(0644), "0x20", "0x2"},
                 {fs::perms(0644), fs::perms(0644), nullptr, "0x2"}};
    const fs::path copy = prefix.DriveC() / "copy.bin";
    const auto mark = [](const fs::path& file, const char* attributes) {
        return !attributes || ::setxattr(file.c_str(), "user.DOSATTRIB", attributes, std::strlen(attributes), 0) == 0;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.attributes ? c.attributes : "no attributes") + " over " + (c.replaced ? c.replaced : "nothing"));
        TestPrefix::WriteBytes(prefix.DriveC() / "a.bin", {1, 2, 3});
        if (c.replaced) TestPrefix::WriteBytes(copy, {9});
        if (!mark(prefix.DriveC() / "a.bin", c.attributes) || !mark(copy, c.replaced))
            GTEST_SKIP() << "no user extended attributes in " << prefix.DriveC() << "; set TMPDIR to a file system with them";
        fs::permissions(prefix.DriveC() / "a.bin", c.source);
        const auto stamp = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
        fs::last_write_time(prefix.DriveC() / "a.bin", stamp);
        runtime::CopyFile("C:\\a.bin", "C:\\copy.bin");
        EXPECT_EQ(fs::last_write_time(prefix.DriveC() / "copy.bin"), stamp);
        EXPECT_EQ(fs::status(prefix.DriveC() / "copy.bin").permissions(), c.copy);
        char kept[16] = {};
        const ssize_t length = ::getxattr(copy.c_str(), "user.DOSATTRIB", kept, sizeof kept);
        EXPECT_EQ(length < 0 ? "none" : std::string(kept, static_cast<std::size_t>(length)), c.attributes ? c.attributes : "none");
        fs::remove(copy);
        fs::remove(prefix.DriveC() / "a.bin");
    }
    ::umask(umask);
}

// A sparse file stays sparse: the same bytes, and its holes are not written.
TEST_F(MappedPrefix, CopyFileKeepsHoles) {
    const std::filesystem::path source = prefix.DriveC() / "sparse.bin";
    const off_t size = 8 << 20;
    {
        const std::string data(4096, 'd');
        const int fd = ::open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        for (off_t at : {off_t{0}, size / 2 + 1}) ASSERT_EQ(::pwrite(fd, data.data(), data.size(), at), 4096);
        ASSERT_EQ(::ftruncate(fd, size), 0);  // and it ends in a hole
        ::close(fd);
    }
    struct stat written {};
    ::stat(source.c_str(), &written);
    if (written.st_blocks * 512 >= size) GTEST_SKIP() << "the file system under " << source << " keeps no holes";
    runtime::CopyFile("C:\\sparse.bin", "C:\\copy.bin");
    EXPECT_EQ(TestPrefix::Bytes(prefix.DriveC() / "copy.bin"), TestPrefix::Bytes(source));
    struct stat copied {};
    ::stat((prefix.DriveC() / "copy.bin").c_str(), &copied);
    EXPECT_LT(copied.st_blocks * 512, 1 << 20) << "holes were written";
}

TEST_F(MappedPrefix, CopyFileNeverOpensWhatIsNoOrdinaryFile) {
    namespace fs = std::filesystem;
    ASSERT_EQ(::mkfifo((prefix.DriveC() / "fifo").c_str(), 0644), 0);
    const int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (prefix.DriveC() / "socket").string();
    socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_symlink("/dev/zero", prefix.DriveC() / "device");
    fs::create_directories(prefix.DriveC() / "folder");
    for (const char* odd : {"fifo", "socket", "device", "folder"})
        EXPECT_EQ(ErrorOf([&] { runtime::CopyFile(std::string("C:\\") + odd, "C:\\copy"); }), ErrorNumber::FileNotFound) << odd;
    EXPECT_FALSE(fs::exists(prefix.DriveC() / "copy"));
    ::close(listening);
}

TEST_F(MappedPrefix, CopyFileReportsAnUnreadableSource) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    TestPrefix::WriteBytes(prefix.DriveC() / "secret.bin", {1});
    std::filesystem::permissions(prefix.DriveC() / "secret.bin", std::filesystem::perms::none);
    EXPECT_EQ(ErrorOf([] { runtime::CopyFile("C:\\secret.bin", "C:\\copy.bin"); }), ErrorNumber::PermissionDenied);
}

TEST_F(MappedPrefix, FileLookupFindsOrdinaryFilesOnly) {
    TestPrefix::WriteBytes(prefix.DriveC() / "Aim.Exe", {1});
    TestPrefix::WriteBytes(prefix.DriveC() / ".hidden", {1});
    std::filesystem::create_directories(prefix.DriveC() / "folder");
    EXPECT_EQ(runtime::FileLookup("C:\\aim.exe", 0), "Aim.Exe");
    EXPECT_EQ(runtime::FileLookup("C:\\.hidden", 0), "");
    // Wine's hidden (2) and system (4) attributes.
    for (const char* attributes : {"0x2", "0x4", "0x20"}) {
        TestPrefix::WriteBytes(prefix.DriveC() / "marked", {1});
        if (::setxattr((prefix.DriveC() / "marked").c_str(), "user.DOSATTRIB", attributes, std::strlen(attributes), 0) != 0) {
            GTEST_SKIP() << "no user extended attributes in " << prefix.DriveC() << "; set TMPDIR to a file system with them";
        }
        EXPECT_EQ(runtime::FileLookup("C:\\marked", 0), std::string(attributes) == "0x20" ? "marked" : "") << attributes;
        std::filesystem::remove(prefix.DriveC() / "marked");
    }
    EXPECT_EQ(runtime::FileLookup("C:\\folder", 0), "");
    EXPECT_EQ(runtime::FileLookup("C:\\no\\such\\file", 0), "");
    EXPECT_EQ(ErrorOf([] { runtime::FileLookup("C:\\a?c", 0); }), ErrorNumber::BadFileNameOrNumber);
}

TEST_F(MappedPrefix, BinaryOutputWritesInsideTheFileOnly) {
    TestPrefix::WriteBytes(prefix.DriveC() / "f.bin", {0, 0, 0});
    const int number = runtime::FreeFile();
    runtime::OpenBinary(number, "C:\\f.bin");
    EXPECT_NE(runtime::FreeFile(), number);
    EXPECT_EQ(ErrorOf([&] { runtime::OpenBinary(number, "C:\\f.bin"); }), ErrorNumber::FileAlreadyOpen);
    runtime::PutByte(number, 3, 0x37);
    EXPECT_EQ(ErrorOf([&] { runtime::PutByte(number, 4, 0x37); }), ErrorNumber::BadRecordNumber);
    EXPECT_EQ(ErrorOf([&] { runtime::PutByte(number, 0, 0x37); }), ErrorNumber::BadRecordNumber);
    runtime::Close(number);
    EXPECT_EQ(TestPrefix::Bytes(prefix.DriveC() / "f.bin"), (std::vector<std::uint8_t>{0, 0, 0x37}));
    EXPECT_EQ(ErrorOf([&] { runtime::Close(number); }), ErrorNumber::BadFileNameOrNumber);
    // The lowest free number comes back first.
    const int first = runtime::FreeFile();
    runtime::OpenBinary(first, "C:\\f.bin");
    const int second = runtime::FreeFile();
    runtime::OpenBinary(second, "C:\\f.bin");
    runtime::Close(first);
    EXPECT_EQ(runtime::FreeFile(), first);
    EXPECT_LT(first, second);
    runtime::Close(second);
    EXPECT_EQ(ErrorOf([&] { runtime::OpenBinary(number, "C:\\absent.bin"); }), ErrorNumber::FileNotFound);
    // The classic runtime's numbers: 1 to 255.
    runtime::OpenBinary(255, "C:\\f.bin");
    runtime::Close(255);
    for (int outside : {0, 256})
        EXPECT_EQ(ErrorOf([&] { runtime::OpenBinary(outside, "C:\\f.bin"); }), ErrorNumber::BadFileNameOrNumber);
    EXPECT_FALSE(std::filesystem::exists(prefix.DriveC() / "absent.bin")) << "an absent file must not be created";
}

TEST_F(MappedPrefix, RemoveDirectoryTreeDoesNotFollowLinksOut) {
    std::filesystem::create_directories(prefix.DriveC() / "Clone" / "Sounds");
    std::filesystem::create_directories(prefix.Root() / "outside");
    TestPrefix::WriteBytes(prefix.Root() / "outside" / "keep", {1});
    std::filesystem::create_directory_symlink(prefix.Root() / "outside", prefix.DriveC() / "Clone" / "link");
    runtime::RemoveDirectoryTree("C:\\Clone\\");
    EXPECT_FALSE(std::filesystem::exists(prefix.DriveC() / "Clone"));
    EXPECT_TRUE(std::filesystem::exists(prefix.Root() / "outside" / "keep"));
}

}  // namespace
}  // namespace vornix::testing
