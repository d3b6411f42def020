#include "platform/SharedLibrary.h"

#include <windows.h>

#include <vector>

#include "platform/WindowsText.h"

namespace tervala {
namespace platform {

void* openSharedLibrary(const std::string& path, std::string& error)
{
    HMODULE library = LoadLibraryW(widen(path).c_str());
    if (library == nullptr)
        error = systemMessage(GetLastError());
    return reinterpret_cast<void*>(library);
}

void* sharedLibrarySymbol(void* library, const char* name)
{
    if (library == nullptr)
        return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

std::string executableFolder()
{
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return "";
        if (n < buffer.size()) {
            const std::string path = narrow(std::wstring(buffer.data(), n));
            const std::size_t slash = path.find_last_of("\\/");
            return slash == std::string::npos ? std::string() : path.substr(0, slash);
        }
        if (buffer.size() > 32768)
            return "";
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform
} // namespace tervala
