// Whether a set of points can determine a fitted transformation. The
// estimators solve their normal equations whatever the geometry; coincident
// or collinear points make those equations singular and the parameters NaN
// or meaningless, and a front end must refuse them before reporting.
#ifndef TERVALA_ESTIMATION_DEGENERACY_H
#define TERVALA_ESTIMATION_DEGENERACY_H

#include <cstddef>

namespace tervala {
namespace estimation {

// The number of independent directions in which `count` points of
// `dimension` (2 or 3) coordinates each, stored point after point, spread
// about their centroid: 0 when they coincide, 1 when they lie on a line, 2
// on a plane, 3 otherwise. A direction counts when the spread along it
// exceeds 1e-6 of the spread along the widest one (a network 10 km long
// must be more than 1 cm wide), and any spread at all must exceed 1e-9 of
// the largest coordinate magnitude (rounding of the centroid). Non-finite
// coordinates give 0.
int spreadRank(const double* coordinates, std::size_t count, int dimension);

// The spread each fit needs: the seven-parameter models two directions of
// their 3D source points, the 2D Helmert one direction, the height plane
// two directions of its 2D positions.
constexpr int kSevenParameterRank = 2;
constexpr int kHelmert2DRank = 1;
constexpr int kHeightPlaneRank = 2;

// True when every value is finite.
bool allFinite(const double* values, std::size_t count);

} // namespace estimation
} // namespace tervala

#endif
