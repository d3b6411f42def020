// Transverse Mercator and UTM: published examples, what the caller's
// variables hold afterwards, round trips, symmetry, PROJ as an independent
// oracle, the accuracy table of the README, and unusual input.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/Access.h"
#include "core/Angles.h"
#include "projection/TransverseMercator.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/TransverseMercator.hpp>
#endif

namespace {

using testsupport::grs80;
using testsupport::kNaN;

// A TM grid, or a UTM zone (central meridian and hemisphere flag only).
struct Grid {
    double lat0, lon0, fn, fe, k;
    bool utm = false;
    int hemisphere = 0;
};

Grid utmGrid(double lon0, int hemisphere) { return Grid{0, lon0, 0, 0, 0, true, hemisphere}; }

struct Out {
    double a, b;  // northing, easting or latitude, longitude
};

// The members with fresh copies of every argument, as a host should call them.
Out forward(CTervala& t, const Grid& g, double lat, double lon, double h = 0)
{
    double lat0 = g.lat0, lon0 = g.lon0;
    if (g.utm) {
        t.Geodetic_to_UTM(g.hemisphere, lon0, lat, lon, h);
        return Out{t.GetUTM(0), t.GetUTM(1)};
    }
    t.Geodetic_to_TM(lat0, lon0, g.fn, g.fe, g.k, lat, lon, h);
    return Out{t.GetTM(0), t.GetTM(1)};
}

Out inverse(CTervala& t, const Grid& g, double n, double e, double h = 0)
{
    double lat0 = g.lat0, lon0 = g.lon0;
    if (g.utm)
        t.UTM_to_Geodetic(g.hemisphere, lon0, n, e, h);
    else
        t.TM_to_Geodetic(lat0, lon0, g.fn, g.fe, g.k, n, e, h);
    return Out{t.GetGeodetic(0), t.GetGeodetic(1)};
}

// Ground distance in metres of a small latitude/longitude difference
// (degrees) at latitude lat, with GRS80's meridian and prime-vertical radii.
double groundDistance(double lat, double dLat, double dLon)
{
    const double a = 6378137.0, e2 = 0.006694380022900686;
    const double s = std::sin(lat * M_PI / 180), w = std::sqrt(1 - e2 * s * s);
    const double rho = a * (1 - e2) / (w * w * w), nu = a / w;
    return std::hypot(rho * dLat * M_PI / 180, nu * std::cos(lat * M_PI / 180) * dLon * M_PI / 180);
}

const Grid kKoreanGrid{38, 127, 600000, 200000, 1.0};
const Grid kGrids[] = {kKoreanGrid, {-30, 25, 0, 0, 0.9999}, {0, -3, 0, 500000, 0.9996},
                       utmGrid(129, 0), utmGrid(153, 1)};

} // namespace

// Published examples on GRS80, forward to 0.1 mm, and their grid values back.
TEST(Projection, WorkedExamples)
{
    struct Case {
        Grid grid;
        double lat, lon, northing, easting;
    } cases[] = {
        {kKoreanGrid, 37.5, 127.3, 544546.4017, 226527.6649},
        {utmGrid(129, 0), 37.5, 127.3, 4151698.6705, 349731.1112},
        {utmGrid(153, 1), -33.9, 151.2, 6247473.3369, 333568.9410},
    };
    CTervala t = grs80();
    for (const Case& c : cases) {
        const Out p = forward(t, c.grid, c.lat, c.lon, 50.0);
        EXPECT_NEAR(p.a, c.northing, 1e-4) << c.lat;
        EXPECT_NEAR(p.b, c.easting, 1e-4) << c.lat;
        EXPECT_EQ((c.grid.utm ? t.GetUTM(2) : t.GetTM(2)), 50.0);
        const Out g = inverse(t, c.grid, c.northing, c.easting, 50.0);
        EXPECT_NEAR(g.a, c.lat, 1e-9);
        EXPECT_NEAR(g.b, c.lon, 1e-9);
        EXPECT_EQ(t.GetGeodetic(2), 50.0);
    }
}

// What each member leaves in the caller's variables: degrees read, radians
// written back, the arc value and the shifted northing written back.
TEST(Projection, CallerVariablesAfterEachMember)
{
    using tervala::angles::toRadians;
    CTervala t = grs80();
    double lat0 = 38, lon0 = 127, lat = 37.5, lon = 127.3, h = 50;
    t.Geodetic_to_TM(lat0, lon0, 600000, 200000, 1.0, lat, lon, h);
    EXPECT_EQ(lat0, 38.0);
    EXPECT_EQ(lon0, toRadians(127));
    EXPECT_EQ(lat, 0.6544984694978736);
    EXPECT_EQ(lon, toRadians(127.3));
    EXPECT_EQ(h, 50.0);

    // The inverse writes k0 M(lat0) + (northing - fn) into the northing.
    const double k0 = 0.9999, fn = 600000;
    const tervala::EllipsoidConstants e = tervala::TervalaAccess::ellipsoid(t);
    double n = 544546.4017, east = 226527.6649;
    lat0 = 38, lon0 = 127;
    t.TM_to_Geodetic(lat0, lon0, fn, 200000, k0, n, east, h);
    const double first = t.GetGeodetic(0);
    EXPECT_NEAR(n, k0 * tervala::meridianArc(e, 38 * M_PI / 180) + (544546.4017 - fn), 1e-6);
    EXPECT_EQ(lat0, 38.0);
    EXPECT_EQ(lon0, toRadians(127));
    EXPECT_EQ(east, 226527.6649);
    // Reusing the variables does not repeat the first result.
    t.TM_to_Geodetic(lat0, lon0, fn, 200000, k0, n, east, h);
    EXPECT_GT(std::fabs(t.GetGeodetic(0) - first), 1.0);

    lon0 = 129, lat = 37.5, lon = 127.3;
    t.Geodetic_to_UTM(1, lon0, lat, lon, h);
    EXPECT_EQ(lon0, toRadians(129));
    EXPECT_EQ(lat, toRadians(37.5));
    EXPECT_EQ(lon, toRadians(127.3));
    EXPECT_EQ(h, 50.0);
    for (int flag : {1, 0, 2}) {
        double cm = 153, northing = 6247473.3369, easting = 333568.9410;
        t.UTM_to_Geodetic(flag, cm, northing, easting, h);
        EXPECT_EQ(cm, toRadians(153));
        EXPECT_EQ(northing, flag == 1 ? 6247473.3369 - 10000000 : 6247473.3369) << flag;
        EXPECT_EQ(easting, 333568.9410);
    }

    // One variable passed as latitude and longitude is converted once.
    double v = 10;
    lat0 = 0, lon0 = 9;
    t.Geodetic_to_TM(lat0, lon0, 0, 0, 1, v, v, h);
    EXPECT_EQ(v, toRadians(10));
    const double aliased = t.GetTM(1);
    EXPECT_EQ(forward(t, {0, 9, 0, 0, 1}, 10, 10).b, aliased);
}

// Only the flag value 1 is southern; the south adds exactly the false northing.
TEST(Projection, UtmHemisphereFlag)
{
    CTervala t = grs80();
    const Out north = forward(t, utmGrid(9, 0), 47.25, 10.5);
    for (int flag : {2, -1, INT_MAX, INT_MIN}) {
        const Out p = forward(t, utmGrid(9, flag), 47.25, 10.5);
        EXPECT_EQ(p.a, north.a) << flag;
        EXPECT_EQ(p.b, north.b) << flag;
        const Out g = inverse(t, utmGrid(9, flag), north.a, north.b);
        EXPECT_NEAR(g.a, 47.25, 1e-9) << flag;
    }
    const Out south = forward(t, utmGrid(9, 1), 47.25, 10.5);
    EXPECT_EQ(south.a, north.a + 10000000);
    EXPECT_EQ(south.b, north.b);
    const Out eqN = forward(t, utmGrid(9, 0), 0, 9), eqS = forward(t, utmGrid(9, 1), 0, 9);
    EXPECT_EQ(eqN.a, 0.0);
    EXPECT_EQ(eqS.a, 10000000.0);
    EXPECT_EQ(eqN.b, 500000.0);
}

// Forward then inverse within 1e-9 deg up to 80 deg latitude and 3 deg from
// the central meridian, both hemispheres and sides; mirror images about the
// central meridian project to mirror images.
TEST(Projection, RoundTripAndSymmetry)
{
    CTervala t = grs80();
    double worst = 0;
    for (const Grid& g : kGrids) {
        const double fe = g.utm ? 500000 : g.fe;
        for (double lat = -80; lat <= 80; lat += 2.5) {
            for (double dl = 0; dl <= 3; dl += 0.375) {
                const Out east = forward(t, g, lat, g.lon0 + dl), west = forward(t, g, lat, g.lon0 - dl);
                EXPECT_NEAR(east.a, west.a, 1e-8) << lat << " " << dl;
                EXPECT_NEAR(east.b - fe, fe - west.b, 1e-8) << lat << " " << dl;
                for (double side : {1.0, -1.0}) {
                    const Out back = side > 0 ? inverse(t, g, east.a, east.b) : inverse(t, g, west.a, west.b);
                    worst = std::max({worst, std::fabs(back.a - lat), std::fabs(back.b - (g.lon0 + side * dl))});
                }
            }
        }
    }
    EXPECT_LE(worst, 1e-9);
}

#ifdef TERVALA_HAVE_PROJ
namespace {

// PROJ's operation for a grid, degrees in and grid metres out. The extended
// (Poder/Engsager) algorithm is named so that no local proj.ini setting can
// swap in the approximate one.
std::string projDefinition(const Grid& g)
{
    const std::string ell = " +algo=poder_engsager +a=6378137 +rf=298.257222101";
    if (g.utm)
        return "+proj=utm +zone=" + std::to_string(static_cast<int>((g.lon0 + 183) / 6)) +
               (g.hemisphere == 1 ? " +south" : "") + ell;
    char def[200];
    std::snprintf(def, sizeof def, "+proj=tmerc +lat_0=%.17g +lon_0=%.17g +k=%.17g +x_0=%.17g +y_0=%.17g", g.lat0,
                  g.lon0, g.k, g.fe, g.fn);
    return def + ell;
}

struct ProjTm : testsupport::ProjOperation {
    using ProjOperation::ProjOperation;
    Out forward(double lat, double lon) const
    {
        const PJ_COORD c = trans(PJ_FWD, proj_torad(lon), proj_torad(lat), 0);
        return Out{c.xy.y, c.xy.x};
    }
};

} // namespace
#endif

// PROJ's tmerc and utm agree with ours within 1 mm both ways over a grid of
// points within 3 deg of the central meridian.
TEST(Projection, AgreesWithProjWithinThreeDegrees)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ (Debian libproj-dev) is not installed";
#else
    CTervala t = grs80();
    for (const Grid& g : kGrids) {
        const ProjTm proj(projDefinition(g));
        ASSERT_NE(proj.pj, nullptr) << projDefinition(g);
        double worstForward = 0, worstInverse = 0;
        for (double la = -80; la <= 80; la += 4)
            for (double dl = -3; dl <= 3; dl += 0.5) {
                const double lo = g.lon0 + dl;
                const Out ours = forward(t, g, la, lo), peer = proj.forward(la, lo);
                worstForward = std::max(worstForward, std::hypot(ours.a - peer.a, ours.b - peer.b));
                const Out back = inverse(t, g, peer.a, peer.b);
                worstInverse = std::max(worstInverse, groundDistance(la, back.a - la, back.b - lo));
            }
        EXPECT_LE(worstForward, 1e-3) << projDefinition(g);
        EXPECT_LE(worstInverse, 1e-3) << projDefinition(g);
    }
#endif
}

// The accuracy table of the README: the largest difference from PROJ's
// tmerc (forward) and the largest forward-then-inverse error, by band of
// |lon - lon0|, latitudes 0..80 deg, GRS80, UTM scale. Prints the table.
TEST(Projection, AccuracyTableAgainstProjTmerc)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ (Debian libproj-dev) is not installed";
#else
    const Grid g{0, 0, 0, 500000, 0.9996};
    const ProjTm proj(projDefinition(g));
    ASSERT_NE(proj.pj, nullptr) << projDefinition(g);
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
    const GeographicLib::TransverseMercator peer2(6378137.0, 1 / 298.257222101, 0.9996);
#endif
    const double bands[] = {1, 2, 3, 4.5, 6};
    double diff[5] = {}, trip[5] = {}, tripDeg[5] = {}, oracles = 0;
    CTervala t = grs80();
    for (int i = 0; i <= 320; ++i) {
        const double lat = i * 0.25;
        for (int j = -120; j <= 120; ++j) {
            const double lon = j * 0.05;
            const Out ours = forward(t, g, lat, lon), peer = proj.forward(lat, lon);
            const double d = std::hypot(ours.a - peer.a, ours.b - peer.b);
            const Out back = inverse(t, g, ours.a, ours.b);
            const double r = groundDistance(lat, back.a - lat, back.b - lon);
            const double rDeg = std::max(std::fabs(back.a - lat), std::fabs(back.b - lon));
            for (int b = 0; b < 5; ++b)
                if (std::fabs(lon) <= bands[b] + 1e-9) {
                    diff[b] = std::max(diff[b], d);
                    trip[b] = std::max(trip[b], r);
                    tripDeg[b] = std::max(tripDeg[b], rDeg);
                }
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
            double x, y;
            peer2.Forward(0, lat, lon, x, y);
            oracles = std::max(oracles, std::hypot(x + 500000 - peer.b, y - peer.a));
#endif
        }
    }
    std::printf("| \\|λ − λ0\\| up to | vs PROJ tmerc, mm | round trip, mm | round trip, degrees |\n");
    std::printf("|---|---|---|---|\n");
    for (int b = 0; b < 5; ++b)
        std::printf("| %g° | %.4f | %.4f | %.1e |\n", bands[b], diff[b] * 1e3, trip[b] * 1e3, tripDeg[b]);
    std::printf("[ oracles ] PROJ tmerc vs GeographicLib TransverseMercator: %.3g mm\n", oracles * 1e3);
    EXPECT_LE(diff[2], 1e-3);
    EXPECT_LE(tripDeg[2], 1e-9);
    EXPECT_LE(oracles, 1e-6);  // the oracle itself is exact to far below the figures
#endif
}

// Unusual input returns with IEEE results: the pole of the grid, NaN that
// propagates, a zero scale factor, an object without an ellipsoid.
TEST(Projection, UnusualInputReturns)
{
    CTervala t = grs80();
    const Grid g{0, 127, 0, 500000, 0.9996};
    const double pole = 0.9996 * 10001965.7293;  // the quarter meridian of GRS80
    for (double lat : {90.0, -90.0}) {
        const Out p = forward(t, g, lat, 130);
        EXPECT_NEAR(p.a, std::copysign(pole, lat), 1e-3);
        EXPECT_NEAR(p.b, 500000, 1e-3);
        EXPECT_NEAR(inverse(t, g, p.a, p.b).a, lat, 1e-9);
    }
    struct BadCase {
        Grid grid;
        double lat, lon;
        bool northingFinite, eastingFinite;
    } badCases[] = {
        {g, kNaN, 127, false, false},
        {g, 10, kNaN, false, false},
        {g, 10, INFINITY, false, false},
        {{0, kNaN, 0, 5e5, 1}, 10, 127, false, false},
        {{kNaN, 127, 0, 5e5, 1}, 10, 127, false, true},  // the origin only shifts the northing
        {utmGrid(kNaN, 0), 10, 127, false, false},
    };
    for (const BadCase& c : badCases) {
        const Out p = forward(t, c.grid, c.lat, c.lon);
        EXPECT_EQ(std::isfinite(p.a), c.northingFinite) << c.lat << " " << c.lon;
        EXPECT_EQ(std::isfinite(p.b), c.eastingFinite) << c.lat << " " << c.lon;
    }
    for (const Out& grid : {Out{kNaN, 5e5}, Out{1e6, kNaN}}) {
        const Out back = inverse(t, g, grid.a, grid.b);
        EXPECT_TRUE(std::isnan(back.a) && std::isnan(back.b));
    }

    // Zero scale: the forward collapses onto the false origin, the inverse
    // divides by zero.
    const Grid flat{0, 127, 7, 500000, 0.0};
    const Out p = forward(t, flat, 10, 128);
    EXPECT_EQ(p.a, 7.0);
    EXPECT_EQ(p.b, 500000.0);
    const Out back = inverse(t, flat, 1000, 500100);
    EXPECT_FALSE(std::isfinite(back.a));
    EXPECT_FALSE(std::isfinite(back.b));

    CTervala none;  // no ellipsoid: a = b = 0
    EXPECT_TRUE(std::isnan(forward(none, g, 10, 128).a));
    EXPECT_TRUE(std::isnan(inverse(none, g, 1000, 500100).a));
}

// The arc of the latitude of origin, formed from degrees by its own series,
// is the meridian arc, and it is remembered between calls; switching origin
// or ellipsoid in between must neither reuse a stale arc (each origin still
// maps to its false northing) nor change any result bit.
TEST(Projection, RememberedOriginArcFollowsGridAndEllipsoid)
{
    const tervala::EllipsoidConstants e = tervala::TervalaAccess::ellipsoid(grs80());
    for (double d0 = -90; d0 <= 90; d0 += 0.75)
        EXPECT_NEAR(tervala::originArc(e, d0), tervala::meridianArc(e, d0 * M_PI / 180), 1e-8) << d0;
    CTervala objects[2] = {grs80(), CTervala()};
    objects[1].Setup_Ellipsoid(6377397.155, 299.1528128);
    const Grid grids[] = {{38, 127, 600000, 200000, 1.0}, {-38, 127, 600000, 200000, 1.0}, {0, 127, 0, 0, 1}};
    double first[2][3];
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < 3; ++i)
            for (int o = 0; o < 2; ++o) {
                const Grid& g = grids[i];
                EXPECT_NEAR(forward(objects[o], g, g.lat0, g.lon0).a, g.fn, 1e-6) << o << " " << g.lat0;
                const double n = forward(objects[o], g, 37.5, 127.3).a;
                if (pass == 0)
                    first[o][i] = n;
                else
                    EXPECT_EQ(n, first[o][i]) << o << " " << g.lat0;
            }
}
