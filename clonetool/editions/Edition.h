// What differs between the two programs. Each program links exactly one
// profile; everything else is shared.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornix {

// The distribution notice names the site twice; the editions word it differently.
struct NoticeWording {
    std::string firstLineLead;   // followed by the host name
    std::string secondLineLead;  // followed by the host name ...
    std::string secondLineTail;  // ... and this
};

// The client release a program clones: the major and minor file version of
// its aim.exe.
struct ClientVersion {
    std::uint16_t major, minor;
};

struct EditionProfile {
    std::string title;
    ClientVersion release;
    // Names relative to the installation, in copy order.
    std::vector<std::string> manifest;
    // 1-based byte position in the cloned aim.exe that receives the slot digit.
    std::int64_t patchPosition;
    NoticeWording notice;
};

const EditionProfile& Aim50Edition();
const EditionProfile& Aim48Edition();

// Who made it, its version and where it is handed out: the same for both editions.
struct Identity {
    static constexpr const char* kFileVersion = VORNIX_FILE_VERSION;
    static constexpr const char* kAuthorName = "The Vornix developers";
    static constexpr const char* kAuthorEmail = "developers@vornix.example";
    static constexpr const char* kDistributionHost = "www.vornix.example";
    // Which program serves which release, for a user who ran the other one.
    static constexpr const char* kProgramPerRelease =
        "Use Vornix (AIM v5.0) for AIM 5.0 and Vornix (AIM v4.8) for AIM 4.8.";
};

}  // namespace vornix
