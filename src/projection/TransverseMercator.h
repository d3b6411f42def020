// Transverse Mercator on a caller-defined grid and its UTM special case,
// forward and inverse: the Gauss-Krueger series in powers of the longitude
// difference (8th order in northing, 7th in easting) and its closed-form
// inverse through the footpoint latitude (8th order in latitude, 7th in
// longitude). These are the internal functions behind Geodetic_to_TM,
// TM_to_Geodetic, Geodetic_to_UTM and UTM_to_Geodetic; they take values and
// return results, and the members only convert the caller's arguments and
// store what these return. Any other front end calls these same functions.
#ifndef TERVALA_PROJECTION_TRANSVERSEMERCATOR_H
#define TERVALA_PROJECTION_TRANSVERSEMERCATOR_H

#include "core/Ellipsoid.h"

namespace tervala {

// Fixed UTM grid: scale 0.9996, false easting 500 km, false northing 0 in
// the north and 10000 km in the south. The inverse divides by the scale as a
// multiplication by its reciprocal, written as this constant.
constexpr double kUtmScaleFactor = 0.9996;
constexpr double kUtmInverseScaleFactor = 1.0004001600640255;
constexpr double kUtmFalseEasting = 500000.0;
constexpr double kUtmSouthernFalseNorthing = 10000000.0;

// The hemisphere flag of the UTM members: only the value 1 means south.
inline bool utmIsSouthern(int hemisphere) { return hemisphere == 1; }

// Meridian arc M(phi0) to the latitude of origin given in DEGREES, metres.
// The four sine angles are formed from the degree value as
// (d0 * PI) * 1/90, 1/45, 1/30 and 2/45 (as decimal constants), not as
// multiples of the radian value, so the result can differ in its last bits
// from meridianArc(e, toRadians(d0)); forward and inverse both use this one.
double originArc(const EllipsoidConstants& e, double latitudeOfOriginDegrees);

// A Transverse Mercator grid as the series use it.
struct TMGrid {
    double originArc;        // M(phi0) from originArc(), metres
    double centralMeridian;  // lambda0, radians
    double falseNorthing;    // metres
    double falseEasting;     // metres
    double scaleFactor;      // k0, a plain ratio
};

struct GridPoint {
    double northing;  // metres
    double easting;   // metres
};

// Result of an inverse: latitude and longitude in DEGREES, and the northing
// measured along the scaled meridian from the equator that the footpoint
// latitude was taken from (metres). The TM inverse writes that arc value back
// into the caller's northing; the UTM inverse writes it back in the south.
struct GridInverse {
    double latitude;
    double longitude;
    double arc;
};

// Latitude and longitude in radians to grid northing and easting.
GridPoint tmForward(const EllipsoidConstants& e, const TMGrid& grid, double latitude, double longitude);

// Grid northing and easting (metres) to latitude and longitude.
GridInverse tmInverse(const EllipsoidConstants& e, const TMGrid& grid, double northing, double easting);

// Meridian convergence (degrees, the angle from grid north to true north,
// positive east of the central meridian in the northern hemisphere) and
// point scale at latitude (radians) and longitude difference l (radians) on
// a grid of central scale scaleFactor: the direction and length of the
// derivative of the forward series along the parallel, so they carry the
// series' own accuracy. At the poles (cos phi = 0) the scale is not finite.
struct ConvergenceScale {
    double convergence;
    double scale;
};
ConvergenceScale tmConvergenceScale(const EllipsoidConstants& e, double scaleFactor, double latitude, double l);

// UTM forward: central meridian, latitude and longitude in radians.
GridPoint utmForward(const EllipsoidConstants& e, bool southern, double centralMeridian, double latitude,
                     double longitude);

// UTM inverse: central meridian in radians; the northing as the caller
// gives it (including the southern false northing).
GridInverse utmInverse(const EllipsoidConstants& e, bool southern, double centralMeridian, double northing,
                       double easting);

} // namespace tervala

#endif
