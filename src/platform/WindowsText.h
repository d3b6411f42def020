// Text conversions between this library's UTF-8 strings and the UTF-16 of
// the Windows wide calls. Only the Windows sources of this folder use them.
#ifndef TERVALA_PLATFORM_WINDOWSTEXT_H
#define TERVALA_PLATFORM_WINDOWSTEXT_H

#include <string>

namespace tervala {
namespace platform {

// UTF-8 to UTF-16; text that is not valid UTF-8 is read in the ANSI code
// page instead, as the narrow calls would have read it.
std::wstring widen(const std::string& text);
std::wstring widenAnsi(const std::string& text);
// UTF-16 to UTF-8.
std::string narrow(const std::wstring& wide);
// The system's message for a GetLastError() code, in UTF-8, without the
// trailing period and line break.
std::string systemMessage(unsigned long code);

} // namespace platform
} // namespace tervala

#endif
