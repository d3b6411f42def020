// The raster import and export of a build without GDAL: they refuse.
#include "gridtools/GdalGrid.h"

namespace tervala {
namespace gdal {

namespace {
const char* const kNeedsGdal =
    "this tervala was built without GDAL, which reading and writing rasters needs "
    "(install Debian's libgdal-dev and rebuild)";
}

bool available() { return false; }

bool importGrid(const std::string&, const std::string&, raster::Conversion&, std::string& error)
{
    error = kNeedsGdal;
    return false;
}

bool exportGrid(const std::string&, const std::string&, const std::string&, std::string&, std::string& error)
{
    error = kNeedsGdal;
    return false;
}

} // namespace gdal
} // namespace tervala
