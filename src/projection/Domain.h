// Where the projection series give the accuracy the front ends promise, and
// the longitude reduction they apply before projecting. The members of
// CTervala do not call these: they evaluate the series for whatever they are
// given. The tool, the Python layer and the modern API call them to refuse
// or reduce input instead of printing a number far outside the series'
// accuracy.
#ifndef TERVALA_PROJECTION_DOMAIN_H
#define TERVALA_PROJECTION_DOMAIN_H

#include <cmath>

#include "core/Ellipsoid.h"

namespace tervala {

// An angle in degrees reduced to (-180, 180]. Non-finite input stays NaN.
// Exact for every finite input: fmod is exact, and the one addition or
// subtraction of 360 is exact for |deg| below 2^44 degrees.
double reduceLongitude(double deg);

// Whether an inverse's longitude lies within maxOffset degrees of the
// central meridian. The series give the central meridian plus their own
// offset, unreduced, so the offset is taken as it comes: one that only a
// whole turn would bring within reach is the series far outside their
// domain (an easting thousands of kilometres out), not a point near the
// meridian. NaN is never within reach.
inline double inverseOffset(double seriesLongitude, double centralMeridian)
{
    return seriesLongitude - centralMeridian;
}
inline bool inverseWithinReach(double seriesLongitude, double centralMeridian, double maxOffset)
{
    return std::fabs(inverseOffset(seriesLongitude, centralMeridian)) <= maxOffset;
}

// UTM is defined from 80 deg S to 84 deg N; the polar caps belong to UPS.
constexpr double kUtmNorthernLimit = 84.0;
constexpr double kUtmSouthernLimit = -80.0;

// True when a latitude in degrees lies in the UTM band [-80, 84].
inline bool inUtmBand(double latitudeDegrees)
{
    return latitudeDegrees >= kUtmSouthernLimit && latitudeDegrees <= kUtmNorthernLimit;
}

// The largest distance from the central meridian, in degrees of longitude,
// at which the forward series (tmForward / utmForward) stays within 1 mm of
// an exact Transverse Mercator at every latitude on ellipsoid `e`, for a
// grid of scale 1 (a smaller scale shrinks the error with it). Measured by
// bench/tm_domain.cpp against GeographicLib's TransverseMercatorExact and
// tabulated by inverse flattening (150 to 10000; a sphere takes the 10000
// row), the value of the nearest row at or below the ellipsoid's 1/f, scaled
// down for a semi-major axis above 6378137 m, rounded down to 0.01 deg:
// 6.18 for GRS80 and WGS84. NaN for an ellipsoid that is not valid or is
// flatter than 1/f = 150 (no measured default: the caller must choose).
double tmMaxOffsetDegrees(const EllipsoidConstants& e);

// The same 1 mm reach at a given latitude (degrees): the series' error at a
// given longitude offset shrinks away from the equator, so Lulea (65.6 N,
// 7.2 degrees from the meridian of SWEREF 99 TM) lies well inside it.
// Measured on GRS80 by bench/tm_domain.cpp as the worst case over each
// 5-degree band of |latitude| (6.18 degrees at the equator, 10.84 at 65-70,
// 19.68 at 85-90; the smaller of two rows within 0.01 deg of their edge),
// and scaled for another ellipsoid by its
// tmMaxOffsetDegrees over GRS80's; rounded down to 0.01 deg. NaN where
// tmMaxOffsetDegrees is, or for a latitude outside [-90, 90].
double legacyMaxOffsetDegrees(const EllipsoidConstants& e, double latitudeDegrees);

// The reach of the legacy inverse at the latitude it returns: where neither
// the forward nor the inverse (given exact grid coordinates) departs 1 mm
// from the exact projection. The inverse series drift sooner away from the
// equator (6.73 to 7.78 degrees above 40 degrees of latitude on GRS80), so
// this is at most legacyMaxOffsetDegrees. Measured and scaled the same way.
double legacyInverseMaxOffsetDegrees(const EllipsoidConstants& e, double latitudeDegrees);

} // namespace tervala

#endif
