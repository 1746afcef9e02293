// One program per client release; the build picks the edition profile.
#include "Form1.h"

int main(int argc, char** argv) {
    vornix::Form1 form(vornix::VORNIX_EDITION());
    return runtime::Run(form, argc, argv, vornix::Identity::kFileVersion);
}
