// Extreme and non-finite numbers through every public member: NaN, +-inf,
// +-1e308, latitudes of +-90, longitudes of +-720. Every call must return
// (a hang fails by the test timeout; the sanitizer builds run it too); where
// the header promises a result (NaN in, NaN out; the grid's result codes) the
// table says so and the test checks it.
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "TestSupport.h"
#include "tervala/Tervala.h"

namespace {

using testsupport::grs80;
using Values = std::vector<double>;
const double kInf = std::numeric_limits<double>::infinity();
const double kExtremes[] = {kNaN, kInf, -kInf, 1e308, -1e308, 90.0, -90.0, 720.0, -720.0};

CTervala ellipsoid(double a, double rf)
{
    CTervala t;
    t.Setup_Ellipsoid(a, rf);
    return t;
}
Values geocentric(CTervala t, double lat, double lon, double h)
{
    t.Geodetic_to_Geocentric(lat, lon, h);
    return {t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)};
}
Values geodetic(CTervala t, double X, double Y, double Z)
{
    t.Geocentric_to_Geodetic(X, Y, Z);
    return {t.GetGeodetic(0), t.GetGeodetic(1), t.GetGeodetic(2)};
}
// On the 38 N 127 E grid, false origin (600000, 200000).
Values tm(CTervala t, double k, double lat, double lon = 127.3)
{
    double lat0 = 38, lon0 = 127, h = 0;
    t.Geodetic_to_TM(lat0, lon0, 600000, 200000, k, lat, lon, h);
    return {t.GetTM(0), t.GetTM(1)};
}
Values tmInverse(CTervala t, double k, double n, double e)
{
    double lat0 = 38, lon0 = 127, h = 0;
    t.TM_to_Geodetic(lat0, lon0, 600000, 200000, k, n, e, h);
    return {t.GetGeodetic(0), t.GetGeodetic(1)};
}
// A seven-parameter member on an object set up by one of the two setters.
Values seven(bool badekas, int member, double s, double rz, double X, double Y, double Z)
{
    CTervala t;
    if (badekas)
        t.SetParameters_Molodensky_BadekasModel(-3e6, 4e6, 3.8e6, 100, -50, 20, s, 1, 2, rz);
    else
        t.SetParameters_Bursa_WolfModel(100, -50, 20, s, 1, 2, rz);
    if (member == 0)
        badekas ? t.Molodensky_BadekasModel(X, Y, Z) : t.Bursa_WolfModel(X, Y, Z);
    else
        badekas ? t.Inv_Molodensky_BadekasModel(X, Y, Z) : t.Inv_Bursa_WolfModel(X, Y, Z);
    return {t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)};
}
Values utm(int hemisphere, double a, double b, bool inverse = false)
{
    CTervala t = grs80();
    double cm = 129, h = 0;
    inverse ? t.UTM_to_Geodetic(hemisphere, cm, a, b, h) : t.Geodetic_to_UTM(hemisphere, cm, a, b, h);
    return inverse ? Values{t.GetGeodetic(0), t.GetGeodetic(1)} : Values{t.GetUTM(0), t.GetUTM(1)};
}
// The plane similarity (rotation in arc-seconds) and the height plane (slope a).
Values plane(double rotation, double a)
{
    CTervala t;
    t.Set2DHelmert(10, 20, 5, rotation);
    t.Helmert2D(100, 200, 150, 250);
    t.SetHeightTrans(a, 1e-5, 2);
    t.HeightTrans(100, 200, 150, 250, 30);
    return {t.Get2DH(0), t.Get2DH(1), t.Get2DH(2)};
}
Values abridged(double lat)
{
    CTervala t = grs80();
    t.Abridged_Molodensky_Transform(lat, 10, 100, -50, 20, 251, 1.4e-5);
    return {t.GetdLLH(0), t.GetdLLH(1), t.GetdLLH(2)};
}
// Four points and their images 100 m away, one coordinate replaced by v.
Values sevenFit(bool badekas, int replaced, double v)
{
    CTervala t;
    double xyz[24] = {-3e6, 4e6, 3.8e6, -3.1e6, 4e6, 3.7e6, -3e6, 4.1e6, 3.7e6, -3.05e6, 4.05e6, 3.75e6};
    for (int k = 0; k < 12; ++k)
        xyz[12 + k] = xyz[k] + 100;
    xyz[replaced] = v;
    badekas ? t.SevenParameters_Molodensky_BadekasModel(12, xyz, xyz + 12) : t.SevenParameters_Bursa_WolfModel(12, xyz, xyz + 12);
    return {t.GetSevenParameters(0), t.GetSevenParameters(6), t.GetSigma()};
}

const double X0 = -3049086.2, Y0 = 4046274.1, Z0 = 3861624.9;

// Member and argument, the call with the argument set to v, and whether a
// NaN argument must make every result NaN.
const struct Case {
    const char* member;
    std::function<Values(double)> call;
    bool nanGivesNaN;
} kCases[] = {
    {"Geodetic_to_Geocentric latitude", [](double v) { return geocentric(grs80(), v, 10, 0); }, true},
    {"Geodetic_to_Geocentric height", [](double v) { return geocentric(grs80(), 10, 10, v); }, true},
    {"Geocentric_to_Geodetic X", [](double v) { return geodetic(grs80(), v, 1e6, 5e6); }, true},
    {"Geodetic_to_TM latitude", [](double v) { return tm(grs80(), 1.0, v); }, true},
    {"Geodetic_to_TM scale", [](double v) { return tm(grs80(), v, 37.5); }, true},
    {"TM_to_Geodetic easting", [](double v) { return tmInverse(grs80(), 1.0, 544546.4017, v); }, true},
    {"TM_to_Geodetic scale", [](double v) { return tmInverse(grs80(), v, 544546.4017, 226527.6649); }, true},
    {"Geodetic_to_UTM longitude", [](double v) { return utm(0, 37.5, v); }, true},
    {"UTM_to_Geodetic northing", [](double v) { return utm(1, v, 349731.1112, true); }, true},
    {"Helmert2D rotation", [](double v) { return Values{plane(v, 1e-5)[0], plane(v, 1e-5)[1]}; }, true},
    {"HeightTrans slope", [](double v) { return Values{plane(0, v)[2]}; }, true},
    {"Bursa_WolfModel X", [](double v) { return seven(false, 0, 5, 3, v, Y0, Z0); }, true},
    {"Inv_Bursa_WolfModel scale", [](double v) { return seven(false, 1, v, 3, X0, Y0, Z0); }, true},
    {"Molodensky_BadekasModel X", [](double v) { return seven(true, 0, 5, 3, v, Y0, Z0); }, true},
    {"Inv_Molodensky_BadekasModel Z", [](double v) { return seven(true, 1, 5, 3, X0, Y0, v); }, true},
    // A rotation about Z leaves Z alone: a NaN rz spoils X' and Y' only.
    {"Bursa_WolfModel rz", [](double v) { Values r = seven(false, 0, 5, v, X0, Y0, Z0); return Values{r[0], r[1]}; }, true},
    {"Abridged_Molodensky_Transform latitude", [](double v) { return abridged(v); }, true},
    {"Parameters_2DHelmert coordinate", [](double v) {
         CTervala t;
         double src[] = {0, 0, 100, 0, 0, 100, v, 50}, dst[] = {10, 20, 110, 20, 10, 120, 60, 70};
         t.Parameters_2DHelmert(8, src, dst);
         return Values{t.Get2DHelmertParameters(0), t.Get2DHelmertParameters(2), t.GetSigma()};
     }, true},
    {"Parameters_HeightTrans height", [](double v) {
         CTervala t;
         double xy[] = {0, 0, 100, 0, 0, 100, 50, 50}, hs[] = {1, 2, 3, v}, ht[] = {11, 12, 13, 14};
         t.Parameters_HeightTrans(4, 0, 0, xy, hs, ht);
         return Values{t.GetHeightParameters(0), t.GetHeightParameters(2), t.GetHeightMeanaccuracy()};
     }, true},
    // The iterative fits promise only to return (within their pass limit).
    {"SevenParameters_Bursa_WolfModel coordinate", [](double v) { return sevenFit(false, 4, v); }, false},
    {"SevenParameters_Molodensky_BadekasModel coordinate", [](double v) { return sevenFit(true, 19, v); }, false},
    {"EGM96GeoidHeight without coefficients", [](double v) { return Values{CTervala().EGM96GeoidHeight(v, 10)}; }, true},
    {"CorrUndulation longitude", [](double v) { return Values{grs80().CorrUndulation(37, v, 100, -50, 20, 251, 1.4e-5)}; }, true},
    {"inverse flattening, to geocentric", [](double v) { Values r = geocentric(ellipsoid(6378137.0, v), 37.5, 127, 100); return Values{r[0], r[2]}; }, true},
    {"inverse flattening, to geodetic", [](double v) { Values r = geodetic(ellipsoid(6378137.0, v), X0, Y0, Z0); return Values{r[0], r[2]}; }, true},
    {"inverse flattening, TM", [](double v) { return tm(ellipsoid(6378137.0, v), 1.0, 37.5); }, true},
    {"semi-major axis, to geodetic", [](double v) { Values r = geodetic(ellipsoid(v, 298.257222101), X0, Y0, Z0); return Values{r[0], r[2]}; }, true},
};

} // namespace

TEST(Extremes, EveryMemberReturnsAndNaNGivesNaN)
{
    for (const Case& c : kCases)
        for (double v : kExtremes) {
            const Values got = c.call(v);
            for (double r : got) {
                EXPECT_TRUE(!std::isnan(v) || !c.nanGivesNaN || std::isnan(r)) << c.member;
            }
        }
}

// Grid geoid heights, a global 10-degree grid loaded: the range test and the
// result code 999999 for every extreme coordinate out of range (-999999
// before any load: test_grid).
TEST(Extremes, GridGeoidHeightCodes)
{
    GridFile f{90, 0, 10, 10, 19, 36, {}};
    for (int k = 0; k < 19 * 36; ++k)
        f.words.push_back(bitsOf(1.0f + static_cast<float>(k % 7)));
    CTervala t;
    {
        const testsupport::DataDir data("extremes-grid");
        data.write("egm2008p.dat", f.bytes());
        ASSERT_EQ(t.LoadKEGMData(2008), 1);
    }
    const double outside[][2] = {{kNaN, 10}, {10, kNaN}, {kInf, 10}, {-kInf, 10}, {10, kInf}, {10, -kInf}, {1e308, 10},
                                 {10, -1e308}, {90.5, 10}, {-90.5, 10}, {10, -720}, {10, 730}, {10, -370}};
    const double inside[][2] = {{90, 10}, {-90, 10}, {10, 720}, {10, 540}, {10, -180}};
    for (const auto& p : outside)
        EXPECT_EQ(t.KEGMGeoidHeight(p[0], p[1]), 999999.0) << p[0] << " " << p[1];
    for (const auto& p : inside)
        EXPECT_TRUE(std::isfinite(t.KEGMGeoidHeight(p[0], p[1])) && std::fabs(t.KEGMGeoidHeight(p[0], p[1])) < 8)
            << p[0] << " " << p[1];
}
