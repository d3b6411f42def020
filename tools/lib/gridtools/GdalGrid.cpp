#include "gridtools/GdalGrid.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include "platform/Files.h"

namespace tervala {
namespace gdal {
namespace {

// Names the in-memory scratch files of exports; /vsimem is private to the
// process, so a counter keeps concurrent exports apart.
std::atomic<unsigned long> exportCount{0};

// GDAL reports through a global handler; its messages are collected and
// shown as part of ours instead of being printed.
void setUp()
{
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        CPLSetErrorHandler(CPLQuietErrorHandler);
        // Every row is read once: a block cache would only hold memory.
        GDALSetCacheMax64(8 << 20);
    });
}

std::string lastGdalMessage()
{
    const char* m = CPLGetLastErrorMsg();
    return m != nullptr && *m != '\0' ? std::string(m) : std::string("GDAL gave no reason");
}

struct DatasetCloser {
    void operator()(GDALDatasetH ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<std::remove_pointer<GDALDatasetH>::type, DatasetCloser>;

bool isMetre(const std::string& unit)
{
    return unit.empty() || unit == "m" || unit == "metre" || unit == "meter" || unit == "metres" || unit == "meters";
}

// Why the georeferencing of `ds` cannot give a latitude-longitude lattice,
// or "" with the lattice and notes filled in.
std::string lattice(GDALDatasetH ds, raster::Lattice& out, std::vector<std::string>& notes)
{
    double gt[6];
    if (GDALGetGeoTransform(ds, gt) != CE_None)
        return "the raster has no georeferencing (no geotransform)";
    if (gt[2] != 0 || gt[4] != 0)
        return "the raster is rotated or sheared (geotransform terms 2 and 4 are " + raster::number(gt[2]) + " and " +
               raster::number(gt[4]) + ", not 0); resample it to a north-up grid first (gdalwarp)";
    if (!(gt[1] > 0) || gt[5] == 0)
        return "the raster's pixel size is " + raster::number(gt[1]) + " x " + raster::number(gt[5]) +
               "; it must be positive eastward and non-zero northward";
    OGRSpatialReferenceH srs = GDALGetSpatialRef(ds);
    if (srs == nullptr) {
        notes.push_back("no coordinate system given: read as longitude and latitude in degrees");
    } else {
        const char* name = OSRGetName(srs);
        const std::string crs = name != nullptr ? name : "unnamed";
        if (!OSRIsGeographic(srs))
            return "the raster's coordinate system '" + crs +
                   "' is not geographic; grid files hold latitude and longitude in degrees (reproject with "
                   "gdalwarp -t_srs EPSG:4326)";
        char* unitName = nullptr;
        const double radiansPerUnit = OSRGetAngularUnits(srs, &unitName);
        if (std::fabs(radiansPerUnit - M_PI / 180) > 1e-12)
            return "the raster's coordinate system '" + crs + "' counts angles in " +
                   (unitName != nullptr ? unitName : "an unknown unit") + ", not degrees";
        const double primeMeridian = OSRGetPrimeMeridian(srs, nullptr);
        if (primeMeridian != 0)
            return "the raster's coordinate system '" + crs + "' counts longitudes from a prime meridian " +
                   raster::number(primeMeridian) + " degrees from Greenwich; reproject with gdalwarp -t_srs EPSG:4326";
        notes.push_back("coordinate system: " + crs);
    }
    // GTX states no registration; its values are nodes.
    const char* registration = GDALGetMetadataItem(ds, "AREA_OR_POINT", nullptr);
    GDALDriverH driver = GDALGetDatasetDriver(ds);
    const bool gtx = driver != nullptr && std::strcmp(GDALGetDriverShortName(driver), "GTX") == 0;
    const std::string kind = registration != nullptr ? (std::strcmp(registration, "Point") == 0 ? "pixel-is-point" : "pixel-is-area")
                             : gtx                    ? "point-registered (GTX)"
                                                      : "registration not stated";
    notes.push_back(kind + ": nodes at the pixel centres");
    out.cols = GDALGetRasterXSize(ds);
    out.rows = GDALGetRasterYSize(ds);
    out.dlon = gt[1];
    out.dlat = gt[5];
    out.firstLon = gt[0] + 0.5 * gt[1];
    out.firstLat = gt[3] + 0.5 * gt[5];
    return "";
}

} // namespace

bool importGrid(const std::string& inPath, const std::string& outPath, raster::Conversion& done, std::string& error)
{
    setUp();
    CPLErrorReset();
    Dataset ds(GDALOpenEx(inPath.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY | GDAL_OF_VERBOSE_ERROR, nullptr, nullptr, nullptr));
    if (!ds) {
        error = "GDAL cannot read it as a raster: " + lastGdalMessage();
        return false;
    }
    const int bands = GDALGetRasterCount(ds.get());
    if (bands != 1) {
        error = "the raster has " + std::to_string(bands) +
                " bands; a geoid grid has one (pick it with gdal_translate -b N)";
        return false;
    }
    GDALDriverH driver = GDALGetDatasetDriver(ds.get());
    done.format = driver != nullptr ? GDALGetDriverShortName(driver) : "raster";
    raster::Lattice layout;
    error = lattice(ds.get(), layout, done.notes);
    if (!error.empty())
        return false;
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    if (GDALDataTypeIsComplex(GDALGetRasterDataType(band))) {
        error = "the band holds complex numbers, not heights";
        return false;
    }
    const char* unitType = GDALGetRasterUnitType(band);
    const std::string unit = unitType != nullptr ? unitType : "";
    if (!isMetre(unit)) {
        error = "the band's unit is '" + unit + "'; grid files hold metres";
        return false;
    }
    int hasNoData = 0, hasScale = 0, hasOffset = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    const double scale = GDALGetRasterScale(band, &hasScale);
    const double offset = GDALGetRasterOffset(band, &hasOffset);
    const bool floatBand = GDALGetRasterDataType(band) == GDT_Float32;
    if (hasNoData)
        done.notes.push_back("no-data value " + raster::number(noData));
    if ((hasScale && scale != 1) || (hasOffset && offset != 0))
        done.notes.push_back("values scaled by " + raster::number(scale) + ", offset by " + raster::number(offset));
    auto read = [&](int row, double* values) -> std::string {
        CPLErrorReset();
        if (GDALRasterIO(band, GF_Read, 0, row, layout.cols, 1, values, layout.cols, 1, GDT_Float64, 0, 0) != CE_None)
            return "cannot read row " + std::to_string(row) + " of the raster (is the file truncated?): " +
                   lastGdalMessage();
        for (int c = 0; c < layout.cols; ++c) {
            double& v = values[c];
            // A float32 band holds the no-data value rounded to float.
            const bool isNoData = floatBand ? static_cast<float>(v) == static_cast<float>(noData) : v == noData;
            if (hasNoData && (isNoData || (std::isnan(v) && std::isnan(noData))))
                v = NAN;
            else if (!std::isnan(v))
                v = v * scale + offset;
        }
        return "";
    };
    done.source = inPath;
    return raster::writeGridFile(layout, read, outPath, done, error);
}

bool exportGrid(const std::string& gridPath, const std::string& outPath, const std::string& format,
                std::string& summary, std::string& error)
{
    if (format != "GTiff" && format != "GTX") {
        error = "unknown format '" + format + "'; give GTiff or GTX";
        return false;
    }
    platform::LoadStatus opened;
    platform::File in = platform::openRegularFile(gridPath, opened);
    if (!in) {
        error = opened.reason.empty() ? "cannot open the grid file" : opened.reason;
        return false;
    }
    grid::LoadedGrid g;
    const grid::GridLoadError status = grid::readGridFile(in.get(), 0, g);
    if (status != grid::GridLoadError::None) {
        error = std::string("not a usable grid file: ") + grid::describe(status);
        return false;
    }
    const grid::GridHeader& h = g.header;

    setUp();
    CPLErrorReset();
    // Written in memory first, then copied into place in one replacing
    // write, so a failure leaves the target as it was.
    const std::string scratch = "/vsimem/tervala-export-" + std::to_string(exportCount.fetch_add(1)) +
                                (format == "GTX" ? ".gtx" : ".tif");
    GDALDriverH driver = GDALGetDriverByName(format.c_str());
    if (driver == nullptr) {
        error = "this GDAL has no " + format + " driver";
        return false;
    }
    // Strips, written in row order: each is compressed once.
    const char* tiffOptions[] = {"COMPRESS=DEFLATE", "PREDICTOR=3", "BIGTIFF=IF_SAFER", nullptr};
    Dataset ds(GDALCreate(driver, scratch.c_str(), h.cols, h.rows, 1, GDT_Float32,
                          format == "GTiff" ? const_cast<char**>(tiffOptions) : nullptr));
    if (!ds) {
        error = "GDAL cannot create the " + format + " raster: " + lastGdalMessage();
        return false;
    }
    // Pixels centred on the nodes: the north-west pixel's corner lies half a
    // step north and west of the first node.
    double gt[6] = {h.west - 0.5 * h.dlon, h.dlon, 0, h.north + 0.5 * h.dlat, 0, -h.dlat};
    GDALSetGeoTransform(ds.get(), gt);
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    OSRImportFromEPSG(srs, 4326);
    GDALSetSpatialRef(ds.get(), srs);
    OSRDestroySpatialReference(srs);
    GDALSetMetadataItem(ds.get(), "AREA_OR_POINT", "Point", nullptr);
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    const float gtxNoData = -88.8888f;
    GDALSetRasterNoDataValue(band, format == "GTX" ? gtxNoData : NAN);
    std::vector<float> row(static_cast<std::size_t>(h.cols));
    long long nans = 0, nudged = 0;
    bool written = true;
    for (int i = 0; i < h.rows && written; ++i) {
        const double* stored = g.rows.get()[h.rows - 1 - i];  // rows are held south first
        for (int c = 0; c < h.cols; ++c) {
            row[c] = static_cast<float>(stored[c]);
            if (format != "GTX") {
                nans += std::isnan(stored[c]);
            } else if (std::isnan(stored[c])) {
                ++nans;
                row[c] = gtxNoData;
            } else if (row[c] == gtxNoData) {
                // A real height that equals the no-data value (EGM2008 has
                // one, south of Sri Lanka) moves by one float step so that
                // readers keep it.
                row[c] = std::nextafter(gtxNoData, 0.0f);
                ++nudged;
            }
        }
        written = GDALRasterIO(band, GF_Write, 0, i, h.cols, 1, row.data(), h.cols, 1, GDT_Float32, 0, 0) == CE_None;
    }
    GDALClose(ds.release());
    if (!written || CPLGetLastErrorType() >= CE_Failure) {
        error = "GDAL failed writing the " + format + " raster: " + lastGdalMessage();
        VSIUnlink(scratch.c_str());
        return false;
    }
    vsi_l_offset length = 0;
    GByte* bytes = VSIGetMemFileBuffer(scratch.c_str(), &length, FALSE);
    platform::ReplacingFile out(outPath);
    if (out.get() == nullptr)
        error = out.error();
    else if (bytes == nullptr || std::fwrite(bytes, 1, length, out.get()) != length)
        error = std::string("cannot write the output: ") + std::strerror(errno);
    else if (!out.commit())
        error = out.error();
    VSIUnlink(scratch.c_str());
    VSIUnlink((scratch + ".aux.xml").c_str());
    if (!error.empty())
        return false;
    summary = outPath + ": " + format + ", " + std::to_string(h.rows) + " rows x " + std::to_string(h.cols) +
              " columns, first node " + raster::number(h.north) + ", " + raster::number(h.west) + ", steps " +
              raster::number(h.dlat) + " x " + raster::number(h.dlon) + " degrees, point-registered, WGS 84, " +
              std::to_string(length) + " bytes" +
              (nans > 0 ? ", " + std::to_string(nans) + " nodes without data" : "") + "\n" +
              (nudged > 0 ? "  " + std::to_string(nudged) + " heights equal to the GTX no-data value -88.8888 written as " +
                                raster::number(std::nextafter(gtxNoData, 0.0f)) + "\n"
                          : "");
    return true;
}

} // namespace gdal
} // namespace tervala
