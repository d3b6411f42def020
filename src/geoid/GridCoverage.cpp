#include "geoid/GridCoverage.h"

#include <cmath>

#include "core/Access.h"

namespace tervala {
namespace grid {
namespace {

int clampedWindow(int window) { return window < kMinWindow ? kMinWindow : window > kMaxWindow ? kMaxWindow : window; }

// First and last padded index of the window around fractional index r, as
// interp chooses it.
void windowSpan(double r, int w, long long& lo, long long& hi)
{
    const long long centre = w % 2 != 0 ? static_cast<long long>(r - 0.5) : static_cast<long long>(r);
    lo = centre - w / 2 + 1;
    hi = lo + w - 1;
}

} // namespace

GridView gridView(const CTervala& t)
{
    using A = TervalaAccess;
    return GridView{A::grid(t),     A::gridMargin(t),   A::interpWindow(t), A::gridRows(t), A::gridPaddedRows(t),
                    A::gridPaddedCols(t), A::gridNorth(t), A::gridWest(t), A::gridDLat(t), A::gridDLon(t)};
}

GridCoverage gridCoverage(const GridView& g)
{
    const int storedCols = g.paddedCols - 2 * g.margin;
    // A half-node tolerance absorbs the rounding of header values such as
    // 0.05 degrees times 7200 columns.
    const double span = static_cast<double>(storedCols) * g.dlon;
    const double south = g.north - static_cast<double>(g.storedRows - 1) * g.dlat;
    const double nodes = (clampedWindow(g.window) - 2) / 2.0;
    return GridCoverage{span >= 360.0 - 0.5 * g.dlon, g.north >= 90.0 - 0.5 * g.dlat, south <= -90.0 + 0.5 * g.dlat,
                        nodes * g.dlat, nodes * g.dlon};
}

bool windowIsStored(const GridView& g, double lat, double lon)
{
    if (g.rows == nullptr)
        return false;
    // The same reduction, range test and padded coordinates as
    // gridGeoidHeight.
    if (lon > 360.0)
        lon -= 360.0;
    if (lon < 0.0)
        lon += 360.0;
    if (!(lat <= 90.0 && lat >= -90.0 && lon <= 360.0 && lon >= 0.0))
        return false;
    const GridCoverage c = gridCoverage(g);
    if (c.global())
        return true;
    const PaddedOrigin origin = paddedOrigin(g);
    const int w = clampedWindow(g.window);
    long long ilo, ihi, jlo, jhi;
    const double ri = (lat - origin.south) / g.dlat, rj = (lon - origin.west) / g.dlon;
    if (!(std::fabs(ri) < 1e15 && std::fabs(rj) < 1e15))
        return false;
    windowSpan(ri, w, ilo, ihi);
    windowSpan(rj, w, jlo, jhi);
    const long long firstRow = g.margin, lastRow = g.margin + g.storedRows - 1;
    const long long firstCol = g.margin, lastCol = g.paddedCols - g.margin - 1;
    const bool rowsOk = (ilo >= firstRow || c.reachesSouthPole) && (ihi <= lastRow || c.reachesNorthPole);
    const bool colsOk = c.wrapsLongitude || (jlo >= firstCol && jhi <= lastCol);
    return rowsOk && colsOk;
}

} // namespace grid
} // namespace tervala
