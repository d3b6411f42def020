#include "platform/DataFolder.h"

#include <cstring>
#include <mutex>

#include "platform/Files.h"
#include "tervala/Tervala.h"

namespace tervala {
namespace platform {
namespace {

// The folder a host program chose; the data folder is a process-wide setting.
std::mutex& folderMutex()
{
    static std::mutex m;
    return m;
}

std::string& hostChoice()
{
    static std::string folder;
    return folder;
}

} // namespace

std::string dataFolder()
{
    {
        std::lock_guard<std::mutex> lock(folderMutex());
        if (!hostChoice().empty())
            return hostChoice();
    }
    std::string env;
    if (environmentVariable("TERVALA_DATA_DIR", env) && !env.empty())
        return env;
    return builtInDataFolder();
}

void setDataFolder(const char* folder)
{
    std::lock_guard<std::mutex> lock(folderMutex());
    hostChoice() = folder != nullptr ? folder : "";
}

std::string dataFilePath(const char* fileName)
{
    std::string folder = dataFolder();
    if (!folder.empty() && folder.back() != '/')
        folder += '/';
    return folder + fileName;
}

std::string hostPath(const char* devicePath)
{
    const std::size_t prefixLength = std::strlen(kDeviceDataFolder);
    std::string path(devicePath != nullptr ? devicePath : "");
    if (path.compare(0, prefixLength, kDeviceDataFolder) == 0)
        return dataFilePath(path.c_str() + prefixLength);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path;
}

} // namespace platform
} // namespace tervala

void CTervala::SetDataFolder(const char* folder)
{
    tervala::platform::setDataFolder(folder);
}

std::string CTervala::GetDataFolder()
{
    return tervala::platform::dataFolder();
}
