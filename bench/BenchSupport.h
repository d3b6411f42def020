// Shared inputs for the benchmark programs: reproducible point sets, so that
// our code and each peer see exactly the same points in the same run.
#ifndef TERVALA_BENCH_BENCHSUPPORT_H
#define TERVALA_BENCH_BENCHSUPPORT_H

#include <cstddef>
#include <random>
#include <vector>

namespace benchsupport {

struct GeodeticPoint {
    double lat;  // degrees
    double lon;  // degrees
    double h;    // metres
};

// Points spread over the globe (or over a band), heights -100 m .. 5000 m.
inline std::vector<GeodeticPoint> geodeticPoints(std::size_t count, double latMin = -85, double latMax = 85,
                                                 double lonMin = -180, double lonMax = 180, unsigned seed = 42)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> lat(latMin, latMax), lon(lonMin, lonMax), h(-100, 5000);
    std::vector<GeodeticPoint> out(count);
    for (auto& p : out)
        p = GeodeticPoint{lat(rng), lon(rng), h(rng)};
    return out;
}

constexpr double kGrs80A = 6378137.0;
constexpr double kGrs80InvF = 298.257222101;

} // namespace benchsupport

#endif
