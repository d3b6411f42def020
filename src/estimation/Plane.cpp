// 2D Helmert and height-plane estimation on the estimation core: the
// members' unweighted (respectively equally weighted) fits and the weighted
// fits with their statistics.
//
// The normal equations are accumulated observation by observation instead of
// forming the design matrix: every element of A'A and A'l is the same sum of
// the same products, taken in the same row order, as the matrix product
// would take it, so the results are the doubles of the matrix formulation
// without its n x 4 (n x 3) storage. The caller's arrays are only read: the
// reduced coordinates are formed on the fly, so the caller gets its values
// back exactly.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "core/Angles.h"
#include "estimation/Adjustment.h"
#include "estimation/LeastSquares.h"
#include "tervala/Tervala.h"

namespace tervala {

namespace {

// The two observations of point k in the 2D Helmert fit, with (x, y) the
// source point and (x', y') the target point, both reduced by the SOURCE
// centroid (x0, y0):
//   row 0: [1, 0, y,  x] . X = y'   (second coordinate)
//   row 1: [0, 1, x, -y] . X = x'   (first coordinate)
// so x' = t1 + c x - d y and y' = t2 + d x + c y.
void helmertGroups(int k, double x0, double y0, const double* src, const double* dst, const double p[2],
                   FixedGroup<4, 1> g[2])
{
    const double x = src[2 * k] - x0, y = src[2 * k + 1] - y0;
    const double xt = dst[2 * k] - x0, yt = dst[2 * k + 1] - y0;
    g[0] = FixedGroup<4, 1>{{{1, 0, y, x}}, {yt}, {{p[0]}}};
    g[1] = FixedGroup<4, 1>{{{0, 1, x, -y}}, {xt}, {{p[1]}}};
}

// The same for the general core.
void weightedHelmertGroups(int k, double x0, double y0, const double* src, const double* dst, const double p[2],
                           ObservationGroup g[2])
{
    FixedGroup<4, 1> fixed[2];
    helmertGroups(k, x0, y0, src, dst, p, fixed);
    g[0] = fixed[0].general();
    g[1] = fixed[1].general();
}

// The observation of point k in the height fit: the height difference
// against [x, y, 1] (reduced position) for the plane (Unknowns 3), [1] for
// the shift alone (Unknowns 1).
template <int Unknowns>
FixedGroup<Unknowns, 1> heightGroup(int k, double x0, double y0, const double* xy, const double* hs,
                                    const double* ht, double p)
{
    static_assert(Unknowns == 1 || Unknowns == 3, "a plane or a shift");
    FixedGroup<Unknowns, 1> g;
    if constexpr (Unknowns == 3) {
        g.a[0][0] = xy[2 * k] - x0;
        g.a[0][1] = xy[2 * k + 1] - y0;
        g.a[0][2] = 1;
    } else {
        g.a[0][0] = 1;
    }
    g.l[0] = ht[k] - hs[k];
    g.P[0][0] = p;
    return g;
}

// Scale (ppm) and rotation (arc-seconds) from c = m cos r and d = m sin r:
// atan of the quotient, so the rotation lies in (-90, 90) degrees; a true
// rotation beyond that comes out turned by 180 degrees with a negative scale
// factor, which is the same transformation.
void scaleAndRotation(double c, double d, double& ppm, double& arcseconds)
{
    const double theta = std::atan(d / c);
    ppm = (c / std::cos(theta) - 1) * 1e6;
    arcseconds = angles::radiansToArcseconds(theta);
}

// As scaleAndRotation, reported as a surveyor reads it: the rotation in
// (-180, 180] degrees and a positive scale factor. Where scaleAndRotation
// gives a factor below zero, the factor's sign moves into a half turn of the
// rotation; otherwise the doubles are scaleAndRotation's.
void scaleAndFullRotation(double c, double d, double& ppm, double& arcseconds)
{
    const double theta = std::atan(d / c);
    const double m = c / std::cos(theta);
    arcseconds = angles::radiansToArcseconds(theta);
    if (m < 0) {
        ppm = (-m - 1) * 1e6;
        arcseconds += arcseconds > 0 ? -648000.0 : 648000.0;
    } else {
        ppm = (m - 1) * 1e6;
    }
}

// The common tail of the two weighted plane fits: refuses too few
// observations or unsound normal equations (false, the verdict in r), else
// solves, forms the residuals in group order and runs the tests on them.
bool solveAndTest(const NormalEquations& ne, const HeldUnknowns& held, const std::vector<ObservationGroup>& groups,
                  const std::vector<int>& pointOf, const std::vector<int>& coordinateOf, int unknowns,
                  int freeUnknowns, int observations, const TestSettings& tests, Adjustment& r, Solution& sol)
{
    if (observations < freeUnknowns) {
        r.geometry = Geometry::TooFewObservations;
        r.message = geometryName(r.geometry);
        return false;
    }
    sol = solveNormalEquations(ne, held, true);
    r.conditionReciprocal = sol.conditionReciprocal;
    if (sol.geometry != Geometry::Sound) {
        r.geometry = sol.geometry;
        r.message = geometryName(sol.geometry);
        return false;
    }
    std::vector<double> v(groups.size());
    double omega = 0;
    for (std::size_t i = 0; i < groups.size(); ++i)
        groupResiduals(groups[i], unknowns, sol.x, &v[i], omega);
    testAdjustment(groups, pointOf, coordinateOf, unknowns, sol.Q, v, freeUnknowns, tests, r);
    return true;
}

// The position model of a plane fit (see pointPrecision): at every point
// given and at the corners of the box of their positions xy, the
// derivatives of the transformed position by the unknowns. 2D Helmert
// (rows 2; unknowns t2, t1, c, d): first coordinate [0, 1, x, -y], second
// [1, 0, y, x] of the reduced position; height plane (rows 1; slope1,
// slope2, shift): [x, y, 1].
void planeModel(int points, const double* xy, double x0, double y0, int rows,
                const std::vector<ObservationGroup>& groups, const Numbra& Q, int unknowns, Adjustment& r)
{
    PositionModel& m = r.model;
    m.rows = rows;
    modelShifts(groups, unknowns, Q, m);
    double lo[2] = {xy[0], xy[1]}, hi[2] = {xy[0], xy[1]};
    auto at = [&](double first, double second, int point, int corner) {
        PositionModel::Location l;
        l.point = point;
        l.corner = corner;
        const double x = first - x0, y = second - y0;
        if (rows == 2) {
            const double a[2][4] = {{0, 1, x, -y}, {1, 0, y, x}};
            for (int i = 0; i < 2; ++i)
                for (int j = 0; j < 4; ++j)
                    l.a[i][j] = a[i][j];
        } else {
            l.a[0][0] = x;
            l.a[0][1] = y;
            l.a[0][2] = 1;
        }
        m.locations.push_back(l);
    };
    for (int k = 0; k < points; ++k) {
        for (int i = 0; i < 2; ++i) {
            lo[i] = std::min(lo[i], xy[2 * k + i]);
            hi[i] = std::max(hi[i], xy[2 * k + i]);
        }
        at(xy[2 * k], xy[2 * k + 1], k, -1);
    }
    const double corners[4][2] = {{lo[0], lo[1]}, {lo[0], hi[1]}, {hi[0], hi[1]}, {hi[0], lo[1]}};
    r.corners.clear();
    for (int c = 0; c < 4; ++c) {
        at(corners[c][0], corners[c][1], -1, c);
        r.corners.push_back({corners[c][0], corners[c][1], 0.0});
    }
}

} // namespace

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

        // Unweighted: every observation has the weight 1.
        const double unit[2] = {1.0, 1.0};
        FixedNormalEquations<4> ne;
        for (int k = 0; k < points; ++k) {
            FixedGroup<4, 1> g[2];
            helmertGroups(k, x0, y0, src, dst, unit, g);
            ne.add(g[0]);
            ne.add(g[1]);
        }
        const Solution solution = solveNormalEquations(ne.general(), HeldUnknowns{}, false);
        for (int i = 0; i < 4; ++i)
            X[i] = solution.x[i];

        fit.residual = Numbra(n, 1);
        double* v = fit.residual.Data();
        double omega = 0.0;
        for (int k = 0; k < points; ++k) {
            FixedGroup<4, 1> g[2];
            helmertGroups(k, x0, y0, src, dst, unit, g);
            fixedGroupResiduals(g[0], X, v + 2 * k, omega);
            fixedGroupResiduals(g[1], X, v + 2 * k + 1, omega);
        }
        // Redundancy: two observations per point less four unknowns; two
        // points fit exactly.
        variance = n >= 5 ? omega / (n - 4) : 0.0;
        Q = solution.Q;
    }

    fit.parameters[0] = X[0];
    fit.parameters[1] = X[1];
    scaleAndRotation(X[2], X[3], fit.parameters[2], fit.parameters[3]);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            fit.covariance[i][j] = Q(i + 1, j + 1) * variance;
    fit.sigma = std::sqrt(variance);
    return fit;
}

namespace {

// The height fit with the plane (Unknowns 3) or the shift alone (1).
template <int Unknowns>
HeightFit fitHeights(int n, double x0, double y0, const double* xy, const double* hs, const double* ht)
{
    // Every observation carries the weight 0.5.
    constexpr double kWeight = 0.5;
    FixedNormalEquations<Unknowns> ne;
    for (int k = 0; k < n; ++k)
        ne.add(heightGroup<Unknowns>(k, x0, y0, xy, hs, ht, kWeight));
    const Solution X = solveNormalEquations(ne.general(), HeldUnknowns{}, false);

    HeightFit fit{};
    fit.residual = Numbra(n, 1);
    double* v = fit.residual.Data();
    double weightedSquares = 0.0;
    for (int k = 0; k < n; ++k)
        fixedGroupResiduals(heightGroup<Unknowns>(k, x0, y0, xy, hs, ht, kWeight), X.x, v + k, weightedSquares);
    fit.meanAccuracy = std::sqrt(weightedSquares);
    fit.origin[0] = x0;
    fit.origin[1] = y0;
    // With the weight 0.5, Q = 2 Inv(A'A) and v'Pv = v'v / 2 exactly: their
    // product over the redundancy is the unit-weight covariance.
    const double variance = n > Unknowns ? weightedSquares / (n - Unknowns) : 0.0;
    const int first = 3 - Unknowns;  // the shift alone sits last
    for (int i = 0; i < Unknowns; ++i) {
        fit.parameters[first + i] = X.x[i];
        for (int j = 0; j < Unknowns; ++j)
            fit.covariance[first + i][first + j] = X.Q(i + 1, j + 1) * variance;
    }
    return fit;
}

} // namespace

HeightFit fitHeightPlane(int n, double x0, double y0, const double* xy, const double* hs, const double* ht)
{
    // Fewer than three points: the shift alone.
    return n >= 3 ? fitHeights<3>(n, x0, y0, xy, hs, ht) : fitHeights<1>(n, x0, y0, xy, hs, ht);
}

Adjustment adjustHeightPlane(int points, const double* xy, const double* hs, const double* ht, const double* sigma,
                             const AdjustmentSettings& settings)
{
    if (points < 1 || !xy)
        return refusedAdjustment(Geometry::InvalidInput, "no points");
    double x0 = 0, y0 = 0;
    planeCentroid(points, xy, x0, y0);
    return adjustHeightPlane(points, x0, y0, xy, hs, ht, sigma, settings);
}

Adjustment adjustHelmert2D(int points, const double* src, const double* dst, const double* sigma,
                           const AdjustmentSettings& settings)
{
    // The unknowns are solved second translation first; they are reported
    // in the order users write them, t1 first.
    static const char* const kNames[4] = {"t2", "t1", "scale", "rotation"};
    static const char* const kReported[4] = {"t1", "t2", "scale", "rotation"};
    if (points < 1 || !src || !dst || !sigma)
        return refusedAdjustment(Geometry::InvalidInput, "no points");
    if (!allFinite(src, 2 * points) || !allFinite(dst, 2 * points))
        return refusedAdjustment(Geometry::NonFinite, "a coordinate is not a finite number");
    if (!validSigmas(sigma, 2 * points))
        return refusedAdjustment(Geometry::InvalidInput, "a priori standard deviations must be positive and finite");
    HeldUnknowns held;
    std::string message;
    if (!heldByName(settings.fixed, kNames, 4, held, message))
        return refusedAdjustment(Geometry::InvalidInput, message);
    // The unknowns are c = m cos r and d = m sin r: holding the rotation is
    // d = 0, holding scale and rotation is c = 1 as well; the scale alone is
    // not a linear condition on them.
    if (held.held[2] && !held.held[3])
        return refusedAdjustment(Geometry::InvalidInput, "the 2D Helmert scale can be held only together with the rotation");
    held.value[2] = held.held[2] ? 1.0 : 0.0;
    int freeUnknowns = 4;
    for (int j = 0; j < 4; ++j)
        freeUnknowns -= held.held[j] ? 1 : 0;

    return snoopingAdjustment(points, 2, settings, [&](const std::vector<char>& active) {
        Adjustment r;
        double sumFirst = 0, sumSecond = 0;
        int used = 0;
        for (int k = 0; k < points; ++k)
            if (active[k]) {
                sumFirst += src[2 * k];
                sumSecond += src[2 * k + 1];
                ++used;
            }
        const double x0 = sumFirst / used, y0 = sumSecond / used;
        r.origin[0] = x0;
        r.origin[1] = y0;
        std::vector<ObservationGroup> groups;
        std::vector<int> pointOf, coordinateOf;
        groups.reserve(2 * static_cast<std::size_t>(used));
        pointOf.reserve(2 * static_cast<std::size_t>(used));
        coordinateOf.reserve(2 * static_cast<std::size_t>(used));
        NormalEquations ne(4);
        for (int k = 0; k < points; ++k) {
            if (!active[k])
                continue;
            const double weights[2] = {1 / (sigma[2 * k + 1] * sigma[2 * k + 1]), 1 / (sigma[2 * k] * sigma[2 * k])};
            ObservationGroup g[2];
            weightedHelmertGroups(k, x0, y0, src, dst, weights, g);
            for (int i = 0; i < 2; ++i) {
                held.apply(g[i], 4);
                ne.add(g[i]);
                groups.push_back(g[i]);
                pointOf.push_back(k);
                coordinateOf.push_back(1 - i);  // the second coordinate's row comes first
            }
        }
        Solution sol;
        if (!solveAndTest(ne, held, groups, pointOf, coordinateOf, 4, freeUnknowns, 2 * used, settings.tests, r, sol))
            return r;
        for (int k = 0; k < points; ++k) {
            if (active[k])
                continue;
            const double weights[2] = {1 / (sigma[2 * k + 1] * sigma[2 * k + 1]), 1 / (sigma[2 * k] * sigma[2 * k])};
            ObservationGroup g[2];
            weightedHelmertGroups(k, x0, y0, src, dst, weights, g);
            held.apply(g[0], 4);
            held.apply(g[1], 4);
            const int coordinates[2] = {1, 0};
            testOutsidePoint(g, coordinates, 2, k, 4, sol.Q, sol.x, r, r.outside);
        }

        planeModel(points, src, x0, y0, 2, groups, sol.Q, 4, r);

        // Scale and rotation from c and d, their covariance by the Jacobian.
        const double c = sol.x[2], d = sol.x[3], m2 = c * c + d * d, m = std::sqrt(m2);
        double values[4] = {sol.x[1], sol.x[0], 0, 0};
        scaleAndFullRotation(c, d, values[2], values[3]);
        const double toArcseconds = 1 / (PI * angles::kArcsecondFactor);
        Numbra J = Zeros(4, 4);
        J(1, 2) = 1;
        J(2, 1) = 1;
        // The factor is m = sqrt(c^2 + d^2) > 0 (scaleAndFullRotation).
        J(3, 3) = c / m * 1e6;
        J(3, 4) = d / m * 1e6;
        J(4, 3) = -d / m2 * toArcseconds;
        J(4, 4) = c / m2 * toArcseconds;
        reportParameters(kReported, values, 4, J * sol.Q * ~J, r);
        return r;
    });
}

Adjustment adjustHeightPlane(int points, double x0, double y0, const double* xy, const double* hs,
                             const double* ht, const double* sigma, const AdjustmentSettings& settings)
{
    static const char* const kNames[3] = {"slope1", "slope2", "shift"};
    if (points < 1 || !xy || !hs || !ht || !sigma)
        return refusedAdjustment(Geometry::InvalidInput, "no points");
    if (!allFinite(xy, 2 * points) || !allFinite(hs, points) || !allFinite(ht, points) || !std::isfinite(x0) ||
        !std::isfinite(y0))
        return refusedAdjustment(Geometry::NonFinite, "a coordinate or height is not a finite number");
    if (!validSigmas(sigma, points))
        return refusedAdjustment(Geometry::InvalidInput, "a priori standard deviations must be positive and finite");
    HeldUnknowns held;
    std::string message;
    if (!heldByName(settings.fixed, kNames, 3, held, message))
        return refusedAdjustment(Geometry::InvalidInput, message);
    int freeUnknowns = 3;
    for (int j = 0; j < 3; ++j)
        freeUnknowns -= held.held[j] ? 1 : 0;

    return snoopingAdjustment(points, 1, settings, [&](const std::vector<char>& active) {
        Adjustment r;
        r.origin[0] = x0;
        r.origin[1] = y0;
        std::vector<ObservationGroup> groups;
        std::vector<int> pointOf, coordinateOf;
        groups.reserve(static_cast<std::size_t>(points));
        pointOf.reserve(static_cast<std::size_t>(points));
        coordinateOf.reserve(static_cast<std::size_t>(points));
        NormalEquations ne(3);
        for (int k = 0; k < points; ++k) {
            if (!active[k])
                continue;
            ObservationGroup g = heightGroup<3>(k, x0, y0, xy, hs, ht, 1 / (sigma[k] * sigma[k])).general();
            held.apply(g, 3);
            ne.add(g);
            groups.push_back(g);
            pointOf.push_back(k);
            coordinateOf.push_back(0);
        }
        Solution sol;
        if (!solveAndTest(ne, held, groups, pointOf, coordinateOf, 3, freeUnknowns, static_cast<int>(groups.size()),
                          settings.tests, r, sol))
            return r;
        for (int k = 0; k < points; ++k) {
            if (active[k])
                continue;
            ObservationGroup g = heightGroup<3>(k, x0, y0, xy, hs, ht, 1 / (sigma[k] * sigma[k])).general();
            held.apply(g, 3);
            const int coordinate = 0;
            testOutsidePoint(&g, &coordinate, 1, k, 3, sol.Q, sol.x, r, r.outside);
        }
        planeModel(points, xy, x0, y0, 1, groups, sol.Q, 3, r);
        reportParameters(kNames, sol.x, 3, sol.Q, r);
        return r;
    });
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
