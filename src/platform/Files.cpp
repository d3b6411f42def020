#include "platform/Files.h"

#include <sys/stat.h>

namespace tervala {
namespace platform {

File openRegularFile(const std::string& path)
{
    struct stat info;
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return nullptr;
    File file(std::fopen(path.c_str(), "rb"));
    // The name may have been replaced between the two looks.
    if (file && (::fstat(::fileno(file.get()), &info) != 0 || !S_ISREG(info.st_mode)))
        file.reset();
    return file;
}

} // namespace platform
} // namespace tervala
