// Replays every fuzzing seed and every saved crashing input through the
// harness bodies, so that a fixed crash stays fixed in every build, not only
// in the fuzzing build.
#include <dirent.h>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Harnesses.h"

namespace {

std::vector<std::string> filesIn(const std::string& folder)
{
    std::vector<std::string> out;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                out.push_back(folder + "/" + e->d_name);
        ::closedir(d);
    }
    return out;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const std::map<std::string, std::function<int(const std::uint8_t*, std::size_t)>>& harnesses()
{
    static const std::map<std::string, std::function<int(const std::uint8_t*, std::size_t)>> h = {
        {"fuzz_angle", tervala::fuzz::fuzzAngle},
        {"fuzz_lines", tervala::fuzz::fuzzLines},
        {"fuzz_common_points", tervala::fuzz::fuzzCommonPoints},
        {"fuzz_grid_loader", tervala::fuzz::fuzzGridLoader},
        {"fuzz_coefficients", tervala::fuzz::fuzzCoefficients},
        {"fuzz_gtx", tervala::fuzz::fuzzGtx},
    };
    return h;
}

} // namespace

TEST(FuzzInputs, SeedsAndRegressionsRunCleanly)
{
    int replayed = 0;
    for (const auto& [name, run] : harnesses()) {
        for (const char* kind : {"corpus", "regressions"}) {
            for (const std::string& path : filesIn(std::string(TERVALA_FUZZ_DIR) + "/" + kind + "/" + name)) {
                const std::string bytes = slurp(path);
                SCOPED_TRACE(path);
                EXPECT_EQ(run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0);
                ++replayed;
            }
        }
    }
    std::printf("[ replayed %d fuzzing inputs ]\n", replayed);
    EXPECT_GT(replayed, 0) << "no seed corpus found under " << TERVALA_FUZZ_DIR;
}
