// Writing a grid file (the layout LoadKEGMData reads) from any raster of
// geoid heights on a regular latitude-longitude lattice, whatever reads it:
// GDAL for GeoTIFF, GTX and the other raster formats, or the dedicated
// reader of NGA's EGM2008 grid. The raster is read one row at a time, so
// memory stays at one row whatever the grid's size.
//
// What the writer does with the lattice:
// - rows: the grid file holds them north first, so a south-up raster is
//   read from its last row; rows whose nodes lie beyond the poles (the
//   border some global grids carry) are dropped;
// - columns: a lattice whose columns cover 360 degrees (360 / step columns,
//   possibly more when it repeats columns as a wrap or a border) is global:
//   one turn of 360 / step columns is kept, rotated to start at longitude 0
//   (or at the first node east of it). A regional lattice keeps its columns,
//   its western longitude taken to 0..360;
// - values: NaN marks a node without data and is stored as NaN (the
//   interpolation then gives NaN near it, never a number made from a no-data
//   code). Zero and subnormal values, which the loader would skip, are stored
//   as +-1.2e-38; a value beyond +-150 m (grid::kMaxGeoidHeight), which
//   no geoid height reaches and the loaders refuse, is refused here too.
// - check file: "<output>.sum" (geoid/CheckFile.h) with the output's size,
//   CRC-32 and the source's file name, written together with the output
//   (both or neither) when the output is a regular file.
#ifndef TERVALA_GRIDTOOLS_RASTERGRID_H
#define TERVALA_GRIDTOOLS_RASTERGRID_H

#include <functional>
#include <string>
#include <vector>

#include "geoid/GeoidGrid.h"

namespace tervala {
namespace raster {

// The nodes of a raster: node (r, c) lies at latitude firstLat + r * dlat
// and longitude firstLon + c * dlon (degrees). dlat is negative for a
// north-up raster, positive for a south-up one; dlon is positive.
struct Lattice {
    double firstLat = 0;
    double firstLon = 0;
    double dlat = 0;
    double dlon = 0;
    int rows = 0;
    int cols = 0;
};

// Reads raster row `row` (0 .. rows-1, in the raster's own order) into
// `values` (cols doubles, heights in metres, NaN where there is no data).
// Returns "" or what went wrong.
using RowReader = std::function<std::string(int row, double* values)>;

// What a conversion did.
struct Conversion {
    std::string format;             // what the input was, for the report
    Lattice input;
    grid::GridHeader output{};
    bool global = false;
    int rotatedColumns = 0;            // output column c is input column (rotatedColumns + c) mod output cols
    int droppedRows = 0;            // rows beyond the poles
    long long noData = 0;           // nodes stored as NaN
    long long replacedValues = 0;   // zero or subnormal values stored as +-1.2e-38
    std::vector<std::string> notes; // what the user should know
    std::string source;             // the input file, named in the check file
};

// Checks the lattice, reads every row through `read` and writes the grid
// file at outPath through a temporary file renamed over it only when
// complete. On failure returns false, leaves outPath as it was and says why
// in `error`. `done.format` and `done.notes` may be filled by the caller.
bool writeGridFile(const Lattice& lattice, const RowReader& read, const std::string& outPath, Conversion& done,
                   std::string& error);

// The lines a program prints after a successful conversion.
std::string describe(const Conversion& done, const std::string& inPath, const std::string& outPath);

// A number in the short form the messages use.
std::string number(double x);

} // namespace raster
} // namespace tervala

#endif
