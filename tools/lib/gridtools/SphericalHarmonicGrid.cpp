#include "gridtools/SphericalHarmonicGrid.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "core/Angles.h"

namespace tervala {
namespace egm96 {

RowSynthesis::RowSynthesis(const CoefficientView& coefficients)
    : coefficients_(coefficients),
      legendre_(kCoefficientCount),
      potentialCos_(kMaxDegree + 1),
      potentialSin_(kMaxDegree + 1),
      correctionCos_(kMaxDegree + 1),
      correctionSin_(kMaxDegree + 1),
      cosCoefficient_(kMaxDegree + 1),
      sinCoefficient_(kMaxDegree + 1)
{
}

void RowSynthesis::setLatitude(double latitude)
{
    const PointGeometry g = pointGeometry(angles::toRadians(latitude), 0.0);
    const double theta = PI * 0.5 - g.geocentricLatitude;
    legendreFunctions(std::cos(theta), std::sin(theta), legendre_.data());

    const double* P = legendre_.data();
    const double* cs = coefficients_.cs();
    const double* cc = coefficients_.corrCos();
    const double* ss = coefficients_.corrSin();
    std::fill(potentialCos_.begin(), potentialCos_.end(), 0.0);
    std::fill(potentialSin_.begin(), potentialSin_.end(), 0.0);
    std::fill(correctionCos_.begin(), correctionCos_.end(), 0.0);
    std::fill(correctionSin_.begin(), correctionSin_.end(), 0.0);

    // Degrees 0 and 1 enter only the correction series.
    correctionCos_[0] = cc[0] + P[1] * cc[1];
    correctionCos_[1] = P[2] * cc[2];
    correctionSin_[1] = P[2] * ss[2];

    const double q = kA / g.radius;
    double qn = q;
    for (int n = 2; n <= kMaxDegree; ++n) {
        qn = qn * q;
        const int base = n * (n + 1) / 2;  // 0-based position of (n, 0)
        const double* p = P + base;
        const double* csn = cs + 2 * base;
        // Order 0 has no sine terms.
        potentialCos_[0] += qn * (p[0] * csn[0]);
        correctionCos_[0] += p[0] * cc[base];
        for (int m = 1; m <= n; ++m) {
            potentialCos_[m] += qn * (p[m] * csn[2 * m]);
            potentialSin_[m] += qn * (p[m] * csn[2 * m + 1]);
            correctionCos_[m] += p[m] * cc[base + m];
            correctionSin_[m] += p[m] * ss[base + m];
        }
    }
    const double factor = kGM / (g.gamma * g.radius);
    for (int m = 0; m <= kMaxDegree; ++m) {
        cosCoefficient_[m] = potentialCos_[m] * factor + correctionCos_[m] * kCorrectionScale;
        sinCoefficient_[m] = potentialSin_[m] * factor + correctionSin_[m] * kCorrectionScale;
    }
}

void RowSynthesis::heights(double west, double dlon, int count, double* out) const
{
    // Clenshaw's recurrence for sum a_m cos(m x) + b_m sin(m x), m = 1..360:
    // u_m = a_m + 2 cos x u_(m+1) - u_(m+2) gives the cosine sum u_1 cos x - u_2,
    // and the same in b gives the sine sum v_1 sin x. The recurrences of
    // kLanes longitudes run side by side so that their chains overlap.
    constexpr int kLanes = 8;
    const double* a = cosCoefficient_.data();
    const double* b = sinCoefficient_.data();
    for (int first = 0; first < count; first += kLanes) {
        const int lanes = std::min(kLanes, count - first);
        double cx[kLanes], sx[kLanes], twoCos[kLanes];
        double u1[kLanes] = {}, u2[kLanes] = {}, v1[kLanes] = {}, v2[kLanes] = {};
        for (int l = 0; l < kLanes; ++l) {
            const double x = angles::toRadians(west + (first + std::min(l, lanes - 1)) * dlon);
            cx[l] = std::cos(x);
            sx[l] = std::sin(x);
            twoCos[l] = 2.0 * cx[l];
        }
        for (int m = kMaxDegree; m >= 1; --m) {
            for (int l = 0; l < kLanes; ++l) {
                const double u = a[m] + twoCos[l] * u1[l] - u2[l];
                const double v = b[m] + twoCos[l] * v1[l] - v2[l];
                u2[l] = u1[l];
                u1[l] = u;
                v2[l] = v1[l];
                v1[l] = v;
            }
        }
        for (int l = 0; l < lanes; ++l)
            out[first + l] = ((a[0] + (u1[l] * cx[l] - u2[l])) + v1[l] * sx[l]) - kZeroDegreeTerm;
    }
}

double RowSynthesis::height(double longitude) const
{
    double h = 0.0;
    heights(longitude, 0.0, 1, &h);
    return h;
}

std::vector<double> synthesizeGrid(const CoefficientView& coefficients, const GridSpec& layout, int threads,
                                   std::atomic<int>* rowsDone)
{
    const int rows = std::max(layout.rows, 0), cols = std::max(layout.cols, 0);
    std::vector<double> heights(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
    std::atomic<int> nextRow{0};
    auto work = [&] {
        RowSynthesis row(coefficients);
        for (int i = nextRow++; i < rows; i = nextRow++) {
            row.setLatitude(layout.north - i * layout.dlat);
            row.heights(layout.west, layout.dlon, cols,
                        heights.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(cols));
            if (rowsDone != nullptr)
                ++*rowsDone;
        }
    };
    const int workers = std::max(1, std::min(threads, rows));
    std::vector<std::thread> pool;
    for (int t = 1; t < workers; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
    return heights;
}

} // namespace egm96
} // namespace tervala
