// Grid files from rasters and back: NGA's EGM2008 grid (geotranz layout),
// and, when the build has GDAL, rasters of every registration, no-data,
// scale, row order and longitude convention written here with GDAL itself,
// refusals of rasters that are no geoid grid, and the export read back by
// GDAL and by PROJ's vgridshift.
#include <cmath>
#include <fstream>
#include <sstream>

#include "TestSupport.h"
#include "geoid/GeoidGrid.h"
#include "gridtools/Egm2008Grid.h"
#include "gridtools/GdalGrid.h"
#include "gridtools/GtxGrid.h"

#ifdef TERVALA_TEST_GDAL
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>
#endif

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

tervala::grid::LoadedGrid loadGrid(const std::string& path, int margin = 0)
{
    tervala::grid::GridLoad load = tervala::grid::loadGridFile(path, margin);
    EXPECT_TRUE(load.status.ok()) << load.status.message();
    return std::move(load.grid);
}

// ---- EGM2008 from geotranz -----------------------------------------------------

// Every node of the geotranz file, border and wrap column included, read
// here from the file's big-endian layout, comes back from KEGMGeoidHeight at
// the file's own latitude and longitude (-0.375 .. 360.375, which also checks
// the rotation of the columns to start at 0 degrees). The 1/24-degree
// coordinates are not exact in binary, so a node is met within 1e-12 of a
// spacing and its value within 1e-9 m, far below the float32 resolution of
// the stored heights (about 4e-6 m at 50 m).
TEST(Egm2008, EveryNodeOfTheGeotranzGridReturnsItsStoredValue)
{
    const std::string source = tervala::egm2008::kGeotranzPath;
    TERVALA_SKIP_WITHOUT(testsupport::fileExists(source), source << " is absent (Debian package geotranz)");
    const std::string folder = testsupport::scratchFolder("egm2008");
    tervala::raster::Conversion done;
    std::string error;
    ASSERT_TRUE(tervala::egm2008::convert(source, folder + "/egm2008p.dat", done, error)) << error;
    EXPECT_EQ(done.output.rows, 4321);
    EXPECT_EQ(done.output.cols, 8640);
    EXPECT_EQ(done.output.north, 90.0);
    EXPECT_EQ(done.output.west, 0.0);

    testsupport::Gtx raw;  // reused as a big-endian byte reader
    raw.b.resize(0);
    const std::string bytes = readAll(source);
    raw.b.assign(bytes.begin(), bytes.end());
    const int border = int(raw.word(0, 4)), rows = int(raw.word(4, 4)) + 2 * border,
              cols = int(raw.word(8, 4)) + 2 * border + 1;
    const double step = testsupport::Gtx::as<double>(raw.word(12, 8));
    auto stored = [&](int r, int c) {
        return double(testsupport::Gtx::as<float>(std::uint32_t(raw.word(28 + 4 * (std::size_t(r) * cols + c), 4))));
    };

    CTervala::SetDataFolder(folder.c_str());
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(2008), 1);
    CTervala::SetDataFolder(nullptr);
    long long mismatches = 0, checked = 0;
    for (int r = border; r < rows - border; ++r)
        for (int c = 0; c < cols; ++c, ++checked)
            mismatches += !(std::fabs(t.KEGMGeoidHeight(90.0 - (r - border) * step, (c - border) * step) -
                                      stored(r, c)) <= 1e-9);
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
    const char* registration;               // AREA_OR_POINT, or nullptr
    double scale, offset;
    bool noData;                            // node (1, 1) holds the no-data value -9999
    // the grid file expected (worked out by hand from the nodes above)
    double north, west;
    int outRows, outCols;
};

// A GeoTIFF of the case's nodes: the geotransform puts each node at a pixel
// centre; the raw values are (height - offset) / scale.
void writeRaster(const std::string& path, const RasterCase& c, int bands = 1, const char* epsg = "EPSG:4326",
                 double shear = 0)
{
    GDALAllRegister();
    GDALDatasetH ds = GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), c.cols, c.rows, bands, GDT_Float32, nullptr);
    ASSERT_NE(ds, nullptr);
    double gt[6] = {c.firstLon - c.dlon / 2, c.dlon, shear, c.firstLat - c.dlat / 2, 0, c.dlat};
    GDALSetGeoTransform(ds, gt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRSetFromUserInput(srs, epsg);
    GDALSetSpatialRef(ds, srs);
    OSRDestroySpatialReference(srs);
    if (c.registration != nullptr)
        GDALSetMetadataItem(ds, "AREA_OR_POINT", c.registration, nullptr);
    std::vector<float> values(std::size_t(c.rows) * c.cols);
    for (int r = 0; r < c.rows; ++r)
        for (int j = 0; j < c.cols; ++j)
            values[std::size_t(r) * c.cols + j] =
                float((height(c.firstLat + r * c.dlat, c.firstLon + j * c.dlon) - c.offset) / c.scale);
    if (c.noData)
        values[std::size_t(c.cols) + 1] = -9999;
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    GDALSetRasterScale(band, c.scale);
    GDALSetRasterOffset(band, c.offset);
    if (c.noData)
        GDALSetRasterNoDataValue(band, -9999);
    for (int b = 1; b <= bands; ++b)
        ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds, b), GF_Write, 0, 0, c.cols, c.rows, values.data(), c.cols, c.rows,
                               GDT_Float32, 0, 0),
                  CE_None);
    GDALClose(ds);
}

// The grid file's nodes against height() at their latitude and longitude;
// returns the number of NaN nodes.
int expectHeights(const std::string& path, const RasterCase& c)
{
    const tervala::grid::LoadedGrid g = loadGrid(path);
    const tervala::grid::GridHeader& h = g.header;
    EXPECT_EQ(h.north, c.north) << c.name;
    EXPECT_EQ(h.west, c.west) << c.name;
    EXPECT_EQ(h.rows, c.outRows) << c.name;
    EXPECT_EQ(h.cols, c.outCols) << c.name;
    int nans = 0, wrong = 0;
    for (int i = 0; i < h.rows && h.rows == c.outRows; ++i)
        for (int j = 0; j < h.cols; ++j) {
            const double v = g.rows.get()[h.rows - 1 - i][j];
            nans += std::isnan(v);
            wrong += !std::isnan(v) && std::fabs(v - height(h.north - i * h.dlat, h.west + j * h.dlon)) > 1e-4;
        }
    EXPECT_EQ(wrong, 0) << c.name;
    return nans;
}

const RasterCase kRasters[] = {
    // 30-degree cells covering the globe from 180 W: nodes at the centres,
    // 165 W .. 165 E; rotated to start at the first node east of 0 (15 E).
    {"area, north-up, -180..180", 75, -165, -30, 30, 6, 12, "Area", 1, 0, false, 75, 15, 6, 12},
    // Point-registered nodes from pole to pole, 0 .. 360 with the wrap column.
    {"point, 0..360 with wrap", 90, 0, -30, 30, 7, 13, "Point", 1, 0, false, 90, 0, 7, 12},
    // South-up rows, -180 .. 180 with the wrap column: rotated by 180 degrees.
    {"south-up, -180..180", -90, -180, 30, 30, 7, 13, "Point", 1, 0, false, 90, 0, 7, 12},
    // A regional grid west of Greenwich: west kept as 350, scaled integers,
    // one no-data node.
    {"regional, scale, offset, no-data", 50, -10, -1, 1, 11, 9, nullptr, 0.01, 10, true, 50, 350, 11, 9},
    // Rows one step beyond each pole and two extra columns; the west edge
    // half a step west of 0, so the grid starts at 7.5 E.
    {"pole border, west not on a node", 100, -7.5, -20, 15, 11, 26, "Point", 1, 0, false, 80, 7.5, 9, 24},
};

TEST(RasterImport, RegistrationsRowOrderLongitudesScaleAndNoData)
{
    const std::string folder = testsupport::scratchFolder("raster-import");
    for (const RasterCase& c : kRasters) {
        writeRaster(folder + "/in.tif", c);
        tervala::raster::Conversion done;
        std::string error;
        ASSERT_TRUE(tervala::gdal::importGrid(folder + "/in.tif", folder + "/out.dat", done, error)) << c.name << error;
        EXPECT_EQ(expectHeights(folder + "/out.dat", c), c.noData ? 1 : 0) << c.name;
    }
}

// The registration stated by an ASCII grid, written here as text: node at
// the lower-left cell centre (xllcenter) or half a cell inside the lower-left
// corner (xllcorner).
TEST(RasterImport, AsciiGridCornerAndCentreRegistration)
{
    const std::string folder = testsupport::scratchFolder("raster-ascii");
    const RasterCase centre{"xllcenter", 12, 2, -1, 1, 3, 4, nullptr, 1, 0, false, 12, 2, 3, 4};
    const RasterCase corner{"xllcorner", 12.5, 2.5, -1, 1, 3, 4, nullptr, 1, 0, false, 12.5, 2.5, 3, 4};
    for (const RasterCase* c : {&centre, &corner}) {
        std::ostringstream text;
        text << "ncols 4\nnrows 3\n" << c->name << " 2\n" << (c == &centre ? "yllcenter" : "yllcorner")
             << " 10\ncellsize 1\n";
        for (int r = 0; r < 3; ++r, text << "\n")
            for (int j = 0; j < 4; ++j)
                text << height(c->firstLat - r, c->firstLon + j) << " ";
        std::ofstream(folder + "/in.asc") << text.str();
        tervala::raster::Conversion done;
        std::string error;
        ASSERT_TRUE(tervala::gdal::importGrid(folder + "/in.asc", folder + "/out.dat", done, error)) << error;
        expectHeights(folder + "/out.dat", *c);
    }
}

// Rasters that are no geoid grid are refused with the reason, and the
// output file written before stays as it was.
TEST(RasterImport, BadRastersAreRefusedAndTheOutputKept)
{
    const std::string folder = testsupport::scratchFolder("raster-bad");
    const RasterCase good = kRasters[0];
    RasterCase oddStep = good;
    oddStep.dlon = 55;
    oddStep.cols = 7;
    const std::string out = folder + "/kept.dat";
    std::ofstream(out) << "previous";
    struct Bad {
        const char* message;
        std::function<void(const std::string&)> write;
    } cases[] = {
        {"rotated or sheared", [&](const std::string& p) { writeRaster(p, good, 1, "EPSG:4326", 0.1); }},
        {"is not geographic", [&](const std::string& p) { writeRaster(p, good, 1, "EPSG:3857"); }},
        {"has 3 bands", [&](const std::string& p) { writeRaster(p, good, 3); }},
        {"does not divide 360", [&](const std::string& p) { writeRaster(p, oddStep); }},
        {"truncated|cannot read",
         [&](const std::string& p) {
             writeRaster(p, good);
             ASSERT_EQ(::truncate(p.c_str(), 400), 0);
         }},
        {"cannot read it as a raster", [&](const std::string& p) { std::ofstream(p) << "not a raster\n"; }},
    };
    for (const Bad& c : cases) {
        const std::string in = folder + "/bad.tif";
        std::remove(in.c_str());
        c.write(in);
        tervala::raster::Conversion done;
        std::string error;
        EXPECT_FALSE(tervala::gdal::importGrid(in, out, done, error)) << c.message;
        EXPECT_TRUE(testing::internal::RE::PartialMatch(error, testing::internal::RE(c.message)))
            << c.message << " / " << error;
        EXPECT_EQ(readAll(out), "previous") << c.message;
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
    tervala::gtx::Conversion byHand;
    tervala::raster::Conversion done;
    std::string error, summary;
    ASSERT_TRUE(tervala::gtx::convertGtxToGrid(gtx, folder + "/hand.dat", byHand, error)) << error;
    ASSERT_TRUE(tervala::gdal::importGrid(gtx, folder + "/gdal.dat", done, error)) << error;
    const std::string grid = readAll(folder + "/hand.dat");
    EXPECT_TRUE(grid == readAll(folder + "/gdal.dat"));
    const tervala::grid::LoadedGrid g = loadGrid(folder + "/gdal.dat");
    for (const char* format : {"GTiff", "GTX"}) {
        const std::string raster = folder + "/egm96." + (format[2] == 'X' ? "gtx" : "tif");
        ASSERT_TRUE(tervala::gdal::exportGrid(folder + "/gdal.dat", raster, format, summary, error)) << error;
        ASSERT_TRUE(tervala::gdal::importGrid(raster, folder + "/back.dat", done, error)) << error;
        EXPECT_TRUE(readAll(folder + "/back.dat") == grid) << format;
#ifdef TERVALA_HAVE_PROJ
        PJ_CONTEXT* ctx = proj_context_create();
        PJ* pj = proj_create(ctx, ("+proj=vgridshift +grids=" + raster + " +multiplier=1").c_str());
        ASSERT_NE(pj, nullptr) << format;
        int wrong = 0;
        // Nodes on both sides of 0 and 180 degrees, given in -180 .. 180 as
        // PROJ users do, and near both poles.
        for (int i : {0, 3, 360, 717, 720})
            for (int j : {0, 1, 719, 720, 721, 1439}) {
                const double lat = 90 - i * 0.25, lon = j * 0.25 > 180 ? j * 0.25 - 360 : j * 0.25;
                PJ_COORD in = proj_coord(lon * M_PI / 180, lat * M_PI / 180, 0, 0);
                const PJ_COORD shifted = proj_trans(pj, PJ_FWD, in);
                wrong += std::fabs(shifted.xyz.z - g.rows.get()[720 - i][j]) > 1e-6;
            }
        EXPECT_EQ(wrong, 0) << format;
        proj_destroy(pj);
        proj_context_destroy(ctx);
#endif
    }
}

#endif // TERVALA_TEST_GDAL

} // namespace
