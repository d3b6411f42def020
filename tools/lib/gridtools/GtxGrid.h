// Conversion of a GTX geoid grid (the vertical-grid format of NOAA's VDatum
// and of PROJ's proj-data, for example egm96_15.gtx) into a grid file that
// LoadKEGMData reads, without GDAL. Used by the `data gtx-to-grid` command
// of the tervala tool, and by `data import-grid` in a build without GDAL.
//
// GTX: a 40-byte big-endian header of four doubles (latitude of the southern
// row, longitude of the western column, latitude step, longitude step, all in
// degrees) and two int32 (rows, columns), then rows x columns big-endian
// float32 values, rows from south to north, each from west to east.
//
// The rows, columns and values are written as RasterGrid.h describes; the
// no-data value -88.8888 becomes NaN.
#ifndef TERVALA_GEOID_GTXGRID_H
#define TERVALA_GEOID_GTXGRID_H

#include <cstdint>
#include <string>
#include <vector>

#include "gridtools/RasterGrid.h"

namespace tervala {
namespace gtx {

struct GtxHeader {
    double south;
    double west;
    double dlat;
    double dlon;
    std::int32_t rows;
    std::int32_t cols;
};

constexpr int kGtxHeaderBytes = 40;

// The no-data value of GTX files (NOAA VDatum, PROJ); stored as NaN.
constexpr float kGtxNoData = -88.8888f;

using Conversion = raster::Conversion;

// Reads and checks the GTX file at inPath and writes the grid file at
// outPath through a temporary file in the same folder, renamed over outPath
// only when complete. On failure returns false, leaves outPath as it was and
// says in `error` what is wrong with the input (or the output).
bool convertGtxToGrid(const std::string& inPath, const std::string& outPath, Conversion& done,
                      std::string& error);

// The lines a program prints after a successful conversion.
inline std::string describe(const Conversion& done, const std::string& inPath, const std::string& outPath)
{
    return raster::describe(done, inPath, outPath);
}

} // namespace gtx
} // namespace tervala

#endif
