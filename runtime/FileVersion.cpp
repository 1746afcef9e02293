#include "FileVersion.h"

#include <algorithm>

namespace runtime {
namespace {

// Anything out of place: the file is taken as one without a version block.
struct Malformed {};

template <typename Integer>
Integer LittleEndian(const ReadBytes& read, std::uint64_t offset) {
    std::uint8_t bytes[sizeof(Integer)];
    if (read(offset, bytes, sizeof bytes) != sizeof bytes) throw Malformed{};
    Integer value = 0;
    for (std::size_t i = sizeof bytes; i-- > 0;) value = static_cast<Integer>((value << 8) | bytes[i]);
    return value;
}

std::uint16_t U16(const ReadBytes& read, std::uint64_t offset) { return LittleEndian<std::uint16_t>(read, offset); }
std::uint32_t U32(const ReadBytes& read, std::uint64_t offset) { return LittleEndian<std::uint32_t>(read, offset); }

constexpr std::uint32_t kSubdirectory = 0x80000000;
constexpr std::uint16_t kVersionResource = 16;  // RT_VERSION

class Image {
public:
    explicit Image(const ReadBytes& read) : read_(read) {
        if (U16(read, 0) != 0x5A4D) throw Malformed{};  // "MZ"
        const std::uint64_t pe = U32(read, 0x3C);
        if (U32(read, pe) != 0x4550) throw Malformed{};  // "PE\0\0"
        sections_ = U16(read, pe + 6);
        const std::uint64_t optional = pe + 24;
        sectionTable_ = optional + U16(read, pe + 20);
        const std::uint16_t magic = U16(read, optional);
        if (magic != 0x10B && magic != 0x20B) throw Malformed{};  // PE32, PE32+
        const std::uint64_t directories = optional + (magic == 0x10B ? 96 : 112);
        if (U32(read, directories - 4) <= 2) throw Malformed{};  // no resource directory
        resources_ = FileOffset(U32(read, directories + 16));  // the third directory: resources
    }

    // The offset of the entry with `id` (any entry when none is given) in the
    // resource directory at `directory`, relative to the resources' start.
    std::uint32_t Entry(std::uint32_t directory, std::optional<std::uint16_t> id) const {
        const std::uint64_t at = resources_ + directory;
        const unsigned entries = unsigned{U16(read_, at + 12)} + U16(read_, at + 14);
        for (unsigned i = 0; i < entries; ++i) {
            const std::uint32_t name = U32(read_, at + 16 + 8ULL * i);
            if (!id || name == *id) return U32(read_, at + 16 + 8ULL * i + 4);
        }
        throw Malformed{};
    }

    std::uint64_t Resources() const { return resources_; }

    // Where an address of the loaded image lies in the file.
    std::uint64_t FileOffset(std::uint32_t address) const {
        for (unsigned i = 0; i < sections_; ++i) {
            const std::uint64_t section = sectionTable_ + 40ULL * i;
            const std::uint32_t start = U32(read_, section + 12), rawSize = U32(read_, section + 16);
            if (address >= start && address - start < rawSize) return U32(read_, section + 20) + (address - start);
        }
        throw Malformed{};
    }

private:
    const ReadBytes& read_;
    unsigned sections_;
    std::uint64_t sectionTable_;
    std::uint64_t resources_ = 0;
};

// A subdirectory's offset, or Malformed for a leaf where a directory belongs.
std::uint32_t Subdirectory(std::uint32_t entry) {
    if (!(entry & kSubdirectory)) throw Malformed{};
    return entry & ~kSubdirectory;
}

}  // namespace

std::string FileVersion::ToString() const {
    return std::to_string(major) + '.' + std::to_string(minor) + '.' + std::to_string(build) + '.' +
           std::to_string(revision);
}

std::optional<FileVersion> ReadFileVersion(const ReadBytes& read) try {
    const Image image(read);
    // Type, then the first name, then the first language.
    std::uint32_t entry = image.Entry(0, kVersionResource);
    entry = image.Entry(Subdirectory(entry), std::nullopt);
    entry = image.Entry(Subdirectory(entry), std::nullopt);
    if (entry & kSubdirectory) throw Malformed{};
    const std::uint64_t block = image.FileOffset(U32(read, image.Resources() + entry));

    // VS_VERSIONINFO: three lengths and types, the key, then VS_FIXEDFILEINFO
    // at the next 32-bit boundary.
    static constexpr char16_t kKey[] = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < std::size(kKey); ++i)
        if (U16(read, block + 6 + 2 * i) != kKey[i]) throw Malformed{};
    const std::uint64_t fixed = block + 40;
    if (U16(read, block + 2) < 52 || U32(read, fixed) != 0xFEEF04BD) throw Malformed{};
    const std::uint32_t high = U32(read, fixed + 8), low = U32(read, fixed + 12);
    return FileVersion{static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
                       static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
} catch (const Malformed&) {
    return std::nullopt;
}

}  // namespace runtime
