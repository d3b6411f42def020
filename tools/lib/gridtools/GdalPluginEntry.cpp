// The plugin's side: GdalGrid.h's import and export behind the C table of
// GdalPlugin.h. Built into the tervala-gdal shared library only.
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include <gdal.h>

#include "gridtools/GdalGrid.h"
#include "gridtools/GdalPlugin.h"

namespace {

char* copyMessage(const std::string& text)
{
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out != nullptr)
        std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

// Runs `work`, which fills `text`; no exception leaves the plugin.
template <class Work>
int run(Work work, char** message)
{
    std::string text;
    int ok = 0;
    try {
        ok = work(text) ? 1 : 0;
    } catch (const std::bad_alloc&) {
        text = "out of memory";
    } catch (const std::exception& e) {
        text = e.what();
    }
    if (message != nullptr)
        *message = copyMessage(text);
    return ok;
}

int importGrid(const char* rasterPath, const char* gridPath, char** message)
{
    return run(
        [&](std::string& text) {
            tervala::raster::Conversion done;
            if (!tervala::gdal::importGrid(rasterPath, gridPath, done, text))
                return false;
            text = tervala::raster::describe(done, rasterPath, gridPath);
            return true;
        },
        message);
}

int exportGrid(const char* gridPath, const char* rasterPath, const char* format, char** message)
{
    return run(
        [&](std::string& text) {
            std::string summary;
            if (!tervala::gdal::exportGrid(gridPath, rasterPath, format, summary, text))
                return false;
            text = summary;
            return true;
        },
        message);
}

void freeMessage(char* message) { std::free(message); }

} // namespace

extern "C" const TervalaGdalPlugin* tervala_gdal_plugin(void)
{
    static const TervalaGdalPlugin table = {TERVALA_GDAL_PLUGIN_ABI, GDALVersionInfo("RELEASE_NAME"), importGrid,
                                            exportGrid, freeMessage};
    return &table;
}
