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

#include <cmath>

#include "core/Angles.h"
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

// ---- The inverse series, defined here so that every caller (the members
// and the value types) compiles them inline into its own code. The order of
// evaluation is the one described at the top of TransverseMercator.cpp.

// The latitude-dependent quantities both directions need.
struct LatitudeTerms {
    double c;     // cos phi
    double t;     // tan phi
    double t2;    // t^2
    double eta2;  // e'^2 cos^2 phi
    double N;     // radius of curvature in the prime vertical
};

inline LatitudeTerms latitudeTerms(const EllipsoidConstants& e, double phi)
{
    LatitudeTerms q;
    q.c = std::cos(phi);
    q.t = std::tan(phi);
    q.t2 = q.t * q.t;
    q.eta2 = e.ep2 * (q.c * q.c);
    q.N = (e.a * e.a) / (e.b * std::sqrt(1 + q.eta2));
    return q;
}

struct LatLonRadians {
    double phi;
    double lambda;
};

// Latitude and longitude from the footpoint latitude phi1 and the reduced
// easting u (easting from the central meridian divided by the scale).
inline LatLonRadians inverseSeries(const EllipsoidConstants& e, double phi1, double lambda0, double u)
{
    const LatitudeTerms q = latitudeTerms(e, phi1);
    const double c = q.c, t = q.t, t2 = q.t2, eta2 = q.eta2, N = q.N;
    const double t4 = t2 * t2, t6 = t4 * t2;
    const double eta4 = eta2 * eta2;
    const double N2 = N * N, N4 = N2 * N2, N6 = N4 * N2, N8 = N4 * N4;
    const double N3 = N2 * N, N5 = N4 * N, N7 = N6 * N;
    const double u2 = u * u, u4 = u2 * u2, u6 = u4 * u2, u8 = u4 * u4;
    const double u3 = u2 * u, u5 = u4 * u, u7 = u6 * u;

    const double lambda = lambda0 + u / (c * N) + (-1 - 2 * t2 - eta2) / (6 * c * N3) * u3 +
                          (5 + 28 * t2 + 24 * t4 + 6 * eta2 + 8 * t2 * eta2) / (120 * c * N5) * u5 +
                          (-61 - 662 * t2 - 1320 * t4 - 720 * t6) / (5040 * c * N7) * u7;

    const double phi =
        phi1 + -t * (1 + eta2) / (2 * N2) * u2 +
        t * (5 + 3 * t2 + 6 * eta2 - 6 * t2 * eta2 - 3 * eta4 - 9 * t2 * eta4) / (24 * N4) * u4 +
        -t * (61 + 90 * t2 + 45 * t4 + 107 * eta2 - 162 * t2 * eta2 - 45 * t4 * eta2) / (720 * N6) * u6 +
        t * (1385 + 3633 * t2 + 4095 * t4 + 1575 * t6) / (40320 * N8) * u8;

    return LatLonRadians{phi, lambda};
}

// Grid northing and easting (metres) to latitude and longitude.
inline GridInverse tmInverse(const EllipsoidConstants& e, const TMGrid& grid, double northing, double easting)
{
    const double k0 = grid.scaleFactor;
    const double arc = grid.originArc * k0 + (northing - grid.falseNorthing);
    const double phi1 = footpointLatitude(e, arc / (e.footAlpha * k0));
    const double u = (easting - grid.falseEasting) / k0;
    const LatLonRadians p = inverseSeries(e, phi1, grid.centralMeridian, u);
    return GridInverse{angles::toDegrees(p.phi), angles::toDegrees(p.lambda), arc};
}

// The divisor that turns a UTM northing into the rectified latitude,
// alpha' k0. A caller that projects many points on one ellipsoid forms it
// once; it is the same double as when formed per point.
inline double utmFootDivisor(const EllipsoidConstants& e) { return e.footAlpha * kUtmScaleFactor; }

// UTM inverse: footDivisor from utmFootDivisor(e); central meridian in
// radians; the northing as the caller gives it (including the southern
// false northing).
inline GridInverse utmInverse(const EllipsoidConstants& e, double footDivisor, bool southern, double centralMeridian,
                              double northing, double easting)
{
    const double arc = southern ? northing - kUtmSouthernFalseNorthing : northing;
    const double phi1 = footpointLatitude(e, arc / footDivisor);
    const double u = (easting - kUtmFalseEasting) * kUtmInverseScaleFactor;
    const LatLonRadians p = inverseSeries(e, phi1, centralMeridian, u);
    return GridInverse{angles::toDegrees(p.phi), angles::toDegrees(p.lambda), arc};
}

} // namespace tervala

#endif
