// Not built yet: the coefficient loader reports failure and the synthesis
// gives NaN until the EGM96 code replaces this file.
#include <limits>

#include "tervala/Tervala.h"

int CTervala::LoadEGMData(const char*) { return 0; }
double CTervala::EGM96GeoidHeight(double, double) { return std::numeric_limits<double>::quiet_NaN(); }
Numbra CTervala::DHCSIN(Numbra& coefficients, const char*) { return coefficients; }
Numbra CTervala::RADGRA(double&, double&) { return Numbra(); }
Numbra CTervala::LEGFDN(int, double&, Numbra& column, int&, Numbra&, Numbra&) { return column; }
Numbra CTervala::DSCML(double&) { return Numbra(); }
double CTervala::HUNDU(const Numbra&, const Numbra&, const Numbra&, double, double, const Numbra&, const Numbra&)
{
    return std::numeric_limits<double>::quiet_NaN();
}
