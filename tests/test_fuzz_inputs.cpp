// Replays every fuzzing seed and every saved crashing input through the
// harness bodies, so that a fixed crash stays fixed in every build, not only
// in the fuzzing build.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "Harnesses.h"

TEST(FuzzInputs, SeedsAndRegressionsRunCleanly)
{
    using Harness = int (*)(const std::uint8_t*, std::size_t);
    const std::pair<const char*, Harness> harnesses[] = {
        {"fuzz_angle", tervala::fuzz::fuzzAngle},           {"fuzz_lines", tervala::fuzz::fuzzLines},
        {"fuzz_common_points", tervala::fuzz::fuzzCommonPoints}, {"fuzz_grid_loader", tervala::fuzz::fuzzGridLoader},
        {"fuzz_coefficients", tervala::fuzz::fuzzCoefficients}, {"fuzz_gtx", tervala::fuzz::fuzzGtx}};
    int replayed = 0;
    for (const auto& [name, run] : harnesses)
        for (const char* kind : {"corpus", "regressions"}) {
            const std::string folder = std::string(TERVALA_FUZZ_DIR) + "/" + kind + "/" + name;
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
                const std::string name = entry.path().filename().string();
                if (name[0] == '.')
                    continue;
                std::ifstream in(entry.path(), std::ios::binary);
                std::ostringstream bytes;
                bytes << in.rdbuf();
                const std::string s = bytes.str();
                EXPECT_EQ(run(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()), 0) << folder << "/" << name;
                ++replayed;
            }
        }
    EXPECT_GT(replayed, 0) << "no seed corpus found under " << TERVALA_FUZZ_DIR;
}
