// 2D Helmert and height-plane estimation by unweighted (respectively equally
// weighted) least squares, and their members.
//
// The normal equations are accumulated row by row instead of forming the
// design matrix: every element of A'A and A'l is the same sum of the same
// products, taken in the same row order, as the matrix product would take
// it, so the results are the doubles of the matrix formulation without its
// n x 4 (n x 3) storage. The caller's arrays are only read: the reduced
// coordinates are formed on the fly, so the caller gets its values back
// exactly.
#include <cmath>
#include <utility>

#include "core/Angles.h"
#include "estimation/LeastSquares.h"
#include "tervala/Tervala.h"

namespace tervala {

Helmert2DFit fitHelmert2D(int n, const double* src, const double* dst)
{
    Helmert2DFit fit{};
    double X[4];
    double variance = 0.0;  // sigma0^2
    Numbra Q;

    if (n == 2) {
        // One point: a pure translation, taken from the values as given.
        // Scale factor 1 and rotation 0 make the derived scale 0 ppm and
        // rotation 0; no residuals are formed.
        X[0] = dst[1] - src[1];
        X[1] = dst[0] - src[0];
        X[2] = 1.0;
        X[3] = 0.0;
        Q = Zeros(4, 4);
        fit.origin[0] = src[0];
        fit.origin[1] = src[1];
    } else {
        const int points = n / 2;
        const double reciprocal = 1.0 / points;
        double sumFirst = 0.0, sumSecond = 0.0;
        for (int k = 0; k < points; ++k) {
            sumFirst += src[2 * k];
            sumSecond += src[2 * k + 1];
        }
        const double x0 = sumFirst * reciprocal, y0 = sumSecond * reciprocal;
        fit.origin[0] = x0;
        fit.origin[1] = y0;

        // Two rows per point, with (x, y) the reduced source point and
        // (x', y') the target point reduced by the SOURCE centroid:
        //   [1, 0, y,  x] . X = y'   (second coordinate)
        //   [0, 1, x, -y] . X = x'   (first coordinate)
        // so x' = t1 + c x - d y and y' = t2 + d x + c y.
        auto rows = [&](int k, double a[2][4], double l[2]) {
            const double x = src[2 * k] - x0, y = src[2 * k + 1] - y0;
            const double xt = dst[2 * k] - x0, yt = dst[2 * k + 1] - y0;
            a[0][0] = 1;
            a[0][1] = 0;
            a[0][2] = y;
            a[0][3] = x;
            l[0] = yt;
            a[1][0] = 0;
            a[1][1] = 1;
            a[1][2] = x;
            a[1][3] = -y;
            l[1] = xt;
        };

        Numbra N(4, 4), U(4, 1);
        double* nn = N.Data();
        double* u = U.Data();
        const int ns = N.Stride(), us = U.Stride();
        for (int k = 0; k < points; ++k) {
            double a[2][4], l[2];
            rows(k, a, l);
            for (int r = 0; r < 2; ++r)
                for (int i = 0; i < 4; ++i) {
                    for (int j = 0; j < 4; ++j)
                        nn[i * ns + j] += a[r][i] * a[r][j];
                    u[i * us] += a[r][i] * l[r];
                }
        }
        const Numbra solution = Slu(N, U);
        for (int i = 0; i < 4; ++i)
            X[i] = solution(i + 1);

        fit.residual = Numbra(n, 1);
        double* v = fit.residual.Data();
        double omega = 0.0;
        for (int k = 0; k < points; ++k) {
            double a[2][4], l[2];
            rows(k, a, l);
            for (int r = 0; r < 2; ++r) {
                double sum = 0.0;
                for (int j = 0; j < 4; ++j)
                    sum += a[r][j] * X[j];
                const double residual = sum - l[r];
                v[2 * k + r] = residual;
                omega += residual * residual;
            }
        }
        // Redundancy: two observations per point less four unknowns; two
        // points fit exactly.
        variance = n >= 5 ? omega / (n - 4) : 0.0;
        Q = Inv(N);
    }

    fit.parameters[0] = X[0];
    fit.parameters[1] = X[1];
    // atan of the quotient, so the rotation lies in (-90, 90) degrees; a
    // true rotation beyond that comes out turned by 180 degrees with a
    // negative scale factor, which is the same transformation.
    const double theta = std::atan(X[3] / X[2]);
    fit.parameters[2] = (X[2] / std::cos(theta) - 1) * 1e6;
    fit.parameters[3] = angles::radiansToArcseconds(theta);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            fit.covariance[i][j] = Q(i + 1, j + 1) * variance;
    fit.sigma = std::sqrt(variance);
    return fit;
}

HeightFit fitHeightPlane(int n, double x0, double y0, const double* xy, const double* hs, const double* ht)
{
    // Every observation carries the weight 0.5, applied as the scalar factor
    // of A' (A' 0.5) as the matrix formulation does.
    constexpr double kWeight = 0.5;
    const bool plane = n >= 3;  // fewer points: the shift alone
    const int unknowns = plane ? 3 : 1;
    auto row = [&](int k, double a[3]) {
        if (plane) {
            a[0] = xy[2 * k] - x0;
            a[1] = xy[2 * k + 1] - y0;
            a[2] = 1;
        } else {
            a[0] = 1;
        }
    };

    Numbra N(unknowns, unknowns), U(unknowns, 1);
    double* nn = N.Data();
    double* u = U.Data();
    const int ns = N.Stride(), us = U.Stride();
    for (int k = 0; k < n; ++k) {
        double a[3];
        row(k, a);
        const double l = ht[k] - hs[k];
        for (int i = 0; i < unknowns; ++i) {
            const double weighted = a[i] * kWeight;
            for (int j = 0; j < unknowns; ++j)
                nn[i * ns + j] += weighted * a[j];
            u[i * us] += weighted * l;
        }
    }
    const Numbra X = Slu(N, U);

    HeightFit fit{};
    fit.residual = Numbra(n, 1);
    double* v = fit.residual.Data();
    double weightedSquares = 0.0;
    for (int k = 0; k < n; ++k) {
        double a[3];
        row(k, a);
        double sum = 0.0;
        for (int j = 0; j < unknowns; ++j)
            sum += a[j] * X(j + 1);
        const double residual = sum - (ht[k] - hs[k]);
        v[k] = residual;
        weightedSquares += residual * kWeight * residual;
    }
    fit.meanAccuracy = std::sqrt(weightedSquares);
    if (plane) {
        fit.parameters[0] = X(1);
        fit.parameters[1] = X(2);
        fit.parameters[2] = X(3);
    } else {
        fit.parameters[0] = 0;
        fit.parameters[1] = 0;
        fit.parameters[2] = X(1);
    }
    return fit;
}

} // namespace tervala

void CTervala::Parameters_2DHelmert(int n, double* src, double* dst)
{
    if (n < 2 || n % 2 != 0 || src == nullptr || dst == nullptr)
        return;
    tervala::Helmert2DFit fit = tervala::fitHelmert2D(n, src, dst);
    for (int i = 0; i < 4; ++i) {
        m_2DHelmertParameters[i] = fit.parameters[i];
        for (int j = 0; j < 4; ++j)
            m_2DHelmertCovariance[i][j] = fit.covariance[i][j];
    }
    m_Residual2D = std::move(fit.residual);
    m_Sigma = fit.sigma;
}

void CTervala::Parameters_HeightTrans(int n, double y0, double x0, double* xy, double* hs, double* ht)
{
    if (n < 1 || xy == nullptr || hs == nullptr || ht == nullptr)
        return;
    tervala::HeightFit fit = tervala::fitHeightPlane(n, x0, y0, xy, hs, ht);
    for (int i = 0; i < 3; ++i)
        m_HeightParameters[i] = fit.parameters[i];
    m_ResidualH = std::move(fit.residual);
    m_HeightMeanaccuracy = fit.meanAccuracy;
}
