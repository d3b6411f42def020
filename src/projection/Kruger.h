// Transverse Mercator by Krueger's series in the third flattening n, carried
// to n^8, in the formulation through the conformal latitude and the
// rectifying radius (Krueger 1912; Karney 2011, "Transverse Mercator with an
// accuracy of a few nanometers", J. Geodesy 85):
//   forward: geodetic latitude -> conformal latitude chi (its sine series
//     in phi, exact to n^8);
//     spherical Transverse Mercator of (chi, lambda) gives
//     zeta' = xi' + i eta'; then zeta = zeta' + sum alpha_j sin 2j zeta',
//     northing A xi and easting A eta with A the rectifying radius;
//   inverse: zeta' = zeta - sum beta_j sin 2j zeta', the spherical inverse
//     gives chi and lambda, and phi = chi + sum d_j sin 2j chi.
// The complex sums are evaluated by Clenshaw's recurrence. The coefficients
// come from scripts/derive-tm-series (exact rationals, truncated after n^8).
//
// Accuracy against the exact projection on GRS80: a few nanometres within
// 3900 km of the central meridian, growing beyond (docs/accuracy.md gives
// the measured table). These functions take radians and metres, test
// nothing and let NaN propagate; the value types guard the domain.
#ifndef TERVALA_PROJECTION_KRUGER_H
#define TERVALA_PROJECTION_KRUGER_H

namespace tervala {

constexpr int kKrugerOrder = 8;

// The constants of one ellipsoid, derived once.
struct KrugerSeries {
    double a;                 // semi-major axis, metres
    double e;                 // first eccentricity
    double e2;                // e^2
    double n;                 // third flattening
    double rectifyingRadius;  // A = a / (1 + n) (1 + n^2/4 + n^4/64 + ...), metres
    double alpha[kKrugerOrder];     // forward coefficients, alpha_1 first
    double beta[kKrugerOrder];      // inverse coefficients
    double latitude[kKrugerOrder];   // phi - chi as a sine series in chi
    double conformal[kKrugerOrder];  // chi - phi as a sine series in phi
};

// Constants for semi-major axis a (metres) and flattening f (0 <= f < 1).
KrugerSeries makeKrugerSeries(double a, double f);

// A point of the projection at unit central scale: x east of the central
// meridian and y north of the equator (metres), the meridian convergence
// (radians, the angle from grid north to true north, positive east of the
// central meridian in the northern hemisphere) and the point scale.
struct KrugerPoint {
    double x;
    double y;
    double convergence;
    double scale;
};

// Latitude phi and longitude difference l from the central meridian
// (radians, |l| <= pi/2). The convergence and scale are filled only when
// withScale is true (NaN otherwise).
KrugerPoint krugerForward(const KrugerSeries& s, double phi, double l, bool withScale);

struct KrugerLatLon {
    double phi;  // radians
    double l;    // radians, from the central meridian
};

// x east of the central meridian and y north of the equator, both metres
// at unit central scale, to latitude and longitude difference (radians).
KrugerLatLon krugerInverse(const KrugerSeries& s, double x, double y);

} // namespace tervala

#endif
