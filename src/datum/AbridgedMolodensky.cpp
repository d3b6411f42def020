// Abridged Molodensky shifts on the object's current ellipsoid.
#include "datum/AbridgedMolodensky.h"

#include <cmath>

#include "core/Access.h"
#include "core/Angles.h"
#include "tervala/Tervala.h"

namespace tervala {

MolodenskyShift abridgedMolodensky(const EllipsoidConstants& e, double latitude, double longitude, const DatumShift& d)
{
    const double phi = angles::toRadians(latitude);
    const double lambda = angles::toRadians(longitude);
    const double sinPhi = std::sin(phi), cosPhi = std::cos(phi);
    const double sinLambda = std::sin(lambda), cosLambda = std::cos(lambda);
    const double sinSqPhi = sinPhi * sinPhi;

    const double W2 = 1 - e.e2 * sinSqPhi;
    const double N = e.a / std::sqrt(W2);                      // prime vertical radius
    const double M = (1 - e.e2) * e.a / std::pow(W2, 1.5);     // meridian radius
    const double K = e.a * d.df + e.f * d.da;

    const double dPhi =
        (K * std::sin(2 * phi) - (d.dY * sinLambda * sinPhi + d.dX * cosLambda * sinPhi) + d.dZ * cosPhi) / M;
    const double dLambda = (d.dY * cosLambda - d.dX * sinLambda) / (cosPhi * N);
    const double dH =
        d.dY * sinLambda * cosPhi + d.dX * cosLambda * cosPhi + d.dZ * sinPhi - d.da + K * sinSqPhi;
    return MolodenskyShift{angles::toDegrees(dPhi), angles::toDegrees(dLambda), dH};
}

} // namespace tervala

void CTervala::Abridged_Molodensky_Transform(double lat, double lon, double dX, double dY, double dZ, double da,
                                             double df)
{
    const tervala::MolodenskyShift s = tervala::abridgedMolodensky(tervala::TervalaAccess::ellipsoid(*this), lat, lon,
                                                                 tervala::DatumShift{dX, dY, dZ, da, df});
    m_dLLH[0] = s.dLatitude;
    m_dLLH[1] = s.dLongitude;
    m_dLLH[2] = s.dHeight;
}
