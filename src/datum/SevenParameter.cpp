// Bursa-Wolf and Molodensky-Badekas transformations, forward and inverse, and
// the members that store their parameters and apply them to one point.
#include "datum/SevenParameter.h"


#include "core/BitKeyedCache.h"
#include "tervala/Numbra.h"
#include "tervala/Tervala.h"

namespace tervala {
namespace {

// The rotation matrix of the last three rotations seen on this thread, and,
// once an inverse has asked for it, Numbra's inverse of it: the sines,
// cosines and the 3 x 3 inversion are done once per parameter set instead of
// once per point.
struct RotationCache {
    SevenParameterRotation rotation;
    bool haveInverse;
    double inverse[3][3];
};

RotationCache& rotationFor(const SevenParameters& p)
{
    thread_local BitKeyedCache<3, RotationCache> cache;
    const double rotations[3] = {p.rx, p.ry, p.rz};
    return cache.get(rotations, [&] { return RotationCache{sevenParameterRotation(p.rx, p.ry, p.rz), false, {}}; });
}

Vec3 scaleRotateTranslate(const SevenParameters& p, const Vec3& d)
{
    return tervala::scaleRotateTranslate(rotationFor(p).rotation.r, angles::scaleFactorFromPpm(p.s),
                                         Vec3{p.tx, p.ty, p.tz}, d);
}

// Inv(R) v for the rotation of p, with v already reduced and divided by m.
// R is inverted as a general 3 x 3 matrix (not transposed), so the inverse
// stays the algebraic counterpart of the forward model whatever rounding R
// carries.
Vec3 inverseRotate(const SevenParameters& p, const Vec3& v)
{
    RotationCache& c = rotationFor(p);
    if (!c.haveInverse) {
        invertRotation(c.rotation, c.inverse);
        c.haveInverse = true;
    }
    return applyInverseRotation(c.inverse, v);
}

} // namespace

void invertRotation(const SevenParameterRotation& R, double (&inverse)[3][3])
{
    Numbra rotation(3, 3);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            rotation(i + 1, j + 1) = R.r[i][j];
    const Numbra inv = Inv(rotation);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            inverse[i][j] = inv(i + 1, j + 1);
}

Vec3 bursaWolfForward(const SevenParameters& p, const Vec3& x)
{
    return scaleRotateTranslate(p, x);
}

Vec3 bursaWolfInverse(const SevenParameters& p, const Vec3& x)
{
    const double m = angles::scaleFactorFromPpm(p.s);
    return inverseRotate(p, Vec3{(x.x - p.tx) / m, (x.y - p.ty) / m, (x.z - p.tz) / m});
}

Vec3 molodenskyBadekasForward(const SevenParameters& p, const Vec3& origin, const Vec3& x)
{
    const Vec3 moved = scaleRotateTranslate(p, Vec3{x.x - origin.x, x.y - origin.y, x.z - origin.z});
    return Vec3{moved.x + origin.x, moved.y + origin.y, moved.z + origin.z};
}

Vec3 molodenskyBadekasInverse(const SevenParameters& p, const Vec3& origin, const Vec3& x)
{
    const double m = angles::scaleFactorFromPpm(p.s);
    // The origin comes off first, then the translation, then the scale.
    const Vec3 u = inverseRotate(p, Vec3{(x.x - origin.x - p.tx) / m, (x.y - origin.y - p.ty) / m,
                                         (x.z - origin.z - p.tz) / m});
    return Vec3{u.x + origin.x, u.y + origin.y, u.z + origin.z};
}

} // namespace tervala

namespace {

void store(double (&out)[3], const tervala::Vec3& v)
{
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

} // namespace

void CTervala::SetParameters_Bursa_WolfModel(double tx, double ty, double tz, double s, double rx, double ry,
                                             double rz)
{
    const double p[7] = {tx, ty, tz, s, rx, ry, rz};
    for (int i = 0; i < 7; ++i)
        m_SevenParameters[i] = p[i];
}

void CTervala::Bursa_WolfModel(double X, double Y, double Z)
{
    store(m_Geocentric, tervala::bursaWolfForward(tervala::SevenParameters::fromArray(m_SevenParameters),
                                                  tervala::Vec3{X, Y, Z}));
}

void CTervala::Inv_Bursa_WolfModel(double& X, double& Y, double& Z)
{
    store(m_Geocentric, tervala::bursaWolfInverse(tervala::SevenParameters::fromArray(m_SevenParameters),
                                                  tervala::Vec3{X, Y, Z}));
}

void CTervala::SetParameters_Molodensky_BadekasModel(double X0, double Y0, double Z0, double tx, double ty,
                                                     double tz, double s, double rx, double ry, double rz)
{
    m_RotOrigin[0] = X0;
    m_RotOrigin[1] = Y0;
    m_RotOrigin[2] = Z0;
    SetParameters_Bursa_WolfModel(tx, ty, tz, s, rx, ry, rz);
}

void CTervala::Molodensky_BadekasModel(double X, double Y, double Z)
{
    store(m_Geocentric,
          tervala::molodenskyBadekasForward(tervala::SevenParameters::fromArray(m_SevenParameters),
                                            tervala::Vec3{m_RotOrigin[0], m_RotOrigin[1], m_RotOrigin[2]},
                                            tervala::Vec3{X, Y, Z}));
}

void CTervala::Inv_Molodensky_BadekasModel(double& X, double& Y, double& Z)
{
    store(m_Geocentric,
          tervala::molodenskyBadekasInverse(tervala::SevenParameters::fromArray(m_SevenParameters),
                                            tervala::Vec3{m_RotOrigin[0], m_RotOrigin[1], m_RotOrigin[2]},
                                            tervala::Vec3{X, Y, Z}));
}
