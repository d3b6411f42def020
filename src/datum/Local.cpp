// 2D Helmert and inclined-plane height transformations, and their setters.
#include "datum/Local.h"

#include <cmath>

#include "core/Angles.h"
#include "tervala/Tervala.h"

namespace tervala {

PlanePoint helmert2D(const Helmert2DParameters& p, double x0, double y0, double x, double y)
{
    const double theta = angles::arcsecondsToRadians(p.rotation);
    const double m = angles::scaleFactorFromPpm(p.scale);
    return helmert2DApply(m, std::cos(theta), std::sin(theta), p.t1, p.t2, x0, y0, x, y);
}

} // namespace tervala

void CTervala::Set2DHelmert(double t1, double t2, double scale, double rotation)
{
    // Stored second coordinate first: [0] = t2, [1] = t1.
    m_2DHelmertParameters[0] = t2;
    m_2DHelmertParameters[1] = t1;
    m_2DHelmertParameters[2] = scale;
    m_2DHelmertParameters[3] = rotation;
}

void CTervala::SetHeightTrans(double a1, double a2, double c)
{
    m_HeightParameters[0] = a1;
    m_HeightParameters[1] = a2;
    m_HeightParameters[2] = c;
}

void CTervala::Helmert2D(double x0, double y0, double x, double y)
{
    const tervala::PlanePoint out =
        tervala::helmert2D(tervala::Helmert2DParameters::fromArray(m_2DHelmertParameters), x0, y0, x, y);
    m_2DH[0] = out.first;
    m_2DH[1] = out.second;
}

void CTervala::HeightTrans(double x0, double y0, double x, double y, double h)
{
    const tervala::HeightPlaneParameters q{m_HeightParameters[0], m_HeightParameters[1], m_HeightParameters[2]};
    m_2DH[2] = tervala::heightTransform(q, x0, y0, x, y, h);
}
