// The reference ellipsoid, its derived series constants, and the conversions
// between geodetic and geocentric coordinates. These are the internal
// functions behind Setup_Ellipsoid, Geodetic_to_Geocentric and
// Geocentric_to_Geodetic; the projections read the meridian arc and the
// footpoint latitude from here.
#ifndef TERVALA_CORE_ELLIPSOID_H
#define TERVALA_CORE_ELLIPSOID_H

#include <cmath>

#include "core/Angles.h"
#include "tervala/Ellipsoid.hpp"

namespace tervala {

struct Vec3 {
    double x;
    double y;
    double z;
};

// The sixteen constants Setup_Ellipsoid stores, in the object's field order.
struct EllipsoidConstants {
    double a;    // semi-major axis, metres
    double f;    // flattening
    double b;    // semi-minor axis, metres
    double e2;   // first eccentricity squared
    double ep2;  // second eccentricity squared
    double n;    // third flattening (a - b) / (a + b)
    double arcAlpha, arcBeta, arcGamma, arcDelta, arcEpsilon;       // meridian arc
    double footAlpha, footBeta, footGamma, footDelta, footEpsilon;  // footpoint latitude
};

// Derives every constant from a and the inverse flattening.
EllipsoidConstants makeEllipsoid(double a, double inverseFlattening);

// Meridian arc from the equator to latitude phi (radians), metres:
// alpha (phi + beta sin 2phi + gamma sin 4phi + delta sin 6phi + epsilon sin 8phi).
double meridianArc(const EllipsoidConstants& e, double phi);

// Footpoint latitude of the rectified latitude mu = M / alpha' (radians).
// Inline: the projections' inverses run it on every point.
inline double footpointLatitude(const EllipsoidConstants& e, double mu)
{
    return mu + e.footBeta * std::sin(2 * mu) + e.footGamma * std::sin(4 * mu) + e.footDelta * std::sin(6 * mu) +
           e.footEpsilon * std::sin(8 * mu);
}

// Geodetic latitude and longitude (radians) and height (metres) to X, Y, Z.
// Inline, so that a caller holding only a and b reads just those two.
inline Vec3 geodeticToGeocentric(const EllipsoidConstants& e, double latitude, double longitude, double height)
{
    const double A = std::pow(e.a, 2);
    const double B = std::pow(e.b, 2);
    const double cosLat = std::cos(latitude);
    const double sinLat = std::sin(latitude);
    const double N = A / std::sqrt(A * (cosLat * cosLat) + B * (sinLat * sinLat));
    return Vec3{(N + height) * cosLat * std::cos(longitude), (N + height) * cosLat * std::sin(longitude),
                (B / A * N + height) * sinLat};
}

// A geodetic position as the object stores it is the public
// tervala::Geodetic: latitude and longitude in degrees (longitude in
// (-180, 180]), ellipsoidal height in metres.

// Near the polar axis the loop's height p / cos(lat) - N turns the
// latitude's last uncertainty (below this many radians: the 1e-14 test on
// the latitude entering the last pass, plus rounding) into
// p kLatitudeUncertainty / cos^2(lat) metres. Where that could exceed
// kPolarHeightTolerance the height is taken from a form that does not
// depend on the latitude to first order.
constexpr double kLatitudeUncertainty = 1.1e-14;
constexpr double kPolarHeightTolerance = 1e-6;

// Passes after which the geocentric inverse stops even without meeting the
// 1e-14 rad test (ordinary points need about four).
constexpr int kMaxGeodeticPasses = 100;

// Distances from the polar axis below this (a nanometre) are taken as on the
// axis. The loop cannot work there: its first latitude is the double nearest
// 90 degrees, whose cosine (6e-17) makes p / cos(lat) - N close to -N for p
// below about 1e-11 m and sends the next latitude to the wrong pole or the
// equator. At a nanometre the pole is off by p / N, 1e-14 degrees.
constexpr double kOnAxisDistance = 1e-9;

// X, Y, Z to latitude and longitude in DEGREES and height in metres (the
// object stores degrees). See CTervala::Geocentric_to_Geodetic for the polar
// axis, non-finite input and the bound on the iteration. Inline, like the
// forward conversion, so the members and the value type compile the same
// loop into their own code.
inline Geodetic geocentricToGeodetic(const EllipsoidConstants& e, double X, double Y, double Z)
{
    if (!std::isfinite(X) || !std::isfinite(Y) || !std::isfinite(Z)) {
        const double nan = std::nan("");
        return Geodetic{nan, nan, nan};
    }
    const double longitude = std::atan2(Y, X);
    const double p = std::sqrt(X * X + Y * Y);
    if (p < kOnAxisDistance) {
        // On the polar axis the latitude is a pole (or undefined at the
        // centre, where 0 is returned) and the height is measured along the
        // axis from the pole.
        const double latitude = Z > 0.0 ? 90.0 : (Z < 0.0 ? -90.0 : 0.0);
        return Geodetic{latitude, angles::toDegrees(longitude), std::fabs(Z) - e.b};
    }

    const double a2 = std::pow(e.a, 2);
    const double b2 = std::pow(e.b, 2);
    double phi = std::atan(Z / p * std::pow(1 - e.e2, -1));
    double h = 0.0;
    for (int pass = 0; pass < kMaxGeodeticPasses; ++pass) {
        const double sinPhi = std::sin(phi);
        const double cosPhi = std::cos(phi);
        const double N = a2 / std::sqrt(b2 * (sinPhi * sinPhi) + a2 * (cosPhi * cosPhi));
        h = p / cosPhi - N;
        const double next = std::atan(1 / (1 - e.e2 * N / (N + h)) * (Z / p));
        const double delta = next - phi;
        phi = next;
        // Written as "not greater" so that a NaN difference also ends the loop.
        if (!(std::fabs(delta) > 1e-14))
            break;
    }
    // Close to the polar axis, where p / cos(lat) is sensitive to the last
    // bits of the latitude, the height is the distance along the normal:
    // h = p cos(lat) + Z sin(lat) - N (1 - e^2 sin^2(lat)), whose derivative
    // with respect to the latitude vanishes at the solution. Elsewhere the
    // loop's own height is kept.
    const double cosPhi = std::cos(phi);
    if (p * kLatitudeUncertainty > kPolarHeightTolerance * (cosPhi * cosPhi)) {
        const double sinPhi = std::sin(phi);
        const double N = a2 / std::sqrt(b2 * (sinPhi * sinPhi) + a2 * (cosPhi * cosPhi));
        h = p * cosPhi + Z * sinPhi - N * (1 - e.e2 * (sinPhi * sinPhi));
    }
    return Geodetic{angles::toDegrees(phi), angles::toDegrees(longitude), h};
}

} // namespace tervala

#endif
