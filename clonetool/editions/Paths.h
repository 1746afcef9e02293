// The fixed layout both editions work on: the installed client and the nine
// clone directories beside it.
#pragma once

#include <array>
#include <string_view>

namespace vornix {

inline constexpr std::string_view kSourceInstallation = "C:\\Program Files\\AIM95\\";
inline constexpr std::string_view kInstallCheckPath = "C:\\Program Files\\AIM95\\aim.exe";
// Slot n lives in the stem, the digits of n and a backslash: AIM951 ... AIM959.
inline constexpr std::string_view kSlotStem = "C:\\Program Files\\AIM95";
inline constexpr std::string_view kDefaultDestination = "C:\\Program Files\\AIM951\\";
inline constexpr std::string_view kClientProgramName = "aim.exe";
inline constexpr std::string_view kSoundsSuffix = "\\Sounds\\";

// The destinations that receive an instance digit, in the order they are tried;
// the first one gets digit 1. Written out whole so each can be read at a glance.
inline constexpr std::array<std::string_view, 9> kPatchComparisonLiterals = {
    "C:\\Program Files\\AIM951\\", "C:\\Program Files\\AIM952\\", "C:\\Program Files\\AIM953\\",
    "C:\\Program Files\\AIM954\\", "C:\\Program Files\\AIM955\\", "C:\\Program Files\\AIM956\\",
    "C:\\Program Files\\AIM957\\", "C:\\Program Files\\AIM958\\", "C:\\Program Files\\AIM959\\",
};

}  // namespace vornix
