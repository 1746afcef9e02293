#include "FileSystem.h"

#include <random>

#include "BinaryFile.h"
#include "RuntimeError.h"
#include "WindowsPath.h"

namespace runtime {

std::string MakeStagingDirectory(const std::string& directory, std::string_view longestName) {
    RequireNewDirectory(directory);
    // A name of its own for each run, so that what an interrupted run leaves
    // behind never stands in the way of the next.
    std::string name = "vornix-partial-";
    for (unsigned random = std::random_device{}(), digit = 0; digit < 8; ++digit, random >>= 4)
        name += "0123456789abcdef"[random & 0xF];
    name += '\\';
    WindowsPath parent = ParseWindowsPath(directory);
    parent.components.pop_back();
    std::string path = DirectoryPath(parent.ToString()) + name;
    RequireRoomFor(directory, path, longestName);
    try {
        MakeDirectory(path);
    } catch (RuntimeError& error) {
        error.ReportUnder(path, directory);  // what the user asked for could not be made
        throw;
    }
    return path;
}

bool SameDirectoryEntry(const std::string& a, const std::string& b) {
    WindowsPath first = ParseWindowsPath(a), second = ParseWindowsPath(b);
    if (first.components.empty() || second.components.empty() ||
        !EqualIgnoringCase(first.components.back(), second.components.back()))
        return false;
    first.components.pop_back();
    second.components.pop_back();
    return SameDirectory(first.ToString(), second.ToString());
}

std::optional<FileVersion> GetFileVersion(const std::string& path) {
    const std::unique_ptr<BinaryFile> file = OpenExistingBinaryFile(path, FileAccess::Read);
    const std::optional<FileVersion> version = ReadFileVersion(
        [&](std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
            return offset > static_cast<std::uint64_t>(INT64_MAX) ? 0 : file->ReadAt(static_cast<std::int64_t>(offset), buffer, size);
        });
    file->Close();
    return version;
}

}  // namespace runtime
