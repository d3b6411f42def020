// Conversion of a GTX geoid grid (the vertical-grid format of NOAA's VDatum
// and of PROJ's proj-data, for example egm96_15.gtx) into a grid file that
// LoadKEGMData reads. Used by the `data gtx-to-grid` command of the tervala
// tool.
//
// GTX: a 40-byte big-endian header of four doubles (latitude of the southern
// row, longitude of the western column, latitude step, longitude step, all in
// degrees) and two int32 (rows, columns), then rows x columns big-endian
// float32 values, rows from south to north, each from west to east.
//
// The grid file gets the rows north first and the longitudes in 0..360. A
// global grid (its columns span 360 degrees, possibly with a duplicated wrap
// column, which is dropped) is rotated so that its first column lies at 0
// degrees (or at the first column east of 0 when no column lies on it).
// Values the grid file cannot hold as they are: zero and subnormal values are
// skipped by the loader, so they are written as the smallest magnitude it
// keeps (about 1.2e-38, same sign); infinities and magnitudes above 3.4e38
// make the conversion fail. NaN, and no-data values such as -88.8888, are
// copied unchanged.
#ifndef TERVALA_GEOID_GTXGRID_H
#define TERVALA_GEOID_GTXGRID_H

#include <cstdint>
#include <string>
#include <vector>

#include "geoid/GeoidGrid.h"

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

// What a conversion did.
struct Conversion {
    GtxHeader input{};
    grid::GridHeader output{};
    bool global = false;
    bool droppedWrapColumn = false;
    int rotatedColumns = 0;        // output column 0 is input column rotatedColumns
    long long replacedValues = 0;  // zero or subnormal values written as the smallest kept magnitude
    std::vector<std::string> notes;  // warnings worth showing to the user
};

// Reads and checks the GTX file at inPath and writes the grid file at
// outPath through a temporary file in the same folder, renamed over outPath
// only when complete. On failure returns false, leaves outPath as it was and
// says in `error` what is wrong with the input (or the output).
bool convertGtxToGrid(const std::string& inPath, const std::string& outPath, Conversion& done,
                      std::string& error);

// The lines a program prints after a successful conversion.
std::string describe(const Conversion& done, const std::string& inPath, const std::string& outPath);

} // namespace gtx
} // namespace tervala

#endif
