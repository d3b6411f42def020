// Prints the network-size table of docs/estimation.md: ten common points in
// square networks of 1, 10, 100 and 1000 km round 37.5 N 127 E, targets made
// with one seven-parameter shift plus 1 cm of Gaussian noise (fixed seed),
// fitted with both seven-parameter estimators. Standard deviations are the
// square roots of the covariance diagonals. Run by
// `scripts/tables estimation-networks`.
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "tervala/Tervala.h"

int main()
{
    const double shift[7] = {-115.80, 474.99, 674.11, 6.43, 1.16, -2.31, -1.63};
    const double sizesKm[] = {1, 10, 100, 1000};
    const int points = 10;
    std::printf(
        "| network | σ (m) | Bursa-Wolf sd of tx, ty, tz | Molodensky-Badekas sd of tx, ty, tz | sd of s | sd of rx, "
        "ry, rz | Bursa-Wolf correlation of tx, ry |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    for (double km : sizesKm) {
        std::mt19937_64 rng(7);
        std::uniform_real_distribution<double> offset(-0.5, 0.5), height(0, 100);
        std::normal_distribution<double> noise(0, 0.01);
        CTervala t;
        t.Setup_Ellipsoid(6378137.0, 298.257222101);
        t.SetParameters_Bursa_WolfModel(shift[0], shift[1], shift[2], shift[3], shift[4], shift[5], shift[6]);
        // A degree of latitude is about 111 km; longitude degrees shrink by cos(lat).
        const double spanLat = km / 111.0, spanLon = km / (111.0 * std::cos(37.5 * 3.14159265358979 / 180));
        std::vector<double> source, target;
        for (int k = 0; k < points; ++k) {
            double lat = 37.5 + offset(rng) * spanLat, lon = 127.0 + offset(rng) * spanLon, h = height(rng);
            t.Geodetic_to_Geocentric(lat, lon, h);
            const double X = t.GetGeocentric(0), Y = t.GetGeocentric(1), Z = t.GetGeocentric(2);
            t.Bursa_WolfModel(X, Y, Z);
            source.insert(source.end(), {X, Y, Z});
            target.insert(target.end(), {t.GetGeocentric(0) + noise(rng), t.GetGeocentric(1) + noise(rng),
                                         t.GetGeocentric(2) + noise(rng)});
        }
        const int n = 3 * points;
        CTervala bw, mb;
        std::vector<double> s1 = source, t1 = target, s2 = source, t2 = target;
        bw.SevenParameters_Bursa_WolfModel(n, s1.data(), t1.data());
        mb.SevenParameters_Molodensky_BadekasModel(n, s2.data(), t2.data());
        auto sd = [](CTervala& o, int i) { return std::sqrt(o.GetSevenCovariance(i, i)); };
        const double correlation = bw.GetSevenCovariance(0, 5) / (sd(bw, 0) * sd(bw, 5));
        std::printf("| %g km | %.4f | %.2g, %.2g, %.2g | %.2g, %.2g, %.2g | %.2g | %.2g, %.2g, %.2g | %.2f |\n", km,
                    bw.GetSigma(), sd(bw, 0), sd(bw, 1), sd(bw, 2), sd(mb, 0), sd(mb, 1), sd(mb, 2), sd(bw, 3),
                    sd(bw, 4), sd(bw, 5), sd(bw, 6), correlation);
    }
    return 0;
}
