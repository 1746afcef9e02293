// A Wine-style prefix in a temporary directory, made the current one through
// WINEPREFIX for as long as the object lives.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace vornix {
struct EditionProfile;
}

namespace vornix::testing {

class TestPrefix {
public:
    // With the sample installation of the client in `programFiles` on drive C
    // (none when `installed` is false).
    explicit TestPrefix(bool installed = true, std::string programFiles = "Program Files");
    TestPrefix(const TestPrefix&) = delete;
    TestPrefix& operator=(const TestPrefix&) = delete;
    ~TestPrefix();

    // The prefix itself, inside a sandbox directory of its own.
    const std::filesystem::path& Root() const { return root_; }
    const std::filesystem::path& Sandbox() const { return sandbox_; }
    // Beside the prefix, for the test's own files (launcher, logs, input).
    std::filesystem::path Scratch() const { return sandbox_ / "scratch"; }
    std::filesystem::path DriveC() const { return root_ / "drive_c"; }
    std::filesystem::path ProgramFiles() const { return DriveC() / programFiles_; }
    std::filesystem::path Installation() const { return ProgramFiles() / "AIM95"; }
    // The host directory of clone slot n.
    std::filesystem::path Slot(int n) const { return ProgramFiles() / ("AIM95" + std::to_string(n)); }
    // A clone as far as the slot scan can tell: the directory and its aim.exe.
    void AddClone(int n) const;

    // The manifest names whose copy in `clone` differs from the installed file,
    // the one patched byte of aim.exe aside; a missing copy differs too.
    std::vector<std::string> MiscopiedFiles(const std::filesystem::path& clone, const EditionProfile& edition,
                                            char digit) const;

    // Every entry under `root` but the excluded subtrees, by relative name:
    // "directory", "link <target>", "special" or the hash of a file's contents.
    static std::map<std::string, std::string> Snapshot(const std::filesystem::path& root,
                                                       const std::vector<std::filesystem::path>& excluded = {});
    // Every regular file under `directory`, as paths relative to it.
    static std::vector<std::string> FilesUnder(const std::filesystem::path& directory);
    static std::vector<std::uint8_t> Bytes(const std::filesystem::path& file);
    // The byte at a 0-based offset, or -1 when the file is missing or shorter.
    static int ByteAt(const std::filesystem::path& file, std::size_t offset);
    static void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes);

private:
    std::filesystem::path sandbox_;
    std::filesystem::path root_;
    std::string programFiles_;
    std::string previousPrefix_;
    bool hadPreviousPrefix_;
};

// An executable shell script with this body.
std::filesystem::path MakeScript(const std::filesystem::path& path, const std::string& body);

// A launcher that records its arguments, one run a line, in `log`; it exits
// with `status`.
std::filesystem::path MakeRecordingLauncher(const std::filesystem::path& directory, const std::filesystem::path& log,
                                            int status = 0);

std::string ReadText(const std::filesystem::path& file);

}  // namespace vornix::testing
