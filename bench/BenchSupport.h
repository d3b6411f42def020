// Shared inputs for the benchmark programs: reproducible point sets, so that
// our code and each peer see exactly the same points in the same run.
#ifndef TERVALA_BENCH_BENCHSUPPORT_H
#define TERVALA_BENCH_BENCHSUPPORT_H

#include <cstddef>
#include <random>
#include <vector>

#include "tervala/Tervala.h"

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

struct GeocentricPoint {
    double x, y, z;  // metres
};

// The same points as geocentric X, Y, Z on GRS80.
inline std::vector<GeocentricPoint> geocentricPoints(const std::vector<GeodeticPoint>& points)
{
    CTervala t;
    t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
    std::vector<GeocentricPoint> out;
    out.reserve(points.size());
    for (const auto& p : points) {
        double lat = p.lat, lon = p.lon, h = p.h;
        t.Geodetic_to_Geocentric(lat, lon, h);
        out.push_back(GeocentricPoint{t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)});
    }
    return out;
}

} // namespace benchsupport

#endif
