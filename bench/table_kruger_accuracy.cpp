// Krueger's series (tervala::TransverseMercator, the default method) against
// GeographicLib's TransverseMercatorExact, by distance from the central
// meridian: position, point scale and convergence of the forward, and the
// ground error of forward then inverse; GeographicLib's own series
// (TransverseMercator, n^6) against the same exact values for comparison.
// GRS80, scale 1, central meridian 0; 4 10^6 points, latitudes uniform in
// [-90, 90] (a quarter within 2 degrees of the equator, where the distance
// grows fastest), longitude offsets uniform in [0, 60] degrees.
#include <cmath>
#include <cstdio>
#include <random>

#include <GeographicLib/TransverseMercator.hpp>
#include <GeographicLib/TransverseMercatorExact.hpp>

#include "tervala/tervala.hpp"

int main()
{
    const tervala::Ellipsoid e = tervala::Ellipsoid::grs80();
    const tervala::TransverseMercator tm(e, 0, 0);
    const GeographicLib::TransverseMercatorExact exact(e.a(), e.flattening(), 1.0);
    const GeographicLib::TransverseMercator series(e.a(), e.flattening(), 1.0);
    const double edges[] = {0, 500, 1000, 2000, 3000, 3900, 4500, 5000, 5500, 6000, 7000};
    constexpr int kBands = sizeof edges / sizeof edges[0] - 1;
    struct Worst {
        double position = 0, scale = 0, convergence = 0, roundTrip = 0, peer = 0;
        long count = 0;
    } worst[kBands];
    std::mt19937_64 rng(2011);
    std::uniform_real_distribution<double> unit(0, 1);
    const double d = 3.14159265358979323846 / 180;
    for (long k = 0; k < 4000000; ++k) {
        const double lat = k % 4 == 0 ? -2 + 4 * unit(rng) : -90 + 180 * unit(rng);
        const double lon = 60 * unit(rng);
        double x, y, gamma, scale;
        exact.Forward(0, lat, lon, x, y, gamma, scale);
        int band = -1;
        for (int b = 0; b < kBands; ++b)
            if (std::fabs(x) >= edges[b] * 1000 && std::fabs(x) < edges[b + 1] * 1000)
                band = b;
        if (band < 0)
            continue;
        Worst& w = worst[band];
        ++w.count;
        const tervala::ProjectedWithScale p = tm.forwardWithScale(lat, lon);
        w.position = std::fmax(w.position, std::hypot(p.easting - x, p.northing - y));
        w.scale = std::fmax(w.scale, std::fabs(p.scale - scale));
        w.convergence = std::fmax(w.convergence, std::fabs(p.convergence - gamma));
        const tervala::Geographic q = tm.inverse(p.easting, p.northing);
        w.roundTrip = std::fmax(w.roundTrip, e.a() * std::hypot((q.latitude - lat) * d,
                                                                 (q.longitude - lon) * d * std::cos(lat * d)));
        double sx, sy;
        series.Forward(0, lat, lon, sx, sy);
        w.peer = std::fmax(w.peer, std::hypot(sx - x, sy - y));
    }
    std::printf("| distance from the central meridian (km) | points | position (nm) | scale | convergence (deg) "
                "| forward then inverse (nm) | GeographicLib TransverseMercator, position (nm) |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (int b = 0; b < kBands; ++b)
        std::printf("| %g-%g | %ld | %.1f | %.1e | %.1e | %.1f | %.1f |\n", edges[b], edges[b + 1], worst[b].count,
                    worst[b].position * 1e9, worst[b].scale, worst[b].convergence, worst[b].roundTrip * 1e9,
                    worst[b].peer * 1e9);
    return 0;
}
