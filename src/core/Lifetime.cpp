// Object lifetime and the result accessors of CTervala.
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "core/Access.h"
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

// A field's value moved from an object that is about to go (copies use
// TervalaAccess::copyField). Fixed arrays go whole.
template <typename T>
void moveField(T& to, T& from)
{
    to = std::move(from);
}
template <typename T, std::size_t N>
void moveField(T (&to)[N], T (&from)[N])
{
    std::memcpy(to, from, sizeof to);
}

} // namespace

CTervala::CTervala() = default;

CTervala::CTervala(const CTervala& other)
{
    tervala::TervalaAccess::forEachCopiedField(*this, other, [](auto& to, const auto& from) { tervala::TervalaAccess::copyField(to, from); });
    // Last, so that nothing after it can throw and leak the rows.
    m_Grid = duplicateGrid(other.m_Grid, other.m_GridPaddedRows, other.m_GridPaddedCols);
    m_GridPaddedRows = other.m_GridPaddedRows;
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
    tervala::TervalaAccess::forEachCopiedField(*this, copy, [](auto& to, auto& from) { moveField(to, from); });
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
