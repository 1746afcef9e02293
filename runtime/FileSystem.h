// File services of the runtime. Every path here is a Windows path as the
// tool writes it ("C:\Program Files\AIM95\aim.exe"), UTF-8 encoded; each
// platform maps it to its own file system. Failures raise RuntimeError.
#pragma once

#include <cstdint>
#include <string>

namespace runtime {

// Creates that one directory. Error 75 when the path exists, 76 when its
// parent does not.
void MakeDirectory(const std::string& path);

// Copies a file, replacing a destination that exists. Error 53 when the
// source is missing or not a file.
void CopyFile(const std::string& source, const std::string& destination);

// With attributes 0: the name of the ordinary file `path` names (not a
// directory, not hidden, not system), or "" when there is none.
std::string FileLookup(const std::string& path, int attributes);

// Removes a directory and everything in it, without following links out of
// it. Used to take back a half-made clone.
void RemoveDirectoryTree(const std::string& path);

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
