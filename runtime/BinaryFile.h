// A file open for byte-level reading and writing; each platform implements it.
// The file-number bookkeeping on top of it is shared (FileNumbers.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace runtime {

class BinaryFile {
public:
    virtual ~BinaryFile() = default;
    virtual std::int64_t Size() = 0;
    // Gives how many bytes it read: fewer than `size` only at the end.
    virtual std::size_t ReadAt(std::int64_t offset, std::uint8_t* buffer, std::size_t size) = 0;
    virtual void WriteByteAt(std::int64_t offset, std::uint8_t byte) = 0;
    // Reports a failure to flush as an error; the destructor only releases.
    virtual void Close() = 0;
};

enum class FileAccess { Read, ReadWrite };

// Opens an existing ordinary file; never creates one.
std::unique_ptr<BinaryFile> OpenExistingBinaryFile(const std::string& path, FileAccess access);

}  // namespace runtime
