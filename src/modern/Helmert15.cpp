// tervala::Helmert15: the seven parameters at the coordinate epoch, the
// rotation matrix formed for that epoch and applied with the seven-parameter
// arithmetic of datum/SevenParameter.h.
#include "tervala/Helmert15.hpp"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "core/Angles.h"
#include "datum/SevenParameter.h"
#include "modern/ModernAccess.h"

namespace tervala {
namespace {

using modern::kNaN;

constexpr double kMaxRotation = 648000.0;  // arc-seconds

void check(const char* name, double v, const char* unit, double limit = HUGE_VAL)
{
    if (!(std::isfinite(v) && std::fabs(v) <= limit)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        throw std::invalid_argument(std::string("time-dependent Helmert transformation: ") + name + " = " + buf +
                                    " must be finite" + (limit < HUGE_VAL ? " and at most 648000 in size" : "") +
                                    " (" + unit + ")");
    }
}

// The matrix of the coordinate-frame rotations a, b, c (arc-seconds).
void rotationMatrix(double a, double b, double c, Rotations form, double (&r)[3][3])
{
    if (form == Rotations::Exact) {
        const SevenParameterRotation R = sevenParameterRotation(a, b, c);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                r[i][j] = R.r[i][j];
        return;
    }
    const double x = angles::arcsecondsToRadians(a), y = angles::arcsecondsToRadians(b),
                 z = angles::arcsecondsToRadians(c);
    const double m[3][3] = {{1.0, z, -y}, {-z, 1.0, x}, {y, -x, 1.0}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = m[i][j];
}

} // namespace

Helmert15::Helmert15(const HelmertValues& v, const HelmertValues& d, double tRef, Convention convention,
                     Rotations rotations)
    : values_(v), rates_(d), tRef_(tRef), convention_(convention), rotations_(rotations)
{
    check("tx", v.tx, "metres");
    check("ty", v.ty, "metres");
    check("tz", v.tz, "metres");
    check("s", v.s, "ppm");
    if (!(v.s > -1e6))
        throw std::invalid_argument("time-dependent Helmert transformation: scale s must be greater than -1e6 ppm");
    check("rx", v.rx, "arc-seconds", kMaxRotation);
    check("ry", v.ry, "arc-seconds", kMaxRotation);
    check("rz", v.rz, "arc-seconds", kMaxRotation);
    check("dtx", d.tx, "metres per year");
    check("dty", d.ty, "metres per year");
    check("dtz", d.tz, "metres per year");
    check("ds", d.s, "ppm per year");
    check("drx", d.rx, "arc-seconds per year");
    check("dry", d.ry, "arc-seconds per year");
    check("drz", d.rz, "arc-seconds per year");
    check("t_ref", tRef, "decimal years");
    if (convention != Convention::PositionVector && convention != Convention::CoordinateFrame)
        throw std::invalid_argument("time-dependent Helmert transformation: unknown rotation convention");
    if (rotations != Rotations::Exact && rotations != Rotations::SmallAngle)
        throw std::invalid_argument("time-dependent Helmert transformation: unknown rotation form");
}

HelmertValues Helmert15::at(double epoch) const
{
    const double dt = epoch - tRef_;
    return HelmertValues{values_.tx + rates_.tx * dt, values_.ty + rates_.ty * dt, values_.tz + rates_.tz * dt,
                         values_.s + rates_.s * dt,   values_.rx + rates_.rx * dt, values_.ry + rates_.ry * dt,
                         values_.rz + rates_.rz * dt};
}

namespace {

// The parameters at `epoch` as a matrix (coordinate frame), a factor and a
// translation; false where they leave their ranges.
bool prepare(const Helmert15& h, double epoch, double (&r)[3][3], double& m, Vec3& t)
{
    if (!std::isfinite(epoch))
        return false;
    const HelmertValues p = h.at(epoch);
    if (!(p.s > -1e6) || !(std::fabs(p.rx) <= kMaxRotation && std::fabs(p.ry) <= kMaxRotation &&
                           std::fabs(p.rz) <= kMaxRotation))
        return false;
    const double sign = h.convention() == Convention::CoordinateFrame ? 1.0 : -1.0;
    rotationMatrix(sign * p.rx, sign * p.ry, sign * p.rz, h.rotations(), r);
    m = angles::scaleFactorFromPpm(p.s);
    t = Vec3{p.tx, p.ty, p.tz};
    return true;
}

const Geocentric kNoPoint{kNaN, kNaN, kNaN};

} // namespace

Geocentric Helmert15::forward(const Geocentric& p, double epoch) const
{
    double r[3][3], m;
    Vec3 t;
    if (!prepare(*this, epoch, r, m, t))
        return kNoPoint;
    const Vec3 q = scaleRotateTranslate(r, m, t, Vec3{p.x, p.y, p.z});
    return Geocentric{q.x, q.y, q.z};
}

Geocentric Helmert15::inverse(const Geocentric& p, double epoch) const
{
    double r[3][3], m;
    Vec3 t;
    if (!prepare(*this, epoch, r, m, t))
        return kNoPoint;
    const double u[3] = {(p.x - t.x) / m, (p.y - t.y) / m, (p.z - t.z) / m};
    double inv[3][3];
    if (rotations_ == Rotations::Exact) {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                inv[i][j] = r[j][i];
    } else {
        // The first-order matrix is not orthogonal: its inverse by cofactors.
        const double c00 = r[1][1] * r[2][2] - r[1][2] * r[2][1];
        const double c01 = r[1][2] * r[2][0] - r[1][0] * r[2][2];
        const double c02 = r[1][0] * r[2][1] - r[1][1] * r[2][0];
        const double det = r[0][0] * c00 + r[0][1] * c01 + r[0][2] * c02;
        inv[0][0] = c00 / det;
        inv[1][0] = c01 / det;
        inv[2][0] = c02 / det;
        inv[0][1] = (r[0][2] * r[2][1] - r[0][1] * r[2][2]) / det;
        inv[1][1] = (r[0][0] * r[2][2] - r[0][2] * r[2][0]) / det;
        inv[2][1] = (r[0][1] * r[2][0] - r[0][0] * r[2][1]) / det;
        inv[0][2] = (r[0][1] * r[1][2] - r[0][2] * r[1][1]) / det;
        inv[1][2] = (r[0][2] * r[1][0] - r[0][0] * r[1][2]) / det;
        inv[2][2] = (r[0][0] * r[1][1] - r[0][1] * r[1][0]) / det;
    }
    return Geocentric{inv[0][0] * u[0] + inv[0][1] * u[1] + inv[0][2] * u[2],
                      inv[1][0] * u[0] + inv[1][1] * u[1] + inv[1][2] * u[2],
                      inv[2][0] * u[0] + inv[2][1] * u[1] + inv[2][2] * u[2]};
}

Geocentric moveByVelocity(const Geocentric& p, const Geocentric& v, double from, double to)
{
    const double dt = to - from;
    const Geocentric q{p.x + v.x * dt, p.y + v.y * dt, p.z + v.z * dt};
    if (!std::isfinite(q.x) || !std::isfinite(q.y) || !std::isfinite(q.z))
        return kNoPoint;
    return q;
}

Geocentric moveOnPlate(const Helmert15& plate, const Geocentric& p, double from, double to)
{
    if (!std::isfinite(from))
        return kNoPoint;
    // The rates over the interval: the model's own reference epoch (often
    // left at 0 in published files) does not enter.
    const Helmert15 step(HelmertValues{0, 0, 0, 0, 0, 0, 0}, plate.rates(), from, plate.convention(),
                         plate.rotations());
    return step.forward(p, to);
}

} // namespace tervala
