// The fit of the time-dependent Helmert transformation: the seven parameters
// at a reference epoch and their rates, from common points each observed at
// its own epoch.
//
// The model is the one Helmert15 applies with the small-angle matrix (the
// form in which ITRF parameters are published): at the point's epoch t the
// parameters are p(t) = p + dp (t - tRef) and
//   X' = T(t) + (1 + s(t) 1e-6) R(t) X,  R = [[1, rz, -ry], [-rz, 1, rx], [ry, -rx, 1]]
// (coordinate frame). It is linear in every unknown except for the product
// of the scale and the rotations; the Gauss-Newton passes take that product
// up, so the fitted set reproduces its own data to rounding. A rate's design
// column is its parameter's column times (t - tRef).
//
// The weights are those of the seven-parameter fit: P = Inv(m^2 R Qs R' + Qt)
// per point, both coordinate sets carrying errors.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/Angles.h"
#include "datum/SevenParameter.h"
#include "estimation/Adjustment.h"

namespace tervala {

namespace {

constexpr int kUnknowns = 14;
constexpr int kMaxPasses = 10;

const char* const kNames[kUnknowns] = {"tx",  "ty",  "tz",  "s",  "rx",  "ry",  "rz",
                                       "dtx", "dty", "dtz", "ds", "drx", "dry", "drz"};

// The linearisation at the parameters X for one point: design rows,
// misclosures (observed less computed) and weight.
ObservationGroup pointGroup(const double (&X)[kUnknowns], const double* s, const double* y, double epoch,
                            double tRef, const double* sigmaSource, const double* sigmaTarget)
{
    const double dt = epoch - tRef;
    double p[7];
    for (int j = 0; j < 7; ++j)
        p[j] = X[j] + X[7 + j] * dt;
    const double k = angles::arcsecondsToRadians(1.0);
    const double rx = angles::arcsecondsToRadians(p[4]), ry = angles::arcsecondsToRadians(p[5]),
                 rz = angles::arcsecondsToRadians(p[6]);
    const double r[3][3] = {{1.0, rz, -ry}, {-rz, 1.0, rx}, {ry, -rx, 1.0}};
    const double m = angles::scaleFactorFromPpm(p[3]);
    const Vec3 x{s[0], s[1], s[2]};
    const Vec3 f = scaleRotateTranslate(r, m, Vec3{p[0], p[1], p[2]}, x);
    const double q[3] = {r[0][0] * x.x + r[0][1] * x.y + r[0][2] * x.z, r[1][0] * x.x + r[1][1] * x.y + r[1][2] * x.z,
                         r[2][0] * x.x + r[2][1] * x.y + r[2][2] * x.z};

    ObservationGroup g;
    g.size = 3;
    g.l[0] = y[0] - f.x;
    g.l[1] = y[1] - f.y;
    g.l[2] = y[2] - f.z;
    // d(R x)/drx = (0, x3, -x2), /dry = (-x3, 0, x1), /drz = (x2, -x1, 0), per radian.
    const double dRx[3] = {0, x.z, -x.y}, dRy[3] = {-x.z, 0, x.x}, dRz[3] = {x.y, -x.x, 0};
    for (int i = 0; i < 3; ++i) {
        g.a[i][0] = i == 0 ? 1 : 0;
        g.a[i][1] = i == 1 ? 1 : 0;
        g.a[i][2] = i == 2 ? 1 : 0;
        g.a[i][3] = q[i] * 1e-6;
        g.a[i][4] = m * k * dRx[i];
        g.a[i][5] = m * k * dRy[i];
        g.a[i][6] = m * k * dRz[i];
        for (int j = 0; j < 7; ++j)
            g.a[i][7 + j] = g.a[i][j] * dt;
    }
    // The misclosure's cofactor m^2 R Qs R' + Qt for diagonal Qs, Qt.
    double C[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0;
            if (sigmaSource)
                for (int c = 0; c < 3; ++c)
                    sum += m * r[i][c] * sigmaSource[c] * sigmaSource[c] * m * r[j][c];
            if (i == j)
                sum += sigmaTarget[i] * sigmaTarget[i];
            C[i][j] = sum;
        }
    invertSmall(3, C, g.P);
    return g;
}

struct Run {
    double X[kUnknowns] = {};
    Solution last;
    std::vector<double> v;
    std::vector<ObservationGroup> groups;
    int passes = 1;
    bool converged = false;
};

// Gauss-Newton over the points listed, from zero parameters (or the held
// values): stops once every correction is below 1e-4 of its parameter's
// standard deviation, or the square sum v'Pv changes by less than 1e-8,
// from the second pass on (the first pass leaves out the scale-rotation
// product).
Run iterate(const double* source, const double* target, const double* epochs, double tRef, const double* sigmaSource,
            const double* sigmaTarget, const std::vector<int>& points, const HeldUnknowns& held)
{
    Run run;
    for (int j = 0; j < kUnknowns; ++j)
        run.X[j] = held.held[j] ? held.value[j] : 0.0;
    HeldUnknowns atZero = held;  // the corrections of held unknowns are 0
    for (double& v : atZero.value)
        v = 0;
    auto groupOf = [&](int k) {
        const int p = 3 * k;
        ObservationGroup g = pointGroup(run.X, source + p, target + p, epochs[k], tRef,
                                        sigmaSource ? sigmaSource + p : nullptr, sigmaTarget + p);
        atZero.apply(g, kUnknowns);
        return g;
    };
    double omegaPrevious = 0;
    for (;; ++run.passes) {
        NormalEquations ne(kUnknowns);
        std::vector<ObservationGroup> groups;
        for (int k : points) {
            groups.push_back(groupOf(k));
            ne.add(groups.back());
        }
        run.last = solveNormalEquations(ne, atZero, true);
        if (run.last.geometry != Geometry::Sound)
            return run;
        run.v.assign(3 * points.size(), 0.0);
        double omega = 0;
        for (std::size_t i = 0; i < groups.size(); ++i)
            groupResiduals(groups[i], kUnknowns, run.last.x, run.v.data() + 3 * i, omega);
        bool negligible = true;
        for (int j = 0; j < kUnknowns; ++j) {
            negligible = negligible && std::fabs(run.last.x[j]) <= 1e-4 * std::sqrt(run.last.Q(j + 1, j + 1));
            run.X[j] += run.last.x[j];
        }
        run.groups = std::move(groups);
        const bool converged = run.passes > 1 && (negligible || !(std::fabs(omega - omegaPrevious) >= 1e-8));
        if (converged || run.passes == kMaxPasses) {
            run.converged = converged;
            return run;
        }
        omegaPrevious = omega;
    }
}

} // namespace

double defaultReferenceEpoch(int points, const double* epochs)
{
    double sum = 0;
    for (int k = 0; k < points; ++k)
        sum += epochs[k];
    return std::round(sum / points * 10) / 10;
}

const char* const* fourteenParameterNames()
{
    return kNames;
}

Adjustment adjustFourteenParameters(int points, const double* source, const double* target, const double* epochs,
                                    double tRef, const double* sigmaSource, const double* sigmaTarget,
                                    const AdjustmentSettings& settings)
{
    const int n = 3 * points;
    if (points < 1 || !source || !target || !epochs || !sigmaTarget)
        return refusedAdjustment(Geometry::InvalidInput, "no points");
    if (!allFinite(source, n) || !allFinite(target, n))
        return refusedAdjustment(Geometry::NonFinite, "a coordinate is not a finite number");
    if (!allFinite(epochs, points) || !std::isfinite(tRef))
        return refusedAdjustment(Geometry::NonFinite, "an epoch is not a finite number");
    if (!validSigmas(sigmaTarget, n) || (sigmaSource && !validSigmas(sigmaSource, n, true)))
        return refusedAdjustment(Geometry::InvalidInput,
                                 "a priori standard deviations must be finite, positive for the target "
                                 "coordinates and not negative for the source coordinates");
    HeldUnknowns held;
    std::string message;
    if (!heldByName(settings.fixed, kNames, kUnknowns, held, message))
        return refusedAdjustment(Geometry::InvalidInput, message);
    int freeUnknowns = kUnknowns, freeRates = 0;
    for (int j = 0; j < kUnknowns; ++j) {
        freeUnknowns -= held.held[j] ? 1 : 0;
        freeRates += j >= 7 && !held.held[j] ? 1 : 0;
    }

    return snoopingAdjustment(points, 3, settings, [&](const std::vector<char>& active) {
        Adjustment r;
        std::vector<int> used;
        for (int k = 0; k < points; ++k)
            if (active[k])
                used.push_back(k);
        const int needed = (freeUnknowns + 2) / 3;
        if (3 * static_cast<int>(used.size()) < freeUnknowns) {
            r.geometry = Geometry::TooFewObservations;
            r.message = std::to_string(used.size()) + " point" + (used.size() == 1 ? "" : "s") + " give " +
                        std::to_string(3 * used.size()) + " observations for " + std::to_string(freeUnknowns) +
                        " free parameters: at least " + std::to_string(needed) +
                        " points are needed, observed at two epochs or more";
            return r;
        }
        bool spread = false;
        for (int k : used)
            spread = spread || epochs[k] != epochs[used.front()];
        if (freeRates > 0 && !spread) {
            r.geometry = Geometry::Singular;
            r.message = "every point is observed at the same epoch, so the rates cannot be determined: add points "
                        "observed at other epochs, or hold the rates (dtx dty dtz ds drx dry drz) and fit the "
                        "seven parameters";
            return r;
        }
        const Run run = iterate(source, target, epochs, tRef, sigmaSource, sigmaTarget, used, held);
        r.conditionReciprocal = run.last.conditionReciprocal;
        if (run.last.geometry != Geometry::Sound) {
            r.geometry = run.last.geometry;
            r.message = geometryName(r.geometry);
            if (r.geometry == Geometry::Singular)
                r.message += "; the rates need the points of each epoch to fix the parameters there (three points "
                             "or more, not on a line, at two epochs or more)";
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
        testAdjustment(run.groups, used, firstCoordinate, kUnknowns, run.last.Q, run.v, freeUnknowns, settings.tests,
                       r);
        // Points outside the fit against the final parameters: misfit -l at a correction of 0.
        const double none[kUnknowns] = {};
        HeldUnknowns atZero = held;
        for (double& v : atZero.value)
            v = 0;
        for (int k = 0; k < points; ++k) {
            if (active[k])
                continue;
            const int p = 3 * k;
            ObservationGroup g = pointGroup(run.X, source + p, target + p, epochs[k], tRef,
                                            sigmaSource ? sigmaSource + p : nullptr, sigmaTarget + p);
            atZero.apply(g, kUnknowns);
            const int coordinate = 0;
            testOutsidePoint(&g, &coordinate, 1, k, kUnknowns, run.last.Q, none, r, r.outside);
        }
        reportParameters(kNames, run.X, kUnknowns, run.last.Q, r);
        return r;
    });
}

} // namespace tervala
