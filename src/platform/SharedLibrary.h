// Opening a shared library at run time (a plugin) and finding the running
// program's folder, which plugins are looked up relative to. A library
// opened here stays loaded until the process ends: the libraries a plugin
// pulls in (GDAL among them) register handlers that must outlive every use.
#ifndef TERVALA_PLATFORM_SHAREDLIBRARY_H
#define TERVALA_PLATFORM_SHAREDLIBRARY_H

#include <string>

namespace tervala {
namespace platform {

// The library at `path` (UTF-8), loaded with the libraries it needs; null
// with the system's reason in `error` (missing file, missing dependency,
// wrong architecture).
void* openSharedLibrary(const std::string& path, std::string& error);

// The address of the exported symbol `name` of a library opened by
// openSharedLibrary, or null when it has none.
void* sharedLibrarySymbol(void* library, const char* name);

// The folder of the running program's executable, in UTF-8 without a
// trailing separator; "" when the system cannot tell.
std::string executableFolder();

} // namespace platform
} // namespace tervala

#endif
