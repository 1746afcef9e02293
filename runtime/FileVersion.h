// The file version a Windows program carries in its version block, read from
// the file itself, so that both platforms read it alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace runtime {

struct FileVersion {
    std::uint16_t major, minor, build, revision;
    std::string ToString() const;
};

// Reads up to `size` bytes at `offset`; gives how many it read (fewer only at
// the end of the file).
using ReadBytes = std::function<std::size_t(std::uint64_t offset, std::uint8_t* buffer, std::size_t size)>;

// The file version of a PE file's first version resource; nothing when the
// bytes are no program, or one without a well-formed version block.
std::optional<FileVersion> ReadFileVersion(const ReadBytes& read);

}  // namespace runtime
