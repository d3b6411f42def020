// The value-type interface of Tervala in one include: ellipsoids and
// geocentric coordinates, Transverse Mercator and UTM, datum and local
// transformations, geoid models and grids, and the fits.
#ifndef TERVALA_TERVALA_HPP
#define TERVALA_TERVALA_HPP

#include "Datum.hpp"
#include "Ellipsoid.hpp"
#include "Fit.hpp"
#include "Geoid.hpp"
#include "GridShift.hpp"
#include "Helmert15.hpp"
#include "Polar.hpp"
#include "Projection.hpp"
#include "Propagation.hpp"

#endif
