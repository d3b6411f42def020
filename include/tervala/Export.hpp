// The export marker of the library's public symbols, shared by every public
// header, Tervala.h included.
#ifndef TERVALA_EXPORT_HPP
#define TERVALA_EXPORT_HPP

#if defined(_WIN32)
#  if defined(TERVALA_BUILDING_LIBRARY)
#    define TERVALA_API __declspec(dllexport)
#  elif defined(TERVALA_STATIC)
     /* linked from the internal static archive (tests, the tool) */
#    define TERVALA_API
#  else
#    define TERVALA_API __declspec(dllimport)
#  endif
#else
#  define TERVALA_API __attribute__((visibility("default")))
#endif

#endif
