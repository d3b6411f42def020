// Least-squares fits of the local and datum transformations to common
// points. Each returns a value holding the fitted transformation, the
// covariance of its parameters, the residuals and a summary (sigma,
// convergence, rank and degeneracy). Without FitSettings the fits are
// unweighted (every coordinate counts the same) and return the doubles of
// the CTervala estimators. With FitSettings they are weighted adjustments
// that also report their statistics (global test, w-tests, redundancy
// numbers, minimal detectable biases, data snooping); docs/statistics.md
// explains each figure.
//
// Input: source and target point lists of equal length; too few points,
// lists of different lengths or non-finite coordinates throw
// std::invalid_argument. Degenerate geometry (coincident points; collinear
// points for the height plane and the seven-parameter fits) does not throw:
// the result says so in summary.degenerate and holds no transformation.
#ifndef TERVALA_FIT_HPP
#define TERVALA_FIT_HPP

#include <array>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "Datum.hpp"
#include "Ellipsoid.hpp"
#include "Export.hpp"
#include "Helmert15.hpp"

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

/// How a weighted fit is run. The a priori standard deviations (metres) are
/// empty (equal weights: no tests, parameter standard deviations scaled by
/// the a posteriori sigma0), one value for every coordinate, or one per
/// point per coordinate in the order of the points (first, second; heights:
/// one per point; X, Y, Z).
struct FitSettings {
    /// Of the observed (target) coordinates; for the seven-parameter fits
    /// also of the source coordinates unless sourceSigma is given.
    std::vector<double> sigma;
    /// Seven-parameter fits only: of the source coordinates, the same layout;
    /// 0 means error-free.
    std::vector<double> sourceSigma;
    double alpha = 0.05;    ///< significance of the global test, in (0, 1)
    double alpha0 = 0.001;  ///< significance of each w-test, in (0, 1); power 0.80
    /// Parameters held at zero (2D Helmert: t1, t2, rotation, and scale only
    /// with rotation, which holds the scale factor at 1; height plane:
    /// slope1, slope2, shift; seven parameters: tx, ty, tz, s, rx, ry, rz).
    std::vector<std::string> fixed;
    /// Data snooping: remove the point with the largest failing |w| and fit
    /// again while a w-test fails (needs sigma).
    bool snoop = false;
    /// Probability of the error ellipses in FitStatistics::ellipses, in
    /// (0, 1): the semi-axes are those of the standard ellipse times
    /// sqrt(chi^2(confidence, 2)). The default, 1 - exp(-1/2) (39.35 %), is
    /// the standard ellipse; outside (0, 1) the weighted fits throw
    /// std::invalid_argument.
    double confidence = 0.39346934028736658;
};

/// A parameter as every front end names and states it (the tool's report,
/// its JSON and parameter file, Python).
struct FitParameter {
    std::string name;  ///< t1, t2, scale, rotation; slope1, slope2, shift; tx, ty, tz, s, rx, ry, rz
    double value;      ///< in `unit`
    double sigma;      ///< standard deviation, same unit (0 when held)
    std::string unit;  ///< m, ppm, arc-second or m/m
    /// The same value in a second unit: "microradian" for rotations,
    /// "factor" (1 + ppm 1e-6) for scales, "mm/km" for slopes; empty for
    /// translations and shifts.
    std::string alternativeUnit;
    double alternativeValue;  ///< value in alternativeUnit; NaN without one
    double alternativeSigma;  ///< standard deviation in alternativeUnit; NaN without one
};

/// The global test of the variance factor against chi^2(r) / r.
struct FitGlobalTest {
    double statistic;  ///< variance factor v'Pv / r (a priori 1)
    double lower;      ///< chi^2(alpha / 2, r) / r
    double upper;      ///< chi^2(1 - alpha / 2, r) / r
    bool passed;       ///< lower <= statistic <= upper
};

/// One tested observation (a coordinate of a point; in the seven-parameter
/// fits a misclosure component of a point).
struct FitObservation {
    int point;                  ///< index of the point in the input, from 0
    int coordinate;             ///< 0, 1, 2: first, second (X, Y, Z); 0 for heights
    double residual;            ///< fitted minus observed, metres
    double redundancyNumber;    ///< r_i, between 0 and 1
    double normalisedResidual;  ///< v / sigma(v); NaN without a priori standard deviations
    double w;                   ///< Baarda's w; NaN without a priori standard deviations or where r_i is 0
    double mdb;                 ///< minimal detectable bias, metres; NaN without a priori standard deviations
    /// |w| above the critical value. In FitStatistics::local only a
    /// reading: the decision is made on FitStatistics::observations.
    bool rejected;
    /// External reliability: the largest shift (metres) of a transformed
    /// position that an undetected error of one MDB in this observation
    /// causes, over the points given and the corners of their bounding box
    /// (2D: horizontal; seven parameters: 3D; heights: vertical). NaN
    /// without a priori standard deviations and in FitStatistics::local.
    double external = std::numeric_limits<double>::quiet_NaN();
};

/// The error ellipse of one transformed point, from the parameters'
/// covariance (a priori, or scaled by sigma0 without a priori standard
/// deviations).
struct FitEllipse {
    int point;         ///< index of the point in the input, from 0
    double semiMajor;  ///< metres, at FitStatistics::confidence
    double semiMinor;  ///< metres, at FitStatistics::confidence
    /// Direction of the major axis, degrees in [0, 180): 2D Helmert from
    /// the first axis towards the second (from north clockwise for
    /// northing-easting coordinates); seven-parameter fits in the point's
    /// local east/north plane, from north towards east. 0 for a circle.
    double azimuth;
    /// Standard deviation (not scaled by the confidence level), metres,
    /// along the first axis (2D: first coordinate; seven parameters: north).
    double sigmaFirst;
    /// Along the second axis (2D: second coordinate; seven parameters: east).
    double sigmaSecond;
    /// Seven-parameter fits: of the up component; NaN for 2D.
    double sigmaUp;
};

/// A point removed by data snooping.
struct FitRemovedPoint {
    int point;              ///< index of the point in the input
    int coordinate;         ///< its observation with the largest failing |w|
    double w;               ///< that w
    double varianceFactor;  ///< of the fit the point was removed from
    bool globalPassed;      ///< whether that fit passed the global test
};

/// What a weighted fit reports besides its transformation.
struct FitStatistics {
    bool apriori;  ///< a priori standard deviations were given: the tests apply
    /// The parameters in the order and units of the result's covariance
    /// (2D Helmert: t1, t2, scale, rotation; rotations in the convention
    /// asked for).
    std::vector<FitParameter> parameters;
    std::vector<std::vector<double>> correlation;  ///< of the parameters
    double sigma0;   ///< a posteriori sqrt(v'Pv / r); 0 without redundancy
    int redundancy;  ///< observations less free parameters
    /// Present with a priori standard deviations and redundancy.
    std::optional<FitGlobalTest> globalTest;
    double alpha;             ///< of the global test
    double alpha0;            ///< of each w-test
    double wCritical;         ///< N(1 - alpha0 / 2)
    double noncentralitySqrt;  ///< sqrt(lambda0) = wCritical + N(0.80)
    /// Of the points kept, each point's coordinates in order.
    std::vector<FitObservation> observations;
    std::vector<FitRemovedPoint> removed;  ///< in the order of removal
    /// Probability of the ellipses (FitSettings::confidence).
    double confidence;
    /// Error ellipses of the transformed positions of every point given (in
    /// the fit, removed or not), in input order; empty for the height plane.
    std::vector<FitEllipse> ellipses;
    /// Seven-parameter fits: each point's misclosure turned into its local
    /// frame (coordinate 0 east, 1 north, 2 up on WGS84 at the target
    /// position), with the w-test and MDB of a bias along each direction;
    /// for reading only (see FitObservation::rejected). Empty otherwise.
    std::vector<FitObservation> local;
    /// Why the fit is refused, why snooping stopped, or why the iteration
    /// did not converge; empty otherwise.
    std::string message;
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
    /// Statistics of the weighted fits (with FitSettings); empty otherwise.
    std::optional<FitStatistics> statistics;
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
    /// Statistics of the weighted fits (with FitSettings); empty otherwise.
    std::optional<FitStatistics> statistics;
};

/// Result of fitHelmert7. Parameter order: tx, ty, tz (metres), s (ppm),
/// rx, ry, rz (arc-seconds, in the convention asked for). The parameters are
/// estimated for the exact rotation matrix, so the transformation's
/// rotations() is RotationForm::exact (applying them with the small-angle
/// matrix moves points by up to 27 mm for rotations of 10 arc-seconds).
struct Helmert7FitResult {
    std::optional<Helmert7> transformation;  ///< the fitted transformation; empty when degenerate
    std::array<std::array<double, 7>, 7> covariance;  ///< covariance of the parameters, in their units squared
    std::array<double, 7> standardDeviations;  ///< standard deviations of the parameters, in their units
    /// Per point, fitted minus target (metres).
    std::vector<Geocentric> residuals;  ///< per point, fitted minus target, metres
    FitSummary summary;  ///< sigma, convergence, rank and degeneracy
    /// Statistics of the weighted fits (with FitSettings); empty otherwise.
    std::optional<FitStatistics> statistics;
};

/// Result of fitMolodenskyBadekas: as Helmert7FitResult, the transformation
/// about the centroid of the source points.
struct MolodenskyBadekasFitResult {
    std::optional<MolodenskyBadekas> transformation;  ///< the fitted transformation; empty when degenerate
    std::array<std::array<double, 7>, 7> covariance;  ///< covariance of the parameters, in their units squared
    std::array<double, 7> standardDeviations;  ///< standard deviations of the parameters, in their units
    std::vector<Geocentric> residuals;  ///< per point, fitted minus target, metres
    FitSummary summary;  ///< sigma, convergence, rank and degeneracy
    /// Statistics of the weighted fits (with FitSettings); empty otherwise.
    std::optional<FitStatistics> statistics;
};

/// Result of fitHelmert15. Parameter order: tx, ty, tz (metres), s (ppm),
/// rx, ry, rz (arc-seconds, in the convention asked for) at the reference
/// epoch, then their rates dtx, dty, dtz (m/year), ds (ppm/year), drx, dry,
/// drz (arc-seconds/year). The transformation uses the small-angle rotation
/// matrix (Rotations::SmallAngle), the form the parameters are fitted for.
struct Helmert15FitResult {
    std::optional<Helmert15> transformation;  ///< the fitted transformation; empty when degenerate
    std::array<std::array<double, 14>, 14> covariance;  ///< covariance of the parameters, in their units squared
    std::array<double, 14> standardDeviations;  ///< standard deviations of the parameters, in their units
    std::vector<Geocentric> residuals;  ///< per point, fitted minus target at its epoch, metres (NaN when removed)
    double referenceEpoch;  ///< the reference epoch of the values, decimal years
    FitSummary summary;     ///< sigma, convergence, rank and degeneracy
    /// The adjustment's statistics (always present; the tests only with a
    /// priori standard deviations).
    std::optional<FitStatistics> statistics;
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

/// The weighted fits: as above, as a weighted adjustment with statistics.
/// Transformation, covariance (a priori, or scaled by sigma0 without a
/// priori standard deviations), residuals (NaN for points removed by
/// snooping) and summary (points, observations and sigma of the points kept;
/// unknowns counts the free parameters) come from the adjustment.
/// @throw std::invalid_argument as the unweighted fits, and for standard
///   deviations of the wrong count or not positive and finite, an unknown
///   parameter name to hold, alpha or alpha0 outside (0, 1), or snooping
///   without standard deviations.
/// @param[in] source source points
/// @param[in] target target points
/// @param[in] settings standard deviations, test levels, held parameters, snooping
/// @return the fitted transformation, covariance, residuals, summary and statistics
TERVALA_API Helmert2DFitResult fitHelmert2D(const std::vector<PlaneCoordinates>& source,
                                            const std::vector<PlaneCoordinates>& target, const FitSettings& settings);
/// Weighted height plane about the centroid of the positions.
/// @param[in] positions plane positions (first, second), metres
/// @param[in] sourceHeights heights in the source system, metres
/// @param[in] targetHeights heights in the target system, metres
/// @param[in] settings standard deviations (of each height difference), test levels, held parameters, snooping
/// @return the fitted plane, covariance, residuals, summary and statistics
TERVALA_API HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                                const std::vector<double>& sourceHeights,
                                                const std::vector<double>& targetHeights, const FitSettings& settings);
/// Weighted height plane about the given origin.
/// @param[in] positions plane positions (first, second), metres
/// @param[in] sourceHeights heights in the source system, metres
/// @param[in] targetHeights heights in the target system, metres
/// @param[in] origin the origin, metres
/// @param[in] settings standard deviations (of each height difference), test levels, held parameters, snooping
/// @return the fitted plane, covariance, residuals, summary and statistics
TERVALA_API HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                                const std::vector<double>& sourceHeights,
                                                const std::vector<double>& targetHeights,
                                                const PlaneCoordinates& origin, const FitSettings& settings);
/// Weighted seven-parameter fit (Gauss-Helmert: source and target coordinates
/// both carry errors; the tested observations are the misclosures).
/// @param[in] source source points
/// @param[in] target target points
/// @param[in] convention the rotation convention wanted
/// @param[in] settings standard deviations, test levels, held parameters, snooping
/// @return the fitted transformation, covariance, residuals, summary and statistics
TERVALA_API Helmert7FitResult fitHelmert7(const std::vector<Geocentric>& source, const std::vector<Geocentric>& target,
                                          Convention convention, const FitSettings& settings);
/// Weighted Molodensky-Badekas fit about the centroid of the source points
/// kept.
/// @param[in] source source points
/// @param[in] target target points
/// @param[in] convention the rotation convention wanted
/// @param[in] settings standard deviations, test levels, held parameters, snooping
/// @return the fitted transformation, covariance, residuals, summary and statistics
TERVALA_API MolodenskyBadekasFitResult fitMolodenskyBadekas(const std::vector<Geocentric>& source,
                                                            const std::vector<Geocentric>& target,
                                                            Convention convention, const FitSettings& settings);

/// The time-dependent (fifteen-parameter) Helmert transformation from common
/// points each observed at its own epoch: the seven parameters at the
/// reference epoch and their rates, by iterated weighted least squares
/// (Gauss-Helmert as fitHelmert7: source and target coordinates both carry
/// errors; the tested observations are each point's misclosures) for the
/// small-angle rotation matrix, the form in which ITRF parameters are
/// published and which is linear in the parameters but for the product of
/// scale and rotation.
///
/// The rates need points at two epochs or more, and at each epoch enough
/// points (three, not on a line) to fix the parameters there; otherwise the
/// result is degenerate with statistics.message saying what is missing
/// (hold the rates with settings.fixed, "dtx" ... "drz", to fit the seven
/// parameters at one epoch).
/// @throw std::invalid_argument for fewer than 3 points, lists of different
///   lengths (epochs: one per point), non-finite coordinates, epochs or
///   reference epoch, and as the weighted fitHelmert7 for the settings
///   (fixable names: tx, ty, tz, s, rx, ry, rz, dtx, dty, dtz, ds, drx, dry,
///   drz).
/// @param[in] source source points, metres
/// @param[in] target target points, metres, each at its epoch
/// @param[in] epochs the epoch of each point, decimal years
/// @param[in] convention the rotation convention wanted
/// @param[in] settings standard deviations, test levels, held parameters, snooping
/// @param[in] referenceEpoch the reference epoch of the values; by default
///   the mean epoch of the points rounded to a tenth of a year, where the
///   values are nearly uncorrelated with their rates
/// @return the fitted transformation, covariance, residuals, summary and statistics
TERVALA_API Helmert15FitResult fitHelmert15(const std::vector<Geocentric>& source,
                                            const std::vector<Geocentric>& target, const std::vector<double>& epochs,
                                            Convention convention, const FitSettings& settings = FitSettings(),
                                            std::optional<double> referenceEpoch = std::nullopt);

} // namespace tervala

#endif
