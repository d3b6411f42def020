// The seven-parameter sets the datum tests check against PROJ and the
// accuracy table of docs/accuracy.md prints (bench/table_datum_accuracy):
// one list, so the table shows the cases the tests assert.
#ifndef TERVALA_TESTS_DATUM_CASES_H
#define TERVALA_TESTS_DATUM_CASES_H

#include <cstdio>
#include <string>

namespace datumcases {

struct Seven {
    double tx, ty, tz, s, rx, ry, rz;  // metres, ppm, arc-seconds (coordinate frame)
};

// From nothing to large: translations of hundreds of metres, some ppm,
// rotations from a fraction of an arc-second to 3 degrees (where a
// small-angle matrix would be metres off).
inline const Seven kParameterSets[] = {
    {0, 0, 0, 0, 0, 0, 0},
    {100, -200, 300, 0, 0, 0, 0},
    {-446.448, 125.157, -542.060, 20.4894, -0.1502, -0.2470, -0.8421},
    {0, 0, 0, -5.0, 35.0, -25.0, 45.0},
    {600.5, -300.25, 150.125, 8.5, -30.0, 12.0, -27.0},
    {-12.0, 7.0, 3.0, 1.5, 3600.0, -7200.0, 10800.0},
};

// PROJ's exact coordinate-frame form of a set: `operation` is helmert, or
// molobadekas with the origin appended by the caller.
inline std::string projHelmert(const Seven& p, const char* operation = "helmert")
{
    char text[400];
    std::snprintf(text, sizeof text,
                  "+proj=%s +convention=coordinate_frame +exact +x=%.17g +y=%.17g +z=%.17g +s=%.17g +rx=%.17g "
                  "+ry=%.17g +rz=%.17g",
                  operation, p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz);
    return text;
}

} // namespace datumcases

#endif
