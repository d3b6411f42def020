// Not built yet: the projection members leave NaN results until the
// Transverse Mercator and UTM code replaces this file.
#include <limits>

#include "tervala/Tervala.h"

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
}

void CTervala::Geodetic_to_TM(double&, double&, double, double, double, double&, double&, double&)
{
    m_TM[0] = m_TM[1] = m_TM[2] = kNaN;
}
void CTervala::TM_to_Geodetic(double&, double&, double, double, double, double&, double&, double&)
{
    m_Geodetic[0] = m_Geodetic[1] = m_Geodetic[2] = kNaN;
}
void CTervala::Geodetic_to_UTM(int, double&, double&, double&, double&)
{
    m_UTM[0] = m_UTM[1] = m_UTM[2] = kNaN;
}
void CTervala::UTM_to_Geodetic(int, double&, double&, double&, double&)
{
    m_Geodetic[0] = m_Geodetic[1] = m_Geodetic[2] = kNaN;
}
