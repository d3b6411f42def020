// The export marker of the library's public symbols, shared by every public
// header (the same definition as in Tervala.h).
#ifndef TERVALA_EXPORT_HPP
#define TERVALA_EXPORT_HPP

#ifndef TERVALA_API
#if defined(_WIN32)
#  if defined(TERVALA_BUILDING_LIBRARY)
#    define TERVALA_API __declspec(dllexport)
#  else
#    define TERVALA_API __declspec(dllimport)
#  endif
#else
#  define TERVALA_API __attribute__((visibility("default")))
#endif
#endif

#endif
