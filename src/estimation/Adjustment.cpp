// The estimation core and the statistics of a weighted adjustment.
#include "estimation/Adjustment.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include <Eigen/Core>
#include <Eigen/Eigenvalues>
#include <Eigen/LU>
#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/normal.hpp>

namespace tervala {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// A matrix of the core's size, on the stack.
using SmallMatrix = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, 0, kMaxUnknowns, kMaxUnknowns>;
}

// ---- Core ----------------------------------------------------------------------

bool HeldUnknowns::any() const
{
    return std::any_of(std::begin(held), std::end(held), [](bool h) { return h; });
}

NormalEquations::NormalEquations(int unknowns) : unknowns_(unknowns) {}

void NormalEquations::add(const ObservationGroup& g)
{
    const int u = unknowns_, s = g.size;
    // T = A' P (u x s), each element summed over the group's rows in order.
    double T[kMaxUnknowns][kMaxGroup];
    for (int c = 0; c < u; ++c)
        for (int j = 0; j < s; ++j) {
            double sum = g.a[0][c] * g.P[0][j];
            for (int k = 1; k < s; ++k)
                sum += g.a[k][c] * g.P[k][j];
            T[c][j] = sum;
        }
    for (int c = 0; c < u; ++c) {
        for (int d = 0; d < u; ++d) {
            double sum = T[c][0] * g.a[0][d];
            for (int k = 1; k < s; ++k)
                sum += T[c][k] * g.a[k][d];
            N[c][d] += sum;
        }
        double sum = T[c][0] * g.l[0];
        for (int k = 1; k < s; ++k)
            sum += T[c][k] * g.l[k];
        U[c] += sum;
    }
}

const char* geometryName(Geometry g)
{
    switch (g) {
    case Geometry::Sound: return "sound";
    case Geometry::TooFewObservations: return "too few observations for the free parameters";
    case Geometry::Singular: return "singular geometry (coincident or collinear points, or a subset the points cannot fix)";
    case Geometry::NonFinite: return "a value that is not a finite number";
    case Geometry::InvalidInput: return "invalid input";
    }
    return "unknown";
}

Solution solveNormalEquations(const NormalEquations& ne, const HeldUnknowns& held, bool judge)
{
    const int u = ne.unknowns();
    int index[kMaxUnknowns], f = 0;
    for (int j = 0; j < u; ++j)
        if (!held.held[j])
            index[f++] = j;

    Solution sol;
    sol.Q = Zeros(u, u);
    Numbra N(f, f), U(f, 1);
    bool finite = true;
    for (int i = 0; i < f; ++i) {
        for (int j = 0; j < f; ++j) {
            N(i + 1, j + 1) = ne.N[index[i]][index[j]];
            finite = finite && std::isfinite(ne.N[index[i]][index[j]]);
        }
        U(i + 1) = ne.U[index[i]];
        finite = finite && std::isfinite(ne.U[index[i]]);
    }
    for (int j = 0; j < u; ++j)
        sol.x[j] = held.held[j] ? held.value[j] : 0.0;

    if (judge) {
        if (!finite) {
            sol.geometry = Geometry::NonFinite;
            return sol;
        }
        // Condition of the normal matrix scaled to a unit diagonal, so that
        // metres, ppm and arc-seconds do not count as ill-conditioning: the
        // ratio of its smallest to its largest eigenvalue.
        for (int i = 0; i < f; ++i) {
            if (!(N(i + 1, i + 1) > 0)) {
                sol.geometry = Geometry::Singular;
                return sol;
            }
        }
        if (f == 0) {
            sol.conditionReciprocal = 1.0;
        } else {
            SmallMatrix scaled(f, f);
            for (int i = 0; i < f; ++i)
                for (int j = 0; j < f; ++j)
                    scaled(i, j) = N(i + 1, j + 1) / std::sqrt(N(i + 1, i + 1) * N(j + 1, j + 1));
            const Eigen::SelfAdjointEigenSolver<SmallMatrix> eigen(scaled, Eigen::EigenvaluesOnly);
            if (eigen.info() != Eigen::Success) {
                sol.geometry = Geometry::Singular;
                return sol;
            }
            // Ascending order.
            sol.conditionReciprocal = eigen.eigenvalues()(0) / eigen.eigenvalues()(f - 1);
        }
        if (!(sol.conditionReciprocal >= kSingularConditionReciprocal)) {
            sol.geometry = Geometry::Singular;
            return sol;
        }
    }

    if (f > 0) {
        const Numbra x = Slu(N, U);
        const Numbra Q = Inv(N);
        for (int i = 0; i < f; ++i) {
            sol.x[index[i]] = x(i + 1);
            for (int j = 0; j < f; ++j)
                sol.Q(index[i] + 1, index[j] + 1) = Q(i + 1, j + 1);
        }
    }
    if (judge)
        for (int j = 0; j < u; ++j)
            if (!std::isfinite(sol.x[j]))
                sol.geometry = Geometry::NonFinite;
    return sol;
}

namespace {

// The inverse of an order-S matrix and its determinant (Eigen's closed forms
// for these orders).
template <int S>
double invertFixed(const double in[kMaxGroup][kMaxGroup], double out[kMaxGroup][kMaxGroup])
{
    Eigen::Matrix<double, S, S> m;
    for (int i = 0; i < S; ++i)
        for (int j = 0; j < S; ++j)
            m(i, j) = in[i][j];
    const Eigen::Matrix<double, S, S> inverse = m.inverse();
    for (int i = 0; i < S; ++i)
        for (int j = 0; j < S; ++j)
            out[i][j] = inverse(i, j);
    return m.determinant();
}

} // namespace

bool invertSmall(int size, const double in[kMaxGroup][kMaxGroup], double out[kMaxGroup][kMaxGroup])
{
    const double det = size == 1   ? invertFixed<1>(in, out)
                       : size == 2 ? invertFixed<2>(in, out)
                                   : invertFixed<3>(in, out);
    return det != 0 && std::isfinite(det);
}

void groupResiduals(const ObservationGroup& g, int unknowns, const double* x, double* v, double& omega)
{
    for (int r = 0; r < g.size; ++r) {
        double sum = 0.0;
        for (int j = 0; j < unknowns; ++j)
            sum += g.a[r][j] * x[j];
        v[r] = sum - g.l[r];
    }
    double weighted = 0.0;
    for (int j = 0; j < g.size; ++j) {
        double pv = v[0] * g.P[0][j];
        for (int k = 1; k < g.size; ++k)
            pv += v[k] * g.P[k][j];
        weighted += pv * v[j];
    }
    omega += weighted;
}

// ---- Distributions ---------------------------------------------------------------

double chiSquareQuantile(double probability, double degreesOfFreedom)
{
    return boost::math::quantile(boost::math::chi_squared_distribution<double>(degreesOfFreedom), probability);
}

double normalQuantile(double probability)
{
    return boost::math::quantile(boost::math::normal_distribution<double>(0.0, 1.0), probability);
}

double noncentralitySqrt(double alpha0, double power)
{
    if (!(alpha0 > 0 && power > alpha0 && power < 1))
        return kNaN;
    const boost::math::normal_distribution<double> unit(0.0, 1.0);
    const double k = normalQuantile(1 - alpha0 / 2);
    // f(s) = P(w > k) + P(w < -k) - power for w ~ N(s, 1): increasing for
    // s > 0, from alpha0 - power < 0 at s = 0. The one-tail value is at or
    // above the root, and Newton's steps from there decrease monotonically.
    double s = std::max(k + normalQuantile(power), 1e-3);
    for (int i = 0; i < 60; ++i) {
        const double f = boost::math::cdf(unit, s - k) + boost::math::cdf(unit, -s - k) - power;
        const double slope = boost::math::pdf(unit, s - k) - boost::math::pdf(unit, s + k);
        const double step = f / slope;
        if (!(slope > 0) || !std::isfinite(step))
            break;
        s = std::max(s - step, 0.5 * s);
        if (std::fabs(step) <= 1e-15 * s)
            break;
    }
    return s;
}

// ---- Statistics ----------------------------------------------------------------------

void testAdjustment(const std::vector<ObservationGroup>& groups, const std::vector<int>& pointOf,
                    const std::vector<int>& coordinateOf, int unknowns, const Numbra& Q, const std::vector<double>& v,
                    int freeUnknowns, const TestSettings& tests, Adjustment& result)
{
    result.wCritical = normalQuantile(1 - tests.alpha0 / 2);
    result.noncentralitySqrt = noncentralitySqrt(tests.alpha0, tests.power);
    result.observations.clear();
    double omega = 0;
    int observations = 0;
    std::size_t row = 0;
    for (std::size_t gi = 0; gi < groups.size(); ++gi) {
        const ObservationGroup& g = groups[gi];
        const int s = g.size;
        double Qll[kMaxGroup][kMaxGroup];
        invertSmall(s, g.P, Qll);
        // Qvv = Qll - A Q A', then P Qvv and K = P Qvv P.
        double AQ[kMaxGroup][kMaxUnknowns] = {}, Qvv[kMaxGroup][kMaxGroup], PQvv[kMaxGroup][kMaxGroup],
            K[kMaxGroup][kMaxGroup], Pv[kMaxGroup];
        for (int i = 0; i < s; ++i)
            for (int k = 0; k < unknowns; ++k)
                for (int j = 0; j < unknowns; ++j)
                    AQ[i][k] += g.a[i][j] * Q(j + 1, k + 1);
        for (int i = 0; i < s; ++i)
            for (int j = 0; j < s; ++j) {
                double aqa = 0;
                for (int k = 0; k < unknowns; ++k)
                    aqa += AQ[i][k] * g.a[j][k];
                Qvv[i][j] = Qll[i][j] - aqa;
            }
        for (int i = 0; i < s; ++i) {
            Pv[i] = 0;
            for (int j = 0; j < s; ++j) {
                PQvv[i][j] = 0;
                for (int k = 0; k < s; ++k)
                    PQvv[i][j] += g.P[i][k] * Qvv[k][j];
                Pv[i] += g.P[i][j] * v[row + j];
            }
        }
        for (int i = 0; i < s; ++i)
            for (int j = 0; j < s; ++j) {
                K[i][j] = 0;
                for (int k = 0; k < s; ++k)
                    K[i][j] += PQvv[i][k] * g.P[k][j];
            }
        for (int i = 0; i < s; ++i)
            omega += v[row + i] * Pv[i];
        for (int i = 0; i < s; ++i) {
            ObservationTest t;
            t.point = pointOf[gi];
            t.coordinate = coordinateOf[gi] + i;
            t.residual = v[row + i];
            t.redundancy = PQvv[i][i];
            const double qvv = Qvv[i][i], k = K[i][i];
            // An observation the others cannot check (r_i near 0) has no test.
            const bool checked = t.redundancy > 1e-9 && qvv > 0 && k > 0;
            t.sigmaResidual = checked ? std::sqrt(qvv) : 0.0;
            t.normalised = checked ? t.residual / t.sigmaResidual : kNaN;
            t.w = checked ? Pv[i] / std::sqrt(k) : kNaN;
            t.mdb = checked ? result.noncentralitySqrt / std::sqrt(k) : std::numeric_limits<double>::infinity();
            t.rejected = checked && std::fabs(t.w) > result.wCritical;
            result.observations.push_back(t);
        }
        row += s;
        observations += s;
    }
    result.observationsUsed = observations;
    result.redundancy = observations - freeUnknowns;
    GlobalTest& gt = result.global;
    gt = GlobalTest{};
    gt.redundancy = result.redundancy;
    if (result.redundancy > 0) {
        const double r = result.redundancy;
        gt.tested = true;
        gt.statistic = omega / r;
        gt.lower = chiSquareQuantile(tests.alpha / 2, r) / r;
        gt.upper = chiSquareQuantile(1 - tests.alpha / 2, r) / r;
        gt.passed = gt.statistic >= gt.lower && gt.statistic <= gt.upper;
        result.sigma0 = std::sqrt(omega / r);
    } else {
        result.sigma0 = 0;
    }
}

void testOutsidePoint(const ObservationGroup* groups, const int* coordinates, int count, int point, int unknowns,
                      const Numbra& Q, const double* x, const Adjustment& fit, std::vector<ObservationTest>& out)
{
    // The point's rows gathered: design A, misfit e = A x - l, cofactor Q_ll
    // (block diagonal, each group's inverse weight).
    double A[kMaxGroup][kMaxUnknowns] = {}, e[kMaxGroup] = {}, Qll[kMaxGroup][kMaxGroup] = {};
    int coordinate[kMaxGroup] = {}, n = 0;
    bool sound = true;
    for (int gi = 0; gi < count; ++gi) {
        const ObservationGroup& g = groups[gi];
        if (n + g.size > kMaxGroup)
            return;
        double Qg[kMaxGroup][kMaxGroup];
        sound = invertSmall(g.size, g.P, Qg) && sound;
        double omega = 0, v[kMaxGroup];
        groupResiduals(g, unknowns, x, v, omega);
        for (int i = 0; i < g.size; ++i) {
            for (int j = 0; j < unknowns; ++j)
                A[n + i][j] = g.a[i][j];
            for (int j = 0; j < g.size; ++j)
                Qll[n + i][n + j] = Qg[i][j];
            e[n + i] = v[i];
            coordinate[n + i] = coordinates[gi] + i;
        }
        n += g.size;
    }
    // Q_e = Q_ll + A Q A' and its inverse.
    double Qe[kMaxGroup][kMaxGroup], Pe[kMaxGroup][kMaxGroup];
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double aqa = 0;
            for (int k = 0; k < unknowns; ++k) {
                double aq = 0;
                for (int m = 0; m < unknowns; ++m)
                    aq += A[i][m] * Q(m + 1, k + 1);
                aqa += aq * A[j][k];
            }
            Qe[i][j] = Qll[i][j] + aqa;
        }
    sound = n > 0 && invertSmall(n, Qe, Pe) && sound;
    for (int i = 0; i < n; ++i) {
        ObservationTest t;
        t.point = point;
        t.coordinate = coordinate[i];
        t.residual = e[i];
        double Pe_e = 0, r = 0;
        for (int j = 0; j < n; ++j) {
            Pe_e += Pe[i][j] * e[j];
            r += Qll[i][j] * Pe[j][i];
        }
        const bool checked = sound && Qe[i][i] > 0 && Pe[i][i] > 0;
        t.sigmaResidual = checked ? std::sqrt(Qe[i][i]) : kNaN;
        t.normalised = checked ? e[i] / t.sigmaResidual : kNaN;
        t.redundancy = checked ? r : kNaN;
        t.w = checked ? Pe_e / std::sqrt(Pe[i][i]) : kNaN;
        t.mdb = checked ? fit.noncentralitySqrt / std::sqrt(Pe[i][i]) : kNaN;
        t.rejected = checked && std::fabs(t.w) > fit.wCritical;
        out.push_back(t);
    }
}

ParameterUnit parameterUnit(const std::string& name)
{
    // One arc-second is pi / 648000 rad = 4.8481368110953599... microradians.
    static const ParameterUnit metre{"m", "", 0, 0}, ppm{"ppm", "factor", 1e-6, 1},
        arcsecond{"arc-second", "microradian", 3.14159265358979323846 / 648000 * 1e6, 0}, slope{"m/m", "mm/km", 1e6, 0};
    if (name == "scale" || name == "s")
        return ppm;
    if (name == "rotation" || name == "rx" || name == "ry" || name == "rz")
        return arcsecond;
    if (name == "slope1" || name == "slope2")
        return slope;
    // The rates of the time-dependent fit.
    static const ParameterUnit metrePerYear{"m/year", "", 0, 0}, ppmPerYear{"ppm/year", "", 0, 0},
        arcsecondPerYear{"arc-second/year", "microradian/year", arcsecond.factor, 0};
    if (name == "ds")
        return ppmPerYear;
    if (name == "drx" || name == "dry" || name == "drz")
        return arcsecondPerYear;
    if (name == "dtx" || name == "dty" || name == "dtz")
        return metrePerYear;
    return metre;
}

void reportParameters(const char* const* names, const double* values, int count, const Numbra& C,
                      Adjustment& result)
{
    result.parameters.clear();
    for (int i = 0; i < count; ++i) {
        const double variance = C(i + 1, i + 1);
        result.parameters.push_back(ParameterEstimate{names[i], values[i], variance > 0 ? std::sqrt(variance) : 0.0});
    }
    result.covariance.assign(count, std::vector<double>(count, 0.0));
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < count; ++j)
            result.covariance[i][j] = C(i + 1, j + 1);
    result.correlation.assign(count, std::vector<double>(count, 0.0));
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < count; ++j) {
            const double si = result.parameters[i].sigma, sj = result.parameters[j].sigma;
            if (i == j)
                result.correlation[i][j] = 1.0;
            else if (si > 0 && sj > 0)
                result.correlation[i][j] = C(i + 1, j + 1) / (si * sj);
        }
}

void reportWithoutAPriori(Adjustment& a)
{
    const double scale = a.redundancy > 0 ? a.sigma0 : kNaN;
    for (ParameterEstimate& p : a.parameters)
        p.sigma *= scale;
    for (std::vector<double>& row : a.covariance)
        for (double& c : row)
            c *= scale * scale;
    a.global.tested = false;
    a.global.passed = true;
    for (std::vector<ObservationTest>* list : {&a.observations, &a.outside, &a.leaveOneOut, &a.local})
        for (ObservationTest& t : *list) {
            t.normalised = kNaN;
            t.w = kNaN;
            t.mdb = kNaN;
            t.rejected = false;
            t.external = kNaN;
            t.externalPoint = t.externalCorner = -1;
        }
    // The ellipses, like the covariance, at the a posteriori variance factor.
    for (PointEllipse& e : a.ellipses) {
        e.semiMajor *= scale;
        e.semiMinor *= scale;
        e.sigmaFirst *= scale;
        e.sigmaSecond *= scale;
        e.sigmaUp *= scale;
    }
}

void planeCentroid(int points, const double* xy, double& x0, double& y0)
{
    double first = 0, second = 0;
    for (int k = 0; k < points; ++k) {
        first += xy[2 * k];
        second += xy[2 * k + 1];
    }
    const double reciprocal = 1.0 / points;
    x0 = first * reciprocal;
    y0 = second * reciprocal;
}

bool allFinite(const double* a, int n)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(a[i]))
            return false;
    return true;
}

bool validSigmas(const double* sigma, int n, bool zeroAllowed)
{
    for (int i = 0; i < n; ++i)
        if (!std::isfinite(sigma[i]) || sigma[i] < 0 || (sigma[i] == 0 && !zeroAllowed))
            return false;
    return true;
}

Adjustment refusedAdjustment(Geometry g, std::string message)
{
    Adjustment r;
    r.geometry = g;
    r.message = std::move(message);
    return r;
}

bool heldByName(const std::vector<std::string>& fixed, const char* const* names, int count, HeldUnknowns& held,
                std::string& message)
{
    for (const std::string& name : fixed) {
        int found = -1;
        for (int i = 0; i < count; ++i)
            if (name == names[i])
                found = i;
        if (found < 0) {
            message = "unknown parameter '" + name + "' to hold; expected one of";
            for (int i = 0; i < count; ++i)
                message += std::string(i ? ", " : " ") + names[i];
            return false;
        }
        held.held[found] = true;
    }
    return true;
}

namespace {

// For every point of the solution (active), its misfit from the fit made
// without it.
void leaveEachOut(int points, int observationsPerPoint, const std::vector<char>& active,
                  const std::function<Adjustment(const std::vector<char>& active)>& fit, Adjustment& result)
{
    std::vector<char> without = active;
    for (int k = 0; k < points; ++k) {
        if (!active[k])
            continue;
        without[k] = 0;
        const Adjustment r = fit(without);
        without[k] = 1;
        bool found = false;
        if (r.geometry == Geometry::Sound)
            for (const ObservationTest& t : r.outside)
                if (t.point == k) {
                    result.leaveOneOut.push_back(t);
                    found = true;
                }
        for (int c = 0; !found && c < observationsPerPoint; ++c) {
            ObservationTest t;
            t.point = k;
            t.coordinate = c;
            t.residual = t.sigmaResidual = t.normalised = t.redundancy = t.w = t.mdb = kNaN;
            result.leaveOneOut.push_back(t);
        }
    }
}

} // namespace

Adjustment snoopingAdjustment(int points, int observationsPerPoint, const AdjustmentSettings& settings,
                              const std::function<Adjustment(const std::vector<char>& active)>& fit)
{
    if (!(settings.tests.power > settings.tests.alpha0 && settings.tests.power < 1))
        return refusedAdjustment(Geometry::InvalidInput, "the power of the w-test must lie between alpha0 and 1");
    if (!(settings.confidence > 0 && settings.confidence < 1))
        return refusedAdjustment(Geometry::InvalidInput, "the confidence level of the error ellipses must lie "
                                                         "strictly between 0 and 1");
    std::vector<char> active(points, 1);
    for (int k : settings.heldOut) {
        if (k < 0 || k >= points)
            return refusedAdjustment(Geometry::InvalidInput, "a held-out point index is outside the points");
        active[k] = 0;
    }
    std::vector<SnoopStep> steps;
    Adjustment previous;
    std::vector<char> previousActive;
    auto done = [&](Adjustment r, const std::vector<char>& used) {
        if (r.geometry == Geometry::Sound)
            pointPrecision(r, settings.confidence);
        if (settings.leaveOneOut && r.geometry == Geometry::Sound)
            leaveEachOut(points, observationsPerPoint, used, fit, r);
        return r;
    };
    for (;;) {
        Adjustment result = fit(active);
        result.removed = steps;
        if (result.geometry != Geometry::Sound && !steps.empty()) {
            // The points left cannot carry the fit: keep the last sound one.
            previous.message = "data snooping stopped: without point " + std::to_string(steps.back().point) +
                               " the fit is refused (" + geometryName(result.geometry) + ")";
            return done(std::move(previous), previousActive);
        }
        if (!settings.snoop || result.geometry != Geometry::Sound)
            return done(std::move(result), active);
        const ObservationTest* worst = nullptr;
        for (const ObservationTest& t : result.observations)
            if (t.rejected && (worst == nullptr || std::fabs(t.w) > std::fabs(worst->w)))
                worst = &t;
        if (worst == nullptr)
            return done(std::move(result), active);
        if (result.redundancy - observationsPerPoint < 1) {
            result.message = "data snooping stopped: removing point " + std::to_string(worst->point) +
                             " would leave no redundancy";
            return done(std::move(result), active);
        }
        SnoopStep step;
        step.point = worst->point;
        step.coordinate = worst->coordinate;
        step.w = worst->w;
        step.varianceFactor = result.global.statistic;
        step.globalPassed = result.global.passed;
        previous = std::move(result);
        previousActive = active;
        steps.push_back(step);
        active[step.point] = 0;
    }
}

} // namespace tervala
