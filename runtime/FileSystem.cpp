#include "FileSystem.h"

#include <cstdio>
#include <random>

#include "WindowsPath.h"

namespace runtime {

std::string MakeStagingDirectory(const std::string& directory) {
    RequireNewDirectory(directory);
    // A name of its own for each run, so that what an interrupted run leaves
    // behind never stands in the way of the next.
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".partial-%08x", static_cast<unsigned>(std::random_device{}()));
    std::string staging = ParseWindowsPath(directory).ToString() + suffix + "\\";
    MakeDirectory(staging);
    return staging;
}

}  // namespace runtime
