// Precision of transformed points: the covariance of a transformation's
// parameters carried to the coordinates it gives, C_x = J C J', where J is
// the Jacobian of the transformed coordinates with respect to the
// parameters, taken analytically at the point. Linear propagation: exact
// for the translations and the 2D scale and for the height plane, and for
// rotations correct to first order in their standard deviations (well
// within 1 % of the standard deviations for the arc-second-level precision
// of real fits; docs/statistics.md gives a Monte Carlo check).
//
// Units of a covariance are those of its parameters squared: metres, ppm,
// arc-seconds, metre per metre for slopes. The source coordinates are taken
// as error-free: the result is the precision the transformation adds.
#ifndef TERVALA_PROPAGATION_HPP
#define TERVALA_PROPAGATION_HPP

#include <array>

#include "Datum.hpp"
#include "Export.hpp"
#include "Fit.hpp"

namespace tervala {

/// The standard (one-sigma) error ellipse of a plane point.
struct ErrorEllipse {
    double semiMajor;  ///< semi-major axis, metres
    double semiMinor;  ///< semi-minor axis, metres
    /// Direction of the major axis, degrees in [0, 180), measured from the
    /// first coordinate axis toward the second (from north toward east for
    /// northing, easting); 0 for a circle (axes equal to 1e-12 of the
    /// variance).
    double azimuth;
};

/// Symmetric 2x2 covariance, metres squared, of (first, second).
using PlaneCovariance = std::array<std::array<double, 2>, 2>;
/// Symmetric 3x3 covariance, metres squared.
using Covariance3 = std::array<std::array<double, 3>, 3>;

/// The error ellipse of a plane covariance: the square roots of its
/// eigenvalues and the direction of the larger one's eigenvector. A
/// rounding-level negative eigenvalue gives a semi-minor axis of 0; NaN in,
/// NaN out.
/// @param[in] covariance of (first, second), metres squared
/// @return semi-major and semi-minor axis (metres) and azimuth (degrees)
TERVALA_API ErrorEllipse errorEllipse(const PlaneCovariance& covariance);

/// A transformed plane point's precision.
struct PlanePrecision {
    PlaneCovariance covariance;  ///< of (first', second'), metres squared
    double sigmaFirst;           ///< standard deviation of first', metres
    double sigmaSecond;          ///< standard deviation of second', metres
    ErrorEllipse ellipse;        ///< the standard error ellipse
};

/// A transformed geocentric point's precision.
struct GeocentricPrecision {
    Covariance3 covariance;  ///< of (X', Y', Z'), metres squared
    double sigmaX;           ///< standard deviation of X', metres
    double sigmaY;           ///< standard deviation of Y', metres
    double sigmaZ;           ///< standard deviation of Z', metres
};

/// A geocentric covariance seen in the local frame of a point: north, east
/// and up (along the ellipsoid normal).
struct LocalPrecision {
    Covariance3 covariance;  ///< of (north, east, up), metres squared
    double sigmaNorth;       ///< metres
    double sigmaEast;        ///< metres
    double sigmaUp;          ///< metres
    ErrorEllipse ellipse;    ///< horizontal ellipse, azimuth from north toward east
};

/// Which way a seven-parameter transformation is applied.
enum class Direction { forward, inverse };

/// d(first', second') / d(t1, t2, scale, rotation) at `point`: metres per
/// metre, per ppm and per arc-second.
/// @param[in] transformation the transformation
/// @param[in] point the source point, metres
/// @return the 2x4 Jacobian
TERVALA_API std::array<std::array<double, 4>, 2> parameterJacobian(const Helmert2D& transformation,
                                                                   const PlaneCoordinates& point);
/// dh' / d(slope1, slope2, shift) at `position`: (x - x0, y - y0, 1).
/// @param[in] transformation the plane
/// @param[in] position the plane position, metres
/// @return the Jacobian row
TERVALA_API std::array<double, 3> parameterJacobian(const HeightPlane& transformation,
                                                    const PlaneCoordinates& position);
/// d(X', Y', Z') / d(tx, ty, tz, s, rx, ry, rz) of forward() at `point`:
/// metres per metre, per ppm and per arc-second, for the rotation matrix
/// and convention of the set.
/// @param[in] transformation the transformation
/// @param[in] point the source point, metres
/// @return the 3x7 Jacobian
TERVALA_API std::array<std::array<double, 7>, 3> parameterJacobian(const Helmert7& transformation,
                                                                   const Geocentric& point);
/// As for Helmert7, about the set's origin.
/// @param[in] transformation the transformation
/// @param[in] point the source point, metres
/// @return the 3x7 Jacobian
TERVALA_API std::array<std::array<double, 7>, 3> parameterJacobian(const MolodenskyBadekas& transformation,
                                                                   const Geocentric& point);

/// Precision of forward(point) given the covariance of t1, t2, scale,
/// rotation (m, m, ppm, arc-seconds; squared). NaN in the covariance gives
/// NaN.
/// @param[in] transformation the transformation
/// @param[in] covariance of its parameters
/// @param[in] point the source point, metres
/// @return covariance, standard deviations and error ellipse of the result
TERVALA_API PlanePrecision propagate(const Helmert2D& transformation,
                                     const std::array<std::array<double, 4>, 4>& covariance,
                                     const PlaneCoordinates& point);
/// Standard deviation (metres) of forward(position, h) given the covariance
/// of slope1, slope2, shift; the source height h does not enter.
/// @param[in] transformation the plane
/// @param[in] covariance of its parameters
/// @param[in] position the plane position, metres
/// @return the standard deviation of the transformed height, metres
TERVALA_API double propagate(const HeightPlane& transformation, const std::array<std::array<double, 3>, 3>& covariance,
                             const PlaneCoordinates& position);
/// Precision of forward(point), or with Direction::inverse of
/// inverse(point), given the covariance of tx, ty, tz, s, rx, ry, rz (in
/// the set's convention). The inverse's Jacobian is -(m R)^-1 J taken at
/// the source point that inverse(point) gives.
/// @param[in] transformation the transformation
/// @param[in] covariance of its parameters
/// @param[in] point the point transformed, metres
/// @param[in] direction forward or inverse
/// @return covariance and standard deviations of the result
TERVALA_API GeocentricPrecision propagate(const Helmert7& transformation,
                                          const std::array<std::array<double, 7>, 7>& covariance,
                                          const Geocentric& point, Direction direction = Direction::forward);
/// As for Helmert7, about the set's origin.
/// @param[in] transformation the transformation
/// @param[in] covariance of its parameters
/// @param[in] point the point transformed, metres
/// @param[in] direction forward or inverse
/// @return covariance and standard deviations of the result
TERVALA_API GeocentricPrecision propagate(const MolodenskyBadekas& transformation,
                                          const std::array<std::array<double, 7>, 7>& covariance,
                                          const Geocentric& point, Direction direction = Direction::forward);

/// A geocentric covariance turned into north, east, up at the geodetic
/// latitude and longitude of the point (degrees).
/// @param[in] covariance geocentric covariance, metres squared
/// @param[in] latitude latitude of the point, degrees
/// @param[in] longitude longitude of the point, degrees
/// @return the local covariance, standard deviations and horizontal ellipse
TERVALA_API LocalPrecision localPrecision(const Covariance3& covariance, double latitude, double longitude);

/// Transforms points with a fit's transformation and carries the fit's
/// parameter covariance to each.
/// @throw std::invalid_argument when the fit has no transformation
///   (degenerate).
/// @param[in] fit the fit
/// @param[in] point the source point
/// @return the precision of the transformed point
TERVALA_API PlanePrecision propagate(const Helmert2DFitResult& fit, const PlaneCoordinates& point);
/// @param[in] fit the fit
/// @param[in] position the plane position
/// @return the standard deviation of the transformed height, metres
TERVALA_API double propagate(const HeightPlaneFitResult& fit, const PlaneCoordinates& position);
/// @param[in] fit the fit
/// @param[in] point the source point
/// @return the precision of the transformed point
TERVALA_API GeocentricPrecision propagate(const Helmert7FitResult& fit, const Geocentric& point);
/// @param[in] fit the fit
/// @param[in] point the source point
/// @return the precision of the transformed point
TERVALA_API GeocentricPrecision propagate(const MolodenskyBadekasFitResult& fit, const Geocentric& point);

} // namespace tervala

#endif
