// Internal access to the private fields of CTervala, for the subsystems'
// internal functions, the tests and the tools. Nothing here is installed.
#ifndef TERVALA_CORE_ACCESS_H
#define TERVALA_CORE_ACCESS_H

#include "core/Ellipsoid.h"
#include "tervala/Tervala.h"

namespace tervala {

struct TervalaAccess {
    // The ellipsoid constants as Setup_Ellipsoid stored them.
    static EllipsoidConstants ellipsoid(const CTervala& t)
    {
        return EllipsoidConstants{t.m_a,        t.m_f,         t.m_b,          t.m_e2,        t.m_ep2,      t.m_n,
                         t.m_ArcAlpha, t.m_ArcBeta,   t.m_ArcGamma,   t.m_ArcDelta,  t.m_ArcEpsilon,
                         t.m_FootAlpha, t.m_FootBeta, t.m_FootGamma, t.m_FootDelta, t.m_FootEpsilon};
    }

    // Read-only views of the loaded grid and matrices.
    static double** grid(const CTervala& t) { return t.m_Grid; }
    static int gridPaddedRows(const CTervala& t) { return t.m_GridPaddedRows; }
    static int gridPaddedCols(const CTervala& t) { return t.m_GridPaddedCols; }
    static int gridRows(const CTervala& t) { return t.m_GridRows; }
    static int gridCols(const CTervala& t) { return t.m_GridCols; }
    static int gridMargin(const CTervala& t) { return t.m_GridMargin; }
    static int interpWindow(const CTervala& t) { return t.m_InterpWindow; }
    static double gridNorth(const CTervala& t) { return t.m_GridNorth; }
    static double gridWest(const CTervala& t) { return t.m_GridWest; }
    static double gridDLat(const CTervala& t) { return t.m_GridDLat; }
    static double gridDLon(const CTervala& t) { return t.m_GridDLon; }
    static const Numbra& egmCoef(const CTervala& t) { return t.m_EgmCoef; }
    static const Numbra& corrCoefC(const CTervala& t) { return t.m_CorrCoefC; }
    static const Numbra& corrCoefS(const CTervala& t) { return t.m_CorrCoefS; }
    static const Numbra& residual(const CTervala& t) { return t.m_Residual; }
    static const Numbra& residual2D(const CTervala& t) { return t.m_Residual2D; }
    static const Numbra& residualH(const CTervala& t) { return t.m_ResidualH; }

    // The step routines of the EGM96 synthesis, for the tests' reference
    // evaluation.
    static Numbra radgra(CTervala& t, double latitude, double longitude) { return t.RADGRA(latitude, longitude); }
    static Numbra legfdn(CTervala& t, int m, double theta, Numbra& column, int& tablesReady, Numbra& sq, Numbra& isq)
    {
        return t.LEGFDN(m, theta, column, tablesReady, sq, isq);
    }
    static Numbra dscml(CTervala& t, double longitude) { return t.DSCML(longitude); }
    static double hundu(CTervala& t, const Numbra& p, const Numbra& coefficients, const Numbra& sc, double gamma,
                        double r, const Numbra& corrC, const Numbra& corrS)
    {
        return t.HUNDU(p, coefficients, sc, gamma, r, corrC, corrS);
    }

    // The private grid-interpolation routines, for the tests.
    static double interp(CTervala& t, int window, double minDistance, double** grid, double south, double west,
                         double dlat, double dlon, int nrows, int ncols, double lat, double lon)
    {
        return t.interp(window, minDistance, grid, south, west, dlat, dlon, nrows, ncols, lat, lon);
    }
    static double bilin(CTervala& t, double ri, double rj, double** grid, int nrows, int ncols)
    {
        return t.bilin(ri, rj, grid, nrows, ncols);
    }
    static void initsp(CTervala& t, const double* y, int n, double* r, double* q) { t.initsp(y, n, r, q); }
    static double spline(CTervala& t, double x, const double* y, int n, const double* r)
    {
        return t.spline(x, y, n, r);
    }
    static int ifrac(CTervala& t, double x) { return t.ifrac(x); }
};

} // namespace tervala

#endif
