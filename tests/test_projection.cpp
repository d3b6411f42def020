// Transverse Mercator and UTM: published examples, what the caller's
// variables hold afterwards, round trips and symmetry, PROJ and GeographicLib
// as independent oracles by band of distance from the central meridian, and
// unusual input.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/Access.h"
#include "core/Angles.h"
#include "projection/Domain.h"
#include "projection/TransverseMercator.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/TransverseMercatorExact.hpp>
#endif

namespace {

using testsupport::grs80;
using testsupport::kNaN;
using tervala::angles::toRadians;

// A TM grid, or a UTM zone (central meridian and hemisphere flag only).
struct Grid {
    double lat0, lon0, fn, fe, k;
    bool utm = false;
    int hemisphere = 0;
};
Grid utmGrid(double lon0, int hemisphere) { return Grid{0, lon0, 0, 0, 0.9996, true, hemisphere}; }

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
    const double s = std::sin(lat * testsupport::kPi / 180), w = std::sqrt(1 - e2 * s * s);
    const double rho = a * (1 - e2) / (w * w * w), nu = a / w;
    return std::hypot(rho * dLat * testsupport::kPi / 180, nu * std::cos(lat * testsupport::kPi / 180) * dLon * testsupport::kPi / 180);
}

const Grid kKoreanGrid{38, 127, 600000, 200000, 1.0};
const Grid kGrids[] = {kKoreanGrid, {-30, 25, 0, 0, 0.9999}, {0, -3, 0, 500000, 0.9996}, utmGrid(129, 0), utmGrid(153, 1)};

} // namespace

// What each member leaves in the caller's variables: the angles it read in
// degrees come back in radians; the inverse TM writes k0 M(lat0) +
// (northing - fn) into the northing, the southern UTM inverse the northing
// less 10^7; eastings and heights are left alone.
TEST(Projection, CallerVariablesAfterEachMember)
{
    CTervala t = grs80();
    double lat0 = 38, lon0 = 127, lat = 37.5, lon = 127.3, h = 50;
    t.Geodetic_to_TM(lat0, lon0, 600000, 200000, 1.0, lat, lon, h);
    EXPECT_TRUE(lat0 == 38.0 && lon0 == toRadians(127) && lat == toRadians(37.5) && lon == toRadians(127.3) && h == 50);

    double n = 544546.4017, east = 226527.6649;
    lat0 = 38, lon0 = 127;
    t.TM_to_Geodetic(lat0, lon0, 600000, 200000, 0.9999, n, east, h);
    // M(38 deg) on GRS80 from GeographicLib's Geodesic (the meridian distance), metres.
    EXPECT_NEAR(n, 0.9999 * 4207498.0190 + (544546.4017 - 600000), 1e-3);
    EXPECT_TRUE(lat0 == 38.0 && lon0 == toRadians(127) && east == 226527.6649);

    lon0 = 129, lat = 37.5, lon = 127.3;
    t.Geodetic_to_UTM(1, lon0, lat, lon, h);
    EXPECT_TRUE(lon0 == toRadians(129) && lat == toRadians(37.5) && lon == toRadians(127.3) && h == 50);
    for (int flag : {1, 0, 2}) {
        double cm = 153, northing = 6247473.3369, easting = 333568.9410;
        t.UTM_to_Geodetic(flag, cm, northing, easting, h);
        EXPECT_TRUE(cm == toRadians(153) && easting == 333568.9410) << flag;
        EXPECT_EQ(northing, flag == 1 ? 6247473.3369 - 10000000 : 6247473.3369) << flag;
    }
    // One variable passed as latitude and longitude is converted once.
    double v = 10;
    lat0 = 0, lon0 = 9;
    t.Geodetic_to_TM(lat0, lon0, 0, 0, 1, v, v, h);
    const double aliased = t.GetTM(1);
    EXPECT_EQ(v, toRadians(10));
    EXPECT_EQ(forward(t, {0, 9, 0, 0, 1}, 10, 10).b, aliased);
}

// Only the flag value 1 is southern; the south adds exactly the false
// northing; the central meridian maps to easting 500 km.
TEST(Projection, UtmHemisphereFlag)
{
    CTervala t = grs80();
    const Out north = forward(t, utmGrid(9, 0), 47.25, 10.5), south = forward(t, utmGrid(9, 1), 47.25, 10.5);
    EXPECT_TRUE(south.a == north.a + 10000000 && south.b == north.b);
    for (int flag : {2, -1, INT_MAX, INT_MIN}) {
        const Out p = forward(t, utmGrid(9, flag), 47.25, 10.5);
        EXPECT_TRUE(p.a == north.a && p.b == north.b) << flag;
        EXPECT_NEAR(inverse(t, utmGrid(9, flag), north.a, north.b).a, 47.25, 1e-9) << flag;
    }
    const Out eqN = forward(t, utmGrid(9, 0), 0, 9), eqS = forward(t, utmGrid(9, 1), 0, 9);
    EXPECT_TRUE(eqN.a == 0.0 && eqS.a == 10000000.0 && eqN.b == 500000.0);
}

// Against PROJ's tmerc/utm (the extended Poder/Engsager algorithm, named so
// that no local proj.ini can swap in the approximate one) on every grid, by
// band of |lon - lon0|, latitudes -80 .. 80: the forward difference and the
// ground error of our inverse of PROJ's grid coordinates. The limits are the
// measured values of the series (GRS80) with a few per cent of margin; PROJ
// itself is checked against GeographicLib's exact TransverseMercator.
TEST(Projection, AccuracyBandsAgainstProjAndGeographicLib)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ (Debian libproj-dev) is not installed";
#else
    const struct {
        double band, forwardMm, inverseMm;
    } bands[] = {{1, 0.0002, 0.0004}, {2, 0.0020, 0.0006}, {3, 0.0170, 0.0040}, {4.5, 0.160, 0.038}, {6, 0.840, 0.370}};
    double forwardWorst[5] = {}, inverseWorst[5] = {}, oracles = 0;
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
    const GeographicLib::TransverseMercatorExact exact(6378137.0, 1 / 298.257222101, 1.0);
#endif
    CTervala t = grs80();
    for (const Grid& g : kGrids) {
        const std::string ell = " +algo=poder_engsager +a=6378137 +rf=298.257222101";
        char def[200];
        std::snprintf(def, sizeof def, "+proj=tmerc +lat_0=%.17g +lon_0=%.17g +k=%.17g +x_0=%.17g +y_0=%.17g", g.lat0,
                      g.lon0, g.k, g.fe, g.fn);
        const std::string definition =
            g.utm ? "+proj=utm +zone=" + std::to_string(int((g.lon0 + 183) / 6)) + (g.hemisphere == 1 ? " +south" : "") + ell
                  : def + ell;
        const testsupport::ProjOperation proj(definition);
        ASSERT_NE(proj.pj, nullptr) << definition;
        const double fe = g.utm ? 500000 : g.fe;
        double originY = 0;
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
        double unused;
        exact.Forward(0, g.lat0, 0, unused, originY);
#endif
        for (double lat = -80; lat <= 80; lat += 0.5)
            for (double dl = -6; dl <= 6 + 1e-9; dl += 0.1) {
                const double lon = g.lon0 + dl;
                const PJ_COORD c = proj.trans(PJ_FWD, proj_torad(lon), proj_torad(lat), 0);
                const Out ours = forward(t, g, lat, lon), back = inverse(t, g, c.xy.y, c.xy.x);
                const double d = std::hypot(ours.a - c.xy.y, ours.b - c.xy.x);
                const double r = groundDistance(lat, back.a - lat, back.b - lon);
                for (int b = 0; b < 5; ++b)
                    if (std::fabs(dl) <= bands[b].band + 1e-9) {
                        forwardWorst[b] = std::max(forwardWorst[b], d);
                        inverseWorst[b] = std::max(inverseWorst[b], r);
                    }
#ifdef TERVALA_HAVE_GEOGRAPHICLIB
                double x, y;
                exact.Forward(0, lat, dl, x, y);
                const double north = g.k * (y - originY) + (g.utm && g.hemisphere == 1 ? 1e7 : g.fn);
                oracles = std::max(oracles, std::hypot(g.k * x + fe - c.xy.x, north - c.xy.y));
#endif
            }
    }
    for (int b = 0; b < 5; ++b) {
        EXPECT_LE(forwardWorst[b] * 1e3, bands[b].forwardMm) << "within " << bands[b].band << " deg";
        EXPECT_LE(inverseWorst[b] * 1e3, bands[b].inverseMm) << "within " << bands[b].band << " deg";
    }
    EXPECT_LE(oracles, 1e-6);  // PROJ's algorithm is exact far below the limits
#endif
}

// Unusual input returns with IEEE results: the pole, a NaN origin latitude
// (which only shifts the northing), a zero scale factor, an object without
// an ellipsoid.
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
    const Out shifted = forward(t, {kNaN, 127, 0, 5e5, 1}, 10, 127.5);
    EXPECT_TRUE(std::isnan(shifted.a) && std::isfinite(shifted.b));
    EXPECT_TRUE(std::isnan(forward(t, utmGrid(kNaN, 0), 10, 127).b));
    const Grid flat{0, 127, 7, 500000, 0.0};  // zero scale: forward onto the false origin, inverse divides by 0
    const Out p = forward(t, flat, 10, 128), back = inverse(t, flat, 1000, 500100);
    EXPECT_TRUE(p.a == 7.0 && p.b == 500000.0);
    EXPECT_TRUE(!std::isfinite(back.a) && !std::isfinite(back.b));
    CTervala none;  // no ellipsoid: a = b = 0
    EXPECT_TRUE(std::isnan(forward(none, g, 10, 128).a) && std::isnan(inverse(none, g, 1000, 500100).a));
}

// The arc of the latitude of origin, formed from degrees by its own series,
// is the meridian arc, and it is remembered between calls; switching origin
// or ellipsoid in between must neither reuse a stale arc (each origin still
// maps to its false northing) nor change any result bit.
TEST(Projection, RememberedOriginArcFollowsGridAndEllipsoid)
{
    const tervala::EllipsoidConstants e = tervala::TervalaAccess::ellipsoid(grs80());
    for (double d0 = -90; d0 <= 90; d0 += 0.75)
        EXPECT_NEAR(tervala::originArc(e, d0), tervala::meridianArc(e, d0 * testsupport::kPi / 180), 1e-8) << d0;
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

// Longitude reduction, the UTM band and the series' reach
// (tables/domain-values.txt; the rank rows are test_estimation's).
TEST(ProjectionDomain, ValuesFollowTheirTable)
{
    testsupport::checkValueTable(
        "domain-values.txt",
        {{"longitude", [](const auto& x) { return tervala::reduceLongitude(x[0]); }},
         {"utm-band", [](const auto& x) { return double(tervala::inUtmBand(x[0])); }},
         {"tm-reach", [](const auto& x) { return tervala::tmMaxOffsetDegrees(tervala::makeEllipsoid(x[0], x[1])); }},
         {"spread-rank", nullptr},
         {"all-finite", nullptr}});
}
