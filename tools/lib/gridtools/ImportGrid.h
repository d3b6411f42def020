// A raster of geoid heights into a grid file, by whichever reader takes it:
// NGA's EGM2008 grid (geotranz layout) by its own reader, every other file
// through the GDAL plugin, and, in a build without GDAL, GTX files by the
// built-in GTX reader. Used by `tervala data import-grid` and by the Python
// tervala.convert_grid, so both convert a file alike.
#ifndef TERVALA_GRIDTOOLS_IMPORTGRID_H
#define TERVALA_GRIDTOOLS_IMPORTGRID_H

#include <string>

namespace tervala {
namespace raster {

enum class ImportOutcome {
    Done,         // the grid file is written; the message is the report
    Refused,      // the input cannot be converted; the message says why
    Unavailable,  // no reader for it here (no GDAL in this build, or the plugin cannot be loaded)
};

// Converts `in` into the grid file `out` (written only when complete).
// `pluginPath` is the GDAL plugin's path, "" in a build without GDAL.
ImportOutcome importToGrid(const std::string& in, const std::string& out, const std::string& pluginPath,
                           std::string& message);

} // namespace raster
} // namespace tervala

#endif
