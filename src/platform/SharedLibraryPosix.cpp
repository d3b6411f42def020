#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

namespace tervala {
namespace platform {

void* openSharedLibrary(const std::string& path, std::string& error)
{
    // RTLD_LOCAL keeps the plugin's symbols (and its copies of this
    // library's internals) apart from the program's.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        error = reason != nullptr ? reason : "the system gave no reason";
    }
    return library;
}

void* sharedLibrarySymbol(void* library, const char* name)
{
    return library != nullptr ? dlsym(library, name) : nullptr;
}

std::string executableFolder()
{
    // Linux names the executable in /proc; the link holds the real path
    // even when the program was started through a symbolic link.
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return "";
        if (static_cast<std::size_t>(n) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<std::size_t>(n));
            const std::size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);
        }
        if (buffer.size() > (1u << 20))
            return "";
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
} // namespace tervala
