// The seven-parameter estimators: one Gauss-Newton iteration shared by the
// Bursa-Wolf model (rotation about the geocentre) and the Molodensky-Badekas
// model (rotation about the centroid of the source points), for the members
// (unit weights) and the weighted fits with their statistics.
//
// Each pass linearises target = t + origin + m R (source - origin) at the
// current parameters X and solves N dX = U with
//   N = sum over points of A_p' P A_p,   U = sum of A_p' P w_p,
// where A_p holds the three design rows of point p, w_p its misclosures and
// P = Inv(B Ql B') the weight of one point (B = [m R | -I], so source and
// target coordinates both enter the weights: a Gauss-Helmert model reduced to
// its misclosures). The members use Ql = I. The sums are accumulated point by
// point in the order the matrix products A_p' P and (A_p' P) A_p take, on
// fixed-size arrays; while no unknown is held, the products with the
// structural zeros of A_p, which add exact zeros, are skipped
// (addSevenParameterGroup), so the sums are the doubles of the plain matrix
// formulation at a fraction of its cost. A held unknown zeroes its column,
// and such passes take every product.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "core/Angles.h"
#include "core/Ellipsoid.h"
#include "estimation/Adjustment.h"
#include "estimation/LeastSquares.h"
#include "tervala/Tervala.h"

namespace tervala {

namespace {

// How one run of the iteration weighs and selects its points.
struct SevenParameterWeighting {
    const double* sigmaSource = nullptr;  // per coordinate; null: unit (with sigmaTarget null) or error-free
    const double* sigmaTarget = nullptr;  // per coordinate; null: unit weights, P = Inv(B B')
    HeldUnknowns held;                    // held at 0
    bool judge = false;                   // stop with a geometry verdict when the normal matrix is unsound
    PassLimitCorrection atLimit = PassLimitCorrection::Added;
    bool weighted() const { return sigmaTarget != nullptr; }
};

// One pass at fixed parameters: the rotation, scale and, for unit weights,
// the weight matrix shared by every point.
class Pass {
public:
    Pass(const double (&X)[7], const Vec3& origin) : origin_(origin)
    {
        R_ = sevenParameterRotation(X[4], X[5], X[6]);
        m_ = angles::scaleFactorFromPpm(X[3]);
        for (int i = 0; i < 3; ++i)
            t_[i] = X[i];
        // P = Inv(B B'), B = [m R | -I] (3 x 6): source and target
        // coordinates with unit cofactors.
        Numbra B(3, 6);
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                B(i + 1, j + 1) = m_ * R_.r[i][j];
            B(i + 1, i + 4) = -1;
        }
        const Numbra P = Inv(B * ~B);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                unitP_[i][j] = P(i + 1, j + 1);
    }

    // P = Inv(m^2 R Qs R' + Qt) for diagonal cofactors Qs, Qt of the source
    // and target coordinates (the misclosure's cofactor B Ql B').
    void weight(const double* sigmaSource, const double* sigmaTarget, double P[3][3]) const
    {
        double C[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                double sum = 0;
                if (sigmaSource)
                    for (int k = 0; k < 3; ++k)
                        sum += m_ * R_.r[i][k] * sigmaSource[k] * sigmaSource[k] * m_ * R_.r[j][k];
                if (i == j)
                    sum += sigmaTarget[i] * sigmaTarget[i];
                C[i][j] = sum;
            }
        invertSmall(3, C, P);
    }

    // The design rows a and misclosures l of the point at source s, target y.
    void rows(const double* s, const double* y, double (&a)[3][7], double (&l)[3]) const
    {
        const Vec3 x{s[0] - origin_.x, s[1] - origin_.y, s[2] - origin_.z};
        const Vec3 q = R_.apply(x.x, x.y, x.z);
        const double qs[3] = {q.x, q.y, q.z};
        const double o[3] = {origin_.x, origin_.y, origin_.z};
        for (int i = 0; i < 3; ++i)
            l[i] = y[i] - ((m_ * qs[i] + t_[i]) + o[i]);  // the origin comes after the translation
        sevenParameterDesignRows(R_, m_, x, q, a);
    }

    // The weight of unit cofactors, the same for every point.
    const double (&unitWeight() const)[3][3] { return unitP_; }

    // The whole group of a point: design rows, misclosures and weight
    // (unit weights without sigmaTarget).
    FixedGroup<7, 3> point(const double* s, const double* y, const double* sigmaSource,
                           const double* sigmaTarget) const
    {
        FixedGroup<7, 3> g;
        rows(s, y, g.a, g.l);
        if (sigmaTarget)
            weight(sigmaSource, sigmaTarget, g.P);
        else
            for (int i = 0; i < 3; ++i)
                for (int j = 0; j < 3; ++j)
                    g.P[i][j] = unitP_[i][j];
        return g;
    }

private:
    Vec3 origin_;
    SevenParameterRotation R_;
    double m_;
    double t_[3];
    double unitP_[3][3];
};

// X = X + dX, then a scale correction that would make the factor negative is
// reset to 0.
void update(double (&X)[7], const double (&dX)[7])
{
    for (int i = 0; i < 7; ++i)
        X[i] = X[i] + dX[i];
    if (angles::scaleFactorFromPpm(X[3]) < 0)
        X[3] = 0;
}

struct SevenParameterRun {
    double X[7] = {};
    Solution last;          // of the last pass solved
    std::vector<double> v;  // residuals of the last pass, 3 per point used
    double omega = 0, vv = 0;
    int passes = 1;
    bool converged = false;
    std::vector<ObservationGroup> groups;  // the last pass's groups (weighted runs)
};

// The Gauss-Newton iteration over the points listed (indices into the
// arrays, in order).
SevenParameterRun iterate(const double* source, const double* target, const std::vector<int>& points,
                          const Vec3& origin, const SevenParameterWeighting& weighting)
{
    SevenParameterRun run;
    run.v.assign(3 * points.size(), 0.0);
    // A held unknown zeroes its column, so the groups keep their structural
    // zeros (and the shortcut of skipping them) only with nothing held.
    const bool structured = !weighting.held.any();
    double omegaPrevious = 0.0;
    auto groupOf = [&](const Pass& pass, int k) {
        const int p = 3 * k;
        FixedGroup<7, 3> g = pass.point(source + p, target + p,
                                        weighting.sigmaSource ? weighting.sigmaSource + p : nullptr,
                                        weighting.sigmaTarget ? weighting.sigmaTarget + p : nullptr);
        weighting.held.apply(g, 7);  // held at 0: the columns drop out
        return g;
    };
    for (;;) {
        const Pass pass(run.X, origin);
        NormalEquations ne(7);
        if (structured && !weighting.weighted()) {
            // The members: every point has the pass's unit weight.
            FixedNormalEquations<7> sums;
            for (int k : points) {
                double a[3][7], l[3];
                pass.rows(source + 3 * k, target + 3 * k, a, l);
                addSevenParameterGroup(a, l, pass.unitWeight(), sums);
            }
            ne = sums.general();
        } else if (structured) {
            FixedNormalEquations<7> sums;
            for (int k : points) {
                const FixedGroup<7, 3> g = groupOf(pass, k);
                addSevenParameterGroup(g.a, g.l, g.P, sums);
            }
            ne = sums.general();
        } else {
            FixedNormalEquations<7> full;
            for (int k : points)
                full.add(groupOf(pass, k));
            ne = full.general();
        }
        run.last = solveNormalEquations(ne, weighting.held, weighting.judge);
        if (run.last.geometry != Geometry::Sound)
            return run;
        double dX[7];
        for (int i = 0; i < 7; ++i)
            dX[i] = run.last.x[i];

        run.omega = 0.0;
        run.vv = 0.0;
        if (weighting.weighted()) {
            run.groups.clear();
            run.groups.reserve(points.size());
        }
        for (std::size_t i = 0; i < points.size(); ++i) {
            double* v = run.v.data() + 3 * i;
            if (structured && !weighting.weighted()) {
                double a[3][7], l[3];
                pass.rows(source + 3 * points[i], target + 3 * points[i], a, l);
                sevenParameterGroupResiduals(a, l, pass.unitWeight(), dX, v, run.omega);
            } else {
                const FixedGroup<7, 3> g = groupOf(pass, points[i]);
                if (structured)
                    sevenParameterGroupResiduals(g.a, g.l, g.P, dX, v, run.omega);
                else
                    fixedGroupResiduals(g, dX, v, run.omega);
                if (weighting.weighted())
                    run.groups.push_back(g.general());
            }
            for (int r = 0; r < 3; ++r)
                run.vv += v[r] * v[r];
        }

        // The first pass never ends the iteration: its square sum is compared
        // with nothing, and exact data, which the first linearised solve
        // already fits below the threshold, would keep that solve's
        // linearisation error (centimetres to decimetres at arc-second
        // rotations). From the second pass on, a change of the square sum
        // below 1e-8 (or a NaN difference) ends the loop. The correction of
        // the converging pass is applied too, so the stored parameters belong
        // with the stored residuals. At the pass limit without convergence
        // the members leave before the correction (see PassLimitCorrection).
        // Weighted runs also end once every correction is below 1e-4 of its
        // parameter's standard deviation: with weights of 1 / (1 cm)^2 on
        // geocentric coordinates of 6e6 m, the rounding of the residuals
        // alone moves v'Pv by more than 1e-8 from pass to pass.
        bool negligible = weighting.weighted();
        for (int i = 0; i < 7 && negligible; ++i)
            negligible = std::fabs(dX[i]) <= 1e-4 * std::sqrt(run.last.Q(i + 1, i + 1));
        const bool converged =
            run.passes > 1 && (!(std::fabs(run.omega - omegaPrevious) >= 1e-8) || negligible);
        if (!converged && run.passes == kSevenParameterMaxPasses &&
            weighting.atLimit == PassLimitCorrection::Omitted)
            break;
        update(run.X, dX);
        if (converged || run.passes == kSevenParameterMaxPasses)
            break;
        omegaPrevious = run.omega;
        ++run.passes;
    }
    // A fit that meets the test on its last allowed pass still counts as not
    // converged.
    run.converged = run.passes != kSevenParameterMaxPasses;
    return run;
}

// The position model of a seven-parameter fit (see pointPrecision) and its
// local-frame tests: at every point given and at the corners of the
// latitude/longitude box of the source points (at their mean height), the
// design rows at the final parameters are the derivatives of the
// transformed position; each point's frame is east/north/up at its target
// position on the frame ellipsoid.
void sevenParameterModel(const Pass& final, int points, const double* source, const double* target,
                         const std::vector<int>& used, const SevenParameterRun& run, const AdjustmentSettings& settings,
                         Adjustment& r)
{
    const EllipsoidConstants frame = makeEllipsoid(settings.frameA, settings.frameInverseFlattening);
    PositionModel& m = r.model;
    m.rows = 3;
    m.local = true;
    modelShifts(run.groups, 7, run.last.Q, m);
    const double unit[3] = {1, 1, 1};
    auto at = [&](const double* x, int point, int corner, const Geodetic& place) {
        PositionModel::Location l;
        l.point = point;
        l.corner = corner;
        const FixedGroup<7, 3> g = final.point(x, x, nullptr, unit);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 7; ++j)
                l.a[i][j] = g.a[i][j];
        localFrame(angles::toRadians(place.latitude), angles::toRadians(place.longitude), l.enu);
        m.locations.push_back(l);
    };
    double lo[2] = {0, 0}, hi[2] = {0, 0}, height = 0, firstLongitude = 0;
    for (int k = 0; k < points; ++k) {
        const double* t = target + 3 * k;
        at(source + 3 * k, k, -1, geocentricToGeodetic(frame, t[0], t[1], t[2]));
        const double* s = source + 3 * k;
        Geodetic g = geocentricToGeodetic(frame, s[0], s[1], s[2]);
        // Longitudes relative to the first point's, so a box across the
        // antimeridian stays small.
        if (k == 0)
            firstLongitude = g.longitude;
        double dl = std::remainder(g.longitude - firstLongitude, 360.0);
        const double lon = firstLongitude + dl;
        if (k == 0 || g.latitude < lo[0]) lo[0] = g.latitude;
        if (k == 0 || g.latitude > hi[0]) hi[0] = g.latitude;
        if (k == 0 || lon < lo[1]) lo[1] = lon;
        if (k == 0 || lon > hi[1]) hi[1] = lon;
        height += g.height / points;
    }
    const double corners[4][2] = {{lo[0], lo[1]}, {lo[0], hi[1]}, {hi[0], hi[1]}, {hi[0], lo[1]}};
    r.corners.clear();
    for (int c = 0; c < 4; ++c) {
        const Vec3 p = geodeticToGeocentric(frame, angles::toRadians(corners[c][0]),
                                            angles::toRadians(corners[c][1]), height);
        const double x[3] = {p.x, p.y, p.z};
        at(x, -1, c, Geodetic{corners[c][0], corners[c][1], height});
        const double lon = std::remainder(corners[c][1], 360.0);
        r.corners.push_back({corners[c][0], lon == -180.0 ? 180.0 : lon, height});
    }
    std::vector<std::array<double, 9>> enu;
    for (int k : used) {
        std::array<double, 9> e{};
        const PositionModel::Location& l = m.locations[static_cast<std::size_t>(k)];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                e[static_cast<std::size_t>(3 * i + j)] = l.enu[i][j];
        enu.push_back(e);
    }
    localTests(run.groups, used, 7, run.last.Q, run.v, enu, r);
}

} // namespace

SevenParameterFit fitSevenParameters(int n, const double* source, const double* target, const Vec3& origin,
                                     SevenParameterModel model, PassLimitCorrection atLimit)
{
    std::vector<int> points(n / 3);
    for (int k = 0; k < n / 3; ++k)
        points[k] = k;
    SevenParameterWeighting unit;
    unit.atLimit = atLimit;
    const SevenParameterRun run = iterate(source, target, points, origin, unit);

    SevenParameterFit fit{};
    fit.residual = Numbra(n, 1);
    std::copy(run.v.begin(), run.v.end(), fit.residual.Data());
    double variance;
    if (model == SevenParameterModel::BursaWolf) {
        variance = n >= 8 ? run.omega / (n - 7) : 0.0;
        fit.sigma = std::sqrt(run.vv / (n - 7));
    } else {
        const double f = 1.0 / (n - 7);
        variance = f * run.omega;
        fit.sigma = std::sqrt(f * run.vv);
    }
    const Numbra covariance = run.last.Q * variance;
    for (int i = 0; i < 7; ++i) {
        fit.parameters[i] = run.X[i];
        for (int j = 0; j < 7; ++j)
            fit.covariance[i][j] = covariance(i + 1, j + 1);
    }
    fit.converged = run.converged;
    fit.passes = run.passes;
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


Adjustment adjustSevenParameters(int points, const double* source, const double* target, const double* sigmaSource,
                                 const double* sigmaTarget, bool molodenskyBadekas,
                                 const AdjustmentSettings& settings)
{
    static const char* const kNames[7] = {"tx", "ty", "tz", "s", "rx", "ry", "rz"};
    const int n = 3 * points;
    if (points < 1 || !source || !target || !sigmaTarget)
        return refusedAdjustment(Geometry::InvalidInput, "no points");
    if (!allFinite(source, n) || !allFinite(target, n))
        return refusedAdjustment(Geometry::NonFinite, "a coordinate is not a finite number");
    if (!validSigmas(sigmaTarget, n) || (sigmaSource && !validSigmas(sigmaSource, n, true)))
        return refusedAdjustment(Geometry::InvalidInput,
                                 "a priori standard deviations must be finite, positive for the target "
                                 "coordinates and not negative for the source coordinates");
    SevenParameterWeighting weighting;
    weighting.sigmaSource = sigmaSource;
    weighting.sigmaTarget = sigmaTarget;
    weighting.judge = true;
    std::string message;
    if (!heldByName(settings.fixed, kNames, 7, weighting.held, message))
        return refusedAdjustment(Geometry::InvalidInput, message);
    int freeUnknowns = 7;
    for (int j = 0; j < 7; ++j)
        freeUnknowns -= weighting.held.held[j] ? 1 : 0;

    return snoopingAdjustment(points, 3, settings, [&](const std::vector<char>& active) {
        Adjustment r;
        std::vector<int> used;
        double sum[3] = {0, 0, 0};
        for (int k = 0; k < points; ++k)
            if (active[k]) {
                used.push_back(k);
                for (int i = 0; i < 3; ++i)
                    sum[i] += source[3 * k + i];
            }
        Vec3 origin{0, 0, 0};
        if (molodenskyBadekas) {
            const double f = 1.0 / static_cast<double>(used.size());
            origin = Vec3{sum[0] * f, sum[1] * f, sum[2] * f};
        }
        r.origin[0] = origin.x;
        r.origin[1] = origin.y;
        r.origin[2] = origin.z;
        if (3 * static_cast<int>(used.size()) < freeUnknowns) {
            r.geometry = Geometry::TooFewObservations;
            r.message = geometryName(r.geometry);
            return r;
        }
        const SevenParameterRun run = iterate(source, target, used, origin, weighting);
        r.conditionReciprocal = run.last.conditionReciprocal;
        if (run.last.geometry != Geometry::Sound) {
            r.geometry = run.last.geometry;
            r.message = geometryName(r.geometry);
            return r;
        }
        for (double x : run.X)
            if (!std::isfinite(x)) {
                r.geometry = Geometry::NonFinite;
                r.message = geometryName(r.geometry);
                return r;
            }
        r.converged = run.converged;
        r.passes = run.passes;
        if (!run.converged)
            r.message = "the iteration did not converge in " + std::to_string(run.passes) + " passes";
        const std::vector<int> firstCoordinate(used.size(), 0);
        testAdjustment(run.groups, used, firstCoordinate, 7, run.last.Q, run.v, freeUnknowns, settings.tests, r);
        const Pass final(run.X, origin);
        sevenParameterModel(final, points, source, target, used, run, settings, r);
        // Points outside the fit against the final parameters: misfit -l at x = 0.
        const double none[7] = {};
        for (int k = 0; k < points; ++k) {
            if (active[k])
                continue;
            const int p = 3 * k;
            ObservationGroup g = final.point(source + p, target + p, sigmaSource ? sigmaSource + p : nullptr,
                                             sigmaTarget + p)
                                     .general();
            weighting.held.apply(g, 7);
            const int coordinate = 0;
            testOutsidePoint(&g, &coordinate, 1, k, 7, run.last.Q, none, r, r.outside);
        }
        reportParameters(kNames, run.X, 7, run.last.Q, r);
        return r;
    });
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
    tervala::SevenParameterFit fit =
        tervala::fitSevenParameters(n, source, target, tervala::Vec3{0, 0, 0}, tervala::SevenParameterModel::BursaWolf,
                                    tervala::PassLimitCorrection::Omitted);
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
    tervala::SevenParameterFit fit =
        tervala::fitSevenParameters(n, source, target, origin, tervala::SevenParameterModel::MolodenskyBadekas,
                                    tervala::PassLimitCorrection::Omitted);
    return store(fit, m_SevenParameters, m_SevenCovariance, m_Residual, m_Sigma);
}
