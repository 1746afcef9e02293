// A synthetic client installation in a Wine-style prefix, to try the programs
// on and to test them against: every file of the 5.0 release (which covers
// 4.8) with generated contents of realistic sizes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vornix::sample {

// Makes <prefix>/drive_c and the dosdevices/c: link when they are missing.
std::filesystem::path EnsureDriveC(const std::filesystem::path& prefix);

// The installation directory on the host: <drive C>/Program Files/AIM95.
std::filesystem::path InstallationDirectory(const std::filesystem::path& prefix);

// The same bytes every time for the same name.
std::vector<std::uint8_t> GeneratedContents(const std::string& name);

// The sample aim.exe as a Windows program with a version block: file version
// major.minor.2938.1. Its patch positions lie where the plain sample's do.
std::vector<std::uint8_t> ClientProgram(std::uint16_t major, std::uint16_t minor);

// Writes every file of the installation into the prefix's C:\Program Files\AIM95.
// `clientProgram`, when given, is copied as aim.exe instead of a generated one.
void Install(const std::filesystem::path& prefix, const std::filesystem::path& clientProgram = {});

// The same into a directory given directly (on Windows, the real one).
// Refuses, writing nothing, when any file of the installation is there.
void InstallInto(const std::filesystem::path& directory, const std::filesystem::path& clientProgram = {});

}  // namespace vornix::sample
