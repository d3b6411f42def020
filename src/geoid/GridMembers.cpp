// CTervala's geoid-grid members: the loader, the grid geoid height, the
// undulation correction and the private interpolation routines. Each is a
// thin adapter over the functions of GeoidGrid.h.
#include <cstdio>
#include <memory>
#include <string>

#include "core/Access.h"
#include "geoid/GeoidGrid.h"
#include "platform/DataFolder.h"
#include "platform/Files.h"
#include "tervala/Tervala.h"

namespace tervala {

platform::LoadStatus TervalaAccess::loadGrid(CTervala& t, int model)
{
    std::string path;
    try {
        path = platform::dataFilePath(grid::gridFileName(model));
    } catch (...) {
        // Out of memory building the file name: nothing has changed.
        platform::LoadStatus status;
        status.problem = platform::LoadProblem::OutOfMemory;
        return status;
    }
    return loadGridFrom(t, path);
}

platform::LoadStatus TervalaAccess::loadGridFrom(CTervala& t, const std::string& path)
{
    using namespace grid;
    GridLoad loaded = loadGridFile(path, t.m_GridMargin);
    if (!loaded.status.ok())
        return std::move(loaded.status);
    // The whole grid is in: only now does the old one go.
    t.releaseGrid();
    const GridHeader& h = loaded.grid.header;
    t.m_GridNorth = h.north;
    t.m_GridWest = h.west;
    t.m_GridDLat = h.dlat;
    t.m_GridDLon = h.dlon;
    t.m_GridRows = h.rows;
    t.m_GridCols = h.cols;
    t.m_GridPaddedRows = loaded.grid.paddedRows;
    t.m_GridPaddedCols = loaded.grid.paddedCols;
    t.m_Grid = loaded.grid.rows.release();
    return std::move(loaded.status);
}

} // namespace tervala

int CTervala::LoadKEGMData(int model)
{
    return tervala::TervalaAccess::loadGrid(*this, model).ok() ? 1 : 0;
}

double CTervala::KEGMGeoidHeight(double latitude, double longitude)
{
    const tervala::grid::GridView view{m_Grid,       m_GridMargin, m_InterpWindow, m_GridRows, m_GridPaddedRows,
                                       m_GridPaddedCols, m_GridNorth, m_GridWest,     m_GridDLat, m_GridDLon};
    return tervala::grid::gridGeoidHeight(view, latitude, longitude);
}

double CTervala::CorrUndulation(double lat, double lon, double dX, double dY, double dZ, double da, double df)
{
    return tervala::grid::corrUndulation(m_a, m_b, m_e2, lat, lon, dX, dY, dZ, da, df);
}

double CTervala::interp(int window, double minDistance, double** grid, double south, double west, double dlat,
                        double dlon, int nrows, int ncols, double lat, double lon)
{
    return tervala::grid::interp(window, minDistance, grid, south, west, dlat, dlon, nrows, ncols, lat, lon);
}

double CTervala::bilin(double ri, double rj, double** grid, int nrows, int ncols)
{
    return tervala::grid::bilin(ri, rj, grid, nrows, ncols);
}

void CTervala::initsp(const double* y, int n, double* r, double* q) { tervala::grid::initsp(y, n, r, q); }

double CTervala::spline(double x, const double* y, int n, const double* r)
{
    return tervala::grid::spline(x, y, n, r);
}

int CTervala::ifrac(double x) { return tervala::grid::ifrac(x); }
