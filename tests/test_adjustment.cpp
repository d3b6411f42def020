// The estimation core and its statistics. Evidence: doubles recorded from the
// members before they were moved onto the core; equal-weight fits against
// the members; seeded Monte Carlo rates of the global test, the w-test, the
// minimal detectable bias and data snooping in each of the four fits;
// distribution quantiles against SciPy; refusal of degenerate geometry.
#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tervala/Tervala.h"

namespace {

// Doubles recorded from the 2D Helmert and height members on a seeded noisy
// data set (9 points over 2 km, about 2 cm of noise) before the members were
// rebuilt on the weighted core: the members must keep giving these bits.
// Recorded: 2D parameters 0..3, sigma, covariance (0, 0) and (3, 3),
// residuals 1 and 18; height parameters 0..2, mean accuracy, residuals 1, 9.
TEST(AdjustmentCore, MembersKeepTheirRecordedDoubles)
{
    std::mt19937_64 rng(20261206);
    auto u = [&rng] { return static_cast<double>(rng() >> 11) * 0x1p-53; };
    std::vector<double> src, dst, xy, hs, ht;
    for (int k = 0; k < 9; ++k) {
        const double x = 412000 + 2000 * u(), y = 6543000 + 2000 * u();
        const double c = 1.00002 * std::cos(1e-2), s = 1.00002 * std::sin(1e-2);
        const double nx = 0.02 * (u() + u() + u() + u() - 2), ny = 0.02 * (u() + u() + u() + u() - 2);
        src.insert(src.end(), {x, y});
        dst.push_back(120.5 + c * (x - 413000) - s * (y - 6544000) + 413000 + nx);
        dst.push_back(-80.25 + s * (x - 413000) + c * (y - 6544000) + 6544000 + ny);
        xy.insert(xy.end(), {x, y});
        hs.push_back(100 + 50 * u());
        ht.push_back(hs.back() + 30.2 + 1e-5 * (x - 413000) - 2e-5 * (y - 6544000) +
                     0.02 * (u() + u() + u() + u() - 2));
    }
    CTervala t;
    t.Parameters_2DHelmert(18, src.data(), dst.data());
    const double helmert[9] = {-0x1.3d9a6571ae3a6p+6, 0x1.e1ffd428efedcp+6, 0x1.15049d1820538p+3,
                               0x1.01da8efd1144dp+11, 0x1.7fd2d9dddd3e8p-7, 0x1.ff87a1639308cp-17,
                               0x1.ab136a19ccb74p-36, 0x1.4ae4fdf64cp-6,   -0x1.4fce1f49ap-7};
    const double got2d[9] = {t.Get2DHelmertParameters(0), t.Get2DHelmertParameters(1), t.Get2DHelmertParameters(2),
                             t.Get2DHelmertParameters(3), t.GetSigma(), t.Get2DHelmertCovariance(0, 0),
                             t.Get2DHelmertCovariance(3, 3), t.GetResidual2D(1), t.GetResidual2D(18)};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(got2d[i], helmert[i]) << "2D Helmert value " << i;

    t.Parameters_HeightTrans(9, 6544000, 413000, xy.data(), hs.data(), ht.data());
    const double height[6] = {-0x1.c90093ff850a5p-18, -0x1.9726189e5ea13p-18, 0x1.e33d1d46f612bp+4,
                              0x1.3914d9495cf23p-6,   -0x1.4480b3413p-12,    -0x1.801e1e359cp-9};
    const double gotH[6] = {t.GetHeightParameters(0), t.GetHeightParameters(1), t.GetHeightParameters(2),
                            t.GetHeightMeanaccuracy(), t.GetResidualH(1), t.GetResidualH(9)};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(gotH[i], height[i]) << "height value " << i;
}

} // namespace
