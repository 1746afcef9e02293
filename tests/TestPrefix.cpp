#include "TestPrefix.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <random>
#include <sstream>

#include "clonetool/editions/Edition.h"
#include "tools/SampleInstallation.h"

namespace vornix::testing {

TestPrefix::TestPrefix(bool installed, std::string programFiles) : programFiles_(std::move(programFiles)) {
    const char* previous = std::getenv("WINEPREFIX");
    hadPreviousPrefix_ = previous != nullptr;
    if (previous) previousPrefix_ = previous;
    std::random_device random;
    sandbox_ = std::filesystem::temp_directory_path() / ("vornix-test-" + std::to_string(random()));
    root_ = sandbox_ / "prefix";
    std::filesystem::create_directories(root_);
    std::filesystem::create_directories(Scratch());
    sample::EnsureDriveC(root_);
    if (installed) sample::InstallInto(Installation());
    ::setenv("WINEPREFIX", root_.c_str(), 1);
}

TestPrefix::~TestPrefix() {
    if (hadPreviousPrefix_)
        ::setenv("WINEPREFIX", previousPrefix_.c_str(), 1);
    else
        ::unsetenv("WINEPREFIX");
    std::error_code ignored;
    for (auto it = std::filesystem::recursive_directory_iterator(sandbox_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
        if (it->is_directory(ignored) && !it->is_symlink(ignored))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(sandbox_, ignored);
}

void TestPrefix::AddClone(int n) const {
    std::filesystem::create_directories(Slot(n));
    std::filesystem::copy_file(Installation() / "aim.exe", Slot(n) / "aim.exe");
}

std::vector<std::string> TestPrefix::MiscopiedFiles(const std::filesystem::path& clone, const EditionProfile& edition,
                                                   char digit) const {
    std::vector<std::string> miscopied;
    for (const std::string& name : edition.manifest) {
        std::string host = name;
        std::replace(host.begin(), host.end(), '\\', '/');
        std::vector<std::uint8_t> expected = Bytes(Installation() / host);
        if (name == "aim.exe") expected.at(static_cast<std::size_t>(edition.patchPosition - 1)) = static_cast<std::uint8_t>(digit);
        if (!std::filesystem::exists(clone / host) || Bytes(clone / host) != expected) miscopied.push_back(name);
    }
    return miscopied;
}

std::map<std::string, std::string> TestPrefix::Snapshot(const std::filesystem::path& root,
                                                       const std::vector<std::filesystem::path>& excluded) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> entries;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        if (std::find(excluded.begin(), excluded.end(), it->path()) != excluded.end()) {
            it.disable_recursion_pending();
            continue;
        }
        const std::string name = it->path().lexically_relative(root).string();
        if (it->is_symlink())
            entries[name] = "link " + fs::read_symlink(it->path()).string();
        else if (it->is_directory())
            entries[name] = "directory";
        else if (it->is_regular_file())
            entries[name] = std::to_string(std::hash<std::string>{}(ReadText(it->path())));
        else
            entries[name] = "special";  // never opened: a pipe would block
    }
    return entries;
}

std::vector<std::string> TestPrefix::FilesUnder(const std::filesystem::path& directory) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory))
        if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(directory).string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::uint8_t> TestPrefix::Bytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int TestPrefix::ByteAt(const std::filesystem::path& file, std::size_t offset) {
    const std::vector<std::uint8_t> bytes = std::filesystem::exists(file) ? Bytes(file) : std::vector<std::uint8_t>{};
    return offset < bytes.size() ? bytes[offset] : -1;
}

void TestPrefix::WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path MakeScript(const std::filesystem::path& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

std::filesystem::path MakeRecordingLauncher(const std::filesystem::path& directory, const std::filesystem::path& log,
                                            int status) {
    std::string body = "printf '%s|' \"$@\" >> '" + log.string() + "'\nprintf '\\n' >> '" + log.string() + "'\n";
    if (status != 0)
        body += "echo 'Application could not be started, or no application associated'\nexit " + std::to_string(status) + "\n";
    return MakeScript(directory / "recording-launcher", body);
}

std::string ReadText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace vornix::testing
