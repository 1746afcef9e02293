#include "Edition.h"
#include "Manifest.h"

namespace vornix {

const EditionProfile& Aim48Edition() {
    static const EditionProfile edition{
        "Vornix (AIM v4.8)",
        {4, 8},
        ClientManifest(ClientRelease::Aim48),
        21756,
        {"This file has been downloaded from ", "If you got it from anywhere else please report it to the webmaster of ",
         " ASAP."},
    };
    return edition;
}

}  // namespace vornix
