// Ellipsoid set-up and the geodetic/geocentric conversions.
//
// The series coefficients are the classical ones in the third flattening n
// (Helmert's expansion of the meridian arc and its inverse), written as the
// decimal constants of the rational coefficients. Squares of a and b are
// taken with pow, as are the powers of n except n*n in the footpoint gamma:
// those choices fix the last bits of the stored constants.
#include "core/Ellipsoid.h"

#include <cmath>

#include "core/Access.h"
#include "core/Angles.h"

namespace tervala {

EllipsoidConstants makeEllipsoid(double a, double inverseFlattening)
{
    EllipsoidConstants e{};
    e.a = a;
    e.f = 1 / inverseFlattening;
    e.b = (1 - e.f) * a;
    const double a2 = std::pow(a, 2);
    const double b2 = std::pow(e.b, 2);
    e.e2 = (a2 - b2) / a2;
    e.ep2 = (a2 - b2) / b2;
    const double n = (a - e.b) / (a + e.b);
    e.n = n;

    const double n2 = std::pow(n, 2);
    const double n3 = std::pow(n, 3);
    const double n4 = std::pow(n, 4);
    const double n5 = std::pow(n, 5);

    e.arcAlpha = (a + e.b) / 2 * (1 + n2 * 0.25 + n4 * 0.015625);
    e.arcBeta = -1.5 * n + 0.5625 * n3 - 0.09375 * n5;
    e.arcGamma = 0.9375 * n2 - 0.46875 * n4;
    e.arcDelta = -0.7291666666666666 * n3 + 0.41015625 * n5;
    e.arcEpsilon = 0.615234375 * n4;

    // The footpoint divisor equals the arc factor; it is computed again.
    e.footAlpha = (a + e.b) / 2 * (1 + n2 * 0.25 + n4 * 0.015625);
    e.footBeta = 1.5 * n - 0.84375 * n3 + 0.525390625 * n5;
    e.footGamma = 1.3125 * (n * n) - 1.71875 * n4;
    e.footDelta = 1.5729166666666667 * n3 - 3.2578125 * n5;
    e.footEpsilon = 2.142578125 * n4;
    return e;
}

double meridianArc(const EllipsoidConstants& e, double phi)
{
    return e.arcAlpha * (phi + e.arcBeta * std::sin(2 * phi) + e.arcGamma * std::sin(4 * phi) +
                         e.arcDelta * std::sin(6 * phi) + e.arcEpsilon * std::sin(8 * phi));
}

} // namespace tervala

using tervala::TervalaAccess;

void CTervala::Setup_Ellipsoid(double a, double inverseFlattening)
{
    const tervala::EllipsoidConstants e = tervala::makeEllipsoid(a, inverseFlattening);
    m_a = e.a;
    m_f = e.f;
    m_b = e.b;
    m_e2 = e.e2;
    m_ep2 = e.ep2;
    m_n = e.n;
    m_ArcAlpha = e.arcAlpha;
    m_ArcBeta = e.arcBeta;
    m_ArcGamma = e.arcGamma;
    m_ArcDelta = e.arcDelta;
    m_ArcEpsilon = e.arcEpsilon;
    m_FootAlpha = e.footAlpha;
    m_FootBeta = e.footBeta;
    m_FootGamma = e.footGamma;
    m_FootDelta = e.footDelta;
    m_FootEpsilon = e.footEpsilon;
}

void CTervala::Geodetic_to_Geocentric(double& latitude, double& longitude, double& height)
{
    latitude = tervala::angles::toRadians(latitude);
    longitude = tervala::angles::toRadians(longitude);
    const tervala::Vec3 xyz = tervala::geodeticToGeocentric(TervalaAccess::ellipsoid(*this), latitude, longitude, height);
    m_Geocentric[0] = xyz.x;
    m_Geocentric[1] = xyz.y;
    m_Geocentric[2] = xyz.z;
}

void CTervala::Geocentric_to_Geodetic(double& X, double& Y, double& Z)
{
    const tervala::Geodetic g = tervala::geocentricToGeodetic(TervalaAccess::ellipsoid(*this), X, Y, Z);
    m_Geodetic[0] = g.latitude;
    m_Geodetic[1] = g.longitude;
    m_Geodetic[2] = g.height;
}
