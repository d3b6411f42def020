// CTervala's geoid-grid members: the loader, the grid geoid height, the
// undulation correction and the private interpolation routines. Each is a
// thin adapter over the functions of GeoidGrid.h.
#include <cstdio>
#include <memory>
#include <string>

#include "geoid/GeoidGrid.h"
#include "platform/DataFolder.h"
#include "platform/Files.h"
#include "tervala/Tervala.h"

int CTervala::LoadKEGMData(int model)
{
    using namespace tervala::grid;
    try {
        const std::string path = tervala::platform::hostPath(gridDevicePath(model));
        const tervala::platform::File file = tervala::platform::openRegularFile(path);
        if (!file)
            return 0;
        LoadedGrid loaded;
        if (readGridFile(file.get(), m_GridMargin, loaded) != GridLoadError::None)
            return 0;
        // The whole grid is in: only now does the old one go.
        releaseGrid();
        m_GridNorth = loaded.header.north;
        m_GridWest = loaded.header.west;
        m_GridDLat = loaded.header.dlat;
        m_GridDLon = loaded.header.dlon;
        m_GridRows = loaded.header.rows;
        m_GridCols = loaded.header.cols;
        m_GridPaddedRows = loaded.paddedRows;
        m_GridPaddedCols = loaded.paddedCols;
        m_Grid = loaded.rows.release();
        return 1;
    } catch (...) {
        // Out of memory building the file name: nothing has changed.
        return 0;
    }
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
