// Grid files from rasters and back: NGA's EGM2008 grid (geotranz layout),
// and, when the build has GDAL, rasters of every registration, no-data,
// scale, row order and longitude convention written here with GDAL itself,
// refusals of rasters that are no geoid grid, and the export read back by
// GDAL and by PROJ's vgridshift.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "TestSupport.h"
#include "geoid/GeoidGrid.h"
#include "gridtools/Egm2008Grid.h"
#include "gridtools/GdalGrid.h"
#include "gridtools/GtxGrid.h"

#ifdef TERVALA_TEST_GDAL
#include <gdal.h>
#include <ogr_srs_api.h>
#endif

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- EGM2008 from geotranz -----------------------------------------------------

// Every node of the geotranz file, border and wrap column included, read
// here from its big-endian layout, comes back from KEGMGeoidHeight at the
// file's own latitude and longitude (-0.375 .. 360.375, which also checks the
// rotation to start at 0 degrees), within 1e-9 m: 1/24 degree is not exact
// in binary, and this is far below the float32 resolution of the heights.
TEST(Egm2008, EveryNodeOfTheGeotranzGridReturnsItsStoredValue)
{
    const std::string source = tervala::egm2008::kGeotranzPath;
    TERVALA_SKIP_WITHOUT(testsupport::fileExists(source), source << " is absent (Debian package geotranz)");
    const std::string folder = testsupport::scratchFolder("egm2008");
    tervala::raster::Conversion done;
    std::string error;
    ASSERT_TRUE(tervala::egm2008::convert(source, folder + "/egm2008p.dat", done, error)) << error;
    testsupport::Gtx raw;  // its big-endian word reader
    const std::string bytes = readAll(source);
    raw.b.assign(bytes.begin(), bytes.end());
    const int border = int(raw.word(0, 4)), rows = int(raw.word(4, 4)), cols = int(raw.word(8, 4)) + 2 * border + 1;
    const double step = testsupport::Gtx::as<double>(raw.word(12, 8));
    CTervala::SetDataFolder(folder.c_str());
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(2008), 1);
    CTervala::SetDataFolder(nullptr);
    long long mismatches = 0, checked = 0;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c, ++checked)
            mismatches += !(std::fabs(t.KEGMGeoidHeight(90.0 - r * step, (c - border) * step) -
                                      testsupport::Gtx::as<float>(std::uint32_t(
                                          raw.word(28 + 4 * (std::size_t(r + border) * cols + c), 4)))) <= 1e-9);
    EXPECT_EQ(mismatches, 0) << "of " << checked;
    EXPECT_EQ(checked, 4321LL * 8659);
}

#ifdef TERVALA_TEST_GDAL

// ---- Rasters written with GDAL ------------------------------------------------------

// A height that depends on both coordinates of a node, longitude taken in
// 0 .. 360, so that a misplaced row or column, a wrong rotation or a lost
// scale shows.
double height(double lat, double lon)
{
    const double lon360 = std::fmod(std::fmod(lon, 360.0) + 360.0, 360.0);
    return 20.0 + 0.5 * lat + 0.125 * lon360;
}

struct RasterCase {
    const char* name;
    double firstLat, firstLon, dlat, dlon;  // node (0, 0) and the steps, dlat < 0 north-up
    int rows, cols;
    // AREA_OR_POINT of a GeoTIFF, nullptr for none; "xllcenter" or "xllcorner"
    // for an ASCII grid written as text, which states its registration.
    const char* registration;
    double scale, offset;
    bool noData;                            // node (1, 1) holds the no-data value -9999
    double north, west;                     // the grid file expected, worked out by hand
    int outRows, outCols;
};

// The case's nodes as a raster: in a GeoTIFF each node is a pixel centre and
// the raw values are (height - offset) / scale.
std::string writeRaster(const std::string& folder, const RasterCase& c, int bands = 1,
                        const char* crs = "EPSG:4326", double shear = 0)
{
    if (c.registration != nullptr && std::strncmp(c.registration, "xll", 3) == 0) {
        const bool centre = std::strcmp(c.registration, "xllcenter") == 0;
        const double half = centre ? 0 : 0.5 * c.dlon, south = c.firstLat + (c.rows - 1) * c.dlat;
        std::ofstream text(folder + "/in.asc");
        text << "ncols " << c.cols << "\nnrows " << c.rows << "\n" << c.registration << " " << c.firstLon - half << "\n"
             << (centre ? "yllcenter " : "yllcorner ") << south - half << "\ncellsize " << c.dlon << "\n";
        for (int r = 0; r < c.rows; ++r, text << "\n")
            for (int j = 0; j < c.cols; ++j)
                text << height(c.firstLat + r * c.dlat, c.firstLon + j * c.dlon) << " ";
        return folder + "/in.asc";
    }
    GDALAllRegister();
    const std::string path = folder + "/in.tif";
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), c.cols, c.rows, bands, GDT_Float32, nullptr);
    double gt[6] = {c.firstLon - c.dlon / 2, c.dlon, shear, c.firstLat - c.dlat / 2, 0, c.dlat};
    GDALSetGeoTransform(ds, gt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(srs, crs);
    GDALSetSpatialRef(ds, srs);
    OSRDestroySpatialReference(srs);
    if (c.registration != nullptr)
        GDALSetMetadataItem(ds, "AREA_OR_POINT", c.registration, nullptr);
    std::vector<float> values;
    for (int r = 0; r < c.rows * bands; ++r)
        for (int j = 0; j < c.cols; ++j)
            values.push_back(float((height(c.firstLat + r % c.rows * c.dlat, c.firstLon + j * c.dlon) - c.offset) / c.scale));
    if (c.noData)
        values[std::size_t(c.cols) + 1] = -9999;
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALSetRasterScale(band, c.scale);
    GDALSetRasterOffset(band, c.offset);
    if (c.noData)
        GDALSetRasterNoDataValue(band, -9999);
    EXPECT_EQ(GDALDatasetRasterIO(ds, GF_Write, 0, 0, c.cols, c.rows, values.data(), c.cols, c.rows, GDT_Float32, bands,
                                  nullptr, 0, 0, 0),
              CE_None);
    GDALClose(ds);
    return path;
}

const RasterCase kRasters[] = {
    // 30-degree cells covering the globe from 180 W: nodes at the centres,
    // 165 W .. 165 E; rotated to start at the first node east of 0 (15 E).
    {"area, north-up, -180..180", 75, -165, -30, 30, 6, 12, "Area", 1, 0, false, 75, 15, 6, 12},
    // Point-registered nodes from pole to pole, 0 .. 360 with the wrap column.
    {"point, 0..360 with wrap", 90, 0, -30, 30, 7, 13, "Point", 1, 0, false, 90, 0, 7, 12},
    // South-up rows, -180 .. 180 with the wrap column: rotated by 180 degrees.
    {"south-up, -180..180", -90, -180, 30, 30, 7, 13, "Point", 1, 0, false, 90, 0, 7, 12},
    // South-up rows running past the north pole (to 120 N), and past both
    // poles (100 S .. 120 N): the rows beyond are dropped, the rest keep
    // their latitudes.
    {"south-up, rows beyond the north pole", -90, 0, 30, 30, 8, 12, "Point", 1, 0, false, 90, 0, 7, 12},
    {"south-up, rows beyond both poles", -100, 0, 20, 30, 12, 12, "Point", 1, 0, false, 80, 0, 9, 12},
    // A regional grid west of Greenwich: west kept as 350, scaled integers,
    // one no-data node.
    {"regional, scale, offset, no-data", 50, -10, -1, 1, 11, 9, nullptr, 0.01, 10, true, 50, 350, 11, 9},
    // Rows one step beyond each pole and two extra columns; the west edge
    // half a step west of 0, so the grid starts at 7.5 E.
    {"pole border, west not on a node", 100, -7.5, -20, 15, 11, 26, "Point", 1, 0, false, 80, 7.5, 9, 24},
    // ASCII grids: the lower-left node at (10, 2), or half a cell inside the
    // lower-left corner (10, 2).
    {"xllcenter", 12, 2, -1, 1, 3, 4, "xllcenter", 1, 0, false, 12, 2, 3, 4},
    {"xllcorner", 12.5, 2.5, -1, 1, 3, 4, "xllcorner", 1, 0, false, 12.5, 2.5, 3, 4},
};

// The grid file's nodes against height() at their latitude and longitude.
TEST(RasterImport, RegistrationsRowOrderLongitudesScaleAndNoData)
{
    const std::string folder = testsupport::scratchFolder("raster-import");
    for (const RasterCase& c : kRasters) {
        tervala::raster::Conversion done;
        std::string error;
        ASSERT_TRUE(tervala::gdal::importGrid(writeRaster(folder, c), folder + "/out.dat", done, error)) << c.name << error;
        const tervala::grid::LoadedGrid g = tervala::grid::loadGridFile(folder + "/out.dat", 0).grid;
        const tervala::grid::GridHeader& h = g.header;
        ASSERT_TRUE(h.north == c.north && h.west == c.west && h.rows == c.outRows && h.cols == c.outCols) << c.name;
        int nans = 0, wrong = 0;
        for (int i = 0; i < h.rows; ++i)
            for (int j = 0; j < h.cols; ++j) {
                const double v = g.rows.get()[h.rows - 1 - i][j];
                nans += std::isnan(v);
                wrong += !std::isnan(v) && std::fabs(v - height(h.north - i * h.dlat, h.west + j * h.dlon)) > 1e-4;
            }
        EXPECT_EQ(wrong, 0) << c.name;
        EXPECT_EQ(nans, c.noData ? 1 : 0) << c.name;
    }
}

// Rasters that are no geoid grid are refused with the reason, and the
// output file written before stays as it was.
TEST(RasterImport, BadRastersAreRefusedAndTheOutputKept)
{
    const std::string folder = testsupport::scratchFolder("raster-bad"), out = folder + "/kept.dat";
    const RasterCase good = kRasters[0];
    RasterCase oddStep = good;
    oddStep.dlon = 55;  // 7 columns span 385 degrees
    oddStep.cols = 7;
    std::ofstream(out) << "previous";
    const std::pair<const char*, std::function<std::string()>> cases[] = {
        {"rotated or sheared", [&] { return writeRaster(folder, good, 1, "EPSG:4326", 0.1); }},
        {"is not geographic", [&] { return writeRaster(folder, good, 1, "EPSG:3857"); }},
        {"prime meridian 2.33", [&] { return writeRaster(folder, good, 1, "+proj=longlat +ellps=clrk80ign +pm=paris"); }},
        {"has 3 bands", [&] { return writeRaster(folder, good, 3); }},
        {"does not divide 360", [&] { return writeRaster(folder, oddStep); }},
        {"truncated|cannot read", [&] {
             std::error_code error;
             std::filesystem::resize_file(writeRaster(folder, good), 400, error);
             return error ? std::string() : folder + "/in.tif";
         }},
        {"cannot read it as a raster", [&] { std::ofstream(folder + "/in.tif") << "text"; return folder + "/in.tif"; }},
    };
    for (const auto& c : cases) {
        tervala::raster::Conversion done;
        std::string error;
        EXPECT_FALSE(tervala::gdal::importGrid(c.second(), out, done, error)) << c.first;
        EXPECT_TRUE(testing::internal::RE::PartialMatch(error, testing::internal::RE(c.first))) << c.first << ": " << error;
        EXPECT_EQ(readAll(out), "previous") << c.first;
    }
}

// ---- Round trips and PROJ ---------------------------------------------------------------

// egm96_15.gtx through GDAL gives the same grid file, byte for byte, as the
// hand-written GTX converter; exported as GeoTIFF or GTX and imported again
// it comes back byte for byte; PROJ's vgridshift on the exports returns the
// node values.
TEST(RasterImport, GtxToGridToRasterToGridKeepsEveryNode)
{
    const std::string gtx = testsupport::gtxPath();
    TERVALA_SKIP_WITHOUT(testsupport::fileExists(gtx), gtx << " is absent (Debian package proj-data)");
    const std::string folder = testsupport::scratchFolder("raster-roundtrip");
    tervala::raster::Conversion done;
    std::string error, summary;
    ASSERT_TRUE(tervala::gtx::convertGtxToGrid(gtx, folder + "/hand.dat", done, error)) << error;
    ASSERT_TRUE(tervala::gdal::importGrid(gtx, folder + "/gdal.dat", done, error)) << error;
    const std::string grid = readAll(folder + "/hand.dat");
    EXPECT_TRUE(grid == readAll(folder + "/gdal.dat"));
    const tervala::grid::LoadedGrid g = tervala::grid::loadGridFile(folder + "/gdal.dat", 0).grid;
    ASSERT_FALSE(g.empty());
    for (const char* format : {"GTiff", "GTX"}) {
        const std::string raster = folder + "/egm96." + (format[2] == 'X' ? "gtx" : "tif");
        ASSERT_TRUE(tervala::gdal::exportGrid(folder + "/gdal.dat", raster, format, summary, error)) << error;
        ASSERT_TRUE(tervala::gdal::importGrid(raster, folder + "/back.dat", done, error)) << error;
        EXPECT_TRUE(readAll(folder + "/back.dat") == grid) << format;
#ifdef TERVALA_HAVE_PROJ
        PJ* pj = proj_create(nullptr, ("+proj=vgridshift +grids=" + raster + " +multiplier=1").c_str());
        ASSERT_NE(pj, nullptr) << format;
        int wrong = 0;
        // Nodes on both sides of 0 and 180 degrees, given in -180 .. 180 as
        // PROJ users do, and near both poles.
        for (int i : {0, 3, 360, 717, 720})
            for (int j : {0, 1, 719, 720, 721, 1439}) {
                const double lon = j * 0.25 > 180 ? j * 0.25 - 360 : j * 0.25;
                const PJ_COORD in = proj_coord(lon * testsupport::kPi / 180, (90 - i * 0.25) * testsupport::kPi / 180, 0, 0);
                wrong += std::fabs(proj_trans(pj, PJ_FWD, in).xyz.z - g.rows.get()[720 - i][j]) > 1e-6;
            }
        EXPECT_EQ(wrong, 0) << format;
        proj_destroy(pj);
#endif
    }
}

#endif // TERVALA_TEST_GDAL

} // namespace
