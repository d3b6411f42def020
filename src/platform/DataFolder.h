// Where the device's data folder "\My Documents\Fenwarden\" lives on this
// host. The loaders keep the device paths as constants and ask this layer
// for the host file that stands for each of them.
#ifndef TERVALA_PLATFORM_DATAFOLDER_H
#define TERVALA_PLATFORM_DATAFOLDER_H

#include <string>

namespace tervala {
namespace platform {

// The device folder every data file lives in.
constexpr const char* kDeviceDataFolder = "\\My Documents\\Fenwarden\\";

// The host folder, resolved now: the folder set by setDataFolder, else the
// environment variable TERVALA_DATA_DIR when set and non-empty, else
// builtInDataFolder(). Folders are UTF-8 strings.
std::string dataFolder();

// The folder used when neither the host nor the environment names one. On
// POSIX systems the folder fixed at build time (TERVALA_DEFAULT_DATA_DIR,
// <prefix>/share/tervala by default). On Windows that folder when the build
// fixed one, else the folder holding tervala.dll (the program's folder when
// the library is linked statically), and %ProgramData%\Tervala when
// neither can be told.
std::string builtInDataFolder();

// Sets (or, with null or "", clears) the host's own choice of folder.
void setDataFolder(const char* folder);

// The host path of a file of the device's data folder, by its name (for
// example "EGM96.dat" -> "<folder>/EGM96.dat").
std::string dataFilePath(const char* fileName);

// The host path of a device path inside the data folder, for example
// "\My Documents\Fenwarden\EGM96.dat" -> "<folder>/EGM96.dat". A path outside
// the data folder is returned with its backslashes turned into slashes.
std::string hostPath(const char* devicePath);

} // namespace platform
} // namespace tervala

#endif
