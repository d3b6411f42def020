// The seven-parameter estimators: one Gauss-Newton iteration shared by the
// Bursa-Wolf model (rotation about the geocentre) and the Molodensky-Badekas
// model (rotation about the centroid of the source points).
//
// Each pass linearises target = t + origin + m R (source - origin) at the
// current parameters X and solves N dX = U with
//   N = sum over points of A_p' P A_p,   U = sum of A_p' P w_p,
// where A_p holds the three design rows of point p, w_p its misclosures and
// P = Inv(B B') the weight of one point (B = [m R | -I], so source and target
// coordinates both enter the weights). The sums are accumulated point by
// point without forming A (n x 7) or w: a pass costs O(1) memory besides the
// residual column, and nothing is allocated per point. Each 3 x 7 block is
// multiplied out in the order the matrix products A_p' P and (A_p' P) A_p
// take, skipping only the products with the structural zeros of A_p (its
// unit columns and the zero in the last row of the rz column), which add
// exact zeros; so the sums are the doubles of the plain matrix formulation.
// The residuals v = A dX - w need the design rows again after the solve;
// they are recomputed in a second sweep rather than stored.
#include <cmath>
#include <utility>

#include "core/Angles.h"
#include "estimation/LeastSquares.h"
#include "tervala/Tervala.h"

namespace tervala {

void sevenParameterDesignRows(const SevenParameterRotation& R, double m, const Vec3& x, const Vec3& q,
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
        a[i][3] = qs[i] * 1e-6;                                     // scale, per ppm
        a[i][4] = (R.r[i][1] * x3 - R.r[i][2] * x2) * m * k;        // rx: R dR1/da x
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

namespace {

// One pass at fixed parameters: the rotation, scale and weight matrix, and
// the per-point quantities both sweeps need.
class Pass {
public:
    Pass(const double (&X)[7], const Vec3& origin) : origin_(origin)
    {
        R_ = sevenParameterRotation(X[4], X[5], X[6]);
        m_ = angles::scaleFactorFromPpm(X[3]);
        for (int i = 0; i < 3; ++i)
            t_[i] = X[i];
        // P = Inv(B B'), B = [m R | -I] (3 x 6).
        Numbra B(3, 6);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                B(i + 1, j + 1) = m_ * R_.r[i][j];
            B(i + 1, i + 4) = -1;
        }
        const Numbra P = Inv(B * ~B);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                P_[i][j] = P(i + 1, j + 1);
    }

    const double (&weight() const)[3][3] { return P_; }

    // Design rows a and misclosures w of the point at source s, target y.
    void point(const double* s, const double* y, double a[3][7], double w[3]) const
    {
        const Vec3 x{s[0] - origin_.x, s[1] - origin_.y, s[2] - origin_.z};
        const Vec3 q = R_.apply(x.x, x.y, x.z);
        const double qs[3] = {q.x, q.y, q.z};
        const double o[3] = {origin_.x, origin_.y, origin_.z};
        for (int i = 0; i < 3; ++i)
            w[i] = y[i] - ((m_ * qs[i] + t_[i]) + o[i]);  // the origin comes after the translation
        sevenParameterDesignRows(R_, m_, x, q, a);
    }

private:
    Vec3 origin_;
    SevenParameterRotation R_;
    double m_;
    double t_[3];
    double P_[3][3];
};

// N += A' P A and U += A' P w for one point, in the order of the matrix
// products, without the products of A's structural zeros.
void accumulate(const double a[3][7], const double w[3], const double (&P)[3][3], double N[7][7], double U[7])
{
    // T = A' P (7 x 3). Rows 0..2 of A' are unit rows, so T's rows 0..2 are
    // P's rows; column 6 of A has a zero in its last row.
    double T[7][3];
    for (int c = 0; c < 3; ++c)
        for (int j = 0; j < 3; ++j)
            T[c][j] = P[c][j];
    for (int c = 3; c < 6; ++c)
        for (int j = 0; j < 3; ++j)
            T[c][j] = a[0][c] * P[0][j] + a[1][c] * P[1][j] + a[2][c] * P[2][j];
    for (int j = 0; j < 3; ++j)
        T[6][j] = a[0][6] * P[0][j] + a[1][6] * P[1][j];

    // T A (7 x 7): columns 0..2 of A are unit columns.
    for (int c = 0; c < 7; ++c) {
        const double* t = T[c];
        double* row = N[c];
        row[0] += t[0];
        row[1] += t[1];
        row[2] += t[2];
        for (int d = 3; d < 6; ++d)
            row[d] += t[0] * a[0][d] + t[1] * a[1][d] + t[2] * a[2][d];
        row[6] += t[0] * a[0][6] + t[1] * a[1][6];
        U[c] += t[0] * w[0] + t[1] * w[1] + t[2] * w[2];
    }
}

// The residuals of one point, v = A dX - w, its weighted square v' P v and
// its plain square sum added to the totals.
void residuals(const double a[3][7], const double w[3], const double (&P)[3][3], const double dX[7], double* v,
               double& omega, double& vv)
{
    for (int i = 0; i < 3; ++i) {
        double sum = dX[i];  // the unit column
        for (int j = 3; j < (i == 2 ? 6 : 7); ++j)
            sum += a[i][j] * dX[j];
        v[i] = sum - w[i];
    }
    double weighted = 0.0;
    for (int j = 0; j < 3; ++j)
        weighted += (v[0] * P[0][j] + v[1] * P[1][j] + v[2] * P[2][j]) * v[j];
    omega += weighted;
    for (int i = 0; i < 3; ++i)
        vv += v[i] * v[i];
}

// X = X + dX, then a scale correction that would make the factor negative is
// reset to 0.
void update(double (&X)[7], const double (&dX)[7])
{
    for (int i = 0; i < 7; ++i)
        X[i] = X[i] + dX[i];
    if (angles::scaleFactorFromPpm(X[3]) < 0)
        X[3] = 0;
}

} // namespace

SevenParameterFit fitSevenParameters(int n, const double* source, const double* target, const Vec3& origin,
                                     SevenParameterModel model)
{
    SevenParameterFit fit{};
    fit.residual = Numbra(n, 1);
    double* v = fit.residual.Data();

    double X[7] = {};  // stored parameters are not a starting value
    double omegaPrevious = 0.0;
    int passes = 1;
    Numbra N(7, 7);
    double omega = 0.0, vv = 0.0;
    for (;;) {
        const Pass pass(X, origin);
        const double(&P)[3][3] = pass.weight();
        double normal[7][7] = {}, U[7] = {};
        for (int p = 0; p < n; p += 3) {
            double a[3][7], w[3];
            pass.point(source + p, target + p, a, w);
            accumulate(a, w, P, normal, U);
        }
        for (int i = 0; i < 7; ++i)
            for (int j = 0; j < 7; ++j)
                N(i + 1, j + 1) = normal[i][j];
        Numbra right(7, 1);
        for (int i = 0; i < 7; ++i)
            right(i + 1) = U[i];
        const Numbra correction = Slu(N, right);
        double dX[7];
        for (int i = 0; i < 7; ++i)
            dX[i] = correction(i + 1);

        omega = 0.0;
        vv = 0.0;
        for (int p = 0; p < n; p += 3) {
            double a[3][7], w[3];
            pass.point(source + p, target + p, a, w);
            residuals(a, w, P, dX, v + p, omega, vv);
        }

        // The first pass never ends the iteration: its square sum is compared
        // with nothing, and exact data, which the first linearised solve
        // already fits below the threshold, would keep that solve's
        // linearisation error (centimetres to decimetres at arc-second
        // rotations). From the second pass on, a change of the square sum
        // below 1e-8 (or a NaN difference) ends the loop. The correction of
        // the last pass is applied too, so the stored parameters belong with
        // the stored residuals.
        const bool converged = passes > 1 && !(std::fabs(omega - omegaPrevious) >= 1e-8);
        update(X, dX);
        if (converged || passes == kSevenParameterMaxPasses)
            break;
        omegaPrevious = omega;
        ++passes;
    }

    double variance;
    if (model == SevenParameterModel::BursaWolf) {
        variance = n >= 8 ? omega / (n - 7) : 0.0;
        fit.sigma = std::sqrt(vv / (n - 7));
    } else {
        const double f = 1.0 / (n - 7);
        variance = f * omega;
        fit.sigma = std::sqrt(f * vv);
    }
    const Numbra covariance = Inv(N) * variance;
    for (int i = 0; i < 7; ++i) {
        fit.parameters[i] = X[i];
        for (int j = 0; j < 7; ++j)
            fit.covariance[i][j] = covariance(i + 1, j + 1);
    }
    // A fit that meets the test on its last allowed pass still counts as not
    // converged.
    fit.converged = passes != kSevenParameterMaxPasses;
    fit.passes = passes;
    fit.origin = origin;
    return fit;
}

Vec3 sourceCentroid(int n, const double* source)
{
    double sum[3] = {0.0, 0.0, 0.0};
    for (int p = 0; p < n; p += 3)
        for (int i = 0; i < 3; ++i)
            sum[i] += source[p + i];
    const double f = 1.0 / (n / 3);
    return Vec3{sum[0] * f, sum[1] * f, sum[2] * f};
}

} // namespace tervala

namespace {

bool outsideContract(int n, const double* source, const double* target)
{
    return n < 3 || n % 3 != 0 || source == nullptr || target == nullptr;
}

// Moves a fit into the object's fields (passed by the member that owns them)
// and returns its convergence result.
bool store(tervala::SevenParameterFit& fit, double (&parameters)[7], double (&covariance)[7][7], Numbra& residual,
           double& sigma)
{
    for (int i = 0; i < 7; ++i) {
        parameters[i] = fit.parameters[i];
        for (int j = 0; j < 7; ++j)
            covariance[i][j] = fit.covariance[i][j];
    }
    residual = std::move(fit.residual);
    sigma = fit.sigma;
    return fit.converged;
}

} // namespace

bool CTervala::SevenParameters_Bursa_WolfModel(int n, double* source, double* target)
{
    if (outsideContract(n, source, target))
        return false;
    tervala::SevenParameterFit fit = tervala::fitSevenParameters(n, source, target, tervala::Vec3{0, 0, 0},
                                                                 tervala::SevenParameterModel::BursaWolf);
    return store(fit, m_SevenParameters, m_SevenCovariance, m_Residual, m_Sigma);
}

bool CTervala::SevenParameters_Molodensky_BadekasModel(int n, double* source, double* target)
{
    if (outsideContract(n, source, target))
        return false;
    const tervala::Vec3 origin = tervala::sourceCentroid(n, source);
    m_RotOrigin[0] = origin.x;
    m_RotOrigin[1] = origin.y;
    m_RotOrigin[2] = origin.z;
    tervala::SevenParameterFit fit = tervala::fitSevenParameters(n, source, target, origin,
                                                                 tervala::SevenParameterModel::MolodenskyBadekas);
    return store(fit, m_SevenParameters, m_SevenCovariance, m_Residual, m_Sigma);
}
