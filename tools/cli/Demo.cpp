// tervala demo: the road of one typical request on built-in inputs. A point
// on one datum is carried to another with seven parameters, put on the second
// ellipsoid, projected to a Transverse Mercator grid and to UTM, and given its
// geoid height from a real geoid grid (EGM2008); then seven parameters are fitted to a
// built-in set of common points and reported.
#include <cmath>
#include <cstdio>

#include "CommonPoints.h"
#include "Commands.h"
#include "geoid/GeoidGrid.h"
#include "gridtools/Egm2008Grid.h"
#include "gridtools/GtxGrid.h"
#include "platform/ByteOrder.h"
#include "platform/Files.h"

namespace tervala {
namespace cli {
namespace {

// Bessel 1841 (the old Tokyo datum's ellipsoid) and GRS80.
constexpr double kBesselA = 6377397.155, kBesselInvF = 299.1528128;
constexpr double kGrs80A = 6378137.0, kGrs80InvF = 298.257222101;

// Seven parameters of the size of the Tokyo datum -> GRS80 shift in Korea
// (tx, ty, tz in m, scale in ppm, rx, ry, rz in arc-seconds, coordinate
// frame rotation). Illustrative: use the published values of your agency.
constexpr double kShift[7] = {-115.80, 474.99, 674.11, 6.43, 1.16, -2.31, -1.63};

constexpr const char* kGtx = "/usr/share/proj/egm96_15.gtx";

bool exists(const std::string& path) { return platform::isRegularFile(path); }

void section(const char* title) { std::printf("\n== %s\n", title); }

// Whether the grid file at `path` is the EGM2008 2.5' global grid (by its
// header).
bool isEgm2008Grid(const std::string& path)
{
    tervala::platform::File file = tervala::platform::openRegularFile(path);
    unsigned char raw[tervala::grid::kGridHeaderBytes];
    if (!file || std::fread(raw, 1, sizeof raw, file.get()) != sizeof raw)
        return false;
    const double dlat = tervala::platform::littleEndianDouble(raw + 16);
    return tervala::platform::littleEndianInt32(raw + 32) == 4321 &&
           tervala::platform::littleEndianInt32(raw + 36) == 8640 && std::fabs(dlat * 24 - 1) < 1e-9;
}

// Geoid height at the point from EGM2008 (model 2008, egm2008p.dat in the
// data folder, made from the geotranz grid when missing); without geotranz,
// from the EGM96 15' grid of proj-data in a folder of its own, saying so.
void geoidStep(double lat, double lon, const std::string& dataDir)
{
    section("6. Geoid height from a geoid grid");
    const std::string folder = dataDir.empty() ? CTervala::GetDataFolder() : dataDir;
    platform::makeDirectory(folder);
    std::string gridFolder = folder, gridFile = folder + "/egm2008p.dat", model = "EGM2008";
    int selector = 2008;
    tervala::raster::Conversion done;
    std::string error;
    if (exists(tervala::egm2008::kGeotranzPath)) {
        if (!isEgm2008Grid(gridFile)) {
            if (!tervala::egm2008::convert(tervala::egm2008::kGeotranzPath, gridFile, done, error)) {
                std::printf("skipped: converting %s failed: %s\n", tervala::egm2008::kGeotranzPath, error.c_str());
                return;
            }
            std::printf("converted %s (EGM2008, 2.5' grid, tide-free) into %s\n", tervala::egm2008::kGeotranzPath,
                        gridFile.c_str());
        }
    } else {
        gridFolder = folder + "/egm96";
        gridFile = gridFolder + "/kgeoid14.dat";
        model = "EGM96";
        selector = 14;
        std::printf("EGM2008 is not installed (%s, Debian package geotranz: scripts/install-deps --with-egm2008);\n"
                    "falls back to EGM96, grid file %s\n",
                    tervala::egm2008::kGeotranzPath, gridFile.c_str());
        if (!exists(gridFile)) {
            if (!exists(kGtx)) {
                std::printf("skipped: %s not found either (Debian package proj-data)\n", kGtx);
                return;
            }
            platform::makeDirectory(gridFolder);
            if (!tervala::gtx::convertGtxToGrid(kGtx, gridFile, done, error)) {
                std::printf("skipped: converting %s failed: %s\n", kGtx, error.c_str());
                return;
            }
            std::printf("converted %s (EGM96, 15' grid) into %s\n", kGtx, gridFile.c_str());
        }
    }
    CTervala::SetDataFolder(gridFolder.c_str());
    CTervala t;
    if (t.LoadKEGMData(selector) != 1) {
        std::printf("skipped: %s could not be loaded\n", gridFile.c_str());
        return;
    }
    const double N = t.KEGMGeoidHeight(lat, lon);
    std::printf("grid file         %s (selector %d)\n", gridFile.c_str(), selector);
    std::printf("%s undulation %sN = %.4f m at %.9f, %.9f\n", model.c_str(), model == "EGM96" ? " " : "", N, lat, lon);
}

int fitStep(const Context& ctx)
{
    section("7. Seven parameters fitted to built-in common points");
    // Six points around the survey area on Bessel 1841, their GRS80
    // coordinates made with the parameters above plus survey-sized errors
    // (up to 13 mm).
    const double places[6][3] = {{37.20, 126.70, 45.0},  {37.25, 127.30, 120.0}, {37.70, 127.25, 80.0},
                                 {37.75, 126.75, 60.0},  {37.48, 127.00, 35.0},  {37.60, 126.90, 150.0}};
    const double errors[6][3] = {{0.012, -0.008, 0.005}, {-0.006, 0.011, -0.009}, {0.004, 0.007, 0.013},
                                 {-0.010, -0.004, -0.006}, {0.003, -0.012, 0.002}, {0.008, 0.005, -0.011}};
    CTervala t;
    t.SetParameters_Bursa_WolfModel(kShift[0], kShift[1], kShift[2], kShift[3], kShift[4], kShift[5], kShift[6]);
    std::vector<CommonPoint> points;
    for (int k = 0; k < 6; ++k) {
        t.Setup_Ellipsoid(kBesselA, kBesselInvF);
        double lat = places[k][0], lon = places[k][1], h = places[k][2];
        t.Geodetic_to_Geocentric(lat, lon, h);
        CommonPoint p;
        p.id = "K" + std::to_string(k + 1);
        p.line = k + 1;
        p.source = {t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)};
        t.Bursa_WolfModel(p.source[0], p.source[1], p.source[2]);
        p.target = {t.GetGeocentric(0) + errors[k][0], t.GetGeocentric(1) + errors[k][1],
                    t.GetGeocentric(2) + errors[k][2]};
        // The precision claimed for them: 1 cm for the target coordinates,
        // the source coordinates error-free, so the report carries its tests.
        p.sigma = {0.0, 0.01};
        points.push_back(p);
    }
    std::printf("true parameters: tx %.2f ty %.2f tz %.2f m, s %.2f ppm, rx %.2f ry %.2f rz %.2f\"\n\n", kShift[0],
                kShift[1], kShift[2], kShift[3], kShift[4], kShift[5], kShift[6]);
    Context fitContext = ctx;
    fitContext.ellipsoid = NamedEllipsoid{"GRS80", kGrs80A, kGrs80InvF};
    const int status = reportSevenParameterFit("molodensky-badekas", points, "built-in points", fitContext);

    // The fitted translations refer to the centroid. The same transformation
    // about the geocentre has as translations the image of the geocentre.
    std::vector<double> src, dst;
    for (const CommonPoint& p : points) {
        src.insert(src.end(), p.source.begin(), p.source.end());
        dst.insert(dst.end(), p.target.begin(), p.target.end());
    }
    CTervala fit;
    fit.SevenParameters_Molodensky_BadekasModel(static_cast<int>(src.size()), src.data(), dst.data());
    fit.Molodensky_BadekasModel(0.0, 0.0, 0.0);
    std::printf("\nAbout the geocentre (the image of X = 0): tx %.3f  ty %.3f  tz %.3f m (true %.2f, %.2f, %.2f)\n",
                fit.GetGeocentric(0), fit.GetGeocentric(1), fit.GetGeocentric(2), kShift[0], kShift[1], kShift[2]);
    return status;
}

int demo(const Context& ctx)
{
    std::printf("Tervala demo: one point from the Tokyo datum (Bessel 1841) to GRS80, onto the grids, with its\n"
                "geoid height; then a seven-parameter fit.\n");
    CTervala t;

    section("1. Geodetic -> geocentric on Bessel 1841");
    t.Setup_Ellipsoid(kBesselA, kBesselInvF);
    const double lat0 = 37.5665, lon0 = 126.978, h0 = 50.0;
    double lat = lat0, lon = lon0, h = h0;
    t.Geodetic_to_Geocentric(lat, lon, h);
    const double X = t.GetGeocentric(0), Y = t.GetGeocentric(1), Z = t.GetGeocentric(2);
    std::printf("in                lat %.9f  lon %.9f  h %.4f m\n", lat0, lon0, h0);
    std::printf("geocentric        X %.4f  Y %.4f  Z %.4f m\n", X, Y, Z);

    section("2. Bursa-Wolf to GRS80");
    std::printf("parameters        tx %.2f ty %.2f tz %.2f m, s %.2f ppm, rx %.2f ry %.2f rz %.2f\" (coordinate frame)\n",
                kShift[0], kShift[1], kShift[2], kShift[3], kShift[4], kShift[5], kShift[6]);
    t.SetParameters_Bursa_WolfModel(kShift[0], kShift[1], kShift[2], kShift[3], kShift[4], kShift[5], kShift[6]);
    t.Bursa_WolfModel(X, Y, Z);
    double X2 = t.GetGeocentric(0), Y2 = t.GetGeocentric(1), Z2 = t.GetGeocentric(2);
    std::printf("geocentric        X %.4f  Y %.4f  Z %.4f m\n", X2, Y2, Z2);

    section("3. Geocentric -> geodetic on GRS80");
    t.Setup_Ellipsoid(kGrs80A, kGrs80InvF);
    t.Geocentric_to_Geodetic(X2, Y2, Z2);
    const double lat2 = t.GetGeodetic(0), lon2 = t.GetGeodetic(1), h2 = t.GetGeodetic(2);
    std::printf("geodetic          lat %.9f  lon %.9f  h %.4f m\n", lat2, lon2, h2);
    std::printf("datum shift       dlat %+.3f\"  dlon %+.3f\"  dh %+.4f m\n", (lat2 - lat0) * 3600, (lon2 - lon0) * 3600,
                h2 - h0);

    section("4. Transverse Mercator (latitude of origin 38, central meridian 127, 600 km N / 200 km E, scale 1)");
    double tmLat0 = 38.0, tmLon0 = 127.0, pLat = lat2, pLon = lon2, pH = h2;
    t.Geodetic_to_TM(tmLat0, tmLon0, 600000.0, 200000.0, 1.0, pLat, pLon, pH);
    std::printf("grid              N %.4f  E %.4f m\n", t.GetTM(0), t.GetTM(1));

    section("5. UTM zone 52N (central meridian 129)");
    double cm = 129.0;
    pLat = lat2;
    pLon = lon2;
    pH = h2;
    t.Geodetic_to_UTM(0, cm, pLat, pLon, pH);
    std::printf("grid              N %.4f  E %.4f m\n", t.GetUTM(0), t.GetUTM(1));

    geoidStep(lat2, lon2, ctx.dataDir);
    return fitStep(ctx);
}

} // namespace

void addDemoCommand(CLI::App& app, Context& ctx, Registry& registry)
{
    CLI::App* sub = app.add_subcommand("demo", "The road of one typical request, on built-in inputs");
    sub->add_option("--data-dir", ctx.dataDir,
                    "Data folder for the geoid grid (EGM2008 is converted into it from geotranz when missing)");
    registry.add(sub, [&ctx] { return demo(ctx); });
}

} // namespace cli
} // namespace tervala
