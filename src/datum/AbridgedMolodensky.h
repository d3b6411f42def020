// The abridged Molodensky formulas: the shifts of latitude, longitude and
// ellipsoidal height caused by a datum change given as a geocentric shift of
// the origin (dX, dY, dZ) and the changes of the semi-major axis (da) and the
// flattening (df). The shape in the formulas is the source ellipsoid.
//
// Reference: the abridged form of Molodensky's formulas as in DMA TR 8350.2
// (WGS 84, its definition and relationships with local geodetic systems).
#ifndef TERVALA_DATUM_ABRIDGEDMOLODENSKY_H
#define TERVALA_DATUM_ABRIDGEDMOLODENSKY_H

#include "core/Ellipsoid.h"

namespace tervala {

struct DatumShift {
    double dX, dY, dZ;  // metres
    double da;          // metres
    double df;          // dimensionless
};

struct MolodenskyShift {
    double dLatitude;   // degrees
    double dLongitude;  // degrees
    double dHeight;     // metres
};

// Shifts at latitude and longitude in DEGREES on the ellipsoid e (reads a,
// f and e^2). The point's height does not enter the abridged formulas.
MolodenskyShift abridgedMolodensky(const EllipsoidConstants& e, double latitude, double longitude, const DatumShift& shift);

} // namespace tervala

#endif
