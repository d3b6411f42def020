#include "estimation/Degeneracy.h"

#include <cmath>

namespace tervala {
namespace estimation {

bool allFinite(const double* values, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (!std::isfinite(values[i]))
            return false;
    return true;
}

int spreadRank(const double* p, std::size_t count, int dimension)
{
    if (count == 0 || (dimension != 2 && dimension != 3) || !allFinite(p, count * static_cast<std::size_t>(dimension)))
        return 0;
    const std::size_t d = static_cast<std::size_t>(dimension);
    double centroid[3] = {0, 0, 0};
    double largest = 0;
    for (std::size_t k = 0; k < count; ++k)
        for (std::size_t i = 0; i < d; ++i) {
            centroid[i] += p[k * d + i] / static_cast<double>(count);
            largest = std::fmax(largest, std::fabs(p[k * d + i]));
        }
    // Scatter matrix about the centroid (a zero third row and column in 2D).
    double s[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
    for (std::size_t k = 0; k < count; ++k) {
        double v[3] = {0, 0, 0};
        for (std::size_t i = 0; i < d; ++i)
            v[i] = p[k * d + i] - centroid[i];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                s[i][j] += v[i] * v[j];
    }
    // Its invariants: the sum of the eigenvalues, of their pairwise products,
    // and their product. With eigenvalues l1 >= l2 >= l3 >= 0, the ratios
    // below approximate l2 / l1 and l3 / l2 from above within a factor of 3.
    const double trace = s[0][0] + s[1][1] + s[2][2];
    const double minors = (s[0][0] * s[1][1] - s[0][1] * s[1][0]) + (s[0][0] * s[2][2] - s[0][2] * s[2][0]) +
                          (s[1][1] * s[2][2] - s[1][2] * s[2][1]);
    const double det = s[0][0] * (s[1][1] * s[2][2] - s[1][2] * s[2][1]) -
                       s[0][1] * (s[1][0] * s[2][2] - s[1][2] * s[2][0]) +
                       s[0][2] * (s[1][0] * s[2][1] - s[1][1] * s[2][0]);
    const double tiny = 1e-9 * largest;
    if (!(std::sqrt(trace / static_cast<double>(count)) > tiny))
        return 0;
    // Spread ratio 1e-6 in length is 1e-12 in the eigenvalues.
    const double ratio = 1e-12;
    if (!(minors > ratio * trace * trace))
        return 1;
    if (!(det > ratio * minors * minors / trace))
        return 2;
    return 3;
}

} // namespace estimation
} // namespace tervala
