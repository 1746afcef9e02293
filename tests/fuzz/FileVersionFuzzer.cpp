// For any bytes, reading a file version either finds one or finds none, and
// never reads outside the bytes it was given. Inputs that do not start with
// "MZ" are laid over a well-formed program as patches (two bytes of offset,
// then the bytes to write), so that mutations reach deep into the headers.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "runtime/FileVersion.h"
#include "tools/SampleInstallation.h"

namespace {

void Require(bool holds) {
    if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<std::uint8_t> wellFormed = [] {
        std::vector<std::uint8_t> program = vornix::sample::ClientProgram(5, 0);
        program.resize(0x800);  // the headers and the version block are all in here
        Require(runtime::ReadFileVersion([&](std::uint64_t offset, std::uint8_t* buffer, std::size_t wanted) {
                    const std::size_t from = std::min<std::uint64_t>(offset, program.size());
                    const std::size_t got = std::min(wanted, program.size() - from);
                    std::copy_n(program.begin() + static_cast<std::ptrdiff_t>(from), got, buffer);
                    return got;
                })->major == 5);
        return program;
    }();
    std::vector<std::uint8_t> bytes(data, data + size);
    if (size < 2 || data[0] != 'M' || data[1] != 'Z') {
        bytes = wellFormed;
        for (std::size_t i = 0; i + 2 < size; i += 3)
            bytes[(data[i] | (data[i + 1] << 8)) % bytes.size()] = data[i + 2];
    }
    runtime::ReadFileVersion([&](std::uint64_t offset, std::uint8_t* buffer, std::size_t wanted) -> std::size_t {
        Require(wanted <= 64);  // the reader asks for small pieces
        if (offset >= bytes.size()) return 0;
        const std::size_t got = std::min<std::uint64_t>(wanted, bytes.size() - offset);
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), got, buffer);
        return got;
    });
    return 0;
}
