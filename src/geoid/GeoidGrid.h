// Geoid grids: the binary grid file, its padded in-memory form, spline
// interpolation in it, and the Molodensky height correction. These are the
// internal functions behind LoadKEGMData, KEGMGeoidHeight, CorrUndulation
// and the private routines interp, bilin, initsp, spline and ifrac; the
// command-line tool calls the same functions.
//
// Grid file (little-endian): four doubles (latitude of the first, northern
// row; longitude of the first, western column in 0..360; row spacing; column
// spacing, degrees), two int32 (rows Nr, columns Nc), then the Nr x Nc values
// as float32, rows north to south, each west to east. Words whose magnitude
// is above 3.4e38 or below 1.2e-38 (zero, subnormals, infinities, small
// integers written between rows) are not values and are skipped; NaN is a
// value.
//
// In memory the grid carries a border of `margin` rows and columns on every
// side, so that an interpolation window may reach past the stored nodes:
// rows run south to north, the stored block at rows margin .. margin+Nr-1 and
// columns margin .. margin+Nc-1. The border continues the grid as a global
// one: columns wrap around in longitude, and rows beyond the first or last
// stored row are the stored rows mirrored across the pole, turned half a turn
// (Nc/2 columns) in longitude.
#ifndef TERVALA_GEOID_GEOIDGRID_H
#define TERVALA_GEOID_GEOIDGRID_H

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "platform/Files.h"

namespace tervala {
namespace grid {

// Results of the interpolation that are not heights.
constexpr double kOutOfRange = 999999.0;         // point outside the range test, or in the excluded border
constexpr double kWindowDoesNotFit = -999999.0;  // interpolation window leaves the grid (or no grid)

constexpr int kMinWindow = 2;
constexpr int kMaxWindow = 20;

// Largest padded grid the loader accepts, in values (16 GiB of doubles).
constexpr std::int64_t kMaxPaddedValues = std::int64_t(1) << 31;

// The border CTervala puts round every loaded grid (its m_GridMargin).
constexpr int kObjectMargin = 7;

// The name of the grid file of a model selector in the data folder:
// 13 -> kgeoid13.dat, 2008 -> egm2008p.dat, any other value -> kgeoid14.dat.
const char* gridFileName(int model);

// ---- Interpolation ---------------------------------------------------------

// Largest int not greater than x. Values beyond the int range give INT_MIN or
// INT_MAX, NaN gives 0 (so no caller ever converts an unrepresentable double).
int ifrac(double x);

// Bilinear value at fractional row ri and column rj of a grid of nrows x
// ncols (rows of doubles, row 0 south). Indices outside the grid are clamped
// to its edge rows/columns; a grid of one row or column is constant across
// it. NaN when the grid is null or empty.
double bilin(double ri, double rj, const double* const* h, int nrows, int ncols);

// Second derivatives r[0..n-1] of the natural cubic spline through
// y[0..n-1] at unit spacing; q is work space of n doubles. n <= 0 writes
// nothing.
void initsp(const double* y, int n, double* r, double* q);

// The spline through y with second derivatives r at position x (node units);
// continued linearly with the end slopes outside 0 .. n-1. NaN for n < 1.
double spline(double x, const double* y, int n, const double* r);

// What a refused point returns: the members' sentinels, or NaN (the value
// types), passed in so that the evaluation itself gives the caller's value
// and no caller compares its result against the sentinels afterwards.
struct Refusals {
    double outOfRange;
    double windowDoesNotFit;
};
constexpr Refusals kSentinels{kOutOfRange, kWindowDoesNotFit};

// Value at (lat, lon) by a window of `window` x `window` nodes (clamped to
// 2 .. 20): bilinear for 2, otherwise natural splines along the window rows
// and then across the row results. south and west are the latitude of row 0
// and the longitude of column 0; dmin (km) excludes a border of the grid.
// Returns kWindowDoesNotFit when the window leaves the grid (also when the
// grid coordinates of the point are not finite or beyond the int range, or
// the grid is null), kOutOfRange when it enters the excluded border (or
// the caller's refusal values for these two).
double interp(int window, double dmin, const double* const* h, double south, double west, double dlat,
              double dlon, int nrows, int ncols, double lat, double lon, const Refusals& refusals = kSentinels);

// ---- Grid files and the padded grid ----------------------------------------

struct GridHeader {
    double north;  // latitude of the first stored row, degrees
    double west;   // longitude of the first stored column, degrees
    double dlat;   // row spacing, degrees
    double dlon;   // column spacing, degrees
    std::int32_t rows;
    std::int32_t cols;
};

constexpr int kGridHeaderBytes = 40;

enum class GridLoadError {
    None,
    ShortHeader,     // the file ends inside the 40-byte header
    BadDimensions,   // Nr or Nc below 1
    TooLarge,        // padded size overflows int or exceeds kMaxPaddedValues
    BadSpacing,      // a spacing that is zero, negative or not finite
    BadOrigin,       // a non-finite first latitude or longitude
    Truncated,       // the file ends before Nr x Nc values were accepted
    OutOfMemory,
    ImpossibleValue, // a finite value beyond kMaxGeoidHeight: the file is damaged
};

// No geoid height on Earth exceeds this many metres in magnitude (the geoid
// lies between about -107 and +86 m of the WGS 84 ellipsoid, and no local
// datum's ellipsoid is farther from it). Grid loaders refuse a file holding a
// finite value beyond it; NaN stays a value (no data).
constexpr double kMaxGeoidHeight = 150.0;

const char* describe(GridLoadError error);

// A word of a grid file is a grid value unless its magnitude, as a double,
// is above 3.4e38 (infinities and the largest floats) or below 1.2e-38
// (zero, subnormals and so every small non-negative integer). NaN fails both
// tests and is kept.
inline bool isGridValue(double magnitude) { return !(magnitude > 3.4e38 || magnitude < 1.2e-38); }

// The 40 header bytes of a grid file, little-endian.
std::vector<unsigned char> encodeGridHeader(const GridHeader& header);

// The smallest magnitude float the loader keeps as a value (about 1.2e-38):
// writers store zero and subnormal values as this, with their sign.
float smallestGridValue();

// The float a writer stores for v so that the loader keeps it: zero and
// subnormal values become smallestGridValue() with their sign; all others
// (NaN, and magnitudes above 3.4e38, which a writer must refuse) stay as
// they are.
inline float storableGridValue(float v)
{
    if (!(std::fabs(static_cast<double>(v)) < 1.2e-38))
        return v;
    const float smallest = smallestGridValue();
    return std::signbit(v) ? -smallest : smallest;
}

// Whether a header can describe a grid held with a border of `margin`.
GridLoadError checkHeader(const GridHeader& header, int margin);

// A padded grid in the object's layout: an array of row pointers, each row
// allocated with new[] (the object frees them row by row). Owns the rows
// until release().
class PaddedRows {
public:
    PaddedRows() = default;
    PaddedRows(const PaddedRows&) = delete;
    PaddedRows& operator=(const PaddedRows&) = delete;
    PaddedRows(PaddedRows&& other) noexcept { swap(other); }
    PaddedRows& operator=(PaddedRows&& other) noexcept
    {
        PaddedRows(std::move(other)).swap(*this);
        return *this;
    }
    ~PaddedRows();

    // Allocates rows x cols doubles, contents unset. Throws std::bad_alloc,
    // keeping nothing.
    void allocate(int rows, int cols);
    double** get() const { return m_rows; }
    int rows() const { return m_count; }
    // Gives up ownership.
    double** release();
    // Frees the rows held, if any.
    void reset();
    void swap(PaddedRows& other) noexcept;

private:
    double** m_rows = nullptr;
    int m_count = 0;
};

struct GridView;

// A loaded grid: its header and its padded rows with a border of `margin`
// nodes. Movable, not copyable; reading it (view) is safe from several
// threads at once, as nothing writes to it after the load.
struct LoadedGrid {
    GridHeader header{};
    int margin = 0;
    int paddedRows = 0;
    int paddedCols = 0;
    PaddedRows rows;

    bool empty() const { return rows.get() == nullptr; }
    // What gridGeoidHeight reads, for an interpolation window of `window`.
    GridView view(int window) const;
};

// Reads a grid file from the start of `file` and builds the padded grid with
// a border of `margin` nodes. Never throws; on any error `out` holds no grid.
GridLoadError readGridFile(std::FILE* file, int margin, LoadedGrid& out);

// A grid file read from a host path: the status names the path and, on
// failure, why (cannot open, not a regular file, truncated, bad header, out
// of memory); the grid is empty then. Touches no object and never throws.
struct GridLoad {
    platform::LoadStatus status;
    LoadedGrid grid;
};
GridLoad loadGridFile(const std::string& path, int margin);

// Fills the border of a padded grid whose stored block is already in place
// (see the top of this file). With fewer than `margin` stored columns the
// border columns repeat the stored ones periodically (column c takes stored
// column (c - margin) mod Nc); with fewer than `margin` stored rows the k-th
// border row beyond an edge takes the stored row (k - 1) mod Nr counted from
// that edge, turned half a turn. With at least `margin` rows and columns this
// is the plain wrap and mirror, and no read leaves the stored block.
void fillBorder(double* const* g, int rows, int cols, int margin);

// ---- Grid geoid height and undulation correction -----------------------------

// What KEGMGeoidHeight reads of a loaded grid.
struct GridView {
    const double* const* rows;  // padded rows, null when no grid is loaded
    int margin;
    int window;
    int storedRows;
    int paddedRows;
    int paddedCols;
    double north, west, dlat, dlon;
};

inline GridView LoadedGrid::view(int window) const
{
    return GridView{rows.get(), margin,     window,        header.rows, paddedRows,
                    paddedCols, header.north, header.west, header.dlat, header.dlon};
}

// Latitude of padded row 0 and longitude of padded column 0 of a loaded
// grid (null rows: NaN), fixed for the grid.
struct PaddedOrigin {
    double south;
    double west;
};
inline PaddedOrigin paddedOrigin(const GridView& grid)
{
    return PaddedOrigin{(grid.north - static_cast<double>(grid.storedRows - 1) * grid.dlat) -
                            static_cast<double>(grid.margin) * grid.dlat,
                        grid.west - grid.dlon * static_cast<double>(grid.margin)};
}

// Undulation at (lat, lon) degrees: longitude reduced once into 0..360,
// kOutOfRange outside [-90, 90] x [0, 360] (NaN included), kWindowDoesNotFit
// without a grid, otherwise interp with the grid's window and no excluded
// border.
double gridGeoidHeight(const GridView& grid, double lat, double lon);

// The same on a grid that is loaded (rows not null), with its origin formed
// once by the caller and the caller's refusal values.
double gridGeoidHeight(const GridView& grid, const PaddedOrigin& origin, double lat, double lon,
                       const Refusals& refusals);

// Molodensky change of the ellipsoidal height (metres) at (lat, lon) degrees
// for the shift dX, dY, dZ, da (metres) and df, on the ellipsoid (a, b, e2).
double corrUndulation(double a, double b, double e2, double lat, double lon, double dX, double dY, double dZ,
                      double da, double df);

} // namespace grid
} // namespace tervala

#endif
