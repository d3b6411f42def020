// Seeds for the fuzzing harnesses taken from the inputs the tests build.
// The tests call these on every input; they write only when the environment
// variable TERVALA_FUZZ_SEEDS names the corpus root (scripts/fuzz
// --make-seeds sets it), and do nothing otherwise.
#ifndef TERVALA_FUZZ_SEEDCAPTURE_H
#define TERVALA_FUZZ_SEEDCAPTURE_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace tervala {
namespace fuzz {

// Saves `bytes` as the seed `name` of a harness.
inline void saveSeed(const std::string& harness, const std::string& name, const std::string& bytes)
{
    const char* root = std::getenv("TERVALA_FUZZ_SEEDS");
    if (root == nullptr || root[0] == '\0')
        return;
    platform::makeDirectory(root);
    platform::makeDirectory(std::string(root) + "/" + harness);
    if (platform::File f = platform::openFile(std::string(root) + "/" + harness + "/" + name, "wb"))
        std::fwrite(bytes.data(), 1, bytes.size(), f.get());
}

// The fuzzing harness a data file written by a test seeds, by its name:
// grid files, GTX files and the two coefficient files (which the coefficient
// harness takes together: a 4-byte little-endian length of CORRCOEF.dat, its
// bytes, then EGM96.dat's). Files over 64 KiB are left out. Seeds are named
// by an FNV-1a hash of their content.
inline void saveFileSeed(const std::string& path, const std::vector<unsigned char>& bytes)
{
    static std::string lastCorrections;
    if (std::getenv("TERVALA_FUZZ_SEEDS") == nullptr || bytes.size() > 65536)
        return;
    const std::string name = path.substr(path.find_last_of('/') + 1), content(bytes.begin(), bytes.end());
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : content)
        hash = (hash ^ c) * 1099511628211ull;
    const std::string id = std::to_string(hash % 1000000007ull);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".gtx") == 0) {
        saveSeed("fuzz_gtx", "gtx-" + id, content);
    } else if (name == "kgeoid13.dat" || name == "kgeoid14.dat" || name == "egm2008p.dat") {
        saveSeed("fuzz_grid_loader", "grid-" + id, content);
    } else if (name == "CORRCOEF.dat") {
        lastCorrections = content;
    } else if (name == "EGM96.dat") {
        const std::uint32_t n = static_cast<std::uint32_t>(lastCorrections.size());
        const char length[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
        saveSeed("fuzz_coefficients", "coefficients-" + id, std::string(length, 4) + lastCorrections + content);
    }
}

} // namespace fuzz
} // namespace tervala

#endif
