// The client's files, in the order they are copied. One list serves both
// releases: 4.8 lacks six of the 5.0 files and has none of its own.
#pragma once

#include <string>
#include <vector>

namespace vornix {

enum class ClientRelease { Aim50, Aim48 };

std::vector<std::string> ClientManifest(ClientRelease release);

}  // namespace vornix
