// Prints the extreme-input tables of docs/reliability.md: what every public
// member gives for NaN, +-inf, +-1e308, latitudes of +-90 and longitudes of
// +-720 in one argument, and what the conversions give on degenerate
// ellipsoids. Run by `scripts/tables extremes`. The promises behind the
// tables (NaN in, NaN out; the grid codes) are asserted by the test suite;
// this program only reports.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "tervala/Tervala.h"

namespace {

using Values = std::vector<double>;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

struct Extreme {
    const char* name;
    double value;
};

// The values every numeric argument is tried with.
const Extreme kExtremes[] = {{"NaN", kNaN}, {"+inf", kInf}, {"-inf", -kInf}, {"+1e308", 1e308}, {"-1e308", -1e308},
                             {"+90", 90.0}, {"-90", -90.0}, {"+720", 720.0}, {"-720", -720.0}};

// How a result looks: finite, NaN or an infinity.
std::string classOf(double v)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return "inf";
    return "finite";
}

// The classes of several results of one call, merged: "NaN" when all are
// NaN, "finite/inf" when they differ.
std::string classOf(const Values& values)
{
    std::vector<std::string> seen;
    for (double v : values) {
        const std::string c = classOf(v);
        if (std::find(seen.begin(), seen.end(), c) == seen.end())
            seen.push_back(c);
    }
    std::string out;
    for (const std::string& c : seen)
        out += (out.empty() ? "" : "/") + c;
    return out;
}

CTervala ellipsoid(double a, double inverseFlattening)
{
    CTervala t;
    t.Setup_Ellipsoid(a, inverseFlattening);
    return t;
}
CTervala grs80()
{
    return ellipsoid(6378137.0, 298.257222101);
}

// The members called with copies of their arguments, returning what the
// accessors then hold.
Values toGeocentric(CTervala t, double lat, double lon, double h)
{
    t.Geodetic_to_Geocentric(lat, lon, h);
    return {t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)};
}
Values toGeodetic(CTervala t, double X, double Y, double Z)
{
    t.Geocentric_to_Geodetic(X, Y, Z);
    return {t.GetGeodetic(0), t.GetGeodetic(1), t.GetGeodetic(2)};
}
// On the 38 N 127 E grid (false origin 600000, 200000).
Values toTM(CTervala t, double k, double lat, double lon = 127.3)
{
    double lat0 = 38, lon0 = 127, h = 0;
    t.Geodetic_to_TM(lat0, lon0, 600000, 200000, k, lat, lon, h);
    return {t.GetTM(0), t.GetTM(1)};
}
Values fromTM(CTervala t, double k, double easting)
{
    double lat0 = 38, lon0 = 127, n = 544546.4017, h = 0;
    t.TM_to_Geodetic(lat0, lon0, 600000, 200000, k, n, easting, h);
    return {t.GetGeodetic(0), t.GetGeodetic(1)};
}
Values geocentricOf(CTervala& t)
{
    return {t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)};
}
CTervala sevenParameters(double s, double rz)
{
    CTervala t;
    t.SetParameters_Bursa_WolfModel(100, -50, 20, s, 1, 2, rz);
    return t;
}
CTervala molodenskyBadekas()
{
    CTervala t;
    t.SetParameters_Molodensky_BadekasModel(-3e6, 4e6, 3.8e6, 100, -50, 20, 5, 1, 2, 3);
    return t;
}
// Four points 100 m from their images in every coordinate, one coordinate
// (source index, or target index + 12) replaced by v.
Values sevenParameterFit(bool molodenskyBadekasModel, int replaced, double v)
{
    CTervala t;
    double xyz[24] = {-3e6, 4e6, 3.8e6, -3.1e6, 4e6, 3.7e6, -3e6, 4.1e6, 3.7e6, -3.05e6, 4.05e6, 3.75e6};
    for (int k = 0; k < 12; ++k)
        xyz[12 + k] = xyz[k] + 100;
    xyz[replaced] = v;
    if (molodenskyBadekasModel)
        t.SevenParameters_Molodensky_BadekasModel(12, xyz, xyz + 12);
    else
        t.SevenParameters_Bursa_WolfModel(12, xyz, xyz + 12);
    return {t.GetSevenParameters(0), t.GetSevenParameters(6), t.GetSigma()};
}

struct Case {
    const char* member;
    const char* argument;
    std::function<Values(double)> call;
};

const Case kCases[] = {
    {"Geodetic_to_Geocentric", "latitude", [](double v) { return toGeocentric(grs80(), v, 10, 0); }},
    {"Geodetic_to_Geocentric", "height", [](double v) { return toGeocentric(grs80(), 10, 10, v); }},
    {"Geocentric_to_Geodetic", "X", [](double v) { return toGeodetic(grs80(), v, 1e6, 5e6); }},
    {"Geodetic_to_TM", "latitude", [](double v) { return toTM(grs80(), 1.0, v); }},
    {"Geodetic_to_TM", "scale factor", [](double v) { return toTM(grs80(), v, 37.5); }},
    {"TM_to_Geodetic", "easting", [](double v) { return fromTM(grs80(), 1.0, v); }},
    {"TM_to_Geodetic", "scale factor", [](double v) { return fromTM(grs80(), v, 226527.6649); }},
    {"Geodetic_to_UTM", "longitude",
     [](double v) {
         CTervala t = grs80();
         double cm = 129, lat = 37.5, lon = v, h = 0;
         t.Geodetic_to_UTM(0, cm, lat, lon, h);
         return Values{t.GetUTM(0), t.GetUTM(1)};
     }},
    {"UTM_to_Geodetic", "northing",
     [](double v) {
         CTervala t = grs80();
         double cm = 129, n = v, e = 349731.1112, h = 0;
         t.UTM_to_Geodetic(1, cm, n, e, h);
         return Values{t.GetGeodetic(0), t.GetGeodetic(1)};
     }},
    {"Helmert2D", "rotation",
     [](double v) {
         CTervala t;
         t.Set2DHelmert(10, 20, 5, v);
         t.Helmert2D(100, 200, 150, 250);
         return Values{t.Get2DH(0), t.Get2DH(1)};
     }},
    {"HeightTrans", "slope",
     [](double v) {
         CTervala t;
         t.SetHeightTrans(v, 1e-5, 2);
         t.HeightTrans(100, 200, 150, 250, 30);
         return Values{t.Get2DH(2)};
     }},
    {"Bursa_WolfModel", "X",
     [](double v) {
         CTervala t = sevenParameters(5, 3);
         t.Bursa_WolfModel(v, 4046274.1, 3861624.9);
         return geocentricOf(t);
     }},
    {"Bursa_WolfModel", "rotation rz",
     [](double v) {
         CTervala t = sevenParameters(5, v);
         t.Bursa_WolfModel(-3049086.2, 4046274.1, 3861624.9);
         return geocentricOf(t);
     }},
    {"Inv_Bursa_WolfModel", "scale (ppm)",
     [](double v) {
         CTervala t = sevenParameters(v, 3);
         double X = -3049086.2, Y = 4046274.1, Z = 3861624.9;
         t.Inv_Bursa_WolfModel(X, Y, Z);
         return geocentricOf(t);
     }},
    {"Molodensky_BadekasModel", "X",
     [](double v) {
         CTervala t = molodenskyBadekas();
         t.Molodensky_BadekasModel(v, 4046274.1, 3861624.9);
         return geocentricOf(t);
     }},
    {"Inv_Molodensky_BadekasModel", "Z",
     [](double v) {
         CTervala t = molodenskyBadekas();
         double X = -3049086.2, Y = 4046274.1, Z = v;
         t.Inv_Molodensky_BadekasModel(X, Y, Z);
         return geocentricOf(t);
     }},
    {"Abridged_Molodensky_Transform", "latitude",
     [](double v) {
         CTervala t = grs80();
         t.Abridged_Molodensky_Transform(v, 10, 100, -50, 20, 251, 1.4e-5);
         return Values{t.GetdLLH(0), t.GetdLLH(1), t.GetdLLH(2)};
     }},
    {"Parameters_2DHelmert", "a coordinate",
     [](double v) {
         CTervala t;
         double src[] = {0, 0, 100, 0, 0, 100, v, 50}, dst[] = {10, 20, 110, 20, 10, 120, 60, 70};
         t.Parameters_2DHelmert(8, src, dst);
         return Values{t.Get2DHelmertParameters(0), t.Get2DHelmertParameters(2), t.GetSigma()};
     }},
    {"Parameters_HeightTrans", "a height",
     [](double v) {
         CTervala t;
         double xy[] = {0, 0, 100, 0, 0, 100, 50, 50}, hs[] = {1, 2, 3, v}, ht[] = {11, 12, 13, 14};
         t.Parameters_HeightTrans(4, 0, 0, xy, hs, ht);
         return Values{t.GetHeightParameters(0), t.GetHeightParameters(2), t.GetHeightMeanaccuracy()};
     }},
    {"SevenParameters_Bursa_WolfModel", "a coordinate", [](double v) { return sevenParameterFit(false, 4, v); }},
    {"SevenParameters_Molodensky_BadekasModel", "a coordinate",
     [](double v) { return sevenParameterFit(true, 12 + 7, v); }},
    {"EGM96GeoidHeight (no coefficients)", "latitude",
     [](double v) { return Values{CTervala().EGM96GeoidHeight(v, 10)}; }},
    {"CorrUndulation", "longitude",
     [](double v) { return Values{grs80().CorrUndulation(37, v, 100, -50, 20, 251, 1.4e-5)}; }},
    {"Setup_Ellipsoid + Geodetic_to_Geocentric", "inverse flattening",
     [](double v) {
         const Values r = toGeocentric(ellipsoid(6378137.0, v), 37.5, 127, 100);
         return Values{r[0], r[2]};
     }},
    {"Setup_Ellipsoid + Geocentric_to_Geodetic", "inverse flattening",
     [](double v) {
         const Values r = toGeodetic(ellipsoid(6378137.0, v), -3049086.2, 4046274.1, 3861624.9);
         return Values{r[0], r[2]};
     }},
    {"Setup_Ellipsoid + Geodetic_to_TM", "inverse flattening",
     [](double v) { return toTM(ellipsoid(6378137.0, v), 1.0, 37.5); }},
};

void printMemberTable()
{
    std::printf("| member | argument |");
    for (const Extreme& e : kExtremes)
        std::printf(" %s |", e.name);
    std::printf("\n|---|---|");
    for (std::size_t i = 0; i < sizeof kExtremes / sizeof kExtremes[0]; ++i)
        std::printf("---|");
    std::printf("\n");
    for (const Case& c : kCases) {
        std::printf("| `%s` | %s |", c.member, c.argument);
        for (const Extreme& e : kExtremes)
            std::printf(" %s |", classOf(c.call(e.value)).c_str());
        std::printf("\n");
    }
}

// Zero and negative inverse flattening (f infinite or negative), an inverse
// flattening of 1 (b = 0), zero and negative axes, NaN.
void printEllipsoidTable()
{
    const struct {
        const char* name;
        double a, rf;
    } ellipsoids[] = {{"1/f = 0", 6378137.0, 0.0},          {"1/f = -298.257", 6378137.0, -298.257222101},
                      {"1/f = 1 (b = 0)", 6378137.0, 1.0},  {"a = 0", 0.0, 298.257222101},
                      {"a < 0", -6378137.0, 298.257222101}, {"a = NaN", kNaN, 298.257222101}};
    std::printf(
        "| ellipsoid | geodetic to geocentric | geocentric to geodetic | TM | UTM inverse | abridged Molodensky | "
        "CorrUndulation |\n|---|---|---|---|---|---|---|\n");
    for (const auto& e : ellipsoids) {
        CTervala t = ellipsoid(e.a, e.rf);
        const std::string forward = classOf(toGeocentric(t, 45, 45, 10));
        const std::string inverse = classOf(toGeodetic(t, 4517590.9, 4517590.9, 4487348.4));
        double lat0 = 0, cm = 45, la = 45, lo = 46, hh = 0;
        t.Geodetic_to_TM(lat0, cm, 0, 500000, 0.9996, la, lo, hh);
        const std::string tm = classOf(Values{t.GetTM(0), t.GetTM(1)});
        double cm2 = 45, n = 4983064.6, ea = 578871.2;
        t.UTM_to_Geodetic(0, cm2, n, ea, hh);
        const std::string utmInverse = classOf(Values{t.GetGeodetic(0), t.GetGeodetic(1)});
        t.Abridged_Molodensky_Transform(45, 45, 1, 2, 3, 4, 5e-6);
        const std::string abridged = classOf(Values{t.GetdLLH(0), t.GetdLLH(1), t.GetdLLH(2)});
        const std::string correction = classOf(t.CorrUndulation(45, 45, 1, 2, 3, 4, 5e-6));
        std::printf("| %s | %s | %s | %s | %s | %s | %s |\n", e.name, forward.c_str(), inverse.c_str(), tm.c_str(),
                    utmInverse.c_str(), abridged.c_str(), correction.c_str());
    }
}

} // namespace

int main()
{
    printMemberTable();
    std::printf("\n");
    printEllipsoidTable();
    return 0;
}
