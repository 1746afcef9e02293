// For any text, mapping it as a Windows path either fails with a run-time
// error or gives a host path inside the drive's own directory.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "runtime/Posix/WinePath.h"
#include "runtime/RuntimeError.h"

namespace {

namespace fs = std::filesystem;

// A small prefix with two drives and a few names to match against.
const fs::path& Prefix() {
    static const fs::path prefix = [] {
        const fs::path root = fs::temp_directory_path() / ("vornix-fuzz-" + std::to_string(::getpid()));
        fs::create_directories(root / "drive_c" / "Program Files" / "AIM95" / "Sounds");
        fs::create_directories(root / "drive_c" / "Mixed Case");
        fs::create_directories(root / "other");
        fs::create_directories(root / "dosdevices");
        fs::create_directory_symlink("../drive_c", root / "dosdevices" / "c:");
        fs::create_directory_symlink("../other", root / "dosdevices" / "d:");
        ::setenv("WINEPREFIX", root.c_str(), 1);
        std::atexit([] { fs::remove_all(Prefix()); });
        return root;
    }();
    return prefix;
}

void Require(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path& prefix = Prefix();
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const runtime::posix::HostPath mapped = runtime::posix::MapPath(text);
        const fs::path drives = prefix / "dosdevices";
        const fs::path relative = mapped.host.lexically_relative(drives);
        auto part = relative.begin();
        Require(part != relative.end() && (*part == "c:" || *part == "d:"));
        std::size_t components = 0;
        for (++part; part != relative.end(); ++part, ++components) {
            const std::string name = part->string();
            Require(!name.empty() && name != "." && name != ".." && name.find('\0') == std::string::npos);
        }
        Require(mapped.missing <= components);
    } catch (const runtime::RuntimeError&) {
        // Refused: fine, as long as it is refused cleanly.
    }
    return 0;
}
