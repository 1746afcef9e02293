// The runtime's services over a real prefix: how Windows paths reach the host,
// and what each file operation does at its edges.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "TestPrefix.h"
#include "runtime/FileSystem.h"
#include "runtime/Integer.h"
#include "runtime/Posix/WinePath.h"
#include "runtime/RuntimeError.h"

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

TEST(Integer, AddsWithinSixteenBitsAndOverflowsWithError6) {
    runtime::Integer counter = 32766;
    counter += 1;
    EXPECT_EQ(runtime::NumberToText(counter), "32767");
    EXPECT_EQ(ErrorOf([&] { counter += 1; }), ErrorNumber::Overflow);
    EXPECT_EQ(runtime::NumberToText(-5), "-5");
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
                            "C:\\a\tb", "C:\\CON", "C:\\x\\nul.txt", "C:\\com1\\", "C:\\LPT9.log", "C:\\\xff\xfe"})
        EXPECT_EQ(ErrorOf([&] { ParseWindowsPath(bad); }), ErrorNumber::BadFileNameOrNumber) << bad;
    EXPECT_EQ(ErrorOf([] { ParseWindowsPath(std::string("C:\\a\0b", 6)); }), ErrorNumber::BadFileNameOrNumber);
    EXPECT_EQ(ErrorOf([] { ParseWindowsPath("C:\\console\\com10\\lpt\\"); }), std::nullopt);
}

class MappedPrefix : public ::testing::Test {
protected:
    TestPrefix prefix{false};
};

TEST_F(MappedPrefix, FindsExistingNamesInAnyCaseAndKeepsTheCaseOfNewOnes) {
    std::filesystem::create_directories(prefix.DriveC() / "Program Files" / "Mixed");
    const auto mapped = runtime::posix::MapPath("C:\\PROGRAM FILES\\mixed\\New Name\\");
    EXPECT_EQ(mapped.host, prefix.Root() / "dosdevices/c:/Program Files/Mixed/New Name");
    EXPECT_EQ(mapped.missing, 1u);
}

TEST_F(MappedPrefix, DrivesComeFromDosdevicesAndCFallsBackToDriveC) {
    EXPECT_EQ(ErrorOf([] { runtime::posix::MapPath("Q:\\x"); }), ErrorNumber::PathNotFound);
    std::filesystem::create_directories(prefix.Root() / "elsewhere");
    std::filesystem::create_directory_symlink("../elsewhere", prefix.Root() / "dosdevices" / "q:");
    EXPECT_EQ(runtime::posix::MapPath("q:\\x").host, prefix.Root() / "dosdevices/q:/x");
    std::filesystem::remove(prefix.Root() / "dosdevices" / "c:");
    EXPECT_EQ(runtime::posix::MapPath("C:\\x").host, prefix.Root() / "drive_c/x");
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
    EXPECT_EQ(ErrorOf([&] { runtime::OpenBinary(number, "C:\\absent.bin"); }), ErrorNumber::FileNotFound);
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
