// File services of the runtime. Every path here is a Windows path as the
// tool writes it ("C:\Program Files\AIM95\aim.exe"), UTF-8 encoded; each
// platform maps it to its own file system. Failures raise RuntimeError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "FileVersion.h"

namespace runtime {

// What making a directory at `path` would say, without making it: error 75
// when the path exists, 76 when its parent does not.
void RequireNewDirectory(const std::string& path);

// Creates that one directory, with the errors above.
void MakeDirectory(const std::string& path);

// Makes a new, empty directory in the parent of `directory`, in which
// `directory` can be built before RenameDirectory puts it in place; gives its
// path, ending in a backslash. Its name is short, whatever the length of
// `directory`'s, and never one a slot scan counts. Refuses first, as
// RequireNewDirectory does, when `directory` itself could not be made, and
// then as RequireRoomFor does.
std::string MakeStagingDirectory(const std::string& directory, std::string_view longestName);

// Error 52 when a directory at `directory` would pass the platform's limits
// once it holds a file named `longestName` (relative to it), or could not
// have a program started from it; or when `staging`, where the files are
// first written, could not hold that file: known before anything is made.
void RequireRoomFor(const std::string& directory, const std::string& staging, std::string_view longestName);

// Gives a directory a new name in the same parent. Error 75 when something
// has that name already: it is never replaced.
void RenameDirectory(const std::string& from, const std::string& to);

// Whether anything has that name: a file, a directory, a link even to nothing.
bool NameExists(const std::string& path);

// Whether the directory `path` names may be listed by this user; false when
// it is missing or cannot be looked into.
bool CanListDirectory(const std::string& path);

// Whether two paths name one existing directory, however each reaches it (a
// link, another drive letter, a short name); false when either is missing.
bool SameDirectory(const std::string& a, const std::string& b);

// Whether two names are one as Windows compares names: every letter with a
// simple case mapping in Unicode folded, from the system's own tables.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// Whether two paths name one entry of one directory: the same directory
// holds both, and their last names are equal as Windows compares names.
// Neither needs to exist; false when either's parent is missing.
bool SameDirectoryEntry(const std::string& a, const std::string& b);

// The file version in the version block of the program at `path`; nothing
// when it has none. Error 53 when there is no such file.
std::optional<FileVersion> GetFileVersion(const std::string& path);

// Copies an ordinary file, replacing a destination that exists, and keeps its
// modification time. Error 53 when the source is missing or not an ordinary
// file (a directory, device, pipe or socket is never opened).
void CopyFile(const std::string& source, const std::string& destination);

// With attributes 0: the name of the ordinary file `path` names (not a
// directory, not hidden, not system), or "" when there is none. A lookup that
// fails (a directory that cannot be searched, say) raises its error.
std::string FileLookup(const std::string& path, int attributes);

// Removes a directory and everything in it, without following links out of
// it. Used to take back a half-made clone.
void RemoveDirectoryTree(const std::string& path);

// While one lives (the event dispatch keeps one around each event procedure),
// what the file system looked up is remembered: each directory is listed
// once. The runtime's own changes are taken into account; another program's
// changes meanwhile may go unseen, as they could between any two steps.
class LookupCache {
public:
    LookupCache();
    ~LookupCache();
    LookupCache(const LookupCache&) = delete;
    LookupCache& operator=(const LookupCache&) = delete;

private:
    bool owner_ = true;
};

// Byte-level file output under file numbers 1 to 255.
int FreeFile();
// Opens an existing file for binary reading and writing; error 53 when it is
// missing (an absent file is never created empty).
void OpenBinary(int fileNumber, const std::string& path);
// Writes one byte at a 1-based position inside the file; a position past its
// end is error 63 and leaves the file as it was.
void PutByte(int fileNumber, std::int64_t position, std::uint8_t byte);
void Close(int fileNumber);
// Closes whatever is still open, as the end of the program does.
void CloseAllFiles() noexcept;

}  // namespace runtime
