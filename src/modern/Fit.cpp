// The fits of Fit.hpp. The unweighted ones run over the estimators of
// estimation/LeastSquares.h (the ones CTervala's members store), so
// parameters, residuals and sigma are the members' doubles; the weighted ones
// over the adjustments of estimation/Adjustment.h, whose statistics they pass
// on unchanged. This file adds the input checks, the verdict on the geometry,
// the covariance in the parameters' own units and the public types.
#include "tervala/Fit.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/Angles.h"
#include "estimation/Adjustment.h"
#include "estimation/Degeneracy.h"
#include "estimation/LeastSquares.h"
#include "modern/ModernAccess.h"
#include "tervala/Numbra.h"

namespace tervala {
namespace {

void checkSizes(const char* fit, std::size_t source, std::size_t target, std::size_t minimum)
{
    if (source != target)
        throw std::invalid_argument(std::string(fit) + ": " + std::to_string(source) + " source and " +
                                    std::to_string(target) + " target points; the lists must have equal length");
    if (source < minimum)
        throw std::invalid_argument(std::string(fit) + ": " + std::to_string(source) + " points; at least " +
                                    std::to_string(minimum) + " are needed");
    if (source > static_cast<std::size_t>(100000000))
        throw std::invalid_argument(std::string(fit) + ": more than 1e8 points");
}

void checkFinite(const char* fit, const char* list, std::size_t index, std::initializer_list<double> values)
{
    for (double v : values)
        if (!std::isfinite(v))
            throw std::invalid_argument(std::string(fit) + ": " + list + " point " + std::to_string(index) +
                                        " has a coordinate that is not finite");
}

FitSummary summary(int points, int perPoint, int unknowns, int rank, double sigma)
{
    FitSummary s{};
    s.points = points;
    s.observations = points * perPoint;
    s.unknowns = unknowns;
    s.redundancy = s.observations - unknowns;
    s.rank = rank;
    s.degenerate = rank < unknowns;
    s.converged = true;
    s.iterations = 1;
    s.sigma = sigma;
    return s;
}

template <std::size_t N>
std::array<double, N> standardDeviations(const std::array<std::array<double, N>, N>& covariance)
{
    std::array<double, N> out{};
    for (std::size_t i = 0; i < N; ++i)
        out[i] = std::sqrt(covariance[i][i]);
    return out;
}

template <std::size_t N>
bool allFinite(const std::array<double, N>& values)
{
    for (double v : values)
        if (!std::isfinite(v))
            return false;
    return true;
}

std::vector<double> planeArray(const std::vector<PlaneCoordinates>& points)
{
    std::vector<double> out(2 * points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
        out[2 * k] = points[k].first;
        out[2 * k + 1] = points[k].second;
    }
    return out;
}

std::vector<double> spaceArray(const std::vector<Geocentric>& points)
{
    std::vector<double> out(3 * points.size());
    for (std::size_t k = 0; k < points.size(); ++k) {
        out[3 * k] = points[k].x;
        out[3 * k + 1] = points[k].y;
        out[3 * k + 2] = points[k].z;
    }
    return out;
}

// The checked input of a 2D Helmert fit, as flat source and target arrays.
void helmert2DInput(const char* name, const std::vector<PlaneCoordinates>& source,
                    const std::vector<PlaneCoordinates>& target, std::vector<double>& src, std::vector<double>& dst)
{
    checkSizes(name, source.size(), target.size(), 2);
    for (std::size_t k = 0; k < source.size(); ++k) {
        checkFinite(name, "source", k, {source[k].first, source[k].second});
        checkFinite(name, "target", k, {target[k].first, target[k].second});
    }
    src = planeArray(source);
    dst = planeArray(target);
}

// The checked input of a height fit: the positions as a flat array.
std::vector<double> heightInput(const std::vector<PlaneCoordinates>& positions,
                                const std::vector<double>& sourceHeights, const std::vector<double>& targetHeights)
{
    const char* name = "height plane fit";
    checkSizes(name, positions.size(), sourceHeights.size(), 3);
    checkSizes(name, positions.size(), targetHeights.size(), 3);
    for (std::size_t k = 0; k < positions.size(); ++k)
        checkFinite(name, "", k, {positions[k].first, positions[k].second, sourceHeights[k], targetHeights[k]});
    return planeArray(positions);
}

// The checked input of a seven-parameter fit.
void sevenInput(const char* name, const std::vector<Geocentric>& source, const std::vector<Geocentric>& target,
                Convention convention, std::vector<double>& src, std::vector<double>& dst)
{
    checkSizes(name, source.size(), target.size(), 3);
    if (convention != Convention::PositionVector && convention != Convention::CoordinateFrame)
        throw std::invalid_argument(std::string(name) + ": unknown rotation convention");
    for (std::size_t k = 0; k < source.size(); ++k) {
        checkFinite(name, "source", k, {source[k].x, source[k].y, source[k].z});
        checkFinite(name, "target", k, {target[k].x, target[k].y, target[k].z});
    }
    src = spaceArray(source);
    dst = spaceArray(target);
}

// Coincident points determine the translations (and the height shift) only;
// collinear ones leave the rotation about their line (the slope across it)
// open.
int helmert2DRank(const std::vector<double>& src)
{
    return estimation::spreadRank(src.data(), src.size() / 2, 2) >= estimation::kHelmert2DRank ? 4 : 2;
}

int heightRank(const std::vector<double>& xy)
{
    return 1 + std::min(estimation::spreadRank(xy.data(), xy.size() / 2, 2), estimation::kHeightPlaneRank);
}

int sevenRank(const std::vector<double>& src)
{
    const int span = std::min(estimation::spreadRank(src.data(), src.size() / 3, 3), estimation::kSevenParameterRank);
    return span == 0 ? 3 : (span == 1 ? 6 : 7);
}

// The fit keeps the 2D rotation in (-90, 90) degrees; a half turn more shows
// as a factor below zero, which the type expresses as a positive factor and a
// rotation turned by 180 degrees.
Helmert2D helmert2DOf(double t1, double t2, double scale, double rotation, const PlaneCoordinates& origin)
{
    if (1 + scale * 1e-6 < 0) {
        scale = (-(1 + scale * 1e-6) - 1) * 1e6;
        rotation = rotation > 0 ? rotation - 648000.0 : rotation + 648000.0;
    }
    return Helmert2D(t1, t2, scale, rotation, origin);
}

// J C J' for a square Jacobian.
template <std::size_t N>
std::array<std::array<double, N>, N> propagate(const double (&J)[N][N], const double (&C)[N][N])
{
    std::array<std::array<double, N>, N> out{};
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = 0; j < N; ++j) {
            double sum = 0;
            for (std::size_t k = 0; k < N; ++k)
                for (std::size_t l = 0; l < N; ++l)
                    sum += J[i][k] * C[k][l] * J[j][l];
            out[i][j] = sum;
        }
    return out;
}

} // namespace

// ---- 2D Helmert ------------------------------------------------------------------

Helmert2DFitResult fitHelmert2D(const std::vector<PlaneCoordinates>& source, const std::vector<PlaneCoordinates>& target)
{
    std::vector<double> src, dst;
    helmert2DInput("2D Helmert fit", source, target, src, dst);
    const int points = static_cast<int>(source.size());
    const Helmert2DFit fit = tervala::fitHelmert2D(2 * points, src.data(), dst.data());
    const PlaneCoordinates origin{fit.origin[0], fit.origin[1]};  // the source centroid
    Helmert2DFitResult r{};
    r.summary = summary(points, 2, 4, helmert2DRank(src), fit.sigma);

    // Covariance of (t2, t1, c, d) to that of (t1, t2, scale ppm, rotation ").
    const double t2 = fit.parameters[0], t1 = fit.parameters[1];
    const double m = 1 + fit.parameters[2] * 1e-6;
    const double theta = angles::arcsecondsToRadians(fit.parameters[3]);
    const double c = m * std::cos(theta), d = m * std::sin(theta), r2 = c * c + d * d;
    const double perRadian = 1 / (PI * angles::kArcsecondFactor);
    // The result's scale is that of the positive factor |m| (helmert2DOf).
    const double J[4][4] = {{0, 1, 0, 0},
                            {1, 0, 0, 0},
                            {0, 0, 1e6 * c / std::fabs(m), 1e6 * d / std::fabs(m)},
                            {0, 0, -d / r2 * perRadian, c / r2 * perRadian}};
    r.covariance = propagate(J, fit.covariance);
    r.standardDeviations = standardDeviations(r.covariance);

    r.residuals.resize(source.size());
    const double* v = fit.residual.Data();
    bool finite = true;
    for (std::size_t k = 0; k < source.size(); ++k) {
        r.residuals[k] = PlaneCoordinates{v[2 * k + 1], v[2 * k]};
        finite = finite && std::isfinite(v[2 * k]) && std::isfinite(v[2 * k + 1]);
    }
    const std::array<double, 4> p{t1, t2, fit.parameters[2], fit.parameters[3]};
    if (!finite || !allFinite(p) || !std::isfinite(fit.sigma))
        r.summary.degenerate = true;
    if (!r.summary.degenerate)
        r.transformation = helmert2DOf(t1, t2, p[2], p[3], origin);
    return r;
}

// ---- Height plane ---------------------------------------------------------------

HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                    const std::vector<double>& sourceHeights, const std::vector<double>& targetHeights,
                                    const PlaneCoordinates& origin)
{
    const char* name = "height plane fit";
    checkSizes(name, positions.size(), sourceHeights.size(), 3);
    checkSizes(name, positions.size(), targetHeights.size(), 3);
    if (!std::isfinite(origin.first) || !std::isfinite(origin.second))
        throw std::invalid_argument("height plane fit: the origin is not finite");
    const int n = static_cast<int>(positions.size());
    const std::vector<double> xy = heightInput(positions, sourceHeights, targetHeights);
    const HeightFit fit = tervala::fitHeightPlane(n, origin.first, origin.second, xy.data(), sourceHeights.data(),
                                                  targetHeights.data());

    HeightPlaneFitResult r{};
    r.residuals.assign(fit.residual.Data(), fit.residual.Data() + n);
    double vv = 0;
    for (double v : r.residuals)
        vv += v * v;
    const double variance = n > 3 ? vv / (n - 3) : 0.0;
    // Collinear positions leave the slope across their line open.
    r.summary = summary(n, 1, 3, heightRank(xy), std::sqrt(variance));
    r.meanAccuracy = fit.meanAccuracy;

    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.covariance[i][j] = fit.covariance[i][j];
    r.standardDeviations = standardDeviations(r.covariance);

    const std::array<double, 3> p{fit.parameters[0], fit.parameters[1], fit.parameters[2]};
    bool finite = allFinite(p);
    for (double v : r.residuals)
        finite = finite && std::isfinite(v);
    if (!finite)
        r.summary.degenerate = true;
    if (!r.summary.degenerate)
        r.transformation = HeightPlane(p[0], p[1], p[2], PlaneCoordinates{fit.origin[0], fit.origin[1]});
    return r;
}

HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                    const std::vector<double>& sourceHeights, const std::vector<double>& targetHeights)
{
    PlaneCoordinates origin{0.0, 0.0};
    if (!positions.empty())
        planeCentroid(static_cast<int>(positions.size()), planeArray(positions).data(), origin.first, origin.second);
    if (!std::isfinite(origin.first) || !std::isfinite(origin.second))
        origin = PlaneCoordinates{0.0, 0.0};  // the per-point check names the culprit
    return fitHeightPlane(positions, sourceHeights, targetHeights, origin);
}

// ---- Seven parameters ------------------------------------------------------------

namespace {

struct SevenFit {
    SevenParameterFit fit;
    FitSummary summary;
    std::array<std::array<double, 7>, 7> covariance;
    std::array<double, 7> parameters;  // in the convention asked for
    std::vector<Geocentric> residuals;
};

SevenFit fitSeven(const char* name, const std::vector<Geocentric>& source, const std::vector<Geocentric>& target,
                  Convention convention, SevenParameterModel model)
{
    std::vector<double> src, dst;
    sevenInput(name, source, target, convention, src, dst);
    const int points = static_cast<int>(source.size());
    const int n = 3 * points;
    SevenFit r{};
    const Vec3 origin = model == SevenParameterModel::BursaWolf ? Vec3{0, 0, 0} : sourceCentroid(n, src.data());
    r.fit = fitSevenParameters(n, src.data(), dst.data(), origin, model);

    r.summary = summary(points, 3, 7, sevenRank(src), r.fit.sigma);
    r.summary.converged = r.fit.converged;
    r.summary.iterations = r.fit.passes;

    // Rotations in the position-vector convention are the negated ones, and
    // so are their covariances with the other parameters.
    const double sign = convention == Convention::CoordinateFrame ? 1.0 : -1.0;
    auto flips = [&](int i) { return i >= 4 ? sign : 1.0; };
    for (int i = 0; i < 7; ++i) {
        r.parameters[i] = flips(i) * r.fit.parameters[i];
        for (int j = 0; j < 7; ++j)
            r.covariance[i][j] = flips(i) * flips(j) * r.fit.covariance[i][j];
    }
    bool finite = allFinite(r.parameters) && std::isfinite(r.fit.sigma);
    r.residuals.resize(source.size());
    const double* v = r.fit.residual.Data();
    for (std::size_t k = 0; k < source.size(); ++k) {
        r.residuals[k] = Geocentric{v[3 * k], v[3 * k + 1], v[3 * k + 2]};
        finite = finite && std::isfinite(v[3 * k]) && std::isfinite(v[3 * k + 1]) && std::isfinite(v[3 * k + 2]);
    }
    if (!finite)
        r.summary.degenerate = true;
    return r;
}

} // namespace

Helmert7FitResult fitHelmert7(const std::vector<Geocentric>& source, const std::vector<Geocentric>& target,
                              Convention convention)
{
    SevenFit f = fitSeven("seven-parameter fit", source, target, convention, SevenParameterModel::BursaWolf);
    Helmert7FitResult r{};
    r.covariance = f.covariance;
    r.standardDeviations = standardDeviations(f.covariance);
    r.residuals = std::move(f.residuals);
    r.summary = f.summary;
    if (!r.summary.degenerate) {
        const std::array<double, 7>& p = f.parameters;
        try {
            r.transformation = Helmert7(p[0], p[1], p[2], p[3], p[4], p[5], p[6], convention);
        } catch (const std::invalid_argument&) {
            r.summary.degenerate = true;  // a scale or rotation no similarity has
        }
    }
    return r;
}

MolodenskyBadekasFitResult fitMolodenskyBadekas(const std::vector<Geocentric>& source,
                                                const std::vector<Geocentric>& target, Convention convention)
{
    SevenFit f =
        fitSeven("Molodensky-Badekas fit", source, target, convention, SevenParameterModel::MolodenskyBadekas);
    MolodenskyBadekasFitResult r{};
    r.covariance = f.covariance;
    r.standardDeviations = standardDeviations(f.covariance);
    r.residuals = std::move(f.residuals);
    r.summary = f.summary;
    if (!r.summary.degenerate) {
        const std::array<double, 7>& p = f.parameters;
        try {
            r.transformation = MolodenskyBadekas(p[0], p[1], p[2], p[3], p[4], p[5], p[6], convention,
                                                 Geocentric{f.fit.origin.x, f.fit.origin.y, f.fit.origin.z});
        } catch (const std::invalid_argument&) {
            r.summary.degenerate = true;
        }
    }
    return r;
}

// ---- Weighted fits ----------------------------------------------------------------

namespace {

// One standard deviation for every coordinate, or one per point per
// coordinate; `none` for each when none is given.
std::vector<double> expandSigma(const char* fit, const char* what, const std::vector<double>& given,
                                std::size_t points, std::size_t perPoint, double none)
{
    const std::size_t n = points * perPoint;
    if (given.empty())
        return std::vector<double>(n, none);
    if (given.size() == 1)
        return std::vector<double>(n, given[0]);
    if (given.size() != n)
        throw std::invalid_argument(std::string(fit) + ": " + what + " holds " + std::to_string(given.size()) +
                                    " standard deviations; expected 1, or " + std::to_string(n) + " (" +
                                    std::to_string(perPoint) + " per point)");
    return given;
}

AdjustmentSettings adjustmentSettings(const char* fit, const FitSettings& s)
{
    if (!(s.alpha > 0 && s.alpha < 1) || !(s.alpha0 > 0 && s.alpha0 < 1))
        throw std::invalid_argument(std::string(fit) + ": alpha and alpha0 must lie strictly between 0 and 1");
    if (s.snoop && s.sigma.empty())
        throw std::invalid_argument(std::string(fit) +
                                    ": data snooping tests the points against their a priori standard "
                                    "deviations: give sigma");
    AdjustmentSettings a;
    a.tests.alpha = s.alpha;
    a.tests.alpha0 = s.alpha0;
    a.fixed = s.fixed;
    a.snoop = s.snoop;
    if (!(s.confidence > 0 && s.confidence < 1))
        throw std::invalid_argument(std::string(fit) + ": the confidence of the error ellipses must lie strictly "
                                                       "between 0 and 1");
    a.confidence = s.confidence;
    return a;
}

// The adjustment passed on in the public types. `sign` gives each
// parameter's sign in the result (rotations in the position-vector
// convention are the negated ones); the observations come point by point,
// each point's coordinates in order.
struct Weighted {
    Adjustment adj;
    FitStatistics statistics;
    FitSummary summary;
    std::vector<double> residuals;  // per point and coordinate, NaN for points removed
    bool sound = false;
};

Weighted weighted(const char* fit, Adjustment adj, const FitSettings& s, std::size_t points, int perPoint,
                  int unknowns, int rankWhenRefused, const double* sign = nullptr)
{
    if (adj.geometry == Geometry::InvalidInput)
        throw std::invalid_argument(std::string(fit) + ": " + adj.message);
    Weighted w;
    w.sound = adj.geometry == Geometry::Sound;
    FitStatistics& st = w.statistics;
    st.apriori = !s.sigma.empty();
    st.alpha = s.alpha;
    st.alpha0 = s.alpha0;
    st.confidence = s.confidence;
    st.message = adj.message;
    w.residuals.assign(points * static_cast<std::size_t>(perPoint), std::nan(""));
    if (!w.sound) {
        st.sigma0 = 0;
        st.redundancy = 0;
        st.wCritical = st.noncentralitySqrt = std::nan("");
        w.summary = summary(static_cast<int>(points), perPoint, unknowns, rankWhenRefused, 0.0);
        w.summary.degenerate = true;
        w.adj = std::move(adj);
        return w;
    }
    if (!st.apriori)
        reportWithoutAPriori(adj);
    std::stable_sort(adj.observations.begin(), adj.observations.end(),
                     [](const ObservationTest& a, const ObservationTest& b) {
                         return a.point != b.point ? a.point < b.point : a.coordinate < b.coordinate;
                     });
    const std::size_t count = adj.parameters.size();
    auto f = [sign](std::size_t i) { return sign ? sign[i] : 1.0; };
    for (std::size_t i = 0; i < count; ++i) {
        const ParameterEstimate& p = adj.parameters[i];
        const ParameterUnit u = parameterUnit(p.name);
        const bool alternative = *u.alternativeUnit != '\0';
        st.parameters.push_back(FitParameter{p.name, f(i) * p.value, p.sigma, u.unit, u.alternativeUnit,
                                             alternative ? u.offset + u.factor * f(i) * p.value : std::nan(""),
                                             alternative ? u.factor * p.sigma : std::nan("")});
        st.correlation.emplace_back(count);
        for (std::size_t j = 0; j < count; ++j) {
            st.correlation[i][j] = f(i) * f(j) * adj.correlation[i][j];
            adj.covariance[i][j] *= f(i) * f(j);
        }
        adj.parameters[i].value *= f(i);
    }
    st.sigma0 = adj.sigma0;
    st.redundancy = adj.redundancy;
    if (st.apriori && adj.global.tested)
        st.globalTest = FitGlobalTest{adj.global.statistic, adj.global.lower, adj.global.upper, adj.global.passed};
    st.wCritical = adj.wCritical;
    st.noncentralitySqrt = adj.noncentralitySqrt;
    double vv = 0;
    for (const ObservationTest& t : adj.observations) {
        st.observations.push_back(FitObservation{t.point, t.coordinate, t.residual, t.redundancy, t.normalised, t.w,
                                                 t.mdb, t.rejected, t.external});
        w.residuals[static_cast<std::size_t>(t.point * perPoint + t.coordinate)] = t.residual;
        vv += t.residual * t.residual;
    }
    for (const SnoopStep& r : adj.removed)
        st.removed.push_back(FitRemovedPoint{r.point, r.coordinate, r.w, r.varianceFactor, r.globalPassed});
    st.confidence = adj.confidence;
    for (const PointEllipse& e : adj.ellipses)
        st.ellipses.push_back(
            FitEllipse{e.point, e.semiMajor, e.semiMinor, e.azimuth, e.sigmaFirst, e.sigmaSecond, e.sigmaUp});
    for (const ObservationTest& t : adj.local)
        st.local.push_back(FitObservation{t.point, t.coordinate, t.residual, t.redundancy, t.normalised, t.w, t.mdb,
                                          t.rejected, t.external});

    const int free = adj.observationsUsed - adj.redundancy;
    w.summary = summary(static_cast<int>(points - adj.removed.size()), perPoint, free, free,
                        adj.redundancy > 0 ? std::sqrt(vv / adj.redundancy) : 0.0);
    w.summary.observations = adj.observationsUsed;
    w.summary.redundancy = adj.redundancy;
    w.summary.converged = adj.converged;
    w.summary.iterations = adj.passes;
    w.adj = std::move(adj);
    return w;
}

// The covariance in the order of a result: element (i, j) of the
// adjustment's parameters order[i], order[j].
template <std::size_t N>
std::array<std::array<double, N>, N> covarianceOf(const Adjustment& a, const std::array<int, N>& order)
{
    std::array<std::array<double, N>, N> c{};
    if (a.covariance.size() == N)
        for (std::size_t i = 0; i < N; ++i)
            for (std::size_t j = 0; j < N; ++j)
                c[i][j] = a.covariance[static_cast<std::size_t>(order[i])][static_cast<std::size_t>(order[j])];
    return c;
}

template <class Result, std::size_t N>
void fill(Result& r, Weighted& w, const std::array<int, N>& order)
{
    r.covariance = covarianceOf<N>(w.adj, order);
    r.standardDeviations = standardDeviations(r.covariance);
    r.summary = w.summary;
    r.statistics = std::move(w.statistics);
}

HeightPlaneFitResult weightedHeight(const std::vector<PlaneCoordinates>& positions,
                                    const std::vector<double>& sourceHeights, const std::vector<double>& targetHeights,
                                    const PlaneCoordinates* origin, const FitSettings& s)
{
    const char* name = "height plane fit";
    const std::vector<double> xy = heightInput(positions, sourceHeights, targetHeights);
    if (origin && (!std::isfinite(origin->first) || !std::isfinite(origin->second)))
        throw std::invalid_argument("height plane fit: the origin is not finite");
    if (!s.sourceSigma.empty())
        throw std::invalid_argument("height plane fit: source standard deviations belong to the seven-parameter fits");
    const std::size_t n = positions.size();
    const std::vector<double> sigma = expandSigma(name, "sigma", s.sigma, n, 1, 1.0);
    const AdjustmentSettings settings = adjustmentSettings(name, s);
    const int points = static_cast<int>(n);
    Adjustment adj = origin ? adjustHeightPlane(points, origin->first, origin->second, xy.data(), sourceHeights.data(),
                                                targetHeights.data(), sigma.data(), settings)
                            : adjustHeightPlane(points, xy.data(), sourceHeights.data(), targetHeights.data(),
                                                sigma.data(), settings);
    Weighted w = weighted(name, std::move(adj), s, n, 1, 3, heightRank(xy));
    HeightPlaneFitResult r{};
    r.residuals = w.residuals;
    double vv = 0;
    for (double v : r.residuals)
        if (std::isfinite(v))
            vv += v * v;
    r.meanAccuracy = std::sqrt(0.5 * vv);
    fill<HeightPlaneFitResult, 3>(r, w, {0, 1, 2});
    if (w.sound) {
        const std::vector<ParameterEstimate>& p = w.adj.parameters;
        r.transformation =
            HeightPlane(p[0].value, p[1].value, p[2].value, PlaneCoordinates{w.adj.origin[0], w.adj.origin[1]});
    }
    return r;
}

template <class Result>
Result weightedSeven(const char* name, const std::vector<Geocentric>& source, const std::vector<Geocentric>& target,
                     Convention convention, const FitSettings& s, bool badekas)
{
    std::vector<double> src, dst;
    sevenInput(name, source, target, convention, src, dst);
    const std::size_t n = source.size();
    const std::vector<double> sigmaTarget = expandSigma(name, "sigma", s.sigma, n, 3, 1.0);
    const std::vector<double> sigmaSource =
        s.sourceSigma.empty() ? sigmaTarget : expandSigma(name, "source sigma", s.sourceSigma, n, 3, 1.0);
    Adjustment adj = adjustSevenParameters(static_cast<int>(n), src.data(), dst.data(), sigmaSource.data(),
                                           sigmaTarget.data(), badekas, adjustmentSettings(name, s));
    const double flip = convention == Convention::CoordinateFrame ? 1.0 : -1.0;
    const double sign[7] = {1, 1, 1, 1, flip, flip, flip};
    Weighted w = weighted(name, std::move(adj), s, n, 3, 7, sevenRank(src), sign);
    Result r{};
    r.residuals.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        r.residuals[k] = Geocentric{w.residuals[3 * k], w.residuals[3 * k + 1], w.residuals[3 * k + 2]};
    fill<Result, 7>(r, w, {0, 1, 2, 3, 4, 5, 6});
    if (w.sound) {
        const std::vector<ParameterEstimate>& p = w.adj.parameters;
        try {
            if constexpr (std::is_same_v<Result, MolodenskyBadekasFitResult>)
                r.transformation = MolodenskyBadekas(p[0].value, p[1].value, p[2].value, p[3].value, p[4].value,
                                                     p[5].value, p[6].value, convention,
                                                     Geocentric{w.adj.origin[0], w.adj.origin[1], w.adj.origin[2]});
            else
                r.transformation = Helmert7(p[0].value, p[1].value, p[2].value, p[3].value, p[4].value, p[5].value,
                                            p[6].value, convention);
        } catch (const std::invalid_argument&) {
            r.summary.degenerate = true;  // a scale or rotation no similarity has
        }
    }
    return r;
}

} // namespace

Helmert15FitResult fitHelmert15(const std::vector<Geocentric>& source, const std::vector<Geocentric>& target,
                                const std::vector<double>& epochs, Convention convention, const FitSettings& s,
                                std::optional<double> referenceEpoch)
{
    const char* name = "time-dependent Helmert fit";
    std::vector<double> src, dst;
    sevenInput(name, source, target, convention, src, dst);
    const std::size_t n = source.size();
    if (epochs.size() != n)
        throw std::invalid_argument(std::string(name) + ": " + std::to_string(epochs.size()) + " epochs for " +
                                    std::to_string(n) + " points; give one epoch per point");
    for (std::size_t k = 0; k < n; ++k)
        if (!std::isfinite(epochs[k]))
            throw std::invalid_argument(std::string(name) + ": the epoch of point " + std::to_string(k) +
                                        " is not finite");
    const double tRef = referenceEpoch ? *referenceEpoch : defaultReferenceEpoch(static_cast<int>(n), epochs.data());
    if (!std::isfinite(tRef))
        throw std::invalid_argument(std::string(name) + ": the reference epoch is not finite");
    const std::vector<double> sigmaTarget = expandSigma(name, "sigma", s.sigma, n, 3, 1.0);
    const std::vector<double> sigmaSource =
        s.sourceSigma.empty() ? sigmaTarget : expandSigma(name, "source sigma", s.sourceSigma, n, 3, 1.0);
    Adjustment adj = adjustFourteenParameters(static_cast<int>(n), src.data(), dst.data(), epochs.data(), tRef,
                                              sigmaSource.data(), sigmaTarget.data(), adjustmentSettings(name, s));
    const double flip = convention == Convention::CoordinateFrame ? 1.0 : -1.0;
    const double sign[14] = {1, 1, 1, 1, flip, flip, flip, 1, 1, 1, 1, flip, flip, flip};
    // Refused: the static part's rank, doubled when the epochs spread.
    const bool spread = std::any_of(epochs.begin(), epochs.end(), [&](double e) { return e != epochs.front(); });
    Weighted w = weighted(name, std::move(adj), s, n, 3, 14, sevenRank(src) * (spread ? 2 : 1), sign);
    Helmert15FitResult r{};
    r.referenceEpoch = tRef;
    r.residuals.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        r.residuals[k] = Geocentric{w.residuals[3 * k], w.residuals[3 * k + 1], w.residuals[3 * k + 2]};
    r.covariance = covarianceOf<14>(w.adj, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
    r.standardDeviations = standardDeviations(r.covariance);
    r.summary = w.summary;
    r.statistics = std::move(w.statistics);
    if (w.sound) {
        const std::vector<ParameterEstimate>& p = w.adj.parameters;
        const HelmertValues values{p[0].value, p[1].value, p[2].value, p[3].value,
                                   p[4].value, p[5].value, p[6].value};
        const HelmertValues rates{p[7].value,  p[8].value,  p[9].value, p[10].value,
                                  p[11].value, p[12].value, p[13].value};
        try {
            r.transformation = Helmert15(values, rates, tRef, convention, Rotations::SmallAngle);
        } catch (const std::invalid_argument&) {
            r.summary.degenerate = true;  // a scale or rotation no similarity has
        }
    }
    return r;
}

Helmert2DFitResult fitHelmert2D(const std::vector<PlaneCoordinates>& source,
                                const std::vector<PlaneCoordinates>& target, const FitSettings& s)
{
    const char* name = "2D Helmert fit";
    std::vector<double> src, dst;
    helmert2DInput(name, source, target, src, dst);
    if (!s.sourceSigma.empty())
        throw std::invalid_argument("2D Helmert fit: the source points are taken as error-free; source standard "
                                    "deviations belong to the seven-parameter fits");
    const std::size_t n = source.size();
    const std::vector<double> sigma = expandSigma(name, "sigma", s.sigma, n, 2, 1.0);
    Adjustment adj =
        adjustHelmert2D(static_cast<int>(n), src.data(), dst.data(), sigma.data(), adjustmentSettings(name, s));
    Weighted w = weighted(name, std::move(adj), s, n, 2, 4, helmert2DRank(src));
    Helmert2DFitResult r{};
    r.residuals.resize(n);
    for (std::size_t k = 0; k < n; ++k)
        r.residuals[k] = PlaneCoordinates{w.residuals[2 * k], w.residuals[2 * k + 1]};
    fill<Helmert2DFitResult, 4>(r, w, {0, 1, 2, 3});
    if (w.sound) {
        const std::vector<ParameterEstimate>& p = w.adj.parameters;
        r.transformation = helmert2DOf(p[0].value, p[1].value, p[2].value, p[3].value,
                                       PlaneCoordinates{w.adj.origin[0], w.adj.origin[1]});
    }
    return r;
}

HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                    const std::vector<double>& sourceHeights, const std::vector<double>& targetHeights,
                                    const FitSettings& settings)
{
    return weightedHeight(positions, sourceHeights, targetHeights, nullptr, settings);
}

HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                    const std::vector<double>& sourceHeights, const std::vector<double>& targetHeights,
                                    const PlaneCoordinates& origin, const FitSettings& settings)
{
    return weightedHeight(positions, sourceHeights, targetHeights, &origin, settings);
}

Helmert7FitResult fitHelmert7(const std::vector<Geocentric>& source, const std::vector<Geocentric>& target,
                              Convention convention, const FitSettings& settings)
{
    return weightedSeven<Helmert7FitResult>("seven-parameter fit", source, target, convention, settings, false);
}

MolodenskyBadekasFitResult fitMolodenskyBadekas(const std::vector<Geocentric>& source,
                                                const std::vector<Geocentric>& target, Convention convention,
                                                const FitSettings& settings)
{
    return weightedSeven<MolodenskyBadekasFitResult>("Molodensky-Badekas fit", source, target, convention, settings,
                                                     true);
}

} // namespace tervala
