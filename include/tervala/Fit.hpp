// Least-squares fits of the local and datum transformations to common
// points. Each returns a value holding the fitted transformation, the
// covariance of its parameters, the residuals and a summary (sigma,
// convergence, rank and degeneracy). The fits are unweighted: every
// coordinate counts the same.
//
// Input: source and target point lists of equal length; too few points,
// lists of different lengths or non-finite coordinates throw
// std::invalid_argument. Degenerate geometry (coincident points; collinear
// points for the height plane and the seven-parameter fits) does not throw:
// the result says so in summary.degenerate and holds no transformation.
#ifndef TERVALA_FIT_HPP
#define TERVALA_FIT_HPP

#include <array>
#include <optional>
#include <vector>

#include "Datum.hpp"
#include "Ellipsoid.hpp"
#include "Export.hpp"

namespace tervala {

/// What every fit reports besides its parameters.
struct FitSummary {
    int points;        ///< common points used
    int observations;  ///< coordinates fitted (2 or 3 per point, 1 for heights)
    int unknowns;      ///< parameters of the model
    int redundancy;    ///< observations - unknowns
    /// How many of the unknowns the geometry of the source points
    /// determines: coincident points fix the translations (and the height
    /// shift) only, collinear points leave the rotation about their line
    /// (and the slope across it) open. A direction counts when the points
    /// spread along it by more than 1e-6 of their spread along the widest
    /// one (a network 10 km long must be more than 1 cm wide).
    int rank;
    /// rank < unknowns, or a parameter or residual that is not finite.
    bool degenerate;
    /// The iteration met its stopping test (always true for the linear
    /// fits).
    bool converged;
    /// Passes solved (1 for the linear fits).
    int iterations;
    /// A posteriori standard deviation of unit weight, sqrt(v'v /
    /// redundancy), metres; 0 without redundancy.
    double sigma;
};

/// Result of fitHelmert2D. Parameter order of the covariance: t1, t2
/// (metres), scale (ppm), rotation (arc-seconds).
struct Helmert2DFitResult {
    /// About the centroid of the source points; empty when degenerate.
    std::optional<Helmert2D> transformation;  ///< the fitted transformation; empty when degenerate
    std::array<std::array<double, 4>, 4> covariance;  ///< covariance of the parameters, in their units squared
    std::array<double, 4> standardDeviations;  ///< standard deviations of the parameters, in their units
    /// Per point, fitted minus target (metres).
    std::vector<PlaneCoordinates> residuals;  ///< per point, fitted minus target, metres
    FitSummary summary;  ///< sigma, convergence, rank and degeneracy
};

/// Result of fitHeightPlane. Parameter order: slope1, slope2 (metre per
/// metre), shift (metres).
struct HeightPlaneFitResult {
    std::optional<HeightPlane> transformation;  ///< the fitted transformation; empty when degenerate
    std::array<std::array<double, 3>, 3> covariance;  ///< covariance of the parameters, in their units squared
    std::array<double, 3> standardDeviations;  ///< standard deviations of the parameters, in their units
    /// Per point, fitted minus target height difference (metres).
    std::vector<double> residuals;  ///< per point, fitted minus target, metres
    /// sqrt(0.5 v'v), metres: the legacy member's accuracy figure.
    double meanAccuracy;
    FitSummary summary;  ///< sigma, convergence, rank and degeneracy
};

/// Result of fitHelmert7. Parameter order: tx, ty, tz (metres), s (ppm),
/// rx, ry, rz (arc-seconds, in the convention asked for).
struct Helmert7FitResult {
    std::optional<Helmert7> transformation;  ///< the fitted transformation; empty when degenerate
    std::array<std::array<double, 7>, 7> covariance;  ///< covariance of the parameters, in their units squared
    std::array<double, 7> standardDeviations;  ///< standard deviations of the parameters, in their units
    /// Per point, fitted minus target (metres).
    std::vector<Geocentric> residuals;  ///< per point, fitted minus target, metres
    FitSummary summary;  ///< sigma, convergence, rank and degeneracy
};

/// Result of fitMolodenskyBadekas: as Helmert7FitResult, the transformation
/// about the centroid of the source points.
struct MolodenskyBadekasFitResult {
    std::optional<MolodenskyBadekas> transformation;  ///< the fitted transformation; empty when degenerate
    std::array<std::array<double, 7>, 7> covariance;  ///< covariance of the parameters, in their units squared
    std::array<double, 7> standardDeviations;  ///< standard deviations of the parameters, in their units
    std::vector<Geocentric> residuals;  ///< per point, fitted minus target, metres
    FitSummary summary;  ///< sigma, convergence, rank and degeneracy
};

/// 2D Helmert transformation from at least 2 common points, about the
/// centroid of the source points (an exact fit for 2 points).
/// @throw std::invalid_argument for fewer than 2 points, lists of different
///   lengths or non-finite coordinates.
/// @param[in] source source points
/// @param[in] target target points
/// @return the fitted transformation, covariance, residuals and summary
TERVALA_API Helmert2DFitResult fitHelmert2D(const std::vector<PlaneCoordinates>& source,
                                            const std::vector<PlaneCoordinates>& target);

/// Height plane from at least 3 points: plane positions and the heights of
/// each point in the source and target height systems, about the centroid
/// of the positions.
/// @throw std::invalid_argument for fewer than 3 points, lists of different
///   lengths or non-finite values.
/// @param[in] positions plane positions (first, second), metres
/// @param[in] sourceHeights heights in the source system, metres
/// @param[in] targetHeights heights in the target system, metres
/// @return the fitted plane, covariance, residuals and summary
TERVALA_API HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                                const std::vector<double>& sourceHeights,
                                                const std::vector<double>& targetHeights);
/// As above, about the given origin.
/// @param[in] positions plane positions (first, second), metres
/// @param[in] sourceHeights heights in the source system, metres
/// @param[in] targetHeights heights in the target system, metres
/// @param[in] origin the origin, metres
/// @return the fitted plane, covariance, residuals and summary
TERVALA_API HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                                const std::vector<double>& sourceHeights,
                                                const std::vector<double>& targetHeights,
                                                const PlaneCoordinates& origin);

/// Seven-parameter similarity about the geocentre from at least 3 common
/// points (geocentric, metres), by iterated least squares weighted by both
/// coordinate sets; rotations returned in `convention`.
/// @throw std::invalid_argument for fewer than 3 points, lists of different
///   lengths or non-finite coordinates.
/// @param[in] source source points
/// @param[in] target target points
/// @param[in] convention the rotation convention wanted
/// @return the fitted transformation, covariance, residuals and summary
TERVALA_API Helmert7FitResult fitHelmert7(const std::vector<Geocentric>& source, const std::vector<Geocentric>& target,
                                          Convention convention);

/// As fitHelmert7, with rotation and scale about the centroid of the source
/// points (far better determined over a small network).
/// @param[in] source source points
/// @param[in] target target points
/// @param[in] convention the rotation convention wanted
/// @return the fitted transformation, covariance, residuals and summary
TERVALA_API MolodenskyBadekasFitResult fitMolodenskyBadekas(const std::vector<Geocentric>& source,
                                                            const std::vector<Geocentric>& target,
                                                            Convention convention);

} // namespace tervala

#endif
