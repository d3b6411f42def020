// The datum and local transformation types over the internal functions of
// datum/: the rotation matrix, its inverse, the scale factor and the 2D
// Helmert sine and cosine are formed once at construction, and every point
// goes through the same arithmetic as CTervala's members.
#include "tervala/Datum.hpp"

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "core/Angles.h"
#include "datum/AbridgedMolodensky.h"
#include "datum/Local.h"
#include "datum/SevenParameter.h"
#include "modern/ModernAccess.h"
#include "projection/Domain.h"

namespace tervala {
namespace {

using modern::kNaN;

// Half a turn in arc-seconds: larger rotations are refused as input slips.
constexpr double kMaxRotationArcseconds = 648000.0;

std::string number(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

void requireFinite(const char* type, const char* name, double v, const char* unit)
{
    if (!std::isfinite(v))
        throw std::invalid_argument(std::string(type) + ": " + name + " = " + number(v) + " must be finite (" + unit +
                                    ")");
}

void requireScale(const char* type, double s)
{
    if (!(std::isfinite(s) && s > -1e6))
        throw std::invalid_argument(std::string(type) + ": scale s = " + number(s) +
                                    " ppm must be finite and greater than -1e6 (a positive factor 1 + s 1e-6)");
}

void requireRotation(const char* type, const char* name, double r)
{
    if (!(std::fabs(r) <= kMaxRotationArcseconds))
        throw std::invalid_argument(std::string(type) + ": rotation " + name + " = " + number(r) +
                                    " arc-seconds must be finite and at most 648000 (180 degrees) in size");
}

Vec3 vec(const Geocentric& p) { return Vec3{p.x, p.y, p.z}; }
Geocentric point(const Vec3& v) { return Geocentric{v.x, v.y, v.z}; }

} // namespace

// ---- Helmert7 ----------------------------------------------------------------

Helmert7::Helmert7(double tx, double ty, double tz, double s, double rx, double ry, double rz, Convention convention,
                   RotationForm rotations)
    : tx_(tx), ty_(ty), tz_(tz), s_(s), rx_(rx), ry_(ry), rz_(rz), convention_(convention), rotations_(rotations)
{
    const char* type = "seven-parameter transformation";
    requireFinite(type, "tx", tx, "metres");
    requireFinite(type, "ty", ty, "metres");
    requireFinite(type, "tz", tz, "metres");
    requireScale(type, s);
    requireRotation(type, "rx", rx);
    requireRotation(type, "ry", ry);
    requireRotation(type, "rz", rz);
    if (convention != Convention::PositionVector && convention != Convention::CoordinateFrame)
        throw std::invalid_argument("seven-parameter transformation: unknown rotation convention");
    if (rotations != RotationForm::exact && rotations != RotationForm::small_angle)
        throw std::invalid_argument("seven-parameter transformation: unknown rotation form (exact or small_angle)");
    // The internal functions work in the coordinate-frame convention; the
    // other one differs in the signs of the rotations (sin(-a) = -sin(a)
    // exactly, so nothing else changes; the small-angle matrix of negated
    // angles is the transpose, as position vector's small-angle matrix is).
    const double sign = convention == Convention::CoordinateFrame ? 1.0 : -1.0;
    const SevenParameterRotation R = rotations == RotationForm::exact
                                         ? sevenParameterRotation(sign * rx, sign * ry, sign * rz)
                                         : sevenParameterSmallAngleRotation(sign * rx, sign * ry, sign * rz);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r_[i][j] = R.r[i][j];
    invertRotation(R, rInv_);
    m_ = angles::scaleFactorFromPpm(s);
}

Geocentric Helmert7::forward(const Geocentric& p) const
{
    return point(scaleRotateTranslate(r_, m_, Vec3{tx_, ty_, tz_}, vec(p)));
}

Geocentric Helmert7::inverse(const Geocentric& p) const
{
    return point(applyInverseRotation(rInv_, Vec3{(p.x - tx_) / m_, (p.y - ty_) / m_, (p.z - tz_) / m_}));
}

Helmert7 Helmert7::in(Convention convention) const
{
    if (convention == convention_)
        return *this;
    return Helmert7(tx_, ty_, tz_, s_, -rx_, -ry_, -rz_, convention, rotations_);
}

// ---- MolodenskyBadekas --------------------------------------------------------

namespace {

const Geocentric& checkedOrigin(const Geocentric& o)
{
    const char* type = "Molodensky-Badekas transformation";
    requireFinite(type, "origin x", o.x, "metres");
    requireFinite(type, "origin y", o.y, "metres");
    requireFinite(type, "origin z", o.z, "metres");
    return o;
}

} // namespace

MolodenskyBadekas::MolodenskyBadekas(double tx, double ty, double tz, double s, double rx, double ry, double rz,
                                     Convention convention, const Geocentric& origin, RotationForm rotations)
    : parameters_(tx, ty, tz, s, rx, ry, rz, convention, rotations), origin_(checkedOrigin(origin))
{
}

Geocentric MolodenskyBadekas::forward(const Geocentric& p) const
{
    const Helmert7& h = parameters_;
    const Vec3 moved = scaleRotateTranslate(ModernAccess::rotation(h), ModernAccess::factor(h),
                                            Vec3{h.tx(), h.ty(), h.tz()},
                                            Vec3{p.x - origin_.x, p.y - origin_.y, p.z - origin_.z});
    return Geocentric{moved.x + origin_.x, moved.y + origin_.y, moved.z + origin_.z};
}

Geocentric MolodenskyBadekas::inverse(const Geocentric& p) const
{
    const Helmert7& h = parameters_;
    const double m = ModernAccess::factor(h);
    // The origin comes off first, then the translation, then the scale.
    const Vec3 u = applyInverseRotation(ModernAccess::inverseRotation(h),
                                        Vec3{(p.x - origin_.x - h.tx()) / m, (p.y - origin_.y - h.ty()) / m,
                                             (p.z - origin_.z - h.tz()) / m});
    return Geocentric{u.x + origin_.x, u.y + origin_.y, u.z + origin_.z};
}

MolodenskyBadekas MolodenskyBadekas::in(Convention convention) const
{
    const Helmert7 h = parameters_.in(convention);
    return MolodenskyBadekas(h.tx(), h.ty(), h.tz(), h.s(), h.rx(), h.ry(), h.rz(), convention, origin_,
                             h.rotations());
}

// ---- AbridgedMolodensky ----------------------------------------------------------

AbridgedMolodensky::AbridgedMolodensky(const Ellipsoid& source, const Ellipsoid& target, double dx, double dy,
                                       double dz)
    : source_(source), target_(target), dx_(dx), dy_(dy), dz_(dz)
{
    const char* type = "abridged Molodensky transformation";
    requireFinite(type, "dx", dx, "metres");
    requireFinite(type, "dy", dy, "metres");
    requireFinite(type, "dz", dz, "metres");
}

GeodeticShift AbridgedMolodensky::shift(double latitude, double longitude) const
{
    if (!(std::fabs(latitude) < 90.0) || !std::isfinite(longitude))
        return GeodeticShift{kNaN, kNaN, kNaN};
    const DatumShift d{dx_, dy_, dz_, target_.a() - source_.a(), target_.flattening() - source_.flattening()};
    const MolodenskyShift s = abridgedMolodensky(ModernAccess::constants(source_), latitude, longitude, d);
    return GeodeticShift{s.dLatitude, s.dLongitude, s.dHeight};
}

Geodetic AbridgedMolodensky::forward(const Geodetic& p) const
{
    const GeodeticShift s = shift(p.latitude, p.longitude);
    if (std::isnan(s.latitude) || !std::isfinite(p.height))
        return Geodetic{kNaN, kNaN, kNaN};
    return Geodetic{p.latitude + s.latitude, reduceLongitude(p.longitude + s.longitude), p.height + s.height};
}

AbridgedMolodensky AbridgedMolodensky::reversed() const
{
    return AbridgedMolodensky(target_, source_, -dx_, -dy_, -dz_);
}

// ---- Helmert2D ------------------------------------------------------------------

Helmert2D::Helmert2D(double t1, double t2, double scale, double rotation, const PlaneCoordinates& origin)
    : t1_(t1), t2_(t2), scale_(scale), rotation_(rotation), origin_(origin)
{
    const char* type = "2D Helmert transformation";
    requireFinite(type, "t1", t1, "metres");
    requireFinite(type, "t2", t2, "metres");
    requireScale(type, scale);
    requireRotation(type, "rotation", rotation);
    requireFinite(type, "origin first", origin.first, "metres");
    requireFinite(type, "origin second", origin.second, "metres");
    const double theta = angles::arcsecondsToRadians(rotation);
    m_ = angles::scaleFactorFromPpm(scale);
    cos_ = std::cos(theta);
    sin_ = std::sin(theta);
}

PlaneCoordinates Helmert2D::forward(const PlaneCoordinates& p) const
{
    const PlanePoint q = helmert2DApply(m_, cos_, sin_, t1_, t2_, origin_.first, origin_.second, p.first, p.second);
    return PlaneCoordinates{q.first, q.second};
}

PlaneCoordinates Helmert2D::inverse(const PlaneCoordinates& p) const
{
    const double u = (p.first - t1_ - origin_.first) / m_;
    const double v = (p.second - t2_ - origin_.second) / m_;
    return PlaneCoordinates{cos_ * u + sin_ * v + origin_.first, -sin_ * u + cos_ * v + origin_.second};
}

// ---- HeightPlane -------------------------------------------------------------------

HeightPlane::HeightPlane(double slope1, double slope2, double shift, const PlaneCoordinates& origin)
    : slope1_(slope1), slope2_(slope2), shift_(shift), origin_(origin)
{
    const char* type = "height plane";
    requireFinite(type, "slope1", slope1, "metre per metre");
    requireFinite(type, "slope2", slope2, "metre per metre");
    requireFinite(type, "shift", shift, "metres");
    requireFinite(type, "origin first", origin.first, "metres");
    requireFinite(type, "origin second", origin.second, "metres");
}

double HeightPlane::forward(const PlaneCoordinates& position, double height) const
{
    return heightTransform(HeightPlaneParameters{slope1_, slope2_, shift_}, origin_.first, origin_.second,
                           position.first, position.second, height);
}

double HeightPlane::inverse(const PlaneCoordinates& position, double height) const
{
    return height - heightTransform(HeightPlaneParameters{slope1_, slope2_, shift_}, origin_.first, origin_.second,
                                    position.first, position.second, 0.0);
}

} // namespace tervala
