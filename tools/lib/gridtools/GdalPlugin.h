// The GDAL plugin: the raster import and export of GdalGrid.h in a shared
// library of its own (tervala-gdal), which the tool opens only when a
// command reads or writes a raster. GDAL and the hundred-odd libraries it
// needs are then loaded by those commands alone, not at every start.
//
// The plugin and its users meet through one C function that returns a table
// of C functions: no C++ object or exception crosses the boundary.
#ifndef TERVALA_GRIDTOOLS_GDALPLUGIN_H
#define TERVALA_GRIDTOOLS_GDALPLUGIN_H

#include <string>

extern "C" {

// Raised whenever a member of the table changes; a plugin of another
// version is refused rather than called.
#define TERVALA_GDAL_PLUGIN_ABI 1
// The name of the function the plugin exports:
//   const TervalaGdalPlugin* tervala_gdal_plugin(void);
#define TERVALA_GDAL_PLUGIN_ENTRY "tervala_gdal_plugin"

struct TervalaGdalPlugin {
    int abi;                  // TERVALA_GDAL_PLUGIN_ABI of the plugin's build
    const char* gdalRelease;  // the release of GDAL the plugin runs with
    // Each returns 1 on success and 0 on failure, and sets *message to the
    // report of what was written or to the reason of the failure (release it
    // with freeMessage). The output file is written only when complete.
    int (*importGrid)(const char* rasterPath, const char* gridPath, char** message);
    int (*exportGrid)(const char* gridPath, const char* rasterPath, const char* format, char** message);
    void (*freeMessage)(char* message);
};

typedef const TervalaGdalPlugin* (*TervalaGdalPluginEntry)(void);
}

namespace tervala {
namespace gdal {

// The plugin at `path`, opened on the first call for that path and kept
// loaded; null with the reason (naming the path) in `error`.
const TervalaGdalPlugin* loadPlugin(const std::string& path, std::string& error);

// A raster into a grid file through the plugin: true with the report in
// `message`, false with the reason.
bool importGrid(const TervalaGdalPlugin& plugin, const std::string& rasterPath, const std::string& gridPath,
                std::string& message);
// A grid file into a raster of `format` ("GTiff" or "GTX") through the plugin.
bool exportGrid(const TervalaGdalPlugin& plugin, const std::string& gridPath, const std::string& rasterPath,
                const std::string& format, std::string& message);

} // namespace gdal
} // namespace tervala

#endif
