// Object lifetime and the result accessors of CTervala.
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

#include "tervala/Tervala.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Element i of a fixed array, or NaN when i lies outside it.
template <std::size_t N>
double element(const double (&array)[N], int i)
{
    return (i >= 0 && static_cast<std::size_t>(i) < N) ? array[i] : kNaN;
}

template <std::size_t N>
double element(const double (&array)[N][N], int i, int j)
{
    return (i >= 0 && j >= 0 && static_cast<std::size_t>(i) < N && static_cast<std::size_t>(j) < N) ? array[i][j]
                                                                                                     : kNaN;
}

// Element (i, 1) of a residual column, or NaN outside it. Reads through the
// const accessor so an index past the end never grows the matrix.
double residual(const Numbra& column, int i)
{
    if (i < 1 || i > column.Rows() || column.Cols() < 1)
        return kNaN;
    return column(i, 1);
}

// A fresh copy of a padded grid: rows x cols doubles per row. Returns null
// when there is nothing to copy; throws std::bad_alloc with nothing leaked.
double** duplicateGrid(double* const* grid, int rows, int cols)
{
    if (grid == nullptr || rows <= 0 || cols <= 0)
        return nullptr;
    double** copy = new double*[static_cast<std::size_t>(rows)]();
    try {
        for (int r = 0; r < rows; ++r) {
            copy[r] = new double[static_cast<std::size_t>(cols)];
            std::memcpy(copy[r], grid[r], sizeof(double) * static_cast<std::size_t>(cols));
        }
    } catch (...) {
        for (int r = 0; r < rows; ++r)
            delete[] copy[r];
        delete[] copy;
        throw;
    }
    return copy;
}

} // namespace

CTervala::CTervala() = default;

CTervala::CTervala(const CTervala& other)
    : m_InterpWindow(other.m_InterpWindow),
      m_GridMargin(other.m_GridMargin),
      m_GridRows(other.m_GridRows),
      m_GridCols(other.m_GridCols),
      m_GridPaddedRows(other.m_GridPaddedRows),
      m_GridPaddedCols(other.m_GridPaddedCols),
      m_GridReadValue(other.m_GridReadValue),
      m_GridRowBuffer(nullptr),
      m_a(other.m_a),
      m_f(other.m_f),
      m_b(other.m_b),
      m_e2(other.m_e2),
      m_ep2(other.m_ep2),
      m_n(other.m_n),
      m_ArcAlpha(other.m_ArcAlpha),
      m_ArcBeta(other.m_ArcBeta),
      m_ArcGamma(other.m_ArcGamma),
      m_ArcDelta(other.m_ArcDelta),
      m_ArcEpsilon(other.m_ArcEpsilon),
      m_FootAlpha(other.m_FootAlpha),
      m_FootBeta(other.m_FootBeta),
      m_FootGamma(other.m_FootGamma),
      m_FootDelta(other.m_FootDelta),
      m_FootEpsilon(other.m_FootEpsilon),
      m_Sigma(other.m_Sigma),
      m_HeightMeanaccuracy(other.m_HeightMeanaccuracy),
      m_GridNorth(other.m_GridNorth),
      m_GridWest(other.m_GridWest),
      m_GridDLat(other.m_GridDLat),
      m_GridDLon(other.m_GridDLon),
      m_GridColumnScratch(nullptr),
      m_Grid(duplicateGrid(other.m_Grid, other.m_GridPaddedRows, other.m_GridPaddedCols)),
      m_Residual2D(other.m_Residual2D),
      m_ResidualH(other.m_ResidualH),
      m_Residual(other.m_Residual),
      m_CorrCoefC(other.m_CorrCoefC),
      m_CorrCoefS(other.m_CorrCoefS),
      m_EgmCoef(other.m_EgmCoef)
{
    std::memcpy(m_Geocentric, other.m_Geocentric, sizeof m_Geocentric);
    std::memcpy(m_Geodetic, other.m_Geodetic, sizeof m_Geodetic);
    std::memcpy(m_TM, other.m_TM, sizeof m_TM);
    std::memcpy(m_UTM, other.m_UTM, sizeof m_UTM);
    std::memcpy(m_2DHelmertParameters, other.m_2DHelmertParameters, sizeof m_2DHelmertParameters);
    std::memcpy(m_2DHelmertCovariance, other.m_2DHelmertCovariance, sizeof m_2DHelmertCovariance);
    std::memcpy(m_HeightParameters, other.m_HeightParameters, sizeof m_HeightParameters);
    std::memcpy(m_RotOrigin, other.m_RotOrigin, sizeof m_RotOrigin);
    std::memcpy(m_SevenParameters, other.m_SevenParameters, sizeof m_SevenParameters);
    std::memcpy(m_SevenCovariance, other.m_SevenCovariance, sizeof m_SevenCovariance);
    std::memcpy(m_2DH, other.m_2DH, sizeof m_2DH);
    std::memcpy(m_dLLH, other.m_dLLH, sizeof m_dLLH);
}

CTervala& CTervala::operator=(const CTervala& other)
{
    if (this == &other)
        return *this;
    // Copy first (the only step that can fail), then take the copy's state,
    // so a failed allocation leaves this object as it was. The copy leaves
    // with our old grid and frees it.
    CTervala copy(other);
    std::swap(m_Grid, copy.m_Grid);
    std::swap(m_GridPaddedRows, copy.m_GridPaddedRows);

    m_InterpWindow = copy.m_InterpWindow;
    m_GridMargin = copy.m_GridMargin;
    m_GridRows = copy.m_GridRows;
    m_GridCols = copy.m_GridCols;
    m_GridPaddedCols = copy.m_GridPaddedCols;
    m_GridReadValue = copy.m_GridReadValue;
    m_a = copy.m_a;
    m_f = copy.m_f;
    m_b = copy.m_b;
    m_e2 = copy.m_e2;
    m_ep2 = copy.m_ep2;
    m_n = copy.m_n;
    m_ArcAlpha = copy.m_ArcAlpha;
    m_ArcBeta = copy.m_ArcBeta;
    m_ArcGamma = copy.m_ArcGamma;
    m_ArcDelta = copy.m_ArcDelta;
    m_ArcEpsilon = copy.m_ArcEpsilon;
    m_FootAlpha = copy.m_FootAlpha;
    m_FootBeta = copy.m_FootBeta;
    m_FootGamma = copy.m_FootGamma;
    m_FootDelta = copy.m_FootDelta;
    m_FootEpsilon = copy.m_FootEpsilon;
    std::memcpy(m_Geocentric, copy.m_Geocentric, sizeof m_Geocentric);
    std::memcpy(m_Geodetic, copy.m_Geodetic, sizeof m_Geodetic);
    std::memcpy(m_TM, copy.m_TM, sizeof m_TM);
    std::memcpy(m_UTM, copy.m_UTM, sizeof m_UTM);
    std::memcpy(m_2DHelmertParameters, copy.m_2DHelmertParameters, sizeof m_2DHelmertParameters);
    std::memcpy(m_2DHelmertCovariance, copy.m_2DHelmertCovariance, sizeof m_2DHelmertCovariance);
    std::memcpy(m_HeightParameters, copy.m_HeightParameters, sizeof m_HeightParameters);
    m_Sigma = copy.m_Sigma;
    m_HeightMeanaccuracy = copy.m_HeightMeanaccuracy;
    std::memcpy(m_RotOrigin, copy.m_RotOrigin, sizeof m_RotOrigin);
    std::memcpy(m_SevenParameters, copy.m_SevenParameters, sizeof m_SevenParameters);
    std::memcpy(m_SevenCovariance, copy.m_SevenCovariance, sizeof m_SevenCovariance);
    std::memcpy(m_2DH, copy.m_2DH, sizeof m_2DH);
    std::memcpy(m_dLLH, copy.m_dLLH, sizeof m_dLLH);
    m_GridNorth = copy.m_GridNorth;
    m_GridWest = copy.m_GridWest;
    m_GridDLat = copy.m_GridDLat;
    m_GridDLon = copy.m_GridDLon;
    m_Residual2D = std::move(copy.m_Residual2D);
    m_ResidualH = std::move(copy.m_ResidualH);
    m_Residual = std::move(copy.m_Residual);
    m_CorrCoefC = std::move(copy.m_CorrCoefC);
    m_CorrCoefS = std::move(copy.m_CorrCoefS);
    m_EgmCoef = std::move(copy.m_EgmCoef);
    return *this;
}

CTervala::~CTervala()
{
    releaseGrid();
    delete[] m_GridRowBuffer;
    delete[] m_GridColumnScratch;
}

void CTervala::releaseGrid() noexcept
{
    if (m_Grid != nullptr) {
        for (int r = 0; r < m_GridPaddedRows; ++r)
            delete[] m_Grid[r];
        delete[] m_Grid;
        m_Grid = nullptr;
    }
}

double CTervala::GetGeocentric(int i) { return element(m_Geocentric, i); }
double CTervala::GetTrans_GeoCentric(int i) { return element(m_Geocentric, i); }
double CTervala::GetGeodetic(int i) { return element(m_Geodetic, i); }
double CTervala::GetTM(int i) { return element(m_TM, i); }
double CTervala::GetUTM(int i) { return element(m_UTM, i); }
double CTervala::Get2DH(int i) { return element(m_2DH, i); }
double CTervala::GetdLLH(int i) { return element(m_dLLH, i); }
double CTervala::Get2DHelmertParameters(int i) { return element(m_2DHelmertParameters, i); }
double CTervala::Get2DHelmertCovariance(int i, int j) { return element(m_2DHelmertCovariance, i, j); }
double CTervala::GetHeightParameters(int i) { return element(m_HeightParameters, i); }
double CTervala::GetSigma() { return m_Sigma; }
double CTervala::GetHeightMeanaccuracy() { return m_HeightMeanaccuracy; }
double CTervala::GetRotOrigin(int i) { return element(m_RotOrigin, i); }
double CTervala::GetSevenParameters(int i) { return element(m_SevenParameters, i); }
double CTervala::GetSevenCovariance(int i, int j) { return element(m_SevenCovariance, i, j); }
double CTervala::GetResidual2D(int i) { return residual(m_Residual2D, i); }
double CTervala::GetResidualH(int i) { return residual(m_ResidualH, i); }
double CTervala::GetResidual(int i) { return residual(m_Residual, i); }
