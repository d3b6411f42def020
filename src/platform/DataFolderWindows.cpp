#include "platform/DataFolder.h"
#include "platform/Files.h"
#include "platform/WindowsText.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <vector>

#ifndef TERVALA_DEFAULT_DATA_DIR
#define TERVALA_DEFAULT_DATA_DIR ""
#endif

namespace tervala {
namespace platform {
namespace {

// The folder of the module (DLL or program) this code was linked into.
std::wstring moduleFolder()
{
    HMODULE module = nullptr;
    if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                              reinterpret_cast<LPCWSTR>(&moduleFolder), &module))
        return std::wstring();
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return std::wstring();
        if (n < buffer.size()) {
            std::wstring path(buffer.data(), n);
            const std::size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace

std::string builtInDataFolder()
{
    if (TERVALA_DEFAULT_DATA_DIR[0] != '\0')
        return TERVALA_DEFAULT_DATA_DIR;
    const std::wstring folder = moduleFolder();
    if (!folder.empty())
        return narrow(folder);
    std::string programData;
    if (environmentVariable("ProgramData", programData) && !programData.empty())
        return programData + "\\Tervala";
    return "C:\\ProgramData\\Tervala";
}

} // namespace platform
} // namespace tervala
