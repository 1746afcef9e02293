#include "SampleInstallation.h"

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

}  // namespace

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
