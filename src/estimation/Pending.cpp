// Not built yet: the estimators do nothing until the least-squares code
// replaces this file.
#include "tervala/Tervala.h"

void CTervala::Parameters_2DHelmert(int, double*, double*) {}
void CTervala::Parameters_HeightTrans(int, double, double, double*, double*, double*) {}
bool CTervala::SevenParameters_Bursa_WolfModel(int, double*, double*) { return false; }
bool CTervala::SevenParameters_Molodensky_BadekasModel(int, double*, double*) { return false; }
