// The users' side of the GDAL plugin: opening it and calling its table.
#include "gridtools/GdalPlugin.h"

#include <map>
#include <mutex>

#include "platform/SharedLibrary.h"

namespace tervala {
namespace gdal {

const TervalaGdalPlugin* loadPlugin(const std::string& path, std::string& error)
{
    // One load per path for the life of the process (the library is never
    // unloaded); a failure is tried again on the next call.
    static std::mutex mutex;
    static std::map<std::string, const TervalaGdalPlugin*> loaded;
    std::lock_guard<std::mutex> lock(mutex);
    const auto found = loaded.find(path);
    if (found != loaded.end())
        return found->second;
    std::string reason;
    void* library = platform::openSharedLibrary(path, reason);
    if (library == nullptr) {
        error = "cannot load the GDAL plugin " + path + ": " + reason;
        return nullptr;
    }
    const auto entry =
        reinterpret_cast<TervalaGdalPluginEntry>(platform::sharedLibrarySymbol(library, TERVALA_GDAL_PLUGIN_ENTRY));
    const TervalaGdalPlugin* plugin = entry != nullptr ? entry() : nullptr;
    if (plugin == nullptr) {
        error = "the GDAL plugin " + path + " has no " TERVALA_GDAL_PLUGIN_ENTRY " table";
        return nullptr;
    }
    if (plugin->abi != TERVALA_GDAL_PLUGIN_ABI) {
        error = "the GDAL plugin " + path + " comes from another version of tervala (interface " +
                std::to_string(plugin->abi) + ", this program needs " + std::to_string(TERVALA_GDAL_PLUGIN_ABI) + ")";
        return nullptr;
    }
    loaded.emplace(path, plugin);
    return plugin;
}

namespace {

// Takes the plugin's message into `out` and releases it.
bool finish(const TervalaGdalPlugin& plugin, int ok, char* message, std::string& out)
{
    out = message != nullptr ? message : (ok ? "" : "the GDAL plugin gave no reason");
    if (message != nullptr)
        plugin.freeMessage(message);
    return ok != 0;
}

} // namespace

bool importGrid(const TervalaGdalPlugin& plugin, const std::string& rasterPath, const std::string& gridPath,
                std::string& message)
{
    char* text = nullptr;
    const int ok = plugin.importGrid(rasterPath.c_str(), gridPath.c_str(), &text);
    return finish(plugin, ok, text, message);
}

bool exportGrid(const TervalaGdalPlugin& plugin, const std::string& gridPath, const std::string& rasterPath,
                const std::string& format, std::string& message)
{
    char* text = nullptr;
    const int ok = plugin.exportGrid(gridPath.c_str(), rasterPath.c_str(), format.c_str(), &text);
    return finish(plugin, ok, text, message);
}

} // namespace gdal
} // namespace tervala
