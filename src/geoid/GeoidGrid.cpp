// Spline and bilinear interpolation in a padded geoid grid, the grid geoid
// height and the Molodensky height correction. The order and grouping of
// every expression below is part of the results: the same point must give
// the same double on every machine (see -ffp-contract=off in the build).
#include "geoid/GeoidGrid.h"

#include <climits>
#include <cmath>
#include <limits>

#include "core/Angles.h"

namespace tervala {
namespace grid {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The doubles nearest 1/3 and 1/6, as the spline coefficients use them.
constexpr double kThird = 0.3333333333333333;
constexpr double kSixth = 0.16666666666666666;

// Radius of the sphere on which the excluded border is measured, metres.
constexpr double kSphereRadius = 6371000.0;

// x truncated toward zero, saturated to the int range; NaN gives 0. Used
// where the quotient may be anything (an excluded-border width).
int truncateSaturated(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 2147483647.0)
        return INT_MAX;
    if (x <= -2147483648.0)
        return INT_MIN;
    return static_cast<int>(x);
}

// True when a fractional node coordinate can be truncated to int with room
// for the window arithmetic; outside that range no window fits anyway.
bool representable(double r)
{
    return r > -2147483648.0 && r < 2147483647.0;
}

// Clamps node index i (fraction u) of a bilinear cell to the n nodes of one
// axis: before the first cell the first node alone (u = 0), past the last
// the last node alone (u = 1); a single node is used alone. Returns the
// index of the cell's second node.
int clampToEdgeCell(int& i, double& u, int n)
{
    if (n == 1) {
        i = 0;
        u = 0.0;
        return 0;
    }
    if (i < 0) {
        i = 0;
        u = 0.0;
    } else if (i >= n - 1) {
        i = n - 2;
        u = 1.0;
    }
    return i + 1;
}

// The elimination factors of initsp depend on the number of nodes only, not
// on the values: p[k] = 1 / (q[k-1] / 2 + 2) and q[k] = -p[k] / 2. Computed
// once per window size by initsp's own expressions, they give the same
// doubles without a division per row.
struct EliminationFactors {
    double p[kMaxWindow + 1][kMaxWindow];
    double q[kMaxWindow + 1][kMaxWindow];
    EliminationFactors()
    {
        for (int n = kMinWindow; n <= kMaxWindow; ++n) {
            q[n][0] = 0.0;
            p[n][0] = 0.0;
            for (int k = 1; k <= n - 2; ++k) {
                p[n][k] = 1.0 / (q[n][k - 1] * 0.5 + 2.0);
                q[n][k] = p[n][k] * (-0.5);
            }
        }
    }
};

const EliminationFactors& eliminationFactors()
{
    static const EliminationFactors factors;
    return factors;
}

// One forward-elimination step of the natural spline's tridiagonal system at
// unit spacing (diagonal 2, off-diagonals 1/2), for node k from its
// neighbours' values, the previous step's result and the factor p[k].
inline double eliminationStep(double below, double at, double above, double previous, double p)
{
    return ((((above - at * 2.0) + below) * 3.0) - previous * 0.5) * p;
}

// The spline between nodes y0 and y1 with second derivatives r0 and r1, at d
// (0 <= d < 1) past y0.
inline double splineSegment(double y0, double y1, double r0, double r1, double d)
{
    const double c = ((y1 - y0) - r0 * kThird) - r1 * kSixth;
    return y0 + d * (c + d * (r0 * 0.5 + ((r1 - r0) * d) * kSixth));
}

// initsp with the factors looked up: bit for bit the same r. The back
// substitution may stop at r[lowest] when only the interval from node
// lowest up is evaluated.
inline void tabulatedSecondDerivatives(const double* y, int n, double* r, const double* p, const double* q, int lowest = 1)
{
    r[0] = 0.0;
    for (int k = 1; k <= n - 2; ++k)
        r[k] = eliminationStep(y[k - 1], y[k], y[k + 1], r[k - 1], p[k]);
    r[n - 1] = 0.0;
    for (int k = n - 2; k >= 1 && k >= lowest; --k)
        r[k] = q[k] * r[k + 1] + r[k];
}

// The spline between nodes j and j + 1, at d (0 <= d < 1) past node j.
inline double splineInside(const double* y, const double* r, int j, double d)
{
    return splineSegment(y[j], y[j + 1], r[j], r[j + 1], d);
}

// The w row fits of a window evaluated at v in [0, w - 1), all rows side by
// side (y[k][i] is node k of row i) so that the independent rows proceed
// together. Per row the operations are exactly initsp's and spline's; the
// back substitution stops at the interval evaluated, the only place its
// results are read.
template <int W>
void splineRowsAtFixed(const double* const* h, long long ilo, long long jlo, int w, double v, const double* p,
                       const double* q, double* out)
{
    // W > 0: the window size known when compiling (loops unrolled); else w.
    if (W > 0)
        w = W;
    double y[kMaxWindow][kMaxWindow];
    double r[kMaxWindow][kMaxWindow];
    for (int i = 0; i < w; ++i) {
        const double* row = h[ilo + i] + jlo;
        for (int k = 0; k < w; ++k)
            y[k][i] = row[k];
    }
    const int j = ifrac(v);
    const double d = v - j;
    for (int i = 0; i < w; ++i)
        r[0][i] = 0.0;
    for (int k = 1; k <= w - 2; ++k)
        for (int i = 0; i < w; ++i)
            r[k][i] = eliminationStep(y[k - 1][i], y[k][i], y[k + 1][i], r[k - 1][i], p[k]);
    for (int i = 0; i < w; ++i)
        r[w - 1][i] = 0.0;
    for (int k = w - 2; k >= 1 && k >= j; --k)
        for (int i = 0; i < w; ++i)
            r[k][i] = q[k] * r[k + 1][i] + r[k][i];
    for (int i = 0; i < w; ++i)
        out[i] = splineSegment(y[j][i], y[j + 1][i], r[j][i], r[j + 1][i], d);
}

// One fit through y[0..w-1] evaluated at x: initsp and spline, with the back
// substitution stopped at the interval evaluated inside 0 .. w-1.
template <int W>
double fitAndEvaluateFixed(const double* y, int w, double x, const double* p, const double* q)
{
    if (W > 0)
        w = W;
    double r[kMaxWindow];
    if (!(x >= 0 && x < w - 1)) {
        tabulatedSecondDerivatives(y, w, r, p, q);
        return spline(x, y, w, r);
    }
    const int j = ifrac(x);
    tabulatedSecondDerivatives(y, w, r, p, q, j);
    return splineInside(y, r, j, x - j);
}

double fitAndEvaluate(const double* y, int w, double x, const double* p, const double* q)
{
    return w == 6 ? fitAndEvaluateFixed<6>(y, w, x, p, q) : fitAndEvaluateFixed<0>(y, w, x, p, q);
}

// The usual window of 6 gets its own unrolled copy.
void splineRowsAt(const double* const* h, long long ilo, long long jlo, int w, double v, const double* p,
                  const double* q, double* out)
{
    if (w == 6)
        splineRowsAtFixed<6>(h, ilo, jlo, w, v, p, q, out);
    else
        splineRowsAtFixed<0>(h, ilo, jlo, w, v, p, q, out);
}

} // namespace

const char* gridFileName(int model)
{
    switch (model) {
    case 13:
        return "kgeoid13.dat";
    case 2008:
        return "egm2008p.dat";
    default:
        return "kgeoid14.dat";
    }
}

int ifrac(double x)
{
    const int i = truncateSaturated(x);
    // Truncation moved a negative fraction up; below INT_MIN there is no
    // room to move down.
    return x < 0 && static_cast<double>(i) > x && i != INT_MIN ? i - 1 : i;
}

double bilin(double ri, double rj, const double* const* h, int nrows, int ncols)
{
    if (h == nullptr || nrows < 1 || ncols < 1)
        return kNaN;
    int i = ifrac(ri);
    int j = ifrac(rj);
    double u = ri - i;
    double v = rj - j;
    const int i1 = clampToEdgeCell(i, u, nrows);
    const int j1 = clampToEdgeCell(j, v, ncols);
    return h[i][j] * (1 - v) * (1 - u) + h[i][j1] * (1 - u) * v + h[i1][j] * (1 - v) * u + h[i1][j1] * v * u;
}

void initsp(const double* y, int n, double* r, double* q)
{
    if (n <= 0)
        return;
    q[0] = 0.0;
    r[0] = 0.0;
    // Forward elimination of the tridiagonal system of the natural spline at
    // unit spacing (diagonal 2, off-diagonals 1/2), then back substitution.
    for (int k = 1; k <= n - 2; ++k) {
        const double p = 1.0 / (q[k - 1] * 0.5 + 2.0);
        q[k] = p * (-0.5);
        r[k] = eliminationStep(y[k - 1], y[k], y[k + 1], r[k - 1], p);
    }
    r[n - 1] = 0.0;
    for (int k = n - 2; k >= 1; --k)
        r[k] = q[k] * r[k + 1] + r[k];
}

double spline(double x, const double* y, int n, const double* r)
{
    if (n < 1)
        return kNaN;
    if (n == 1)
        return y[0];
    const double last = static_cast<double>(n - 1);
    if (x >= 0 && x < last) {
        const int j = ifrac(x);
        return splineInside(y, r, j, x - j);
    }
    if (x < 0)
        return y[0] + x * ((y[1] - y[0]) - r[1] * kSixth);
    // x >= n - 1, and NaN, which propagates.
    return y[n - 1] + (x - last) * ((y[n - 1] - y[n - 2]) + r[n - 2] * kSixth);
}

double interp(int window, double dmin, const double* const* h, double south, double west, double dlat,
              double dlon, int nrows, int ncols, double lat, double lon, const Refusals& refusals)
{
    const double rho = 360.0 / (PI * 2.0);  // degrees per radian
    int w = window;
    if (w < kMinWindow)
        w = kMinWindow;
    else if (w > kMaxWindow)
        w = kMaxWindow;

    // Rows and columns excluded at the edges: dmin kilometres on a sphere.
    // With dmin = 0 both are 0 whatever the divisors (0 over NaN counts as
    // 0 too), so the cosine is skipped then.
    const double t = (rho * dmin) * 1000.0;
    int ir = 0, jr = 0;
    if (t != 0) {
        ir = truncateSaturated(t / (dlat * kSphereRadius));
        const double midLatitude = (static_cast<double>(nrows) * dlat) * 0.5 + south;
        jr = truncateSaturated(t / ((std::cos(midLatitude / rho) * dlon) * kSphereRadius));
    }

    const double ri = (lat - south) / dlat;
    const double rj = (lon - west) / dlon;
    if (h == nullptr || !representable(ri) || !representable(rj))
        return refusals.windowDoesNotFit;

    // The window's centre node, then its first and last rows and columns;
    // 64-bit so that no comparison below can overflow.
    long long i0, j0;
    if (w % 2 != 0) {
        i0 = static_cast<int>(ri - 0.5);
        j0 = static_cast<int>(rj - 0.5);
    } else {
        i0 = static_cast<int>(ri);
        j0 = static_cast<int>(rj);
    }
    const long long ilo = i0 - w / 2 + 1;
    const long long jlo = j0 - w / 2 + 1;
    const long long ihi = ilo + w - 1;
    const long long jhi = jlo + w - 1;
    if (ilo < 0 || ihi >= nrows || jlo < 0 || jhi >= ncols)
        return refusals.windowDoesNotFit;
    if (ilo < ir || ihi > static_cast<long long>(nrows) - ir || jlo < jr || jhi > static_cast<long long>(ncols) - jr)
        return refusals.outOfRange;
    if (w <= 2)
        return bilin(ri, rj, h, nrows, ncols);

    // Splines along the window rows at the point's column position, then one
    // across their results at its row position. Each fit is initsp's and each
    // value spline's, with the value-independent factors tabulated.
    const EliminationFactors& factors = eliminationFactors();
    const double* p = factors.p[w];
    const double* q = factors.q[w];
    const double v = rj - static_cast<double>(jlo);
    double across[kMaxWindow];
    if (v >= 0 && v < w - 1) {
        splineRowsAt(h, ilo, jlo, w, v, p, q, across);
    } else {
        for (long long i = ilo; i <= ihi; ++i)  // rows read in place: the fit only reads them
            across[i - ilo] = fitAndEvaluate(h[i] + jlo, w, v, p, q);
    }
    return fitAndEvaluate(across, w, ri - static_cast<double>(ilo), p, q);
}

double gridGeoidHeight(const GridView& grid, double lat, double lon)
{
    if (grid.rows == nullptr)
        return kWindowDoesNotFit;
    return gridGeoidHeight(grid, paddedOrigin(grid), lat, lon, kSentinels);
}

double gridGeoidHeight(const GridView& grid, const PaddedOrigin& origin, double lat, double lon,
                       const Refusals& refusals)
{
    // One reduction each way: 370 becomes 10 and -10 becomes 350, while 730
    // (370) and -370 (-10) stay out of range.
    if (lon > 360.0)
        lon = lon - 360.0;
    if (lon < 0.0)
        lon = lon + 360.0;
    if (!(lat <= 90.0 && lat >= -90.0 && lon <= 360.0 && lon >= 0.0))
        return refusals.outOfRange;
    return interp(grid.window, 0.0, grid.rows, origin.south, origin.west, grid.dlat, grid.dlon, grid.paddedRows,
                  grid.paddedCols, lat, lon, refusals);
}

double corrUndulation(double a, double b, double e2, double lat, double lon, double dX, double dY, double dZ,
                      double da, double df)
{
    const double phi = angles::toRadians(lat);
    const double lambda = angles::toRadians(lon);
    const double s = std::sin(phi);
    const double N = a / std::sqrt(1 - (e2 * s) * s);  // prime-vertical radius
    const double cosPhi = std::cos(phi);
    return ((((std::sin(lambda) * cosPhi) * dY + (std::cos(lambda) * cosPhi) * dX) + s * dZ) - (a / N) * da) +
           ((((b / a) * s) * s) * N) * df;
}

} // namespace grid
} // namespace tervala
