#include "gridtools/ImportGrid.h"

#include "gridtools/Egm2008Grid.h"
#include "gridtools/GdalPlugin.h"
#include "gridtools/GtxGrid.h"
#include "gridtools/RasterGrid.h"

namespace tervala {
namespace raster {

namespace {

bool isGtxName(const std::string& path)
{
    const std::size_t n = path.size();
    return n >= 4 && (path.compare(n - 4, 4, ".gtx") == 0 || path.compare(n - 4, 4, ".GTX") == 0);
}

} // namespace

ImportOutcome importToGrid(const std::string& in, const std::string& out, const std::string& pluginPath,
                           std::string& message)
{
    std::string error;
    if (egm2008::looksLikeGeotranzGrid(in) || (pluginPath.empty() && isGtxName(in))) {
        Conversion done;
        const bool ok = egm2008::looksLikeGeotranzGrid(in) ? egm2008::convert(in, out, done, error)
                                                           : gtx::convertGtxToGrid(in, out, done, error);
        message = ok ? describe(done, in, out) : error;
        return ok ? ImportOutcome::Done : ImportOutcome::Refused;
    }
    if (pluginPath.empty()) {
        message = "this tervala was built without GDAL, which reading and writing rasters needs "
                  "(install Debian's libgdal-dev and rebuild)";
        return ImportOutcome::Unavailable;
    }
    const TervalaGdalPlugin* plugin = gdal::loadPlugin(pluginPath, error);
    if (plugin == nullptr) {
        message = error + " (the plugin is installed with tervala; reinstall it)";
        return ImportOutcome::Unavailable;
    }
    return gdal::importGrid(*plugin, in, out, message) ? ImportOutcome::Done : ImportOutcome::Refused;
}

} // namespace raster
} // namespace tervala
