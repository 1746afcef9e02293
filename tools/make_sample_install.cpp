// vornix-sample-install [--] PREFIX [AIM.EXE]
// Puts a synthetic client installation into C:\Program Files\AIM95\ of a
// Wine-style prefix, creating the prefix's drive C when it has none.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "SampleInstallation.h"

namespace {
constexpr const char* kUsage =
    "Usage: vornix-sample-install [--] PREFIX [AIM.EXE]\n"
    "Puts a synthetic AIM client installation into C:\\Program Files\\AIM95\\ of the\n"
    "Wine-style prefix PREFIX, making its drive C when it has none. AIM.EXE, when\n"
    "given, is used as the client's aim.exe.\n";
}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> operands;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && argument == "--help") {
            std::cout << kUsage;
            return std::cout.flush() ? 0 : 1;
        } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
            std::cerr << "vornix-sample-install: unknown option '" << argument << "'\n" << kUsage;
            return 2;
        } else {
            operands.push_back(argument);
        }
    }
    if (operands.empty() || operands.size() > 2) {
        std::cerr << kUsage;
        return 2;
    }
    try {
        vornix::sample::Install(operands[0], operands.size() == 2 ? operands[1] : "");
        std::cout << "Installed a sample client in " << vornix::sample::InstallationDirectory(operands[0]).string()
                  << '\n';
    } catch (const std::exception& error) {
        std::cerr << "vornix-sample-install: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
