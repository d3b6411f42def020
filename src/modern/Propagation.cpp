// Linear propagation of parameter covariances through the transformations:
// the analytic Jacobians with respect to the parameters and J C J'.
#include "tervala/Propagation.hpp"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tervala {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kArcsecond = kPi / 648000.0;  // radians per arc-second

// J C J' for a J of R rows and P columns.
template <std::size_t R, std::size_t P>
std::array<std::array<double, R>, R> sandwich(const std::array<std::array<double, P>, R>& J,
                                              const std::array<std::array<double, P>, P>& C)
{
    std::array<std::array<double, P>, R> JC{};
    for (std::size_t i = 0; i < R; ++i)
        for (std::size_t k = 0; k < P; ++k) {
            double sum = 0;
            for (std::size_t j = 0; j < P; ++j)
                sum += J[i][j] * C[j][k];
            JC[i][k] = sum;
        }
    std::array<std::array<double, R>, R> out{};
    for (std::size_t i = 0; i < R; ++i)
        for (std::size_t l = 0; l < R; ++l) {
            double sum = 0;
            for (std::size_t k = 0; k < P; ++k)
                sum += JC[i][k] * J[l][k];
            out[i][l] = sum;
        }
    // Exactly symmetric, as a covariance is.
    for (std::size_t i = 0; i < R; ++i)
        for (std::size_t l = 0; l < i; ++l)
            out[i][l] = out[l][i] = 0.5 * (out[i][l] + out[l][i]);
    return out;
}

// A standard deviation from a variance that may be a rounding-level
// negative (J C J' of a positive semi-definite C); NaN stays NaN.
double root(double variance) { return std::isnan(variance) ? variance : std::sqrt(std::max(variance, 0.0)); }

// The derivatives of the coordinate-frame rotation matrix with respect to
// its three angles a, b, c (radians), exact R = R3(c) R2(b) R1(a) or the
// small-angle form [[1, c, -b], [-c, 1, a], [b, -a, 1]].
void rotationDerivatives(double a, double b, double c, RotationForm form, double (&d)[3][3][3])
{
    if (form == RotationForm::small_angle) {
        const double da[3][3] = {{0, 0, 0}, {0, 0, 1}, {0, -1, 0}};
        const double db[3][3] = {{0, 0, -1}, {0, 0, 0}, {1, 0, 0}};
        const double dc[3][3] = {{0, 1, 0}, {-1, 0, 0}, {0, 0, 0}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                d[0][i][j] = da[i][j];
                d[1][i][j] = db[i][j];
                d[2][i][j] = dc[i][j];
            }
        return;
    }
    const double sa = std::sin(a), ca = std::cos(a), sb = std::sin(b), cb = std::cos(b), sc = std::sin(c),
                 cc = std::cos(c);
    const double da[3][3] = {{0, cc * sb * ca - sc * sa, sc * ca + cc * sb * sa},
                             {0, -cc * sa - sc * sb * ca, cc * ca - sc * sb * sa},
                             {0, -cb * ca, -cb * sa}};
    const double db[3][3] = {{-cc * sb, cc * cb * sa, -cc * cb * ca},
                             {sc * sb, -sc * cb * sa, sc * cb * ca},
                             {cb, sb * sa, -sb * ca}};
    const double dc[3][3] = {{-sc * cb, cc * ca - sc * sb * sa, cc * sa + sc * sb * ca},
                             {-cc * cb, -sc * ca - cc * sb * sa, cc * sb * ca - sc * sa},
                             {0, 0, 0}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            d[0][i][j] = da[i][j];
            d[1][i][j] = db[i][j];
            d[2][i][j] = dc[i][j];
        }
}

// The Jacobian of m R d + t with respect to the seven parameters of `p`, for
// d the point less the origin. R d is forward(d) of the set without
// translations, divided by m.
std::array<std::array<double, 7>, 3> sevenJacobian(const Helmert7& p, const Geocentric& d)
{
    const Helmert7 rotateScale(0, 0, 0, p.s(), p.rx(), p.ry(), p.rz(), p.convention(), p.rotations());
    const Geocentric q = rotateScale.forward(d);  // m R d
    const double m = 1.0 + p.s() * 1e-6;
    // Position vector angles are the coordinate-frame angles negated.
    const double sign = p.convention() == Convention::CoordinateFrame ? 1.0 : -1.0;
    double dR[3][3][3];
    rotationDerivatives(sign * p.rx() * kArcsecond, sign * p.ry() * kArcsecond, sign * p.rz() * kArcsecond,
                        p.rotations(), dR);
    std::array<std::array<double, 7>, 3> J{};
    const double v[3] = {d.x, d.y, d.z};
    const double rd[3] = {q.x / m, q.y / m, q.z / m};
    for (int i = 0; i < 3; ++i) {
        J[i][i] = 1.0;
        J[i][3] = 1e-6 * rd[i];
        for (int k = 0; k < 3; ++k)
            J[i][4 + k] = sign * kArcsecond * m * (dR[k][i][0] * v[0] + dR[k][i][1] * v[1] + dR[k][i][2] * v[2]);
    }
    return J;
}

// The inverse's Jacobian at the source point x: -(m R)^-1 J(x), with
// (m R)^-1 applied as the set's own inverse without translations.
std::array<std::array<double, 7>, 3> inverseJacobian(const Helmert7& p, const std::array<std::array<double, 7>, 3>& J)
{
    const Helmert7 rotateScale(0, 0, 0, p.s(), p.rx(), p.ry(), p.rz(), p.convention(), p.rotations());
    std::array<std::array<double, 7>, 3> out{};
    for (int k = 0; k < 7; ++k) {
        const Geocentric u = rotateScale.inverse(Geocentric{J[0][k], J[1][k], J[2][k]});
        out[0][k] = -u.x;
        out[1][k] = -u.y;
        out[2][k] = -u.z;
    }
    return out;
}

GeocentricPrecision geocentricPrecision(const Covariance3& c)
{
    return GeocentricPrecision{c, root(c[0][0]), root(c[1][1]), root(c[2][2])};
}

} // namespace

ErrorEllipse errorEllipse(const PlaneCovariance& c)
{
    const double mean = 0.5 * (c[0][0] + c[1][1]);
    const double half = 0.5 * (c[0][0] - c[1][1]);
    const double radius = std::hypot(half, c[0][1]);
    double azimuth = 0.5 * std::atan2(2.0 * c[0][1], c[0][0] - c[1][1]) * 180.0 / kPi;
    if (azimuth < 0)
        azimuth += 180.0;
    // A circle (to rounding) has no direction: its azimuth is 0.
    if (radius <= 1e-12 * mean)
        azimuth = 0;
    return ErrorEllipse{root(mean + radius), root(mean - radius), azimuth};
}

std::array<std::array<double, 4>, 2> parameterJacobian(const Helmert2D& t, const PlaneCoordinates& p)
{
    const double dx = p.first - t.origin().first, dy = p.second - t.origin().second;
    const double r = t.rotation() * kArcsecond, cr = std::cos(r), sr = std::sin(r);
    const double m = 1.0 + t.scale() * 1e-6;
    return {{{1.0, 0.0, 1e-6 * (cr * dx - sr * dy), m * kArcsecond * (-sr * dx - cr * dy)},
             {0.0, 1.0, 1e-6 * (sr * dx + cr * dy), m * kArcsecond * (cr * dx - sr * dy)}}};
}

std::array<double, 3> parameterJacobian(const HeightPlane& t, const PlaneCoordinates& position)
{
    return {position.first - t.origin().first, position.second - t.origin().second, 1.0};
}

std::array<std::array<double, 7>, 3> parameterJacobian(const Helmert7& t, const Geocentric& point)
{
    return sevenJacobian(t, point);
}

std::array<std::array<double, 7>, 3> parameterJacobian(const MolodenskyBadekas& t, const Geocentric& point)
{
    const Geocentric& o = t.origin();
    return sevenJacobian(t.parameters(), Geocentric{point.x - o.x, point.y - o.y, point.z - o.z});
}

PlanePrecision propagate(const Helmert2D& t, const std::array<std::array<double, 4>, 4>& covariance,
                         const PlaneCoordinates& point)
{
    const PlaneCovariance c = sandwich(parameterJacobian(t, point), covariance);
    return PlanePrecision{c, root(c[0][0]), root(c[1][1]), errorEllipse(c)};
}

double propagate(const HeightPlane& t, const std::array<std::array<double, 3>, 3>& covariance,
                 const PlaneCoordinates& position)
{
    const std::array<std::array<double, 3>, 1> J{{parameterJacobian(t, position)}};
    return root(sandwich(J, covariance)[0][0]);
}

GeocentricPrecision propagate(const Helmert7& t, const std::array<std::array<double, 7>, 7>& covariance,
                              const Geocentric& point, Direction direction)
{
    if (direction == Direction::forward)
        return geocentricPrecision(sandwich(parameterJacobian(t, point), covariance));
    const Geocentric source = t.inverse(point);
    return geocentricPrecision(sandwich(inverseJacobian(t, parameterJacobian(t, source)), covariance));
}

GeocentricPrecision propagate(const MolodenskyBadekas& t, const std::array<std::array<double, 7>, 7>& covariance,
                              const Geocentric& point, Direction direction)
{
    if (direction == Direction::forward)
        return geocentricPrecision(sandwich(parameterJacobian(t, point), covariance));
    const Geocentric source = t.inverse(point);
    return geocentricPrecision(
        sandwich(inverseJacobian(t.parameters(), parameterJacobian(t, source)), covariance));
}

LocalPrecision localPrecision(const Covariance3& c, double latitude, double longitude)
{
    const double phi = latitude * kPi / 180.0, lambda = longitude * kPi / 180.0;
    const double sp = std::sin(phi), cp = std::cos(phi), sl = std::sin(lambda), cl = std::cos(lambda);
    // Rows: the north, east and up unit vectors in geocentric axes.
    const std::array<std::array<double, 3>, 3> E{{{-sp * cl, -sp * sl, cp}, {-sl, cl, 0.0}, {cp * cl, cp * sl, sp}}};
    const Covariance3 l = sandwich(E, c);
    return LocalPrecision{l, root(l[0][0]), root(l[1][1]), root(l[2][2]),
                          errorEllipse(PlaneCovariance{{{l[0][0], l[0][1]}, {l[1][0], l[1][1]}}})};
}

namespace {

template <typename Fit>
const auto& transformationOf(const Fit& fit)
{
    if (!fit.transformation)
        throw std::invalid_argument("the fit has no transformation (degenerate geometry): nothing to propagate");
    return *fit.transformation;
}

} // namespace

PlanePrecision propagate(const Helmert2DFitResult& fit, const PlaneCoordinates& point)
{
    return propagate(transformationOf(fit), fit.covariance, point);
}

double propagate(const HeightPlaneFitResult& fit, const PlaneCoordinates& position)
{
    return propagate(transformationOf(fit), fit.covariance, position);
}

GeocentricPrecision propagate(const Helmert7FitResult& fit, const Geocentric& point)
{
    return propagate(transformationOf(fit), fit.covariance, point);
}

GeocentricPrecision propagate(const MolodenskyBadekasFitResult& fit, const Geocentric& point)
{
    return propagate(transformationOf(fit), fit.covariance, point);
}

} // namespace tervala
