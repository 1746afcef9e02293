// vornix-sample-install PREFIX [AIM.EXE]
// Puts a synthetic client installation into C:\Program Files\AIM95\ of a
// Wine-style prefix, creating the prefix's drive C when it has none.
#include <exception>
#include <iostream>

#include "SampleInstallation.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::cerr << "usage: vornix-sample-install PREFIX [AIM.EXE]\n";
        return 2;
    }
    try {
        vornix::sample::Install(argv[1], argc == 3 ? argv[2] : "");
        std::cout << "Installed a sample client in " << vornix::sample::InstallationDirectory(argv[1]).string()
                  << '\n';
    } catch (const std::exception& error) {
        std::cerr << "vornix-sample-install: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
