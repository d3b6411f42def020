// Where a loaded geoid grid gives interpolated heights made of its own
// nodes. The interpolation pads every grid as if it were global (columns
// wrap around, rows mirror across the pole), which is right for a grid that
// spans 360 degrees and reaches the poles, and wrong for a regional grid: a
// window near its edge reads nodes from the opposite edge and the height is
// off by metres. KEGMGeoidHeight keeps that behaviour; the tool and the
// Python layer use these functions to refuse such points instead.
#ifndef TERVALA_GEOID_GRIDCOVERAGE_H
#define TERVALA_GEOID_GRIDCOVERAGE_H

#include "geoid/GeoidGrid.h"

class CTervala;

namespace tervala {
namespace grid {

// How far the padding of a grid is genuine.
struct GridCoverage {
    bool wrapsLongitude;    // columns span 360 degrees: the wrap is the next column
    bool reachesNorthPole;  // the first stored row is at 90 N: the mirror is the far side
    bool reachesSouthPole;  // the last stored row is at 90 S
    // How far inside a non-genuine edge a point must lie so that its window
    // is made of stored nodes: (window - 2) / 2 row or column spacings.
    double marginLatitude;   // degrees
    double marginLongitude;  // degrees

    bool global() const { return wrapsLongitude && reachesNorthPole && reachesSouthPole; }
};

// The grid loaded in an object (rows null when none is).
GridView gridView(const CTervala& t);

GridCoverage gridCoverage(const GridView& grid);

// True when the interpolation window at (lat, lon) degrees, after the
// member's longitude reduction, reads only stored nodes or a genuine wrap or
// mirror: always for a global grid in range. False without a grid and for
// points outside the member's range. Callers test the member's result
// codes as well: this does not say whether the window fits the padding.
bool windowIsStored(const GridView& grid, double lat, double lon);

} // namespace grid
} // namespace tervala

#endif
