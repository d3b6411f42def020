// The library-wide constant PI and the angle conversions every subsystem
// shares. The decimal constants are part of the results: 0.005555555555555556
// is the double nearest 1/180, and an arc-second is PI * 1.5432098765432098e-6
// radians (PI / 648000).
#ifndef TERVALA_CORE_ANGLES_H
#define TERVALA_CORE_ANGLES_H

namespace tervala {

// 4 * atan(1), computed once when the library is loaded.
extern const double PI;

namespace angles {

constexpr double kOneOver180 = 0.005555555555555556;
constexpr double kArcsecondFactor = 1.5432098765432098e-6;

// Degrees to radians as (degrees * PI) * (1/180).
inline double toRadians(double degrees) { return (degrees * PI) * kOneOver180; }
// Radians to degrees as (radians / PI) * 180.
inline double toDegrees(double radians) { return (radians / PI) * 180; }
// Arc-seconds to radians and back, through the product PI * 1.5432098765432098e-6.
inline double arcsecondsToRadians(double arcseconds) { return arcseconds * (PI * kArcsecondFactor); }
inline double radiansToArcseconds(double radians) { return radians / (PI * kArcsecondFactor); }
// A scale correction in parts per million as a factor.
inline double scaleFactorFromPpm(double ppm) { return 1 + ppm * 1e-6; }

} // namespace angles
} // namespace tervala

#endif
