// NGA's EGM2008 2.5' global geoid grid as Debian's geotranz package ships it
// (/usr/share/geotranz/data/Und_min2.5x2.5_egm2008_WGS84_TideFree_reformatted):
// a header of three big-endian int32 (border width B, rows R, columns C of
// the grid proper) and two big-endian doubles (latitude and longitude
// spacing, degrees), then R + 2B rows from the northernmost (90 + B spacings)
// southward, each of C + 2B + 1 big-endian float32 heights (metres,
// tide-free) from longitude -B spacings eastward: the grid with a border of
// B nodes all round and its 360-degree wrap column. GDAL reads no format
// like it, so this reader hands its rows to the grid-file writer.
#ifndef TERVALA_GRIDTOOLS_EGM2008GRID_H
#define TERVALA_GRIDTOOLS_EGM2008GRID_H

#include <string>

#include "gridtools/RasterGrid.h"

namespace tervala {
namespace egm2008 {

constexpr int kHeaderBytes = 28;
constexpr const char* kGeotranzPath =
    "/usr/share/geotranz/data/Und_min2.5x2.5_egm2008_WGS84_TideFree_reformatted";

// Whether the file at `path` has this layout: a sensible header whose grid
// fills the file exactly. Cheap: reads the header only.
bool looksLikeGeotranzGrid(const std::string& path);

// Converts the file at inPath into a grid file at outPath (see
// raster::writeGridFile); false with the reason in `error`.
bool convert(const std::string& inPath, const std::string& outPath, raster::Conversion& done, std::string& error);

} // namespace egm2008
} // namespace tervala

#endif
