// The object, its accessors, the ellipsoid and the geocentric conversions.
// Evidence: the worked GRS80 example, GeographicLib's exact geocentric
// conversion, and the iteration as it was before the polar-axis height,
// inlined here, for bit identity away from the axis.
#include <array>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>

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

// The geocentric inverse as the loop alone computes it (latitude and height;
// the longitude is atan2): h = p / cos(lat) - N from the latitude entering
// the last pass.
void loopOnly(const tervala::EllipsoidConstants& e, double X, double Y, double Z, double& latitude, double& height)
{
    const double p = std::sqrt(X * X + Y * Y), a2 = std::pow(e.a, 2), b2 = std::pow(e.b, 2);
    double phi = std::atan(Z / p * std::pow(1 - e.e2, -1));
    for (int pass = 0; pass < 100; ++pass) {
        const double s = std::sin(phi), c = std::cos(phi);
        const double N = a2 / std::sqrt(b2 * (s * s) + a2 * (c * c));
        height = p / c - N;
        const double next = std::atan(1 / (1 - e.e2 * N / (N + height)) * (Z / p));
        const double delta = next - phi;
        phi = next;
        if (!(std::fabs(delta) > 1e-14))
            break;
    }
    latitude = phi / tervala::PI * 180;
}

} // namespace

// A fresh object holds the constructor's values. Array accessors count from
// 0, residual accessors from 1; outside their range they return NaN and never
// grow a matrix; the two names of the geocentric accessor are one.
TEST(Object, FreshValuesAndAccessorIndices)
{
    CTervala t = grs80();
    EXPECT_EQ(t.GetHeightParameters(2), 0.0);
    EXPECT_EQ(tervala::TervalaAccess::interpWindow(t), 6);
    EXPECT_EQ(tervala::TervalaAccess::gridMargin(t), 7);
    EXPECT_EQ(tervala::TervalaAccess::grid(t), nullptr);
    double lat = 10, lon = 20, h = 30;
    t.Geodetic_to_Geocentric(lat, lon, h);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(t.GetGeocentric(i), t.GetTrans_GeoCentric(i));
    const double outside[] = {t.GetGeocentric(3), t.GetGeocentric(-1), t.GetTrans_GeoCentric(3), t.GetGeodetic(3),
                              t.GetTM(-5), t.GetUTM(3), t.Get2DH(3), t.GetdLLH(3), t.Get2DHelmertParameters(4),
                              t.Get2DHelmertCovariance(0, 4), t.Get2DHelmertCovariance(4, 0), t.GetHeightParameters(3),
                              t.GetRotOrigin(3), t.GetSevenParameters(7), t.GetSevenCovariance(7, 0),
                              t.GetSevenCovariance(0, -1), t.GetResidual2D(0), t.GetResidualH(1), t.GetResidual(1),
                              t.GetResidual(1000000)};
    for (std::size_t k = 0; k < std::size(outside); ++k)
        EXPECT_TRUE(std::isnan(outside[k])) << "case " << k;
    EXPECT_EQ(tervala::TervalaAccess::residual(t).Rows(), 0);
}

// The meridian arc to the pole is GRS80's quarter meridian (10001965.7293 m)
// and the footpoint series inverts the arc. (The ellipsoid's constants show
// in the geocentric conversions against GeographicLib.)
TEST(Ellipsoid, Grs80ArcAndFootpoint)
{
    const tervala::EllipsoidConstants e = tervala::makeEllipsoid(6378137.0, 298.257222101);
    EXPECT_NEAR(tervala::meridianArc(e, tervala::PI / 2), 10001965.7293, 1e-4);
    for (double deg = -89.0; deg <= 89.0; deg += 0.5) {
        const double phi = tervala::angles::toRadians(deg);
        EXPECT_NEAR(tervala::footpointLatitude(e, tervala::meridianArc(e, phi) / e.footAlpha), phi, 2e-12) << deg;
    }
}

// The worked example there and back: the caller's angles hold radians
// afterwards, the height and the geocentric arguments are untouched.
TEST(Geocentric, WorkedExampleThereAndBack)
{
    CTervala t = grs80();
    double lat = 37.5, lon = 127.0, h = 100.0;
    t.Geodetic_to_Geocentric(lat, lon, h);
    EXPECT_NEAR(t.GetGeocentric(0), -3049086.2377, 5e-5);
    EXPECT_NEAR(t.GetGeocentric(1), 4046274.1025, 5e-5);
    EXPECT_NEAR(t.GetGeocentric(2), 3861624.9748, 5e-5);
    EXPECT_EQ(lat, 0.6544984694978736);
    EXPECT_EQ(lon, tervala::angles::toRadians(127.0));
    EXPECT_EQ(h, 100.0);
    double X = t.GetGeocentric(0), Y = t.GetGeocentric(1), Z = t.GetGeocentric(2);
    t.Geocentric_to_Geodetic(X, Y, Z);
    EXPECT_NEAR(t.GetGeodetic(0), 37.5, 1e-12);
    EXPECT_NEAR(t.GetGeodetic(1), 127.0, 1e-12);
    EXPECT_NEAR(t.GetGeodetic(2), 100.0, 1e-8);
    EXPECT_TRUE(X == t.GetGeocentric(0) && Y == t.GetGeocentric(1) && Z == t.GetGeocentric(2));
}

// Quadrants, the polar axis and non-finite input (tables/geocentric.txt);
// points next to the axis and the centre return.
TEST(Geocentric, QuadrantsPolarAxisAndNonFiniteInput)
{
    CTervala t = grs80();
    auto geodetic = [&t](int i) {
        return [&t, i](const std::vector<double>& x) {
            double X = x[0], Y = x[1], Z = x[2];
            t.Geocentric_to_Geodetic(X, Y, Z);
            return t.GetGeodetic(i);
        };
    };
    testsupport::checkValueTable("geocentric.txt",
                                 {{"latitude", geodetic(0)}, {"longitude", geodetic(1)}, {"height", geodetic(2)}});
    double tiny = 1e-300;
    t.Geocentric_to_Geodetic(tiny, tiny, tiny);
}

// Away from the polar axis the results are the loop's own doubles, bit for
// bit (the iteration written out above); the latitude is the loop's
// everywhere. Points: latitudes to +-85 deg, heights -1 km to 100 km.
TEST(Geocentric, LoopResultsKeptAwayFromTheAxis)
{
    const tervala::EllipsoidConstants e = tervala::makeEllipsoid(6378137.0, 298.257222101);
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> lat(-85, 85), lon(-180, 180), h(-1000, 1e5), p(0, 1e4);
    for (int k = 0; k < 20000; ++k) {
        const tervala::Vec3 x = tervala::geodeticToGeocentric(e, lat(rng) * tervala::PI / 180,
                                                              lon(rng) * tervala::PI / 180, h(rng));
        const tervala::Geodetic got = tervala::geocentricToGeodetic(e, x.x, x.y, x.z);
        double latitude, height;
        loopOnly(e, x.x, x.y, x.z, latitude, height);
        ASSERT_EQ(got.latitude, latitude) << k;
        ASSERT_EQ(got.height, height) << k;
        const double q = p(rng), z = (k % 2 ? 1 : -1) * (6356752.0 + h(rng));  // near the axis
        const tervala::Geodetic polar = tervala::geocentricToGeodetic(e, q, 0.5 * q, z);
        loopOnly(e, q, 0.5 * q, z, latitude, height);
        ASSERT_EQ(polar.latitude, latitude) << k;
    }
}

// GeographicLib's exact geocentric conversion is the independent oracle: a
// global sweep (latitude, longitude, height from -1 km to 10000 km) on three
// ellipsoids, and the polar axis: distance p from 0 to 10 km and |Z| from
// 100 km to 1e7 m, where the height must hold to 1e-6 m. (Closer to the
// centre, within about 50 km, the iteration does not settle.)
TEST(Geocentric, AgreesWithGeographicLib)
{
#ifndef TERVALA_HAVE_GEOGRAPHICLIB
    GTEST_SKIP() << "GeographicLib (Debian libgeographiclib-dev) is not installed";
#else
    const double ellipsoids[][2] = {{6378137.0, 298.257222101}, {6378137.0, 298.257223563}, {6377397.155, 299.1528128}};
    for (const auto& ell : ellipsoids) {
        const GeographicLib::Geocentric peer(ell[0], 1 / ell[1]);
        CTervala t;
        t.Setup_Ellipsoid(ell[0], ell[1]);
        auto compare = [&](double X, double Y, double Z, double heightTolerance) {
            double lat, lon, h;
            peer.Reverse(X, Y, Z, lat, lon, h);
            t.Geocentric_to_Geodetic(X, Y, Z);
            EXPECT_NEAR(t.GetGeodetic(0), lat, 1e-11) << X << " " << Y << " " << Z;
            EXPECT_NEAR(t.GetGeodetic(1), lon, 1e-11) << X << " " << Y << " " << Z;
            EXPECT_NEAR(t.GetGeodetic(2), h, heightTolerance) << X << " " << Y << " " << Z;
        };
        for (double latDeg = -89.5; latDeg <= 89.5; latDeg += 4.75)
            for (double lonDeg = -179.0; lonDeg <= 180.0; lonDeg += 23.0)
                for (double h : {-1000.0, 0.0, 123.456, 8848.0, 1e5, 1e6, 1e7}) {
                    double X, Y, Z;
                    peer.Forward(latDeg, lonDeg, h, X, Y, Z);
                    double lat = latDeg, lon = lonDeg, height = h;
                    t.Geodetic_to_Geocentric(lat, lon, height);
                    const double r = std::sqrt(X * X + Y * Y + Z * Z);
                    const double xyz[3] = {X, Y, Z};
                    for (int i = 0; i < 3; ++i)
                        EXPECT_NEAR(t.GetGeocentric(i), xyz[i], 4 * std::numeric_limits<double>::epsilon() * r);
                    // The loop's height moves by (N + h) tan(lat) for each radian
                    // of its last latitude step (at most 1e-14); near the axis
                    // the height is held to 1e-6 m.
                    const double tanLat = std::fabs(std::tan(latDeg * tervala::PI / 180));
                    compare(X, Y, Z, 1e-8 + std::min(1e-6, 1.1e-14 * (ell[0] + std::fabs(h)) * tanLat));
                }
        for (double p : {0.0, 1e-10, 1e-6, 1e-3, 0.1, 1.0, 10.0, 100.0, 1e3, 3e3, 5e3, 1e4})
            for (double z : {1e5, 1e6, 6356752.314 - 1000, 6356752.314, 6356752.314 + 9000, 7e6, 1e7})
                for (double sign : {1.0, -1.0})
                    compare(0.6 * p, -0.8 * p, sign * z, 1e-6);
    }
#endif
}

// The data folder: host choice, then TERVALA_DATA_DIR read at each call,
// then the built-in folder.
TEST(DataFolder, HostChoiceThenEnvironmentThenDefault)
{
    CTervala::SetDataFolder(nullptr);
    tervala::platform::setEnvironmentVariable("TERVALA_DATA_DIR", "/tmp/first");
    EXPECT_EQ(CTervala::GetDataFolder(), "/tmp/first");
    tervala::platform::setEnvironmentVariable("TERVALA_DATA_DIR", "/tmp/second");
    EXPECT_EQ(CTervala::GetDataFolder(), "/tmp/second");
    CTervala::SetDataFolder("/opt/field");
    EXPECT_EQ(CTervala::GetDataFolder(), "/opt/field");
    EXPECT_EQ(tervala::platform::hostPath("\\My Documents\\Fenwarden\\EGM96.dat"), "/opt/field/EGM96.dat");
    CTervala::SetDataFolder("/opt/field/");
    EXPECT_EQ(tervala::platform::hostPath("\\My Documents\\Fenwarden\\kgeoid14.dat"), "/opt/field/kgeoid14.dat");
    CTervala::SetDataFolder("");
    EXPECT_EQ(CTervala::GetDataFolder(), "/tmp/second");
    tervala::platform::setEnvironmentVariable("TERVALA_DATA_DIR", nullptr);
    EXPECT_FALSE(CTervala::GetDataFolder().empty());
    EXPECT_NE(CTervala::GetDataFolder(), "/tmp/second");
}
