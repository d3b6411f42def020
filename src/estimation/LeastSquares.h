// Least-squares estimation of the transformation parameters from common
// points: the 2D Helmert transformation, the height plane, and the seven
// parameters of the Bursa-Wolf and Molodensky-Badekas models. These are the
// internal functions behind the four estimator members; they read the
// caller's arrays only and return every result, which the members store.
// They run on the estimation core of estimation/Adjustment.h with unit (for
// the height plane 0.5) weights; the weighted fits with statistics are there.
#ifndef TERVALA_ESTIMATION_LEASTSQUARES_H
#define TERVALA_ESTIMATION_LEASTSQUARES_H

#include "core/Ellipsoid.h"
#include "datum/SevenParameter.h"
#include "tervala/Numbra.h"

namespace tervala {

// ---- 2D Helmert ----------------------------------------------------------------

struct Helmert2DFit {
    double parameters[4];     // t2, t1 (metres), scale (ppm), rotation (arc-seconds)
    double covariance[4][4];  // of the unknowns t2, t1, c = m cos r, d = m sin r
    Numbra residual;          // n x 1: 2k + 1 second, 2k + 2 first coordinate of point k
    double sigma;             // a posteriori standard deviation of unit weight, metres
    double origin[2];         // source centroid (first, second coordinate) the unknowns refer to
};

// n doubles in each array, (first, second) pairs back to back; n even and at
// least 2 (the caller checks). The unknowns refer to the centroid of the
// source points, returned as the fit's origin (for one point, the point).
Helmert2DFit fitHelmert2D(int n, const double* src, const double* dst);

// ---- Height plane ------------------------------------------------------------

struct HeightFit {
    double parameters[3];     // slope along the first, along the second coordinate, shift
    double covariance[3][3];  // of the parameters: Inv(A'A) v'v / (n - 3); 0 without redundancy
    Numbra residual;          // n x 1, element k + 1 for point k
    double meanAccuracy;      // sqrt(0.5 v'v), metres
    double origin[2];         // the reduction origin (x0, y0) the slopes refer to
};

// n >= 1 points (the caller checks): positions xy (2n doubles), heights hs
// and ht; the reduction origin is (x0, y0). Below 3 points only the shift is
// fitted (slopes and their covariance 0).
HeightFit fitHeightPlane(int n, double x0, double y0, const double* xy, const double* hs, const double* ht);

// ---- Seven parameters --------------------------------------------------------

// Arc-seconds to radians, the factor of the rotation columns of the design
// matrix.
inline double arcsecondFactor() { return PI * angles::kArcsecondFactor; }

// The three design rows of one point x (reduced to the rotation origin):
// the partial derivatives of m R x + t with respect to tx, ty, tz (metres),
// s (ppm) and rx, ry, rz (arc-seconds), exactly (no small-angle
// approximation), with q = R x.
void sevenParameterDesignRows(const SevenParameterRotation& R, double m, const Vec3& x, const Vec3& q,
                              double a[3][7]);

// The two estimators differ only in the source reduction and the last
// quotient: Bursa-Wolf forms s0^2 = Omega / (n - 7) (0 below n = 8) and
// sigma = sqrt(vv / (n - 7)); Molodensky-Badekas multiplies by the one
// reciprocal f = 1 / (n - 7) for both.
enum class SevenParameterModel { BursaWolf, MolodenskyBadekas };

// Passes solved at most; a fit that needs all of them reports no convergence.
constexpr int kSevenParameterMaxPasses = 21;

// What a fit that reaches the pass limit without converging keeps. The
// members leave the loop before adding the last pass's correction (their
// parameters are those the last pass was linearised at); the value types
// add it, as they do on convergence, so their parameters belong with the
// residuals. A converging pass always adds its correction.
enum class PassLimitCorrection { Omitted, Added };

struct SevenParameterFit {
    double parameters[7];     // tx, ty, tz, s, rx, ry, rz
    double covariance[7][7];  // Inv(N) s0^2
    Numbra residual;          // n x 1, one per coordinate, in input order
    double sigma;
    bool converged;           // the iteration ended before its last allowed pass
    int passes;               // passes solved, 2 to kSevenParameterMaxPasses
    Vec3 origin;              // rotation origin the parameters apply about (0 for Bursa-Wolf)
};

// The iterated (Gauss-Newton) fit of target = t + origin + m R (source -
// origin); origin (0, 0, 0) is Bursa-Wolf. n is a positive multiple of 3
// (the caller checks).
SevenParameterFit fitSevenParameters(int n, const double* source, const double* target, const Vec3& origin,
                                     SevenParameterModel model,
                                     PassLimitCorrection atLimit = PassLimitCorrection::Added);

// The mean of the source points, each coordinate summed in point order and
// multiplied by 1 / (n / 3).
Vec3 sourceCentroid(int n, const double* source);

} // namespace tervala

#endif
