// The value types of namespace tervala: the same doubles as the CTervala
// members wherever both compute the same quantity, every validation refusal,
// the projection domain and longitude reduction, the fits' results and
// verdicts, and geoid grids that refuse what they cannot interpolate.
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <thread>
#include <tuple>

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "TestSupport.h"
#include "projection/Domain.h"
#include "tervala/Tervala.h"
#include "tervala/tervala.hpp"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/TransverseMercator.hpp>
#endif

namespace {

using namespace tervala;

#define EXPECT_SAME(a, b) EXPECT_TRUE(testsupport::sameBits((a), (b))) << #a " = " << (a) << ", legacy " << (b)

CTervala legacyOn(const Ellipsoid& e)
{
    CTervala t;
    t.Setup_Ellipsoid(e.a(), e.inverseFlattening());
    return t;
}

double uniform(std::mt19937_64& rng, double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); }

} // namespace

// ---- Bit identity with the members ------------------------------------------------

TEST(ModernLegacy, GeocentricBothWaysOnEveryKnownEllipsoid)
{
    std::mt19937_64 rng(11);
    for (const NamedEllipsoid& named : Ellipsoid::known()) {
        const Ellipsoid e(named.name);
        CTervala t = legacyOn(e);
        for (int k = 0; k < 300; ++k) {
            double lat = uniform(rng, -90, 90), lon = uniform(rng, -180, 180), h = uniform(rng, -500, 9000);
            const Geocentric g = e.toGeocentric({lat, lon, h});
            t.Geodetic_to_Geocentric(lat, lon, h);
            EXPECT_SAME(g.x, t.GetGeocentric(0));
            EXPECT_SAME(g.y, t.GetGeocentric(1));
            EXPECT_SAME(g.z, t.GetGeocentric(2));
            double X = g.x, Y = g.y, Z = k % 10 == 0 ? uniform(rng, -7e6, 7e6) : g.z;
            const Geodetic back = e.toGeodetic({X, Y, Z});
            t.Geocentric_to_Geodetic(X, Y, Z);
            EXPECT_SAME(back.latitude, t.GetGeodetic(0));
            EXPECT_SAME(back.longitude, t.GetGeodetic(1));
            EXPECT_SAME(back.height, t.GetGeodetic(2));
        }
    }
}

TEST(ModernLegacy, TransverseMercatorAndUtmBothWays)
{
    struct Grid {
        const char* ellipsoid;
        double lat0, lon0, fn, fe, k0;
        int zone;  // UTM zone (lon0 its meridian, fn 1 for the south), 0 for a TM grid
    };
    // Longitudes of the points reach past 180 near the antimeridian: the
    // members take them as given, the types reduce nothing there since the
    // difference from the central meridian is already in range.
    const Grid grids[] = {{"GRS80", 0, 27, 0, 3500000, 1, 0},
                          {"Bessel1841", 52.123456789, 13.5, -5e6, 4e5, 0.9999, 0},
                          {"Airy1830", 49, -2, -100000, 400000, 0.9996012717, 0},
                          {"WGS84", -30.987654321, 179, 0, 0, 1, 0},
                          {"WGS84", 0, -177, 0, 0, 0.9996, 1},
                          {"WGS84", 0, 15, 0, 0, 0.9996, 33},
                          {"WGS84", 0, 15, 1, 0, 0.9996, 33},
                          {"WGS84", 0, 177, 1, 0, 0.9996, 60}};
    std::mt19937_64 rng(12);
    for (const Grid& g : grids) {
        const Ellipsoid e(g.ellipsoid);
        const TransverseMercator tm(e, g.lat0, g.lon0, g.fn, g.fe, g.k0, TmMethod::Legacy);
        const Utm utm(g.zone > 0 ? g.zone : 1, g.fn == 1, e, TmMethod::Legacy);
        CTervala t = legacyOn(e);
        for (int k = 0; k < 300; ++k) {
            const double lat = g.zone == 0 ? uniform(rng, -80, 80) : g.fn == 1 ? uniform(rng, -80, 0) : uniform(rng, 0, 84);
            const double lon = g.lon0 + uniform(rng, -1, 1) * tm.maxOffset();
            const Projected p = g.zone > 0 ? utm.forward(lat, lon) : tm.forward(lat, lon);
            const Geographic q = g.zone > 0 ? utm.inverse(p.easting, p.northing) : tm.inverse(p.easting, p.northing);
            double lat0 = g.lat0, lon0 = g.lon0, la = lat, lo = lon, h = 0, n = p.northing, en = p.easting;
            if (g.zone > 0) {
                t.Geodetic_to_UTM(int(g.fn), lon0, la, lo, h);
                EXPECT_SAME(p.northing, t.GetUTM(0));
                EXPECT_SAME(p.easting, t.GetUTM(1));
                lon0 = g.lon0;
                t.UTM_to_Geodetic(int(g.fn), lon0, n, en, h);
            } else {
                t.Geodetic_to_TM(lat0, lon0, g.fn, g.fe, g.k0, la, lo, h);
                EXPECT_SAME(p.northing, t.GetTM(0));
                EXPECT_SAME(p.easting, t.GetTM(1));
                lon0 = g.lon0;
                t.TM_to_Geodetic(lat0, lon0, g.fn, g.fe, g.k0, n, en, h);
            }
            EXPECT_SAME(q.latitude, t.GetGeodetic(0));
            EXPECT_SAME(q.longitude, reduceLongitude(t.GetGeodetic(1)));  // the member leaves lon0 + l unreduced
        }
    }
}

TEST(ModernLegacy, DatumAndLocalTransformations)
{
    std::mt19937_64 rng(13);
    CTervala t = legacyOn(Ellipsoid::grs80());
    for (int k = 0; k < 200; ++k) {
        const double p[7] = {uniform(rng, -500, 500), uniform(rng, -500, 500), uniform(rng, -500, 500),
                             uniform(rng, -30, 30),   uniform(rng, -40, 40),   uniform(rng, -40, 40),
                             uniform(rng, -40, 40)};
        const Geocentric origin{uniform(rng, -6e6, 6e6), uniform(rng, -6e6, 6e6), uniform(rng, -6e6, 6e6)};
        const Geocentric x{uniform(rng, -6.4e6, 6.4e6), uniform(rng, -6.4e6, 6.4e6), uniform(rng, -6.4e6, 6.4e6)};
        // The members read coordinate-frame rotations; position-vector ones
        // are the same numbers negated.
        const Helmert7 cf(p[0], p[1], p[2], p[3], p[4], p[5], p[6], Convention::CoordinateFrame);
        const Helmert7 pv(p[0], p[1], p[2], p[3], -p[4], -p[5], -p[6], Convention::PositionVector);
        const MolodenskyBadekas mb(p[0], p[1], p[2], p[3], p[4], p[5], p[6], Convention::CoordinateFrame, origin);
        double X = x.x, Y = x.y, Z = x.z;
        t.SetParameters_Molodensky_BadekasModel(origin.x, origin.y, origin.z, p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
        const std::pair<Geocentric, std::function<void()>> cases[] = {
            {cf.forward(x), [&] { t.Bursa_WolfModel(X, Y, Z); }},
            {pv.forward(x), [&] { t.Bursa_WolfModel(X, Y, Z); }},
            {cf.inverse(x), [&] { t.Inv_Bursa_WolfModel(X, Y, Z); }},
            {pv.inverse(x), [&] { t.Inv_Bursa_WolfModel(X, Y, Z); }},
            {mb.forward(x), [&] { t.Molodensky_BadekasModel(X, Y, Z); }},
            {mb.inverse(x), [&] { t.Inv_Molodensky_BadekasModel(X, Y, Z); }},
        };
        for (const auto& [modern, legacy] : cases) {
            legacy();
            EXPECT_SAME(modern.x, t.GetGeocentric(0));
            EXPECT_SAME(modern.y, t.GetGeocentric(1));
            EXPECT_SAME(modern.z, t.GetGeocentric(2));
        }

        const PlaneCoordinates o{uniform(rng, -1e5, 1e5), uniform(rng, -1e5, 1e5)};
        const PlaneCoordinates q{uniform(rng, -1e5, 1e5), uniform(rng, -1e5, 1e5)};
        const PlaneCoordinates h = Helmert2D(p[0], p[1], p[3], p[4] * 100, o).forward(q);
        t.Set2DHelmert(p[0], p[1], p[3], p[4] * 100);
        t.Helmert2D(o.first, o.second, q.first, q.second);
        EXPECT_SAME(h.first, t.Get2DH(0));
        EXPECT_SAME(h.second, t.Get2DH(1));
        const double height = HeightPlane(p[4] * 1e-5, p[5] * 1e-5, p[0], o).forward(q, p[1]);
        t.SetHeightTrans(p[4] * 1e-5, p[5] * 1e-5, p[0]);
        t.HeightTrans(o.first, o.second, q.first, q.second, p[1]);
        EXPECT_SAME(height, t.Get2DH(2));

        const double lat = uniform(rng, -89, 89), lon = uniform(rng, -180, 180);
        const AbridgedMolodensky am(Ellipsoid("International1924"), Ellipsoid::wgs84(), p[0], p[1], p[2]);
        const GeodeticShift s = am.shift(lat, lon);
        CTervala hayford = legacyOn(Ellipsoid("International1924"));
        hayford.Abridged_Molodensky_Transform(lat, lon, p[0], p[1], p[2], 6378137.0 - 6378388.0,
                                              1 / 298.257223563 - 1 / 297.0);
        EXPECT_SAME(s.latitude, hayford.GetdLLH(0));
        EXPECT_SAME(s.longitude, hayford.GetdLLH(1));
        EXPECT_SAME(s.height, hayford.GetdLLH(2));
    }
}

// Noisy common points, so the seven-parameter iteration runs its passes.
TEST(ModernLegacy, FitsStoreTheMembersResults)
{
    std::mt19937_64 rng(14);
    std::normal_distribution<double> noise(0.0, 0.02);
    for (int trial = 0; trial < 10; ++trial) {
        const int points = 4 + trial;
        std::vector<PlaneCoordinates> src, dst;
        std::vector<double> flatSrc, flatDst, hs, ht;
        std::vector<Geocentric> gs, gt;
        std::vector<double> flatGs, flatGt;
        const Helmert7 truth(120, -80, 300, 8, 1.5, -2.5, 4, Convention::CoordinateFrame);
        for (int k = 0; k < points; ++k) {
            src.push_back({uniform(rng, 0, 5000), uniform(rng, 0, 5000)});
            dst.push_back({src.back().first * 1.00001 + 100 + noise(rng), src.back().second + 50 + noise(rng)});
            flatSrc.insert(flatSrc.end(), {src.back().first, src.back().second});
            flatDst.insert(flatDst.end(), {dst.back().first, dst.back().second});
            hs.push_back(uniform(rng, 0, 300));
            ht.push_back(hs.back() + 0.001 * src.back().first + 2 + noise(rng));
            gs.push_back(Ellipsoid::wgs84().toGeocentric({60 + uniform(rng, 0, 1), 25 + uniform(rng, 0, 2), 50}));
            const Geocentric y = truth.forward(gs.back());
            gt.push_back({y.x + noise(rng), y.y + noise(rng), y.z + noise(rng)});
            flatGs.insert(flatGs.end(), {gs.back().x, gs.back().y, gs.back().z});
            flatGt.insert(flatGt.end(), {gt.back().x, gt.back().y, gt.back().z});
        }
        CTervala t;
        const Helmert2DFitResult h2 = fitHelmert2D(src, dst);
        t.Parameters_2DHelmert(2 * points, flatSrc.data(), flatDst.data());
        ASSERT_TRUE(h2.transformation);
        EXPECT_SAME(h2.transformation->t1(), t.Get2DHelmertParameters(1));
        EXPECT_SAME(h2.transformation->t2(), t.Get2DHelmertParameters(0));
        EXPECT_SAME(h2.transformation->scale(), t.Get2DHelmertParameters(2));
        EXPECT_SAME(h2.transformation->rotation(), t.Get2DHelmertParameters(3));
        EXPECT_SAME(h2.summary.sigma, t.GetSigma());
        EXPECT_SAME(h2.residuals[points - 1].first, t.GetResidual2D(2 * points));

        const PlaneCoordinates origin{2500, 2400};
        const HeightPlaneFitResult hp = fitHeightPlane(src, hs, ht, origin);
        t.Parameters_HeightTrans(points, origin.second, origin.first, flatSrc.data(), hs.data(), ht.data());
        ASSERT_TRUE(hp.transformation);
        EXPECT_SAME(hp.transformation->slope1(), t.GetHeightParameters(0));
        EXPECT_SAME(hp.transformation->slope2(), t.GetHeightParameters(1));
        EXPECT_SAME(hp.transformation->shift(), t.GetHeightParameters(2));
        EXPECT_SAME(hp.meanAccuracy, t.GetHeightMeanaccuracy());
        EXPECT_SAME(hp.residuals[0], t.GetResidualH(1));

        for (bool badekas : {false, true}) {
            const Helmert7FitResult bw = fitHelmert7(gs, gt, Convention::PositionVector);
            const MolodenskyBadekasFitResult mb = fitMolodenskyBadekas(gs, gt, Convention::PositionVector);
            const bool converged = badekas ? t.SevenParameters_Molodensky_BadekasModel(3 * points, flatGs.data(),
                                                                                       flatGt.data())
                                           : t.SevenParameters_Bursa_WolfModel(3 * points, flatGs.data(),
                                                                               flatGt.data());
            ASSERT_TRUE(bw.transformation && mb.transformation);
            const Helmert7& p = badekas ? mb.transformation->parameters() : *bw.transformation;
            const FitSummary& s = badekas ? mb.summary : bw.summary;
            const double got[7] = {p.tx(), p.ty(), p.tz(), p.s(), -p.rx(), -p.ry(), -p.rz()};
            for (int i = 0; i < 7; ++i)
                EXPECT_SAME(got[i], t.GetSevenParameters(i)) << "parameter " << i << (badekas ? " MB" : " BW");
            const auto& cov = badekas ? mb.covariance : bw.covariance;
            // A rotation's row and column flip sign with the convention; a
            // product of two rotations keeps it.
            EXPECT_SAME(-cov[4][1], t.GetSevenCovariance(4, 1));
            EXPECT_SAME(-cov[2][6], t.GetSevenCovariance(2, 6));
            EXPECT_SAME(cov[5][6], t.GetSevenCovariance(5, 6));
            EXPECT_SAME(s.sigma, t.GetSigma());
            EXPECT_EQ(s.converged, converged);
            EXPECT_SAME((badekas ? mb.residuals : bw.residuals)[1].z, t.GetResidual(6));
            EXPECT_SAME(badekas ? mb.transformation->origin().y : 0.0, badekas ? t.GetRotOrigin(1) : 0.0);
        }
    }
}

// ---- Refusals, domain and reduction --------------------------------------------------

TEST(ModernValidation, EveryRefusalNamesWhatIsWrong)
{
    const double nan = std::nan(""), inf = INFINITY;
    const Ellipsoid g = Ellipsoid::grs80();
    const std::vector<PlaneCoordinates> two{{0, 0}, {1, 1}}, three{{0, 0}, {1, 1}, {2, 0}};
    const std::vector<Geocentric> xyz{{1, 2, 3}, {4, 5, 6}, {7, 8, 10}};
    const std::pair<const char*, std::function<void()>> cases[] = {
        {"semi-major axis a = -1", [] { Ellipsoid(-1, 298.257); }},
        {"semi-major axis a = nan", [&] { Ellipsoid(nan, 298.257); }},
        {"1/f = 0.0033", [] { Ellipsoid(6378137, 1 / 298.26); }},  // the flattening given for its inverse
        {"1/f = 1 ", [] { Ellipsoid(6378137, 1); }},  // 0 is a sphere; 1 would make b = 0
        {"1/f = -298.25", [] { Ellipsoid(6378137, -298.25); }},
        {"legacy series serve ellipsoids only",
         [] { TransverseMercator(Ellipsoid::sphere(6371000), 0, 0, 0, 0, 1, TmMethod::Legacy); }},
        {"unknown name 'Everest 1956'", [] { Ellipsoid("Everest 1956"); }},
        {"latitude of origin = 91", [&] { TransverseMercator(g, 91, 0); }},
        {"central meridian = inf", [&] { TransverseMercator(g, 0, inf); }},
        {"false northing = nan", [&] { TransverseMercator(g, 0, 0, nan); }},
        {"false easting = inf", [&] { TransverseMercator(g, 0, 0, 0, inf); }},
        {"scale factor = 0 ", [&] { TransverseMercator(g, 0, 0, 0, 0, 0); }},
        {"scale factor = -0.9996", [&] { TransverseMercator(g, 0, 0, 0, 0, -0.9996); }},
        {"zone 0 ", [] { Utm(0); }},
        {"zone 61", [] { Utm(61); }},
        {"longitude nan", [&] { Utm::forLongitude(nan); }},
        {"tx = nan", [&] { Helmert7(nan, 0, 0, 0, 0, 0, 0, Convention::PositionVector); }},
        {"scale s = -1000000", [] { Helmert7(0, 0, 0, -1e6, 0, 0, 0, Convention::PositionVector); }},
        {"rotation ry = 700000", [] { Helmert7(0, 0, 0, 0, 0, 700000, 0, Convention::CoordinateFrame); }},
        {"origin z = inf", [&] { MolodenskyBadekas(0, 0, 0, 0, 0, 0, 0, Convention::PositionVector, {0, 0, inf}); }},
        {"dz = inf", [&] { AbridgedMolodensky(g, g, 0, 0, inf); }},
        {"rotation rotation = nan", [&] { Helmert2D(0, 0, 0, nan); }},
        {"origin second = nan", [&] { Helmert2D(0, 0, 0, 0, {0, nan}); }},
        {"slope1 = inf", [&] { HeightPlane(inf, 0, 0); }},
        {"1 points; at least 2", [] { fitHelmert2D({{0, 0}}, {{1, 1}}); }},
        {"2 source and 3 target", [&] { fitHelmert2D(two, three); }},
        {"target point 1 has a coordinate that is not finite", [&] { fitHelmert2D(two, {{0, 0}, {nan, 0}}); }},
        {"2 points; at least 3", [&] { fitHeightPlane(two, {0, 0}, {0, 0}); }},
        {"point 2 has a coordinate", [&] { fitHeightPlane(three, {0, 0, 0}, {0, 0, inf}); }},
        {"2 points; at least 3", [&] { fitHelmert7({xyz[0], xyz[1]}, {xyz[0], xyz[1]}, Convention::PositionVector); }},
        {"EGM96 model: /nonexistent/CORRCOEF.dat: cannot open", [] { Egm96Model::fromFolder("/nonexistent"); }},
        {"geoid grid: /nonexistent/grid.dat: cannot open", [] { GeoidGrid("/nonexistent/grid.dat"); }},
    };
    for (const auto& [expected, construct] : cases) {
        try {
            construct();
            ADD_FAILURE() << "accepted; expected a refusal containing: " << expected;
        } catch (const std::exception& e) {
            EXPECT_NE(std::string(e.what()).find(expected), std::string::npos)
                << "message '" << e.what() << "' lacks '" << expected << "'";
        }
    }
    // Names as people write them.
    for (const char* name : {"grs 80", "WGS-84", "bessel", "Hayford", "krassovsky_1940"})
        EXPECT_NO_THROW(Ellipsoid{name}) << name;
    EXPECT_EQ(Ellipsoid("hayford").name(), "International1924");
    EXPECT_EQ(Ellipsoid(6378137, 298.257222101).name(), "");
    EXPECT_EQ(Ellipsoid(6378137, 298.257222101), Ellipsoid::grs80());
}

// Zones, the published point, the domain and longitude reduction
// (tables/modern-projection.txt).
TEST(ModernProjection, DomainReductionAndPublishedPoints)
{
    const Ellipsoid g = Ellipsoid::grs80();
    auto tm = [&g](double lon0) { return TransverseMercator(g, 0, lon0, 0, 500000, 0.9999); };
    auto legacyTm = [&g](double lon0) {
        return TransverseMercator(g, 0, lon0, 0, 500000, 0.9999, TmMethod::Legacy);
    };
    auto utm = [&g](const std::vector<double>& x) { return Utm(int(x[0]), x[1] == 1, g); };
    testsupport::checkValueTable(
        "modern-projection.txt",
        {{"utm-zone", [](const auto& x) { return double(Utm::forLongitude(x[0]).zone()); }},
         {"utm-e", [&](const auto& x) { return utm(x).forward(x[2], x[3]).easting; }},
         {"utm-n", [&](const auto& x) { return utm(x).forward(x[2], x[3]).northing; }},
         {"utm-defined", [&](const auto& x) { return std::isnan(utm(x).forward(x[2], x[3]).easting) ? 0.0 : 1.0; }},
         {"utm-inv-lat", [&](const auto& x) { return utm(x).inverse(x[2], x[3]).latitude; }},
         {"legacy-utm-inv-lat", [&](const auto& x) {
              return Utm(int(x[0]), x[1] == 1, g, TmMethod::Legacy).inverse(x[2], x[3]).latitude;
          }},
         {"tm-e", [&](const auto& x) { return tm(x[0]).forward(x[1], x[2]).easting; }},
         {"tm-n", [&](const auto& x) { return tm(x[0]).forward(x[1], x[2]).northing; }},
         {"tm-defined", [&](const auto& x) { return std::isnan(tm(x[0]).forward(x[1], x[2]).easting) ? 0.0 : 1.0; }},
         {"legacy-tm-defined",
          [&](const auto& x) { return std::isnan(legacyTm(x[0]).forward(x[1], x[2]).easting) ? 0.0 : 1.0; }},
         {"legacy-tm-inv-lat", [&](const auto& x) { return legacyTm(x[0]).inverse(x[1], x[2]).latitude; }},
         {"tm-inv-lat", [&](const auto& x) { return tm(x[0]).inverse(x[1], x[2]).latitude; }},
         {"tm-round-trip-lon", [&](const auto& x) {
              const Projected p = tm(x[0]).forward(x[1], x[2]);
              return tm(x[0]).inverse(p.easting, p.northing).longitude;
          }},
         {"utm-round-trip-lon", [&](const auto& x) {
              const Projected p = utm(x).forward(x[2], x[3]);
              return utm(x).inverse(p.easting, p.northing).longitude;
          }},
         {"tm-e-change", [&](const auto& x) {
              return tm(x[0]).forward(x[1], x[2]).easting - tm(x[0]).forward(x[1], x[3]).easting;
          }},
         {"tm-central-meridian", [&](const auto& x) { return tm(x[0]).centralMeridian(); }}});
}

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
// GeographicLib's TransverseMercator (Krueger series to n^6, accurate to
// 5 nm within 3900 km of the central meridian) as the reference for the
// legacy series' coordinates, convergence and point scale. Up to the 1 mm offset
// the series' own drift keeps the scale within 1e-8 and the convergence
// within 5e-8 degrees (0.2 mas).
TEST(ModernProjection, LegacyConvergenceAndScaleAgreeWithGeographicLib)
{
    std::mt19937_64 rng(15);
    for (const char* name : {"GRS80", "Bessel1841", "Clarke1866"}) {
        const Ellipsoid e(name);
        const double k0 = 0.9996;
        const TransverseMercator tm(e, 0, 9, 0, 0, k0, TmMethod::Legacy);
        const GeographicLib::TransverseMercator peer(e.a(), e.flattening(), k0);
        for (int k = 0; k < 300; ++k) {
            const double lat = uniform(rng, -85, 85), lon = 9 + uniform(rng, -1, 1) * tm.maxOffset();
            double x, y, gamma, scale;
            peer.Forward(9, lat, lon, x, y, gamma, scale);
            const ProjectedWithScale p = tm.forwardWithScale(lat, lon);
            EXPECT_NEAR(p.easting, x, 1e-3) << name << " " << lat << " " << lon;
            EXPECT_NEAR(p.northing, y, 1e-3) << name << " " << lat << " " << lon;
            EXPECT_NEAR(p.convergence, gamma, 5e-8) << name << " " << lat << " " << lon;
            EXPECT_NEAR(p.scale, scale, 1e-8) << name << " " << lat << " " << lon;
            const GeographicWithScale q = tm.inverseWithScale(x, y);
            EXPECT_NEAR(q.latitude, lat, 1e-8);
            EXPECT_NEAR(q.convergence, gamma, 5e-8);
            EXPECT_NEAR(q.scale, scale, 1e-8);
        }
    }
}
#endif

// ---- Datum types ------------------------------------------------------------------

TEST(ModernDatum, PublishedExampleInBothConventionsAndExactInverses)
{
    // EPSG Guidance Note 7-2, WGS 72 to WGS 84: tz = 4.5 m, s = 0.219 ppm,
    // rz = +0.554" (position vector) or -0.554" (coordinate frame).
    const Geocentric wgs72{3657660.66, 255768.55, 5201382.11};
    const Geocentric wgs84{3657660.78, 255778.43, 5201387.75};
    const Helmert7 pv(0, 0, 4.5, 0.219, 0, 0, 0.554, Convention::PositionVector);
    for (const Helmert7& h : {pv, Helmert7(0, 0, 4.5, 0.219, 0, 0, -0.554, Convention::CoordinateFrame),
                              pv.in(Convention::CoordinateFrame)}) {
        const Geocentric y = h.forward(wgs72);
        EXPECT_NEAR(y.x, wgs84.x, 0.006);
        EXPECT_NEAR(y.y, wgs84.y, 0.006);
        EXPECT_NEAR(y.z, wgs84.z, 0.006);
        const Geocentric x = h.inverse(y);
        EXPECT_NEAR(x.x, wgs72.x, 1e-8);
        EXPECT_NEAR(x.z, wgs72.z, 1e-8);
    }

    // Forward then inverse returns the point (the seven-parameter inverses:
    // ModernLegacy against the members, which test_datum checks against PROJ).
    const Helmert2D h2(100, -50, 12, 3600, {1000, 2000});
    const HeightPlane hp(1e-4, -2e-4, 0.3, {1000, 2000});
    EXPECT_NEAR(h2.inverse(h2.forward({1500, 2500})).second, 2500, 1e-9);
    EXPECT_NEAR(hp.inverse({1500, 2500}, hp.forward({1500, 2500}, 100)), 100, 1e-12);

    // ED50 (International 1924) to WGS 84 near Helsinki and back: the
    // reversed shift returns the point to the abridged formulas' accuracy.
    const AbridgedMolodensky am(Ellipsoid("International1924"), Ellipsoid::wgs84(), -87, -98, -121);
    const Geodetic there = am.forward({60.17, 24.94, 20});
    const Geodetic again = am.reversed().forward(there);
    EXPECT_NEAR(again.latitude, 60.17, 1e-6);
    EXPECT_NEAR(again.longitude, 24.94, 1e-6);
    EXPECT_NEAR(again.height, 20, 0.01);
    EXPECT_TRUE(std::isnan(am.shift(90, 0).longitude));
}

// ---- Fits --------------------------------------------------------------------------

TEST(ModernFit, SummariesConventionsAndGeometry)
{
    const Helmert2D h2(100, -50, 12, 3600, {0, 0});
    const Helmert7 h7(120, -80, 300, 8, 1.5, -2.5, 4, Convention::PositionVector);
    std::vector<PlaneCoordinates> src, dst, line, same;
    std::vector<Geocentric> gs, gt, gline, gsame;
    std::vector<double> hs, ht;
    std::mt19937_64 rng(16);
    for (int k = 0; k < 6; ++k) {
        src.push_back({uniform(rng, -1000, 1000), uniform(rng, -1000, 1000)});
        dst.push_back(h2.forward(src.back()));
        line.push_back({10.0 * k, 5.0 * k});
        same.push_back({7, 8});
        hs.push_back(uniform(rng, 0, 100));
        ht.push_back(hs.back() + 2e-4 * src.back().first - 1e-4 * src.back().second + 0.5);
        gs.push_back(Ellipsoid::wgs84().toGeocentric({60 + 0.1 * k * k, 25 - 0.1 * k, 10.0 * k}));
        gt.push_back(h7.forward(gs.back()));
        gline.push_back({3e6 + 1000.0 * k, 1e6 + 500.0 * k, 5e6 - 250.0 * k});
        gsame.push_back(gs[0]);
    }
    // Recovery and the members' doubles: ModernLegacy; here what the types
    // add (redundancy, convention, standard deviations, geometry verdicts).
    EXPECT_EQ(fitHelmert2D(src, dst).summary.redundancy, 8);
    // For centred coordinates the normal matrix of c = m cos r, d = m sin r
    // is sum(x^2 + y^2) I, so m and r m have equal standard deviations
    // (1e6 ppm and 206264.8" per unit).
    const Helmert2DFitResult noisy = fitHelmert2D(src, {dst[0], {dst[1].first + 0.01, dst[1].second}, dst[2], dst[3],
                                                        dst[4], {dst[5].first, dst[5].second - 0.02}});
    const double m = 1 + noisy.transformation->scale() * 1e-6;
    EXPECT_NEAR(noisy.standardDeviations[2] / 1e6, m * noisy.standardDeviations[3] / 206264.80624709636, 1e-15);
    EXPECT_GT(noisy.standardDeviations[2], 0);

    EXPECT_EQ(fitHelmert7(gs, gt, Convention::CoordinateFrame).transformation->convention(),
              Convention::CoordinateFrame);

    // Coincident points fix the translations only, collinear ones leave a
    // rotation (a slope) open: no transformation, and the rank says so.
    const HeightPlaneFitResult onALine = fitHeightPlane(line, hs, ht);
    const Helmert2DFitResult onAPoint = fitHelmert2D(same, dst);
    const Helmert7FitResult onALine7 = fitHelmert7(gline, gt, Convention::PositionVector);
    const MolodenskyBadekasFitResult onAPoint7 = fitMolodenskyBadekas(gsame, gt, Convention::PositionVector);
    const std::tuple<FitSummary, bool, int> cases[] = {{onAPoint.summary, bool(onAPoint.transformation), 2},
                                                       {onALine.summary, bool(onALine.transformation), 2},
                                                       {onALine7.summary, bool(onALine7.transformation), 6},
                                                       {onAPoint7.summary, bool(onAPoint7.transformation), 3}};
    for (const auto& [summary, hasTransformation, rank] : cases) {
        EXPECT_TRUE(summary.degenerate && !hasTransformation) << "rank " << rank;
        EXPECT_EQ(summary.rank, rank);
    }
}

// ---- Geoid ---------------------------------------------------------------------------

class ModernGeoid : public GridFiles {};

TEST_F(ModernGeoid, GridsMatchTheMemberAndRegionalOnesRefuseTheirEdges)
{
    // A regional grid of a linear function (splines reproduce it up to the
    // float32 rounding of the nodes) and a global 10-degree grid, pole to pole.
    GridFile regional{70, 19, 0.5, 0.5, 22, 27, {}};
    for (int r = 0; r < regional.rows; ++r)
        for (int c = 0; c < regional.cols; ++c)
            regional.words.push_back(bitsOf(float(20 + 0.5 * (70 - 0.5 * r) - 0.25 * (19 + 0.5 * c))));
    write("regional.dat", regional);
    write("kgeoid14.dat", randomGrid(rng, 19, 36, 90, 0, 10));
    write("short.dat", GridFile{70, 19, 0.5, 0.5, 3, 3, {bitsOf(1.0f)}});
    EXPECT_THROW(GeoidGrid(folder + "/short.dat"), std::runtime_error);  // nothing half-loaded
    const GeoidGrid reg(folder + "/regional.dat");
    const GeoidGrid global(folder + "/kgeoid14.dat");
    EXPECT_FALSE(reg.isGlobal());
    EXPECT_TRUE(global.isGlobal());

    const auto linear = [](double lat, double lon) { return 20 + 0.5 * lat - 0.25 * lon; };
    struct Case {
        double lat, lon;
        bool defined;
    };
    // Stored nodes: latitudes 59.5..70, longitudes 19..32, spacing 0.5. A
    // point needs two spacings inside every edge (exclusive at the north
    // and east edges): latitudes [60.5, 69), longitudes [20, 31).
    const Case cases[] = {{65, 25, true},      {60.5, 20.0, true}, {68.99, 30.99, true}, {69, 25, false},
                          {65, 31, false},     {60.49, 25, false}, {65, 19.99, false},   {65, 32.05, false},
                          {65, 25 - 360, true}, {65, 385, true},   {91, 25, false},      {65, NAN, false}};
    for (const Case& c : cases) {
        const double h = reg.height(c.lat, c.lon);
        if (c.defined)
            EXPECT_NEAR(h, linear(c.lat, std::fmod(c.lon + 360, 360)), 2e-5) << c.lat << " " << c.lon;
        else
            EXPECT_TRUE(std::isnan(h)) << c.lat << " " << c.lon << " gave " << h;
    }

    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const GeoidGrid copy = global;  // copies share the loaded grid
    std::mt19937_64 points(17);
    for (int k = 0; k < 400; ++k) {
        const double lat = uniform(points, -90, 90), lon = uniform(points, -180, 360);
        EXPECT_SAME(copy.height(lat, lon), t.KEGMGeoidHeight(lat, lon));
    }
}

TEST(ModernGeoidModel, Egm96MatchesTheMemberFromThreads)
{
    TERVALA_SKIP_WITHOUT_THREADS();
    if (!testsupport::haveEgm96Files())
        GTEST_SKIP() << "no EGM96 files in " << testsupport::egm96Folder();
    const Egm96Model model = Egm96Model::fromFolder(testsupport::egm96Folder());
    CTervala t;
    ASSERT_TRUE(testsupport::loadRealEgm96(t));
    std::vector<std::pair<double, double>> at;
    std::mt19937_64 rng(18);
    for (int k = 0; k < 24; ++k)
        at.push_back({uniform(rng, -90, 90), uniform(rng, -180, 180)});
    std::vector<double> legacy, threaded(at.size());
    for (const auto& [lat, lon] : at)
        legacy.push_back(t.EGM96GeoidHeight(lat, lon));
    // One model, four threads, each on every fourth point.
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&, w] {
            for (std::size_t k = w; k < at.size(); k += 4)
                threaded[k] = model.height(at[k].first, at[k].second);
        });
    for (std::thread& w : workers)
        w.join();
    for (std::size_t k = 0; k < at.size(); ++k)
        EXPECT_SAME(threaded[k], legacy[k]);
    EXPECT_TRUE(std::isnan(model.height(90.5, 0)));
}

// The projections hold their derived ellipsoid constants by a shared pointer:
// a copy, an assignment and a move must all leave both objects usable and
// equal (a moved-from projection that lost its constants would crash).
TEST(ModernProjection, CopiesAndMovesKeepTheirConstants)
{
    TransverseMercator tm(Ellipsoid("Bessel1841"), 38, 127, 600000, 200000, 0.9999);
    Utm utm(52, true, Ellipsoid::grs80());
    const Projected p = tm.forward(37.5, 127.3), q = utm.forward(-33.5, 128.2);
    TransverseMercator movedTm(std::move(tm));
    Utm movedUtm(std::move(utm));
    TransverseMercator assigned(Ellipsoid::wgs84(), 0, 9);
    assigned = movedTm;
    for (const TransverseMercator* t : {&tm, &movedTm, &assigned}) {
        EXPECT_SAME(t->forward(37.5, 127.3).easting, p.easting);
        EXPECT_SAME(t->inverse(p.easting, p.northing).latitude, movedTm.inverse(p.easting, p.northing).latitude);
    }
    for (const Utm* u : {&utm, &movedUtm})
        EXPECT_SAME(u->forward(-33.5, 128.2).northing, q.northing);
}

// Without standard deviations the weighted fits (the adjustment core with
// equal weights) give the unweighted fits' parameters, covariance and sigma,
// reached along a different path. At the centroid the shift of the height
// plane is uncorrelated with the slopes, so its variance is sigma^2 / n.
TEST(ModernFits, WeightedWithoutSigmaGivesTheUnweightedFit)
{
    std::mt19937_64 rng(41);
    const Helmert2D h2(40, -25, 12, 3600, {500, 500});
    const Helmert7 h7(-115.8, 474.99, 674.11, -2.5, 1.16, -2.31, -1.63, Convention::CoordinateFrame);
    std::vector<PlaneCoordinates> src, dst;
    std::vector<double> hs, ht;
    std::vector<Geocentric> gs, gt;
    std::normal_distribution<double> noise(0, 0.01);
    for (int k = 0; k < 9; ++k) {
        src.push_back({uniform(rng, 0, 1000), uniform(rng, 0, 1000)});
        const PlaneCoordinates d = h2.forward(src.back());
        dst.push_back({d.first + noise(rng), d.second + noise(rng)});
        hs.push_back(uniform(rng, 0, 100));
        ht.push_back(hs.back() + 2e-4 * src.back().first + 0.5 + noise(rng));
        gs.push_back(Ellipsoid::wgs84().toGeocentric({37 + uniform(rng, 0, 1), 127 + uniform(rng, 0, 1), 100}));
        const Geocentric g = h7.forward(gs.back());
        gt.push_back({g.x + noise(rng), g.y + noise(rng), g.z + noise(rng)});
    }
    auto check = [](const auto& plain, const auto& weighted, auto values, const char* what,
                    double sigmaTolerance = 1e-12) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(plain.transformation && weighted.transformation && weighted.statistics);
        EXPECT_FALSE(weighted.statistics->apriori);
        const auto p = values(*plain.transformation), w = values(*weighted.transformation);
        for (std::size_t i = 0; i < p.size(); ++i) {
            EXPECT_NEAR(w[i], p[i], 1e-9 * std::fabs(p[i]) + 1e-12) << "parameter " << i;
            for (std::size_t j = 0; j < p.size(); ++j)
                EXPECT_NEAR(weighted.covariance[i][j], plain.covariance[i][j],
                            1e-9 * plain.standardDeviations[i] * plain.standardDeviations[j]);
        }
        EXPECT_NEAR(weighted.summary.sigma, plain.summary.sigma, sigmaTolerance * plain.summary.sigma);
        EXPECT_EQ(weighted.summary.redundancy, plain.summary.redundancy);
    };
    auto seven = [](const Helmert7& h) {
        return std::array<double, 7>{h.tx(), h.ty(), h.tz(), h.s(), h.rx(), h.ry(), h.rz()};
    };
    check(fitHelmert2D(src, dst), fitHelmert2D(src, dst, FitSettings{}), [](const Helmert2D& h) {
        return std::array<double, 4>{h.t1(), h.t2(), h.scale(), h.rotation()};
    }, "2D Helmert");
    // Grids turned beyond a quarter turn: both fits report the rotation in
    // (-180, 180] degrees with the positive scale it was built with (a factor
    // below zero and the rotation off by a half turn before), and agree.
    for (const double rotation : {432000.0, -540000.0, 648000.0, -300000.0}) {
        const Helmert2D turned(40, -25, 12, rotation, {500, 500});
        std::vector<PlaneCoordinates> to;
        for (const PlaneCoordinates& p : src) {
            const PlaneCoordinates d = turned.forward(p);
            to.push_back({d.first + noise(rng), d.second + noise(rng)});
        }
        const Helmert2DFitResult plain = fitHelmert2D(src, to), weighted = fitHelmert2D(src, to, FitSettings{});
        for (const Helmert2DFitResult* r : {&plain, &weighted}) {
            ASSERT_TRUE(r->transformation);
            // 1 cm of noise over 1 km: a few arc-seconds and ppm.
            const double turn = r->transformation->rotation() - rotation;
            EXPECT_LT(std::fabs(std::remainder(turn, 1296000.0)), 50.0) << rotation;
            EXPECT_GT(r->transformation->rotation(), -648000.0);
            EXPECT_LE(r->transformation->rotation(), 648000.0);
            EXPECT_NEAR(r->transformation->scale(), 12.0, 50.0) << rotation;
        }
        check(plain, weighted, [](const Helmert2D& h) {
            return std::array<double, 4>{h.t1(), h.t2(), h.scale(), h.rotation()};
        }, "2D Helmert turned", 1e-11);  // the two solve apart: 1.4e-12 relative seen
    }
    const HeightPlaneFitResult b = fitHeightPlane(src, hs, ht);
    check(b, fitHeightPlane(src, hs, ht, FitSettings{}), [](const HeightPlane& h) {
        return std::array<double, 3>{h.slope1(), h.slope2(), h.shift()};
    }, "height plane");
    EXPECT_NEAR(b.covariance[2][2], b.summary.sigma * b.summary.sigma / 9, 1e-15);
    const Convention pv = Convention::PositionVector, cf = Convention::CoordinateFrame;
    check(fitHelmert7(gs, gt, pv), fitHelmert7(gs, gt, pv, FitSettings{}), seven, "Bursa-Wolf");
    check(fitMolodenskyBadekas(gs, gt, cf), fitMolodenskyBadekas(gs, gt, cf, FitSettings{}),
          [&seven](const MolodenskyBadekas& h) { return seven(h.parameters()); }, "Molodensky-Badekas");
}

// ---- Value equality ----------------------------------------------------------------

// Each pair differs in exactly one defining value; a copy equals its source.
TEST(ModernValues, EqualityComparesEveryDefiningValue)
{
    const Ellipsoid grs80("GRS80"), bessel("Bessel1841");
    const TransverseMercator tm(grs80, 38.0, 127.0, 600000.0, 200000.0, 1.0);
    const TransverseMercator tmOthers[] = {{bessel, 38.0, 127.0, 600000.0, 200000.0, 1.0},
                                           {grs80, 37.0, 127.0, 600000.0, 200000.0, 1.0},
                                           {grs80, 38.0, 129.0, 600000.0, 200000.0, 1.0},
                                           {grs80, 38.0, 127.0, 200000.0, 600000.0, 1.0},
                                           {grs80, 38.0, 127.0, 600000.0, 200000.0, 0.9996},
                                           {grs80, 38.0, 127.0, 600000.0, 200000.0, 1.0, TmMethod::Legacy},
                                           {grs80, 38.0, 127.0, 600000.0, 200000.0, 1.0, TmMethod::Kruger,
                                            TmAxes::WestSouth}};
    EXPECT_TRUE(tm == TransverseMercator(tm) && !(tm != TransverseMercator(tm)));
    // 487 and 127 are one meridian: the central meridian is compared reduced.
    EXPECT_TRUE(tm == TransverseMercator(grs80, 38.0, 487.0, 600000.0, 200000.0, 1.0));
    for (const TransverseMercator& other : tmOthers)
        EXPECT_TRUE(tm != other && !(tm == other));

    EXPECT_TRUE(Utm(52) == Utm(52, false, Ellipsoid::wgs84()));
    EXPECT_TRUE(Utm(52) != Utm(52, true) && Utm(52) != Utm(51) && Utm(52) != Utm(52, false, grs80) &&
                Utm(52) != Utm(52, false, Ellipsoid::wgs84(), TmMethod::Legacy));

    const Helmert7 h(-146.414, 507.337, 680.507, 0.0, 1.162, 2.347, 1.592, Convention::PositionVector);
    EXPECT_TRUE(h == Helmert7(h) && h != h.in(Convention::CoordinateFrame));
    EXPECT_TRUE(h.in(Convention::CoordinateFrame).in(Convention::PositionVector) == h);
    EXPECT_TRUE(h != Helmert7(-146.414, 507.337, 680.507, 0.0, 1.162, 2.347, -1.592, Convention::PositionVector));
    EXPECT_TRUE(h != Helmert7(-146.414, 507.337, 680.507, 0.0, 1.162, 2.347, 1.592, Convention::PositionVector,
                              RotationForm::small_angle));
    const MolodenskyBadekas mb(1, 2, 3, 0.5, 0.1, 0.2, 0.3, Convention::CoordinateFrame, {-3e6, 4e6, 3.8e6});
    EXPECT_TRUE(mb == MolodenskyBadekas(mb));
    EXPECT_TRUE(mb != MolodenskyBadekas(1, 2, 3, 0.5, 0.1, 0.2, 0.3, Convention::CoordinateFrame, {-3e6, 4e6, 3.9e6}));
    EXPECT_TRUE(mb != MolodenskyBadekas(1, 2, 3, 0.5, 0.1, 0.2, 0.3, Convention::PositionVector, {-3e6, 4e6, 3.8e6}));
    EXPECT_TRUE(mb != MolodenskyBadekas(1, 2, 3, 0.5, 0.1, 0.2, 0.3, Convention::CoordinateFrame, {-3e6, 4e6, 3.8e6},
                                        RotationForm::small_angle));
    const AbridgedMolodensky am(bessel, Ellipsoid::wgs84(), 1, 2, 3);
    EXPECT_TRUE(am == AbridgedMolodensky(am) && am != AbridgedMolodensky(Ellipsoid::wgs84(), bessel, 1, 2, 3));
    EXPECT_TRUE(am != AbridgedMolodensky(bessel, Ellipsoid::wgs84(), 1, 2, 4));
    const Helmert2D h2(1, 2, 3, 4, {5, 6});
    EXPECT_TRUE(h2 == Helmert2D(h2) && h2 != Helmert2D(2, 1, 3, 4, {5, 6}) && h2 != Helmert2D(1, 2, 3, 4, {6, 5}));
    const HeightPlane hp(1e-5, 2e-5, 0.5, {5, 6});
    EXPECT_TRUE(hp == HeightPlane(hp) && hp != HeightPlane(2e-5, 1e-5, 0.5, {5, 6}) &&
                hp != HeightPlane(1e-5, 2e-5, 0.5));
    // The point structs: NaN is never equal, -0 equals 0.
    const double nan = std::nan("");
    EXPECT_TRUE((Projected{1, 2} == Projected{1, 2}) && (Projected{1, 2} != Projected{2, 1}));
    EXPECT_TRUE((Geographic{-0.0, 1} == Geographic{0.0, 1}) && (Geographic{nan, 1} != Geographic{nan, 1}));
    EXPECT_TRUE((Geodetic{1, 2, 3} != Geodetic{1, 2, 4}) && (Geocentric{1, 2, 3} != Geocentric{1, 3, 3}));
}

// ---- propagated precision --------------------------------------------------------
// Expected values are derived by hand from the models' formulas (k is one
// arc-second in radians); the Jacobians of the seven-parameter rotations are
// checked against central differences of forward() and inverse().

namespace {
constexpr double kArcsec = 3.14159265358979323846 / 648000.0;
}

TEST(ModernPropagation, HandDerivedPlaneHeightAndEllipseCases)
{
    // Covariance -> semi-major, semi-minor, azimuth (degrees from the first axis toward the second).
    const struct {
        PlaneCovariance c;
        double a, b, azimuth;
    } ellipses[] = {
        {{{{4, 0}, {0, 1}}}, 2, 1, 0},
        {{{{1, 0}, {0, 4}}}, 2, 1, 90},
        {{{{3, 1}, {1, 3}}}, 2, 1.4142135623730951, 45},
        {{{{2, -1}, {-1, 2}}}, 1.7320508075688772, 1, 135},
        {{{{1, 1}, {1, 1}}}, 1.4142135623730951, 0, 45},  // rank one: a degenerate ellipse
        {{{{2, 0}, {0, 2}}}, 1.4142135623730951, 1.4142135623730951, 0},
    };
    for (const auto& e : ellipses) {
        const ErrorEllipse got = errorEllipse(e.c);
        EXPECT_NEAR(got.semiMajor, e.a, 1e-12);
        EXPECT_NEAR(got.semiMinor, e.b, 1e-8);
        EXPECT_NEAR(got.azimuth, e.azimuth, 1e-9);
    }
    EXPECT_TRUE(std::isnan(errorEllipse({{{std::nan(""), 0}, {0, 1}}}).semiMajor));

    // 2D Helmert about (100, 200), point 1000 m along the first axis:
    // first' varies with t1 and scale (1e-6 * 1000 per ppm), second' with t2
    // and the rotation (1000 k per arc-second).
    const std::array<std::array<double, 4>, 4> c2{{{1e-6, 0, 0, 0}, {0, 4e-6, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
    PlanePrecision p = propagate(Helmert2D(10, -5, 0, 0, {100, 200}), c2, {1100, 200});
    EXPECT_NEAR(p.sigmaFirst, std::sqrt(1e-6 + 1e-6), 1e-15);
    EXPECT_NEAR(p.sigmaSecond, std::sqrt(4e-6 + 1e6 * kArcsec * kArcsec), 1e-15);
    EXPECT_NEAR(p.ellipse.semiMajor, p.sigmaSecond, 1e-15);
    EXPECT_NEAR(p.ellipse.semiMinor, p.sigmaFirst, 1e-15);
    EXPECT_NEAR(p.ellipse.azimuth, 90, 1e-9);
    // Rotated by 90 degrees, the point 1000 m along the second axis: scale
    // moves it along -first, the rotation along -second; with t1 and scale
    // correlated +1 (1e-3 m and 1 ppm) first' is exact.
    const std::array<std::array<double, 4>, 4> c3{
        {{1e-6, 0, 1e-3, 0}, {0, 0, 0, 0}, {1e-3, 0, 1, 0}, {0, 0, 0, 1}}};
    p = propagate(Helmert2D(0, 0, 0, 324000, {0, 0}), c3, {0, 1000});
    EXPECT_NEAR(p.sigmaFirst, 0, 1e-9);  // t1 and -1e-3 m per ppm of scale cancel
    EXPECT_NEAR(p.sigmaSecond, 1000 * kArcsec, 1e-12);
    p = propagate(Helmert2D(0, 0, 0, -324000, {0, 0}), c3, {0, 1000});
    EXPECT_NEAR(p.sigmaFirst, 2e-3, 1e-12);  // turned the other way they add: 1e-3 + 1e-3
    EXPECT_NEAR(p.ellipse.azimuth, 90, 1e-6);

    // Height plane: (x - x0, y - y0, 1) = (1000, -500, 1).
    const std::array<std::array<double, 3>, 3> ch{{{1e-10, 0, 0}, {0, 4e-10, 0}, {0, 0, 1e-6}}};
    EXPECT_NEAR(propagate(HeightPlane(2e-4, -1e-4, 0.5, {500, 700}), ch, {1500, 200}), std::sqrt(2.01e-4), 1e-15);
}

TEST(ModernPropagation, SevenParameterSignsAndJacobians)
{
    // A point on the X axis: a rotation about Z moves it along Y by X k per
    // arc-second, -X k in the coordinate-frame convention, +X k for position
    // vector. With ty and rz correlated +1 (sigma X k each) the two cancel
    // in one convention and add in the other.
    const double X = 6378137, s = X * kArcsec;
    std::array<std::array<double, 7>, 7> c{};
    c[1][1] = s * s;
    c[6][6] = 1;
    c[1][6] = c[6][1] = s;
    for (const RotationForm form : {RotationForm::exact, RotationForm::small_angle}) {
        const GeocentricPrecision cf = propagate(Helmert7(0, 0, 0, 0, 0, 0, 0, Convention::CoordinateFrame, form), c,
                                                 {X, 0, 0});
        const GeocentricPrecision pv = propagate(Helmert7(0, 0, 0, 0, 0, 0, 0, Convention::PositionVector, form), c,
                                                 {X, 0, 0});
        EXPECT_NEAR(cf.sigmaY, 0, 1e-6);
        EXPECT_NEAR(pv.sigmaY, 2 * s, 1e-9);
        EXPECT_EQ(cf.sigmaX, 0);
        EXPECT_EQ(cf.sigmaZ, 0);
        // The inverse at the identity has every derivative negated (-J):
        // the same cancellation and the same sum.
        EXPECT_NEAR(propagate(Helmert7(0, 0, 0, 0, 0, 0, 0, Convention::CoordinateFrame, form), c, {X, 0, 0},
                              Direction::inverse)
                        .sigmaY,
                    0, 1e-6);
        EXPECT_NEAR(propagate(Helmert7(0, 0, 0, 0, 0, 0, 0, Convention::PositionVector, form), c, {X, 0, 0},
                              Direction::inverse)
                        .sigmaY,
                    2 * s, 1e-9);
    }
    // Large rotations (hours of arc), both conventions, both matrices, both
    // directions, Bursa-Wolf and Molodensky-Badekas: each Jacobian column
    // against central differences of the transformation itself.
    const Geocentric x{-3.1e6, 4.2e6, 3.6e6}, origin{-3.0e6, 4.1e6, 3.7e6};
    const double base[7] = {-115.8, 474.99, 674.11, 12.5, 3000, -2000, 5000};
    const double step[7] = {1, 1, 1, 1, 1e-2, 1e-2, 1e-2};
    for (const Convention conv : {Convention::CoordinateFrame, Convention::PositionVector})
        for (const RotationForm form : {RotationForm::exact, RotationForm::small_angle})
            for (const bool badekas : {false, true}) {
                auto apply = [&](const double (&v)[7], const Geocentric& q, bool inverse) {
                    if (badekas) {
                        const MolodenskyBadekas m(v[0], v[1], v[2], v[3], v[4], v[5], v[6], conv, origin, form);
                        return inverse ? m.inverse(q) : m.forward(q);
                    }
                    const Helmert7 h(v[0], v[1], v[2], v[3], v[4], v[5], v[6], conv, form);
                    return inverse ? h.inverse(q) : h.forward(q);
                };
                const Helmert7 h(base[0], base[1], base[2], base[3], base[4], base[5], base[6], conv, form);
                const MolodenskyBadekas m(base[0], base[1], base[2], base[3], base[4], base[5], base[6], conv,
                                          origin, form);
                const auto J = badekas ? parameterJacobian(m, x) : parameterJacobian(h, x);
                for (const bool inverse : {false, true})
                    for (int k = 0; k < 7; ++k) {
                        SCOPED_TRACE(::testing::Message() << "badekas " << badekas << " form " << int(form)
                                                          << " convention " << int(conv) << " inverse " << inverse
                                                          << " parameter " << k);
                        double up[7], down[7];
                        std::copy(base, base + 7, up);
                        std::copy(base, base + 7, down);
                        up[k] += step[k];
                        down[k] -= step[k];
                        const Geocentric a = apply(up, x, inverse), b = apply(down, x, inverse);
                        const double numeric[3] = {(a.x - b.x) / (2 * step[k]), (a.y - b.y) / (2 * step[k]),
                                                   (a.z - b.z) / (2 * step[k])};
                        // Only the k-th parameter has variance 1: sigma is |column k|.
                        std::array<std::array<double, 7>, 7> unit{};
                        unit[k][k] = 1;
                        const Direction d = inverse ? Direction::inverse : Direction::forward;
                        const GeocentricPrecision g = badekas ? propagate(m, unit, x, d) : propagate(h, unit, x, d);
                        const double sigma[3] = {g.sigmaX, g.sigmaY, g.sigmaZ};
                        for (int i = 0; i < 3; ++i) {
                            if (!inverse) {
                                EXPECT_NEAR(J[i][k], numeric[i], 1e-6 * std::fabs(numeric[i]) + 1e-7);
                            }
                            EXPECT_NEAR(sigma[i], std::fabs(numeric[i]), 1e-6 * std::fabs(numeric[i]) + 1e-7);
                        }
                    }
            }
}

TEST(ModernPropagation, FitsCarryTheirCovarianceToTheCentroid)
{
    // About the centroid of the sources a weighted 2D Helmert's translations
    // are the mean misclosures: each has variance sigma^2 / n and they are
    // uncorrelated with the rest, so the centroid maps with sigma / sqrt(n).
    const Helmert2D truth(40, -25, 12, 3600, {0, 0});
    std::vector<PlaneCoordinates> src{{0, 0}, {1000, 0}, {0, 800}, {900, 900}, {450, 300}};
    std::vector<PlaneCoordinates> dst;
    for (const PlaneCoordinates& q : src)
        dst.push_back(truth.forward(q));
    dst[2].first += 0.004;  // some misfit, which the a priori covariance ignores
    FitSettings settings;
    settings.sigma.assign(2 * src.size(), 0.01);
    const Helmert2DFitResult fit = fitHelmert2D(src, dst, settings);
    ASSERT_TRUE(fit.transformation);
    const PlanePrecision at = propagate(fit, fit.transformation->origin());
    EXPECT_NEAR(at.sigmaFirst, 0.01 / std::sqrt(5.0), 1e-12);
    EXPECT_NEAR(at.sigmaSecond, 0.01 / std::sqrt(5.0), 1e-12);
    // Farther out the scale and rotation add: larger, never smaller.
    EXPECT_GT(propagate(fit, {5000, 5000}).ellipse.semiMajor, at.ellipse.semiMajor * 1.5);
    // A degenerate fit has nothing to propagate.
    const Helmert2DFitResult degenerate = fitHelmert2D({{0, 0}, {0, 0}}, {{1, 1}, {1, 1}});
    ASSERT_FALSE(degenerate.transformation);
    EXPECT_THROW(propagate(degenerate, {0, 0}), std::invalid_argument);
}
