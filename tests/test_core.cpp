// The object, its accessors, the ellipsoid and the geocentric conversions.
#include <cmath>
#include <cstdlib>
#include <limits>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/Access.h"
#include "core/Angles.h"
#include "core/Ellipsoid.h"
#include "platform/DataFolder.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geocentric.hpp>
#endif

namespace {

using testsupport::grs80;

struct NamedEllipsoid {
    const char* name;
    double a;
    double inverseFlattening;
};

const NamedEllipsoid kEllipsoids[] = {
    {"GRS80", 6378137.0, 298.257222101},
    {"WGS84", 6378137.0, 298.257223563},
    {"Bessel 1841", 6377397.155, 299.1528128},
};

} // namespace

TEST(Object, FreshObjectHoldsTheConstructorValues)
{
    CTervala t;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(t.GetHeightParameters(i), 0.0);
    EXPECT_EQ(t.GetHeightMeanaccuracy(), 0.0);
    EXPECT_EQ(tervala::TervalaAccess::interpWindow(t), 6);
    EXPECT_EQ(tervala::TervalaAccess::gridMargin(t), 7);
    EXPECT_EQ(tervala::TervalaAccess::grid(t), nullptr);
    EXPECT_TRUE(std::isnan(t.GetResidual(1)));
}

// Array accessors count from 0 and return NaN outside their range; the two
// names of the geocentric accessor are one. Residual accessors count from 1:
// no element 0, NaN past the end, and asking never grows the matrix.
TEST(Object, AccessorIndexSemantics)
{
    CTervala t = grs80();
    double lat = 10, lon = 20, h = 30;
    t.Geodetic_to_Geocentric(lat, lon, h);
    for (int i = -1; i <= 3; ++i) {
        const double a = t.GetGeocentric(i), b = t.GetTrans_GeoCentric(i);
        EXPECT_TRUE(a == b || (std::isnan(a) && std::isnan(b))) << i;
    }
    const double outside[] = {t.GetGeocentric(3), t.GetGeocentric(-1), t.GetGeodetic(3), t.GetTM(-5), t.GetUTM(3),
                              t.Get2DH(3), t.GetdLLH(3), t.Get2DHelmertParameters(4), t.Get2DHelmertCovariance(0, 4),
                              t.Get2DHelmertCovariance(4, 0), t.GetHeightParameters(3), t.GetRotOrigin(3),
                              t.GetSevenParameters(7), t.GetSevenCovariance(7, 0), t.GetSevenCovariance(0, -1),
                              t.GetResidual2D(0), t.GetResidualH(1), t.GetResidual(1000000)};
    for (std::size_t k = 0; k < std::size(outside); ++k)
        EXPECT_TRUE(std::isnan(outside[k])) << "case " << k;
    EXPECT_EQ(tervala::TervalaAccess::residual(t).Rows(), 0);
}

TEST(Object, CopyAssignAndSelfAssignAreIndependent)
{
    CTervala original = grs80();
    double lat = 37.5, lon = 127.0, h = 100.0;
    original.Geodetic_to_Geocentric(lat, lon, h);

    CTervala copy(original);
    EXPECT_EQ(copy.GetGeocentric(0), original.GetGeocentric(0));
    // The copy has its own ellipsoid: changing it leaves the original alone.
    copy.Setup_Ellipsoid(6377397.155, 299.1528128);
    double X = original.GetGeocentric(0), Y = original.GetGeocentric(1), Z = original.GetGeocentric(2);
    copy.Geocentric_to_Geodetic(X, Y, Z);
    original.Geocentric_to_Geodetic(X, Y, Z);
    EXPECT_NEAR(original.GetGeodetic(2), 100.0, 1e-8);
    EXPECT_GT(std::fabs(copy.GetGeodetic(2) - 100.0), 1.0);

    CTervala assigned;
    assigned = original;
    EXPECT_EQ(assigned.GetGeodetic(2), original.GetGeodetic(2));
    double X2 = 1e6, Y2 = 2e6, Z2 = 5e6;
    assigned.Geocentric_to_Geodetic(X2, Y2, Z2);
    EXPECT_NE(assigned.GetGeodetic(0), original.GetGeodetic(0));

    CTervala& self = original;
    const double before[3] = {original.GetGeodetic(0), original.GetGeodetic(1), original.GetGeodetic(2)};
    original = self;
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(original.GetGeodetic(i), before[i]);
    EXPECT_EQ(tervala::TervalaAccess::ellipsoid(original).a, 6378137.0);
}

// The constants of the GRS80 example, each as double arithmetic gives it.
TEST(Ellipsoid, Grs80Constants)
{
    const tervala::EllipsoidConstants e = tervala::makeEllipsoid(6378137.0, 298.257222101);
    EXPECT_EQ(e.b, 6356752.314140356);
    EXPECT_EQ(e.e2, 0.006694380022900686);
    EXPECT_EQ(e.ep2, 0.006739496775478856);
    EXPECT_EQ(e.n, 0.0016792203946287211);
    EXPECT_EQ(e.arcAlpha, 6367449.145771049);
    EXPECT_EQ(e.arcBeta, -0.002518827928487715);
    EXPECT_EQ(e.footBeta, 0.002518826596765169);
    EXPECT_EQ(e.footAlpha, e.arcAlpha);
}

// The meridian arc and the footpoint series invert each other, and the arc
// to the pole is the ellipsoid's quarter meridian (GRS80: 10001965.7293 m).
TEST(Ellipsoid, MeridianArcAndFootpointAreInverse)
{
    const tervala::EllipsoidConstants e = tervala::makeEllipsoid(6378137.0, 298.257222101);
    EXPECT_NEAR(tervala::meridianArc(e, tervala::PI / 2), 10001965.7293, 1e-4);
    for (double deg = -89.0; deg <= 89.0; deg += 0.5) {
        const double phi = tervala::angles::toRadians(deg);
        const double mu = tervala::meridianArc(e, phi) / e.footAlpha;
        EXPECT_NEAR(tervala::footpointLatitude(e, mu), phi, 2e-12) << deg;
    }
}

TEST(Geocentric, WorkedExampleThereAndBack)
{
    CTervala t = grs80();
    double lat = 37.5, lon = 127.0, h = 100.0;
    t.Geodetic_to_Geocentric(lat, lon, h);
    EXPECT_NEAR(t.GetGeocentric(0), -3049086.2377, 5e-5);
    EXPECT_NEAR(t.GetGeocentric(1), 4046274.1025, 5e-5);
    EXPECT_NEAR(t.GetGeocentric(2), 3861624.9748, 5e-5);
    // The caller's angles hold radians now; the height is untouched.
    EXPECT_EQ(lat, 0.6544984694978736);
    EXPECT_EQ(lon, tervala::angles::toRadians(127.0));
    EXPECT_EQ(h, 100.0);

    double X = t.GetGeocentric(0), Y = t.GetGeocentric(1), Z = t.GetGeocentric(2);
    const double Xin = X, Yin = Y, Zin = Z;
    t.Geocentric_to_Geodetic(X, Y, Z);
    EXPECT_NEAR(t.GetGeodetic(0), 37.5, 1e-12);
    EXPECT_NEAR(t.GetGeodetic(1), 127.0, 1e-12);
    EXPECT_NEAR(t.GetGeodetic(2), 100.0, 1e-8);
    EXPECT_EQ(X, Xin);
    EXPECT_EQ(Y, Yin);
    EXPECT_EQ(Z, Zin);
}

TEST(Geocentric, LongitudeQuadrantsAndPolarAxis)
{
    CTervala t = grs80();
    const double b = tervala::TervalaAccess::ellipsoid(t).b;
    struct Case {
        double X, Y, Z;
        double lat, lon, h;  // NaN where only the sign matters
    } cases[] = {
        {-6378137.0, +0.0, 0.0, 0.0, 180.0, 0.0},
        {0.0, 0.0, b + 10.0, 90.0, 0.0, 10.0},
        {0.0, 0.0, -(b + 25.0), -90.0, 0.0, 25.0},
        {0.0, 0.0, 0.0, 0.0, 0.0, -b},
        {-0.0, -0.0, 1000.0, 90.0, -180.0, 1000.0 - b},
    };
    for (const Case& c : cases) {
        double X = c.X, Y = c.Y, Z = c.Z;
        t.Geocentric_to_Geodetic(X, Y, Z);
        EXPECT_NEAR(t.GetGeodetic(0), c.lat, 1e-12) << c.X << " " << c.Y << " " << c.Z;
        EXPECT_NEAR(t.GetGeodetic(1), c.lon, 1e-12) << c.X << " " << c.Y << " " << c.Z;
        EXPECT_NEAR(t.GetGeodetic(2), c.h, 1e-8) << c.X << " " << c.Y << " " << c.Z;
    }
    double X = 4e6, Y = -1e6, Z = 4e6;
    t.Geocentric_to_Geodetic(X, Y, Z);
    EXPECT_LT(t.GetGeodetic(1), 0.0);
}

// No input may hang the iteration (the pass count is bounded, so the extreme
// points below return); non-finite input gives NaN.
TEST(Geocentric, NonFiniteAndExtremeInputReturns)
{
    CTervala t = grs80();
    const double inf = std::numeric_limits<double>::infinity(), nan = testsupport::kNaN;
    const double points[][3] = {{nan, 1, 1},          {1, nan, 1},    {1, 1, nan}, {inf, 0, 0}, {0, -inf, 0},
                                {0, 0, inf},          {1e-300, 0, 6356752.0}, {1e308, 1e308, 1e308},
                                {1e-300, 1e-300, -1e-300}};
    for (const auto& p : points) {
        double X = p[0], Y = p[1], Z = p[2];
        t.Geocentric_to_Geodetic(X, Y, Z);
        const bool finite = std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2]);
        for (int i = 0; i < 3 && !finite; ++i)
            EXPECT_TRUE(std::isnan(t.GetGeodetic(i))) << p[0] << " " << p[1] << " " << p[2];
    }
    double lat = nan, lon = 0, h = 0;
    t.Geodetic_to_Geocentric(lat, lon, h);
    EXPECT_TRUE(std::isnan(t.GetGeocentric(0)));
}

// GeographicLib's exact geocentric conversion is the independent oracle.
TEST(Geocentric, AgreesWithGeographicLib)
{
#ifndef TERVALA_HAVE_GEOGRAPHICLIB
    GTEST_SKIP() << "GeographicLib (Debian libgeographiclib-dev) is not installed";
#else
    for (const NamedEllipsoid& ell : kEllipsoids) {
        const GeographicLib::Geocentric peer(ell.a, 1 / ell.inverseFlattening);
        CTervala t;
        t.Setup_Ellipsoid(ell.a, ell.inverseFlattening);
        double worst[4] = {};  // forward (m); inverse latitude, longitude (degrees), height (m)
        for (double latDeg = -89.5; latDeg <= 89.5; latDeg += 4.75) {
            for (double lonDeg = -179.0; lonDeg <= 180.0; lonDeg += 23.0) {
                for (double h : {-1000.0, 0.0, 123.456, 8848.0, 1e5, 1e6, 1e7}) {
                    SCOPED_TRACE(::testing::Message() << ell.name << " " << latDeg << " " << lonDeg << " " << h);
                    double X, Y, Z, pLat, pLon, pH;
                    peer.Forward(latDeg, lonDeg, h, X, Y, Z);
                    double lat = latDeg, lon = lonDeg, height = h;
                    t.Geodetic_to_Geocentric(lat, lon, height);
                    t.Geocentric_to_Geodetic(X, Y, Z);
                    peer.Reverse(X, Y, Z, pLat, pLon, pH);
                    const double d[4] = {std::max({std::fabs(t.GetGeocentric(0) - X), std::fabs(t.GetGeocentric(1) - Y),
                                                   std::fabs(t.GetGeocentric(2) - Z)}),
                                         std::fabs(t.GetGeodetic(0) - pLat), std::fabs(t.GetGeodetic(1) - pLon),
                                         std::fabs(t.GetGeodetic(2) - pH)};
                    // Forward: a few units in the last place of the geocentric
                    // distance. Inverse: the stored height comes from the
                    // latitude that entered the last pass, which may still be
                    // up to 1e-14 rad off; p / cos(lat) turns that into
                    // (N + h) tan(lat) 1e-14 m.
                    EXPECT_LE(d[0], 4 * std::numeric_limits<double>::epsilon() * std::sqrt(X * X + Y * Y + Z * Z));
                    EXPECT_LE(d[1], 1e-11);
                    EXPECT_LE(d[2], 1e-11);
                    const double tanLat = std::fabs(std::tan(latDeg * tervala::PI / 180));
                    EXPECT_LE(d[3], 1e-8 + 1e-14 * (ell.a + std::fabs(h)) * tanLat);
                    for (int k = 0; k < 4; ++k)
                        worst[k] = std::max(worst[k], d[k]);
                }
            }
        }
        std::printf("[ %s ] forward max %.3g m; inverse max %.3g deg lat, %.3g deg lon, %.3g m height\n", ell.name,
                    worst[0], worst[1], worst[2], worst[3]);
    }
#endif
}

// The data folder: host choice, then TERVALA_DATA_DIR read at each call,
// then the built-in folder.
TEST(DataFolder, HostChoiceThenEnvironmentThenDefault)
{
    CTervala::SetDataFolder(nullptr);
    ::setenv("TERVALA_DATA_DIR", "/tmp/first", 1);
    EXPECT_EQ(CTervala::GetDataFolder(), "/tmp/first");
    ::setenv("TERVALA_DATA_DIR", "/tmp/second", 1);
    EXPECT_EQ(CTervala::GetDataFolder(), "/tmp/second");
    CTervala::SetDataFolder("/opt/field");
    EXPECT_EQ(CTervala::GetDataFolder(), "/opt/field");
    EXPECT_EQ(tervala::platform::hostPath("\\My Documents\\Fenwarden\\EGM96.dat"), "/opt/field/EGM96.dat");
    CTervala::SetDataFolder("/opt/field/");
    EXPECT_EQ(tervala::platform::hostPath("\\My Documents\\Fenwarden\\kgeoid14.dat"), "/opt/field/kgeoid14.dat");
    CTervala::SetDataFolder("");
    EXPECT_EQ(CTervala::GetDataFolder(), "/tmp/second");
    ::unsetenv("TERVALA_DATA_DIR");
    EXPECT_FALSE(CTervala::GetDataFolder().empty());
    EXPECT_NE(CTervala::GetDataFolder(), "/tmp/second");
}
