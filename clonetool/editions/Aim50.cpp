#include "Edition.h"
#include "Manifest.h"

namespace vornix {

const EditionProfile& Aim50Edition() {
    static const EditionProfile edition{
        "Vornix (AIM v5.0)",
        {5, 0},
        ClientManifest(ClientRelease::Aim50),
        21915,
        {"This program has been downloaded from ", "If you downloaded it from anywhere else please let the webmaster of ",
         " know ASAP."},
    };
    return edition;
}

}  // namespace vornix
