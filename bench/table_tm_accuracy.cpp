// Prints the Transverse Mercator accuracy table of docs/accuracy.md: on
// GRS80 with scale 0.9996, latitudes 0 to 80 degrees every 0.25 and
// longitude differences every 0.05 degrees, the largest horizontal difference
// of the forward projection from PROJ's exact tmerc (Poder/Engsager), and the
// largest error of forward-then-inverse, by band of distance from the central
// meridian. Also prints how far PROJ itself is from GeographicLib's
// TransverseMercator over the same points, so the oracle's own error is on
// record. Run by `scripts/tables tm-accuracy`.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_PROJ
#include <proj.h>
#endif
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/TransverseMercator.hpp>
#endif

namespace {

const double kPi = 3.14159265358979323846;

// Ground distance in metres of a small latitude/longitude difference
// (degrees) at latitude lat, with GRS80's meridian and prime-vertical radii.
double groundDistance(double lat, double dLat, double dLon)
{
    const double a = 6378137.0, e2 = 0.006694380022900686;
    const double s = std::sin(lat * kPi / 180), w = std::sqrt(1 - e2 * s * s);
    const double rho = a * (1 - e2) / (w * w * w), nu = a / w;
    return std::hypot(rho * dLat * kPi / 180, nu * std::cos(lat * kPi / 180) * dLon * kPi / 180);
}

} // namespace

int main()
{
#ifndef TERVALA_HAVE_PROJ
    std::fprintf(stderr, "table_tm_accuracy: PROJ (Debian libproj-dev) is not installed; no table\n");
    return 1;
#else
    PJ_CONTEXT* ctx = proj_context_create();
    // The exact algorithm is named so that no local proj.ini setting can
    // choose the series instead.
    PJ* pj = proj_create(ctx, "+proj=tmerc +lat_0=0 +lon_0=0 +k=0.9996 +x_0=500000 +y_0=0 +ellps=GRS80 "
                              "+algo=poder_engsager");
    if (pj == nullptr) {
        std::fprintf(stderr, "table_tm_accuracy: PROJ refused the tmerc definition\n");
        return 1;
    }
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
    const GeographicLib::TransverseMercator exact(6378137.0, 1 / 298.257222101, 0.9996);
#endif
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257222101);
    const double bands[] = {1, 2, 3, 4.5, 6};
    double diff[5] = {}, trip[5] = {}, tripDeg[5] = {}, oracles = 0;
    for (int i = 0; i <= 320; ++i) {
        const double lat = i * 0.25;
        for (int j = -120; j <= 120; ++j) {
            const double lon = j * 0.05;
            double lat0 = 0, lon0 = 0, la = lat, lo = lon, h = 0;
            t.Geodetic_to_TM(lat0, lon0, 0, 500000, 0.9996, la, lo, h);
            double n = t.GetTM(0), e = t.GetTM(1);
            const PJ_COORD p = proj_trans(pj, PJ_FWD, proj_coord(proj_torad(lon), proj_torad(lat), 0, 0));
            const double d = std::hypot(n - p.enu.n, e - p.enu.e);
            lat0 = 0;
            lon0 = 0;
            t.TM_to_Geodetic(lat0, lon0, 0, 500000, 0.9996, n, e, h);
            const double backLat = t.GetGeodetic(0), backLon = t.GetGeodetic(1);
            const double r = groundDistance(lat, backLat - lat, backLon - lon);
            const double rDeg = std::max(std::fabs(backLat - lat), std::fabs(backLon - lon));
            for (int b = 0; b < 5; ++b)
                if (std::fabs(lon) <= bands[b] + 1e-9) {
                    diff[b] = std::max(diff[b], d);
                    trip[b] = std::max(trip[b], r);
                    tripDeg[b] = std::max(tripDeg[b], rDeg);
                }
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
            double x, y;
            exact.Forward(0, lat, lon, x, y);
            oracles = std::max(oracles, std::hypot(x + 500000 - p.enu.e, y - p.enu.n));
#endif
        }
    }
    std::printf("| \\|λ − λ0\\| up to | vs PROJ tmerc, mm | round trip, mm | round trip, degrees |\n");
    std::printf("|---|---|---|---|\n");
    for (int b = 0; b < 5; ++b)
        std::printf("| %g° | %.4f | %.4f | %.1e |\n", bands[b], diff[b] * 1e3, trip[b] * 1e3, tripDeg[b]);
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
    std::printf("\nPROJ tmerc against GeographicLib TransverseMercator over the same points: %.2g mm\n", oracles * 1e3);
#endif
    proj_destroy(pj);
    proj_context_destroy(ctx);
    return 0;
#endif
}
