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
#include "estimation/Adjustment.h"
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
inline void sevenParameterDesignRows(const SevenParameterRotation& R, double m, const Vec3& x, const Vec3& q,
                                     double a[3][7])
{
    const double k = arcsecondFactor();
    const double sa = R.sa, ca = R.ca, sb = R.sb, cb = R.cb, sc = R.sc, cc = R.cc;
    const double x1 = x.x, x2 = x.y, x3 = x.z;
    const double qs[3] = {q.x, q.y, q.z};
    for (int i = 0; i < 3; ++i) {
        a[i][0] = i == 0 ? 1 : 0;
        a[i][1] = i == 1 ? 1 : 0;
        a[i][2] = i == 2 ? 1 : 0;
        a[i][3] = qs[i] * 1e-6;                               // scale, per ppm
        a[i][4] = (R.r[i][1] * x3 - R.r[i][2] * x2) * m * k;  // rx: R dR1/da x
    }
    // ry: R3 dR2/db R1 x, written out.
    a[0][5] = (cc * cb * sa * x2 - cc * sb * x1 - cc * cb * ca * x3) * m * k;
    a[1][5] = (sc * sb * x1 - sc * cb * sa * x2 + sc * cb * ca * x3) * m * k;
    a[2][5] = (cb * x1 + sb * sa * x2 - sb * ca * x3) * m * k;
    // rz: dR3/dc turns (q1, q2) into (q2, -q1).
    a[0][6] = q.y * m * k;
    a[1][6] = -q.x * m * k;
    a[2][6] = 0;
}

// One point's design rows a, misclosures l and weight P added to the
// normal equations as FixedNormalEquations<7>::add adds them, and its
// residuals formed as fixedGroupResiduals forms them, without the products
// with the structural zeros of the design rows (the unit columns of tx, ty,
// tz and the zero in the last row of rz; no unknown may be held). Each
// skipped product is a zero added to a sum that is a nonzero number or +0,
// so for finite input the doubles are those of the full products; the
// seven-parameter iteration runs on these.
inline void addSevenParameterGroup(const double (&a)[3][7], const double (&l)[3], const double (&P)[3][3],
                            FixedNormalEquations<7>& ne)
{
    // T = A' P (7 x 3): the unit columns make T's rows 0..2 P's rows; the
    // zero in the last row of rz drops from row 6.
    double T[7][3];
    for (int c = 0; c < 3; ++c)
        for (int j = 0; j < 3; ++j)
            T[c][j] = P[c][j];
    for (int c = 3; c < 6; ++c)
        for (int j = 0; j < 3; ++j)
            T[c][j] = a[0][c] * P[0][j] + a[1][c] * P[1][j] + a[2][c] * P[2][j];
    for (int j = 0; j < 3; ++j)
        T[6][j] = a[0][6] * P[0][j] + a[1][6] * P[1][j];
    // (A' P) A and (A' P) l; A's columns 0..2 are unit columns.
    for (int c = 0; c < 7; ++c) {
        const double* t = T[c];
        double* row = ne.N[c];
        row[0] += t[0];
        row[1] += t[1];
        row[2] += t[2];
        for (int d = 3; d < 6; ++d)
            row[d] += t[0] * a[0][d] + t[1] * a[1][d] + t[2] * a[2][d];
        row[6] += t[0] * a[0][6] + t[1] * a[1][6];
        ne.U[c] += t[0] * l[0] + t[1] * l[1] + t[2] * l[2];
    }
}

inline void sevenParameterGroupResiduals(const double (&a)[3][7], const double (&l)[3], const double (&P)[3][3],
                                  const double* x, double* v, double& omega)
{
    for (int r = 0; r < 3; ++r) {
        double sum = 0.0;
        sum += x[r];  // the unit column; 0.0 + x turns a -0 into +0 as the full sum does
        for (int j = 3; j < (r == 2 ? 6 : 7); ++j)
            sum += a[r][j] * x[j];
        v[r] = sum - l[r];
    }
    double weighted = 0.0;
    for (int j = 0; j < 3; ++j)
        weighted += (v[0] * P[0][j] + v[1] * P[1][j] + v[2] * P[2][j]) * v[j];
    omega += weighted;
}

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
