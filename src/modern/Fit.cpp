// The fits of Fit.hpp over the estimators of estimation/LeastSquares.h (the
// ones CTervala's members store), so parameters, residuals and sigma are the
// members' doubles. This file adds the input checks, the verdict on the
// geometry and the covariance in the parameters' own units.
#include "tervala/Fit.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Angles.h"
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
    const char* name = "2D Helmert fit";
    checkSizes(name, source.size(), target.size(), 2);
    const int points = static_cast<int>(source.size());
    std::vector<double> src(2 * source.size()), dst(2 * source.size());
    for (std::size_t k = 0; k < source.size(); ++k) {
        checkFinite(name, "source", k, {source[k].first, source[k].second});
        checkFinite(name, "target", k, {target[k].first, target[k].second});
        src[2 * k] = source[k].first;
        src[2 * k + 1] = source[k].second;
        dst[2 * k] = target[k].first;
        dst[2 * k + 1] = target[k].second;
    }
    const Helmert2DFit fit = tervala::fitHelmert2D(2 * points, src.data(), dst.data());
    const PlaneCoordinates origin{fit.origin[0], fit.origin[1]};  // the source centroid
    Helmert2DFitResult r{};
    // Coincident points determine the translations only.
    const int spread = estimation::spreadRank(src.data(), source.size(), 2);
    r.summary = summary(points, 2, 4, spread >= estimation::kHelmert2DRank ? 4 : 2, fit.sigma);

    // Covariance of (t2, t1, c, d) to that of (t1, t2, scale ppm, rotation ").
    const double t2 = fit.parameters[0], t1 = fit.parameters[1];
    const double m = 1 + fit.parameters[2] * 1e-6;
    const double theta = angles::arcsecondsToRadians(fit.parameters[3]);
    const double c = m * std::cos(theta), d = m * std::sin(theta), r2 = c * c + d * d;
    const double perRadian = 1 / (PI * angles::kArcsecondFactor);
    const double J[4][4] = {{0, 1, 0, 0},
                            {1, 0, 0, 0},
                            {0, 0, 1e6 * c / m, 1e6 * d / m},
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
    if (!r.summary.degenerate) {
        // The fit keeps the rotation in (-90, 90) degrees; a half turn more
        // shows as a factor below zero, which the type expresses as a
        // positive factor and a rotation turned by 180 degrees.
        double scale = p[2], rotation = p[3];
        if (m < 0) {
            scale = (-m - 1) * 1e6;
            rotation = rotation > 0 ? rotation - 648000.0 : rotation + 648000.0;
        }
        r.transformation = Helmert2D(t1, t2, scale, rotation, origin);
    }
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
    std::vector<double> xy(2 * positions.size());
    for (std::size_t k = 0; k < positions.size(); ++k) {
        checkFinite(name, "", k, {positions[k].first, positions[k].second, sourceHeights[k], targetHeights[k]});
        xy[2 * k] = positions[k].first;
        xy[2 * k + 1] = positions[k].second;
    }
    const HeightFit fit = tervala::fitHeightPlane(n, origin.first, origin.second, xy.data(), sourceHeights.data(),
                                                  targetHeights.data());

    HeightPlaneFitResult r{};
    r.residuals.assign(fit.residual.Data(), fit.residual.Data() + n);
    double vv = 0;
    for (double v : r.residuals)
        vv += v * v;
    const double variance = n > 3 ? vv / (n - 3) : 0.0;
    // Collinear positions leave the slope across their line open.
    r.summary = summary(n, 1, 3, 1 + std::min(estimation::spreadRank(xy.data(), positions.size(), 2),
                                                estimation::kHeightPlaneRank),
                        std::sqrt(variance));
    r.meanAccuracy = fit.meanAccuracy;

    double N[3][3] = {};
    for (std::size_t k = 0; k < positions.size(); ++k) {
        const double a[3] = {positions[k].first - origin.first, positions[k].second - origin.second, 1.0};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                N[i][j] += a[i] * a[j];
    }
    Numbra normal(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            normal(i + 1, j + 1) = N[i][j];
    const Numbra Q = Inv(normal);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.covariance[i][j] = Q(i + 1, j + 1) * variance;
    r.standardDeviations = standardDeviations(r.covariance);

    const std::array<double, 3> p{fit.parameters[0], fit.parameters[1], fit.parameters[2]};
    bool finite = allFinite(p);
    for (double v : r.residuals)
        finite = finite && std::isfinite(v);
    if (!finite)
        r.summary.degenerate = true;
    if (!r.summary.degenerate)
        r.transformation = HeightPlane(p[0], p[1], p[2], origin);
    return r;
}

HeightPlaneFitResult fitHeightPlane(const std::vector<PlaneCoordinates>& positions,
                                    const std::vector<double>& sourceHeights, const std::vector<double>& targetHeights)
{
    PlaneCoordinates origin{0.0, 0.0};
    if (!positions.empty()) {
        for (const PlaneCoordinates& p : positions) {
            origin.first += p.first;
            origin.second += p.second;
        }
        origin.first /= static_cast<double>(positions.size());
        origin.second /= static_cast<double>(positions.size());
    }
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
    checkSizes(name, source.size(), target.size(), 3);
    if (convention != Convention::PositionVector && convention != Convention::CoordinateFrame)
        throw std::invalid_argument(std::string(name) + ": unknown rotation convention");
    const int points = static_cast<int>(source.size());
    const int n = 3 * points;
    std::vector<double> src(static_cast<std::size_t>(n)), dst(static_cast<std::size_t>(n));
    for (std::size_t k = 0; k < source.size(); ++k) {
        checkFinite(name, "source", k, {source[k].x, source[k].y, source[k].z});
        checkFinite(name, "target", k, {target[k].x, target[k].y, target[k].z});
        src[3 * k] = source[k].x;
        src[3 * k + 1] = source[k].y;
        src[3 * k + 2] = source[k].z;
        dst[3 * k] = target[k].x;
        dst[3 * k + 1] = target[k].y;
        dst[3 * k + 2] = target[k].z;
    }
    SevenFit r{};
    const Vec3 origin = model == SevenParameterModel::BursaWolf ? Vec3{0, 0, 0} : sourceCentroid(n, src.data());
    r.fit = fitSevenParameters(n, src.data(), dst.data(), origin, model);

    // Coincident points fix the translations only; collinear ones leave the
    // rotation about their line open.
    const int span = std::min(estimation::spreadRank(src.data(), source.size(), 3), estimation::kSevenParameterRank);
    r.summary = summary(points, 3, 7, span == 0 ? 3 : (span == 1 ? 6 : 7), r.fit.sigma);
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

} // namespace tervala
