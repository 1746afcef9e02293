#include "SampleInstallation.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "clonetool/editions/Manifest.h"

namespace vornix::sample {
namespace {

std::size_t TypicalSize(const std::string& name) {
    const std::string extension = name.substr(name.rfind('.') + 1);
    if (name == "aim.exe") return 409'600;
    if (extension == "dll") return 81'920;
    if (extension == "ocm") return 40'960;
    if (extension == "exe") return 153'600;
    if (extension == "hlp") return 307'200;
    if (extension == "wav") return 20'480;
    return 10'240;
}

std::filesystem::path HostRelative(const std::string& name) {
    std::string relative = name;
    for (char& c : relative)
        if (c == '\\') c = '/';
    return relative;
}

// Little-endian, as the PE format is.
void Put(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) bytes.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::vector<std::uint8_t> ClientProgram(std::uint16_t major, std::uint16_t minor) {
    std::vector<std::uint8_t> bytes = GeneratedContents("aim.exe");
    std::fill(bytes.begin(), bytes.begin() + 0x400, 0);
    Put(bytes, 0x00, 0x5A4D, 2);        // "MZ"
    Put(bytes, 0x3C, 0x40, 4);          // where the PE header is
    Put(bytes, 0x40, 0x4550, 4);        // "PE\0\0"
    Put(bytes, 0x44, 0x014C, 2);        // i386
    Put(bytes, 0x46, 1, 2);             // one section
    Put(bytes, 0x54, 0xE0, 2);          // size of the optional header
    const std::size_t optional = 0x58;
    Put(bytes, optional, 0x10B, 2);     // PE32
    Put(bytes, optional + 92, 16, 4);   // data directories
    Put(bytes, optional + 96 + 16, 0x1000, 4);  // resources: address and size
    Put(bytes, optional + 96 + 20, 0x100, 4);
    const std::size_t section = optional + 0xE0;
    for (std::size_t i = 0; i < 5; ++i) bytes[section + i] = static_cast<std::uint8_t>(".rsrc"[i]);
    Put(bytes, section + 8, 0x100, 4);  // virtual size, address, raw size, raw offset
    Put(bytes, section + 12, 0x1000, 4);
    Put(bytes, section + 16, 0x200, 4);
    Put(bytes, section + 20, 0x200, 4);
    // Version, first name, first language: one entry each, then the data entry.
    const std::size_t resources = 0x200;
    Put(bytes, resources + 14, 1, 2);
    Put(bytes, resources + 16, 16, 4);
    Put(bytes, resources + 20, 0x80000018, 4);
    Put(bytes, resources + 0x18 + 14, 1, 2);
    Put(bytes, resources + 0x18 + 16, 1, 4);
    Put(bytes, resources + 0x18 + 20, 0x80000030, 4);
    Put(bytes, resources + 0x30 + 14, 1, 2);
    Put(bytes, resources + 0x30 + 16, 0x409, 4);
    Put(bytes, resources + 0x30 + 20, 0x48, 4);
    Put(bytes, resources + 0x48, 0x1058, 4);
    Put(bytes, resources + 0x48 + 4, 92, 4);
    // VS_VERSIONINFO with its VS_FIXEDFILEINFO.
    const std::size_t block = resources + 0x58;
    Put(bytes, block, 92, 2);
    Put(bytes, block + 2, 52, 2);
    const std::string key = "VS_VERSION_INFO";
    for (std::size_t i = 0; i < key.size(); ++i) Put(bytes, block + 6 + 2 * i, static_cast<std::uint8_t>(key[i]), 2);
    Put(bytes, block + 40, 0xFEEF04BD, 4);
    Put(bytes, block + 44, 0x10000, 4);
    Put(bytes, block + 48, (std::uint32_t{major} << 16) | minor, 4);
    Put(bytes, block + 52, (2938u << 16) | 1u, 4);
    return bytes;
}

std::filesystem::path EnsureDriveC(const std::filesystem::path& prefix) {
    std::filesystem::path link = prefix / "dosdevices" / "c:";
    if (std::filesystem::exists(link)) return link;
    std::filesystem::create_directories(prefix / "drive_c");
    std::filesystem::create_directories(prefix / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", link);
    return link;
}

std::filesystem::path InstallationDirectory(const std::filesystem::path& prefix) {
    return EnsureDriveC(prefix) / "Program Files" / "AIM95";
}

std::vector<std::uint8_t> GeneratedContents(const std::string& name) {
    std::uint64_t state = 1469598103934665603ULL;  // FNV-1a of the name seeds the generator
    for (unsigned char c : name) state = (state ^ c) * 1099511628211ULL;
    std::vector<std::uint8_t> bytes(TypicalSize(name));
    for (std::uint8_t& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<std::uint8_t>(state >> 24);
    }
    if (name.ends_with(".exe") || name.ends_with(".dll") || name.ends_with(".ocm")) {
        bytes[0] = 'M';
        bytes[1] = 'Z';
    }
    return bytes;
}

void Install(const std::filesystem::path& prefix, const std::filesystem::path& clientProgram) {
    InstallInto(InstallationDirectory(prefix), clientProgram);
}

void InstallInto(const std::filesystem::path& directory, const std::filesystem::path& clientProgram) {
    // A prefix given by a slip (the user's own, with a real client in it)
    // must cost nothing: nothing is written where any file of it is.
    for (const std::string& name : ClientManifest(ClientRelease::Aim50)) {
        const std::filesystem::path target = directory / HostRelative(name);
        std::error_code error;
        if (std::filesystem::symlink_status(target, error).type() != std::filesystem::file_type::not_found)
            throw std::runtime_error(target.string() + " exists already: " + directory.string() +
                                     " holds an installation, and nothing was written");
    }
    std::filesystem::create_directories(directory / "Sounds");
    for (const std::string& name : ClientManifest(ClientRelease::Aim50)) {
        const std::filesystem::path target = directory / HostRelative(name);
        if (name == "aim.exe" && !clientProgram.empty()) {
            std::filesystem::copy_file(clientProgram, target, std::filesystem::copy_options::overwrite_existing);
            continue;
        }
        const std::vector<std::uint8_t> bytes = GeneratedContents(name);
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw std::runtime_error("cannot write " + target.string());
    }
}

}  // namespace vornix::sample
