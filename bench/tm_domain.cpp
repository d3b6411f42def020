// Measures how far from the central meridian the Transverse Mercator series
// stays within 1 mm of an exact Transverse Mercator (GeographicLib's
// TransverseMercatorExact), worst case over latitude, for each ellipsoid the
// tool names and for a range of flattenings. Prints a Markdown table; the
// values feed tmMaxOffsetDegrees(). Scale 1, latitude of origin 0, central
// meridian 0: the error of the series is then the pure truncation error.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <GeographicLib/TransverseMercatorExact.hpp>

#include "core/Ellipsoid.h"
#include "projection/TransverseMercator.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// Largest planar distance (metres) between the series and the exact
// projection at longitude offset `l` degrees, over latitudes from..to
// (degrees, steps of 0.1; 0..89.9 unless given).
double worstError(double a, double invf, double l, double from = 0, double to = 89.9)
{
    const tervala::EllipsoidConstants e = tervala::makeEllipsoid(a, invf);
    const GeographicLib::TransverseMercatorExact exact(a, invf > 0 ? 1 / invf : 0, 1.0);
    const tervala::TMGrid grid{0.0, 0.0, 0.0, 0.0, 1.0};
    double worst = 0;
    for (int k = static_cast<int>(std::lround(from * 10)); k <= static_cast<int>(std::lround(to * 10)); ++k) {
        const double lat = k * 0.1;
        const tervala::GridPoint s = tervala::tmForward(e, grid, lat * kPi / 180, l * kPi / 180);
        double x = 0, y = 0;
        exact.Forward(0.0, lat, l, x, y);
        worst = std::max(worst, std::hypot(s.easting - x, s.northing - y));
    }
    return worst;
}

// Largest ground error (metres, on a sphere of radius a) of the inverse
// series given the exact projection's grid coordinates, at offset `l`
// degrees, over latitudes from..to.
double worstInverseError(double a, double invf, double l, double from, double to)
{
    const tervala::EllipsoidConstants e = tervala::makeEllipsoid(a, invf);
    const GeographicLib::TransverseMercatorExact exact(a, invf > 0 ? 1 / invf : 0, 1.0);
    const tervala::TMGrid grid{0.0, 0.0, 0.0, 0.0, 1.0};
    double worst = 0;
    for (int k = static_cast<int>(std::lround(from * 10)); k <= static_cast<int>(std::lround(to * 10)); ++k) {
        const double lat = k * 0.1;
        double x = 0, y = 0;
        exact.Forward(0.0, lat, l, x, y);
        const tervala::GridInverse r = tervala::tmInverse(e, grid, y, x);
        const double d = kPi / 180;
        worst = std::max(worst, a * std::hypot((r.latitude - lat) * d, (r.longitude - l) * d * std::cos(lat * d)));
    }
    return worst;
}

// The offset where the worse of the forward and the inverse error over
// latitudes from..to reaches `limit` metres (bisection, then a scan below
// the answer in steps of 0.05 degrees).
double bothOffsetFor(double a, double invf, double limit, double from, double to)
{
    auto worse = [&](double l) {
        return std::max(worstError(a, invf, l, from, to), worstInverseError(a, invf, l, from, to));
    };
    double lo = 0.5, hi = 60.0;
    for (int i = 0; i < 40; ++i) {
        const double mid = 0.5 * (lo + hi);
        (worse(mid) < limit ? lo : hi) = mid;
    }
    for (double l = 0.5; l < lo; l += 0.05)
        if (worse(l) >= limit)
            return l - 0.05;
    return lo;
}

// Offset in degrees where the worst error over latitudes from..to reaches
// `limit` metres (bisection up to 60 degrees, then a scan in steps of 0.05
// below the answer, so that an error that dips again farther out cannot
// hide an earlier crossing).
double offsetFor(double a, double invf, double limit, double from = 0, double to = 89.9)
{
    double lo = 0.5, hi = 60.0;
    for (int i = 0; i < 40; ++i) {
        const double mid = 0.5 * (lo + hi);
        (worstError(a, invf, mid, from, to) < limit ? lo : hi) = mid;
    }
    for (double l = 0.5; l < lo; l += 0.05)
        if (worstError(a, invf, l, from, to) >= limit)
            return l - 0.05;
    return lo;
}

} // namespace

int main(int argc, char** argv)
{
    const bool latitudeOnly = argc > 1 && std::string(argv[1]) == "--by-latitude";
    if (!latitudeOnly) {
        struct Named {
            const char* name;
            double a, invf;
        };
        const Named named[] = {
            {"WGS84", 6378137.0, 298.257223563},         {"GRS80", 6378137.0, 298.257222101},
            {"Bessel1841", 6377397.155, 299.1528128},    {"Clarke1866", 6378206.4, 294.9786982},
            {"International1924", 6378388.0, 297.0},     {"Krassovsky1940", 6378245.0, 298.3},
            {"Airy1830", 6377563.396, 299.3249646},
        };
        std::printf("| ellipsoid | a (m) | 1/f | offset at 1 mm (deg) | error at 6 deg (mm) | at 12 deg (mm) |\n");
        std::printf("|---|---|---|---|---|---|\n");
        for (const Named& n : named)
            std::printf("| %s | %.3f | %.7f | %.3f | %.3f | %.1f |\n", n.name, n.a, n.invf, offsetFor(n.a, n.invf, 1e-3),
                        1e3 * worstError(n.a, n.invf, 6), 1e3 * worstError(n.a, n.invf, 12));
        // The table tmMaxOffsetDegrees() interpolates from, a = 6378137 m.
        std::printf("\nBy flattening, a = 6378137 m (the rows of tmMaxOffsetDegrees):\n\n| 1/f | offset at 1 mm (deg) |\n|---|---|\n");
        for (double invf : {150.0, 200.0, 250.0, 280.0, 290.0, 294.9786982, 297.0, 298.257222101, 299.1528128, 300.0, 310.0,
                            350.0, 500.0, 1000.0, 10000.0})
            std::printf("| %.9g | %.3f |\n", invf, offsetFor(6378137.0, invf, 1e-3));
        // Larger ellipsoids reach 1 mm sooner: the offset scales about as
        // a^(-1/6); the scaled value must not exceed the measured one.
        std::printf("\nBy semi-major axis, 1/f = 298.257222101:\n\n| a (m) | measured (deg) | (6378137/a)^(1/6) x 6.183 |\n|---|---|---|\n");
        for (double a : {6.0e6, 6378137.0, 6.4e6, 7.0e6, 1.0e7, 3.0e7})
            std::printf("| %g | %.3f | %.3f |\n", a, offsetFor(a, 298.257222101, 1e-3), std::pow(6378137.0 / a, 1.0 / 6) * 6.183);
    }
    // By latitude on GRS80: the rows of legacyMaxOffsetDegrees(), the worst
    // case over each 5-degree band of |latitude| of the forward and of the
    // inverse (given the exact grid coordinates).
    std::printf("\nBy latitude, GRS80 (the rows of legacyMaxOffsetDegrees):\n\n| abs(latitude) (deg) | forward at 1 mm "
                "(deg) | forward and inverse at 1 mm (deg) |\n|---|---|---|\n");
    for (int band = 0; band < 18; ++band) {
        const double from = 5.0 * band, to = std::min(89.9, 5.0 * band + 5);
        std::printf("| %d-%d | %.3f | %.3f |\n", 5 * band, 5 * band + 5, offsetFor(6378137.0, 298.257222101, 1e-3, from, to),
                    bothOffsetFor(6378137.0, 298.257222101, 1e-3, from, to));
    }
    return 0;
}
