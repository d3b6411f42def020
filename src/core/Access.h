// Internal access to the private fields of CTervala, for the subsystems'
// internal functions, the tests and the tools. Nothing here is installed.
#ifndef TERVALA_CORE_ACCESS_H
#define TERVALA_CORE_ACCESS_H

#include <cstddef>
#include <cstring>

#include "core/Ellipsoid.h"
#include "platform/Files.h"
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

    // LoadEGMData and LoadKEGMData, saying why a load failed: the host path
    // of the file at fault and the reason. The object changes exactly as
    // with the members.
    static platform::LoadStatus loadEgm96(CTervala& t);
    static platform::LoadStatus loadGrid(CTervala& t, int model);
    // The same loads from files named by host path rather than found in the
    // data folder (the Python module reloads a copied object's data so).
    static platform::LoadStatus loadEgm96From(CTervala& t, const std::string& correctionPath,
                                              const std::string& geopotentialPath);
    static platform::LoadStatus loadGridFrom(CTervala& t, const std::string& path);

    // Calls f(to.field, from.field) for every field a copy of an object
    // carries over, which is all of them but the grid rows (m_Grid,
    // m_GridPaddedRows: duplicated, or swapped, with the rows they count) and
    // the scratch buffers (m_GridRowBuffer, m_GridColumnScratch: never
    // shared). The one list behind the copy constructor and the assignment.
    // A field's value copied over, as the copy constructor does it: fixed
    // arrays go whole. Pass to forEachCopiedField.
    template <typename T>
    static void copyField(T& to, const T& from)
    {
        to = from;
    }
    template <typename T, std::size_t N>
    static void copyField(T (&to)[N], const T (&from)[N])
    {
        std::memcpy(to, from, sizeof to);
    }

    template <typename From, typename F>
    static void forEachCopiedField(CTervala& to, From& from, F f)
    {
        f(to.m_InterpWindow, from.m_InterpWindow);
        f(to.m_GridMargin, from.m_GridMargin);
        f(to.m_GridRows, from.m_GridRows);
        f(to.m_GridCols, from.m_GridCols);
        f(to.m_GridPaddedCols, from.m_GridPaddedCols);
        f(to.m_GridReadValue, from.m_GridReadValue);
        f(to.m_a, from.m_a);
        f(to.m_f, from.m_f);
        f(to.m_b, from.m_b);
        f(to.m_e2, from.m_e2);
        f(to.m_ep2, from.m_ep2);
        f(to.m_n, from.m_n);
        f(to.m_ArcAlpha, from.m_ArcAlpha);
        f(to.m_ArcBeta, from.m_ArcBeta);
        f(to.m_ArcGamma, from.m_ArcGamma);
        f(to.m_ArcDelta, from.m_ArcDelta);
        f(to.m_ArcEpsilon, from.m_ArcEpsilon);
        f(to.m_FootAlpha, from.m_FootAlpha);
        f(to.m_FootBeta, from.m_FootBeta);
        f(to.m_FootGamma, from.m_FootGamma);
        f(to.m_FootDelta, from.m_FootDelta);
        f(to.m_FootEpsilon, from.m_FootEpsilon);
        f(to.m_Geocentric, from.m_Geocentric);
        f(to.m_Geodetic, from.m_Geodetic);
        f(to.m_TM, from.m_TM);
        f(to.m_UTM, from.m_UTM);
        f(to.m_2DHelmertParameters, from.m_2DHelmertParameters);
        f(to.m_2DHelmertCovariance, from.m_2DHelmertCovariance);
        f(to.m_HeightParameters, from.m_HeightParameters);
        f(to.m_Sigma, from.m_Sigma);
        f(to.m_HeightMeanaccuracy, from.m_HeightMeanaccuracy);
        f(to.m_RotOrigin, from.m_RotOrigin);
        f(to.m_SevenParameters, from.m_SevenParameters);
        f(to.m_SevenCovariance, from.m_SevenCovariance);
        f(to.m_2DH, from.m_2DH);
        f(to.m_dLLH, from.m_dLLH);
        f(to.m_GridNorth, from.m_GridNorth);
        f(to.m_GridWest, from.m_GridWest);
        f(to.m_GridDLat, from.m_GridDLat);
        f(to.m_GridDLon, from.m_GridDLon);
        f(to.m_Residual2D, from.m_Residual2D);
        f(to.m_ResidualH, from.m_ResidualH);
        f(to.m_Residual, from.m_Residual);
        f(to.m_CorrCoefC, from.m_CorrCoefC);
        f(to.m_CorrCoefS, from.m_CorrCoefS);
        f(to.m_EgmCoef, from.m_EgmCoef);
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
