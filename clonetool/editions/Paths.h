// Where the installed client and its clones live. A 32-bit installer on
// 64-bit Windows (and in a 64-bit Wine prefix) puts the client under
// "Program Files (x86)"; a run works in the layout whose installation it finds.
#pragma once

#include <string>
#include <string_view>

#include "runtime/Integer.h"

namespace vornix {

struct Layout {
    std::string_view sourceInstallation;
    std::string_view installCheckPath;
    // Slot n lives in the stem, the digits of n and a backslash: AIM951 ... AIM959.
    std::string_view slotStem;
};

inline constexpr Layout kClassicLayout = {
    "C:\\Program Files\\AIM95\\",
    "C:\\Program Files\\AIM95\\aim.exe",
    "C:\\Program Files\\AIM95",
};

inline constexpr Layout kProgramFilesX86Layout = {
    "C:\\Program Files (x86)\\AIM95\\",
    "C:\\Program Files (x86)\\AIM95\\aim.exe",
    "C:\\Program Files (x86)\\AIM95",
};

inline constexpr std::string_view kClientProgramName = "aim.exe";
inline constexpr std::string_view kSoundsSuffix = "\\Sounds\\";

// The one definition of slot n's directory, shared by the slot scan and the
// instance patch.
inline std::string SlotDirectory(const Layout& layout, runtime::Integer slot) {
    return std::string(layout.slotStem) + runtime::NumberToText(slot) + "\\";
}

}  // namespace vornix
