// Not built yet: the datum members store nothing and leave NaN results until
// the datum transformation code replaces this file.
#include <limits>

#include "tervala/Tervala.h"

namespace {
const double kNaN = std::numeric_limits<double>::quiet_NaN();
}

void CTervala::Set2DHelmert(double, double, double, double) {}
void CTervala::SetHeightTrans(double, double, double) {}
void CTervala::Helmert2D(double, double, double, double) { m_2DH[0] = m_2DH[1] = kNaN; }
void CTervala::HeightTrans(double, double, double, double, double) { m_2DH[2] = kNaN; }
void CTervala::SetParameters_Bursa_WolfModel(double, double, double, double, double, double, double) {}
void CTervala::Bursa_WolfModel(double, double, double) { m_Geocentric[0] = m_Geocentric[1] = m_Geocentric[2] = kNaN; }
void CTervala::Inv_Bursa_WolfModel(double&, double&, double&) { m_Geocentric[0] = m_Geocentric[1] = m_Geocentric[2] = kNaN; }
void CTervala::SetParameters_Molodensky_BadekasModel(double, double, double, double, double, double, double, double,
                                                     double, double)
{
}
void CTervala::Molodensky_BadekasModel(double, double, double) { m_Geocentric[0] = m_Geocentric[1] = m_Geocentric[2] = kNaN; }
void CTervala::Inv_Molodensky_BadekasModel(double&, double&, double&)
{
    m_Geocentric[0] = m_Geocentric[1] = m_Geocentric[2] = kNaN;
}
void CTervala::Abridged_Molodensky_Transform(double, double, double, double, double, double, double)
{
    m_dLLH[0] = m_dLLH[1] = m_dLLH[2] = kNaN;
}
