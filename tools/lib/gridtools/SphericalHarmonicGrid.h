// EGM96 geoid heights on a whole latitude-longitude grid, for making grid
// files from the coefficients (tervala data egm96-grid).
//
// Every node of a grid row shares its latitude, so everything but the
// longitude is done once per row: the Legendre functions, and for each order
// m the sums over the degree of (a/r)^n P(n, m) C(n, m), of the same with
// S(n, m), and of the correction series' P(n, m) c(n, m) and P(n, m) s(n, m).
// The two series are then folded into one pair of coefficients per order
// (the potential's scaled by GM / (gamma r), the correction's by 0.01), and a
// node needs only their Fourier sum in the longitude, by Clenshaw's
// recurrence, for several longitudes side by side: about 2 * 361
// multiplications instead of the 65341 terms of a point evaluation. The sums
// run in another order than EGM96GeoidHeight's, and
// the row uses the geocentric radius and latitude of its longitude-0 point,
// so the heights agree with it to rounding (well within 1e-8 m), not bit for
// bit.
#ifndef TERVALA_GEOID_SPHERICALHARMONICGRID_H
#define TERVALA_GEOID_SPHERICALHARMONICGRID_H

#include <atomic>
#include <vector>

#include "geoid/SphericalHarmonic.h"

namespace tervala {
namespace egm96 {

// A grid: rows from `north` southwards by dlat, columns from `west`
// eastwards by dlon (degrees).
struct GridSpec {
    double north;
    double west;
    double dlat;
    double dlon;
    int rows;
    int cols;
};

// The per-row sums of one latitude.
class RowSynthesis {
public:
    explicit RowSynthesis(const CoefficientView& coefficients);

    // Prepares the row at `latitude` (degrees).
    void setLatitude(double latitude);
    // Undulations (metres) at longitudes west, west + dlon, ... (degrees) on
    // the prepared row, `count` of them, into out.
    void heights(double west, double dlon, int count, double* out) const;
    double height(double longitude) const;

private:
    const CoefficientView& coefficients_;
    std::vector<double> legendre_;      // 65341 functions of the row
    std::vector<double> potentialCos_;  // per order: sums over the degree
    std::vector<double> potentialSin_;
    std::vector<double> correctionCos_;
    std::vector<double> correctionSin_;
    std::vector<double> cosCoefficient_;  // per order: both series folded together
    std::vector<double> sinCoefficient_;
};

// Heights of every node, row by row north first (rows * cols values), on
// `threads` threads (at least 1). Each finished row adds 1 to *rowsDone
// when given, so that a caller can show progress.
std::vector<double> synthesizeGrid(const CoefficientView& coefficients, const GridSpec& layout, int threads,
                                   std::atomic<int>* rowsDone = nullptr);

} // namespace egm96
} // namespace tervala

#endif
