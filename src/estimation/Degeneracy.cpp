#include "estimation/Degeneracy.h"

#include <cmath>

#include <Eigen/Core>
#include <Eigen/Eigenvalues>

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
    const double trace = s[0][0] + s[1][1] + s[2][2];
    const double tiny = 1e-9 * largest;
    if (!(std::sqrt(trace / static_cast<double>(count)) > tiny))
        return 0;
    // The spread along a principal direction is the square root of an
    // eigenvalue of the scatter: a ratio of 1e-6 in length is 1e-12 in the
    // eigenvalues, each compared with the largest.
    Eigen::Matrix3d scatter;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            scatter(i, j) = s[i][j];
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> eigen(scatter, Eigen::EigenvaluesOnly);
    if (eigen.info() != Eigen::Success)
        return 0;
    const Eigen::Vector3d& l = eigen.eigenvalues();  // ascending
    const double ratio = 1e-12;
    int rank = 1;
    for (int i = 0; i < 2; ++i)
        if (l(i) > ratio * l(2))
            ++rank;
    return rank;
}

} // namespace estimation
} // namespace tervala
