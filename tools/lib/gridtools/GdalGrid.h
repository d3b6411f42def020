// Geoid grids to and from the raster formats GDAL reads and writes
// (GeoTIFF, GTX and the others). Built only when GDAL is found, into the
// GDAL plugin (GdalPlugin.h), which is how the tool reaches it.
//
// Import: a single-band raster whose pixels are laid along latitude and
// longitude in degrees (a geographic coordinate system, or none at all) and
// not rotated. Each pixel's value is taken at the pixel's centre: GDAL gives
// point-registered rasters (GTX, GeoTIFF with AREA_OR_POINT=Point) a
// geotransform whose pixels are centred on the nodes, so the centre is the
// node for both registrations. The band's scale and offset are applied, its
// no-data value becomes NaN, and heights in feet or other units are refused.
// The grid-file writer (RasterGrid.h) does the rest.
//
// Export: a grid file as a point-registered raster on WGS 84 longitudes and
// latitudes that PROJ's vgridshift reads: GTiff (Deflate-compressed float32)
// or GTX (NaN written as its no-data value -88.8888).
#ifndef TERVALA_GRIDTOOLS_GDALGRID_H
#define TERVALA_GRIDTOOLS_GDALGRID_H

#include <string>

#include "gridtools/RasterGrid.h"

namespace tervala {
namespace gdal {

// The raster at inPath as a grid file at outPath (written only when
// complete); false with the reason in `error`.
bool importGrid(const std::string& inPath, const std::string& outPath, raster::Conversion& done, std::string& error);

// The grid file at gridPath as a raster of `format` ("GTiff" or "GTX") at
// outPath (written only when complete); false with the reason in `error`.
// `summary` says what was written.
bool exportGrid(const std::string& gridPath, const std::string& outPath, const std::string& format,
                std::string& summary, std::string& error);

} // namespace gdal
} // namespace tervala

#endif
