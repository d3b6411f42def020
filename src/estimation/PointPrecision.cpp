// Precision where the points are: error ellipses of transformed positions,
// external reliability, and the seven-parameter tests turned into each
// point's local east/north/up frame. Everything here works on what a fit
// leaves in its PositionModel and its observation groups; the fits
// themselves do not change.
#include <algorithm>
#include <cmath>
#include <limits>

#include "core/Angles.h"
#include "estimation/Adjustment.h"

namespace tervala {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Semi-axes and direction of the ellipse of a 2 x 2 covariance (s11 along
// the first axis, s22 along the second): the square roots of its
// eigenvalues, and the angle of the major axis from the first axis towards
// the second in degrees, [0, 180).
void ellipseOf(double s11, double s12, double s22, PointEllipse& e)
{
    const double mean = 0.5 * (s11 + s22), half = 0.5 * (s11 - s22);
    const double radius = std::hypot(half, s12);
    e.semiMajor = std::sqrt(std::max(mean + radius, 0.0));
    e.semiMinor = std::sqrt(std::max(mean - radius, 0.0));
    double angle = angles::toDegrees(0.5 * std::atan2(2 * s12, s11 - s22));
    if (angle < 0)
        angle += 180;
    e.azimuth = angle >= 180 ? angle - 180 : angle;
    // A circle has no major axis; its direction would be rounding noise.
    if (radius <= 1e-9 * mean)
        e.azimuth = 0;
    e.sigmaFirst = std::sqrt(std::max(s11, 0.0));
    e.sigmaSecond = std::sqrt(std::max(s22, 0.0));
}

// C = a Q a' for the rows of one location.
void positionCovariance(const PositionModel& m, const PositionModel::Location& l, double C[3][3])
{
    double aQ[kMaxGroup][kMaxUnknowns] = {};
    for (int i = 0; i < m.rows; ++i)
        for (int k = 0; k < m.unknowns; ++k)
            for (int j = 0; j < m.unknowns; ++j)
                aQ[i][k] += l.a[i][j] * m.Q[j][k];
    for (int i = 0; i < m.rows; ++i)
        for (int j = 0; j < m.rows; ++j) {
            double sum = 0;
            for (int k = 0; k < m.unknowns; ++k)
                sum += aQ[i][k] * l.a[j][k];
            C[i][j] = sum;
        }
}

// M' C M for a 3 x 3 C and rows M: the covariance in the frame whose unit
// vectors are M's rows.
void rotate(const double M[3][3], const double C[3][3], double out[3][3])
{
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0;
            for (int k = 0; k < 3; ++k)
                for (int l = 0; l < 3; ++l)
                    sum += M[i][k] * C[k][l] * M[j][l];
            out[i][j] = sum;
        }
}

} // namespace

void localFrame(double latitude, double longitude, double enu[3][3])
{
    const double sl = std::sin(latitude), cl = std::cos(latitude);
    const double so = std::sin(longitude), co = std::cos(longitude);
    const double rows[3][3] = {{-so, co, 0}, {-sl * co, -sl * so, cl}, {cl * co, cl * so, sl}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            enu[i][j] = rows[i][j];
}

void modelShifts(const std::vector<ObservationGroup>& groups, int unknowns, const Numbra& Q, PositionModel& model)
{
    model.unknowns = unknowns;
    for (int i = 0; i < unknowns; ++i)
        for (int j = 0; j < unknowns; ++j)
            model.Q[i][j] = Q(i + 1, j + 1);
    model.shift.clear();
    for (const ObservationGroup& g : groups)
        for (int i = 0; i < g.size; ++i) {
            // A' P e_i: the design rows weighted by column i of P.
            double b[kMaxUnknowns] = {};
            for (int r = 0; r < g.size; ++r)
                for (int j = 0; j < unknowns; ++j)
                    b[j] += g.a[r][j] * g.P[r][i];
            std::array<double, kMaxUnknowns> dx{};
            for (int j = 0; j < unknowns; ++j)
                for (int k = 0; k < unknowns; ++k)
                    dx[j] += model.Q[j][k] * b[k];
            model.shift.push_back(dx);
        }
}

void pointPrecision(Adjustment& result, double confidence)
{
    const PositionModel& m = result.model;
    result.confidence = confidence;
    // sqrt(chi^2(P, 2)) = sqrt(-2 ln(1 - P)); exactly 1 for the standard ellipse.
    result.ellipseScale =
        confidence == kStandardEllipseConfidence ? 1.0 : std::sqrt(-2 * std::log1p(-confidence));
    result.ellipses.clear();
    if (m.rows == 0)
        return;
    for (const PositionModel::Location& l : m.locations) {
        if (l.point < 0 || m.rows < 2)
            continue;
        double C[3][3] = {};
        positionCovariance(m, l, C);
        PointEllipse e;
        e.point = l.point;
        if (m.local) {
            double L[3][3];
            rotate(l.enu, C, L);
            // North is the first axis, east the second.
            ellipseOf(L[1][1], L[0][1], L[0][0], e);
            e.sigmaUp = std::sqrt(std::max(L[2][2], 0.0));
        } else {
            ellipseOf(C[0][0], C[0][1], C[1][1], e);
        }
        e.semiMajor *= result.ellipseScale;
        e.semiMinor *= result.ellipseScale;
        result.ellipses.push_back(e);
    }
    // External reliability of each observation of the solution.
    const std::size_t count = std::min(m.shift.size(), result.observations.size());
    for (std::size_t i = 0; i < count; ++i) {
        ObservationTest& t = result.observations[i];
        t.external = kNaN;
        t.externalPoint = t.externalCorner = -1;
        if (!std::isfinite(t.mdb))
            continue;
        double largest = -1;
        for (const PositionModel::Location& l : m.locations) {
            double sum = 0;
            for (int r = 0; r < m.rows; ++r) {
                double d = 0;
                for (int j = 0; j < m.unknowns; ++j)
                    d += l.a[r][j] * m.shift[i][static_cast<std::size_t>(j)];
                sum += d * d;
            }
            const double length = std::sqrt(sum) * t.mdb;
            if (length > largest) {
                largest = length;
                t.externalPoint = l.point;
                t.externalCorner = l.corner;
            }
        }
        if (largest >= 0)
            t.external = largest;
    }
}

void localTests(const std::vector<ObservationGroup>& groups, const std::vector<int>& pointOf, int unknowns,
                const Numbra& Q, const std::vector<double>& v, const std::vector<std::array<double, 9>>& enu,
                Adjustment& result)
{
    result.local.clear();
    for (std::size_t gi = 0; gi < groups.size() && gi < enu.size(); ++gi) {
        const ObservationGroup& g = groups[gi];
        if (g.size != 3)
            continue;
        double Qll[3][3], Qvv[3][3], AQ[3][kMaxUnknowns] = {}, E[3][3];
        invertSmall(3, g.P, Qll);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                E[i][j] = enu[gi][static_cast<std::size_t>(3 * i + j)];
        for (int i = 0; i < 3; ++i)
            for (int k = 0; k < unknowns; ++k)
                for (int j = 0; j < unknowns; ++j)
                    AQ[i][k] += g.a[i][j] * Q(j + 1, k + 1);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                double aqa = 0;
                for (int k = 0; k < unknowns; ++k)
                    aqa += AQ[i][k] * g.a[j][k];
                Qvv[i][j] = Qll[i][j] - aqa;
            }
        // In the local frame: v_l = E v, Q_l = E Q E', P_l = E P E' (E is a
        // rotation). A bias of size b along the local direction c = E' e_k
        // moves the misclosures by c b, so its w-test is
        // c' P v / sqrt(c' P Qvv P c) = (P_l v_l)_k / sqrt((P_l Qvv_l P_l)_kk).
        double vl[3], Pl[3][3], Qvvl[3][3];
        for (int i = 0; i < 3; ++i) {
            vl[i] = 0;
            for (int j = 0; j < 3; ++j)
                vl[i] += E[i][j] * v[3 * gi + static_cast<std::size_t>(j)];
        }
        rotate(E, g.P, Pl);
        rotate(E, Qvv, Qvvl);
        for (int k = 0; k < 3; ++k) {
            double Plv = 0, PQvvP = 0, r = 0;
            for (int j = 0; j < 3; ++j) {
                Plv += Pl[k][j] * vl[j];
                r += Qvvl[k][j] * Pl[j][k];
                for (int l = 0; l < 3; ++l)
                    PQvvP += Pl[k][j] * Qvvl[j][l] * Pl[l][k];
            }
            ObservationTest t;
            t.point = pointOf[gi];
            t.coordinate = k;
            t.residual = vl[k];
            t.redundancy = r;
            const bool checked = r > 1e-9 && Qvvl[k][k] > 0 && PQvvP > 0;
            t.sigmaResidual = checked ? std::sqrt(Qvvl[k][k]) : 0.0;
            t.normalised = checked ? vl[k] / t.sigmaResidual : kNaN;
            t.w = checked ? Plv / std::sqrt(PQvvP) : kNaN;
            t.mdb = checked ? result.noncentralitySqrt / std::sqrt(PQvvP) : std::numeric_limits<double>::infinity();
            t.rejected = checked && std::fabs(t.w) > result.wCritical;
            result.local.push_back(t);
        }
    }
}

} // namespace tervala
