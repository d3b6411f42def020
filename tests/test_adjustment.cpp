// The estimation core and its statistics. Evidence: doubles recorded from the
// members before they were moved onto the core (equal-weight fits against the
// members: ModernFits in test_modern); seeded Monte Carlo rates of the global
// test, the w-test, the minimal detectable bias and data snooping in each of
// the four fits; distribution quantiles against SciPy; refusal of degenerate
// geometry.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "estimation/Adjustment.h"
#include "estimation/LeastSquares.h"
#include "tervala/Tervala.h"

namespace {

using tervala::Adjustment;
using tervala::AdjustmentSettings;
using tervala::Geometry;

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

// The members accumulate with fixed sizes (FixedNormalEquations,
// fixedGroupResiduals) and the seven-parameter iteration without the
// products of its structural zeros; each must give the general core's doubles
// bit for bit, or the members' results drift. Random groups of every shape
// the fits use (and 14 unknowns), with magnitudes from 1e-6 to 1e7, exact
// zeros and negative zeros in the design rows, weights 1, 0.5 and general
// symmetric ones.
std::uint64_t bitsOf(double x)
{
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

template <int Unknowns, int Size>
struct FixedAgainstGeneral {
    static void run(std::mt19937_64& rng, int groups)
    {
        auto u = [&rng] { return static_cast<double>(rng() >> 11) * 0x1p-53; };
        auto value = [&] {
            const double pick = u();
            if (pick < 0.1)
                return 0.0;
            if (pick < 0.15)
                return -0.0;
            return (u() - 0.5) * std::pow(10.0, -6 + 13 * u());
        };
        tervala::FixedNormalEquations<Unknowns> fixed;
        tervala::NormalEquations general(Unknowns);
        double x[Unknowns];
        for (double& xi : x)
            xi = value();
        double omegaFixed = 0, omegaGeneral = 0;
        for (int n = 0; n < groups; ++n) {
            tervala::FixedGroup<Unknowns, Size> g;
            for (int r = 0; r < Size; ++r) {
                for (int j = 0; j < Unknowns; ++j)
                    g.a[r][j] = value();
                g.l[r] = value();
            }
            const int kind = n % 3;  // 1, 0.5, or a general symmetric weight
            for (int r = 0; r < Size; ++r)
                for (int j = 0; j <= r; ++j)
                    g.P[r][j] = g.P[j][r] = kind == 2 ? (r == j ? 1 + u() : 0.3 * (u() - 0.5))
                                                      : (r == j ? 1.0 - 0.5 * kind : 0.0);
            fixed.add(g);
            general.add(g.general());
            double vFixed[Size], vGeneral[kMaxGroupForTest];
            tervala::fixedGroupResiduals(g, x, vFixed, omegaFixed);
            tervala::groupResiduals(g.general(), Unknowns, x, vGeneral, omegaGeneral);
            for (int r = 0; r < Size; ++r)
                ASSERT_EQ(bitsOf(vFixed[r]), bitsOf(vGeneral[r])) << Unknowns << "x" << Size << " residual " << r;
        }
        EXPECT_EQ(bitsOf(omegaFixed), bitsOf(omegaGeneral)) << Unknowns << "x" << Size;
        const tervala::NormalEquations converted = fixed.general();
        for (int c = 0; c < Unknowns; ++c) {
            for (int d = 0; d < Unknowns; ++d)
                ASSERT_EQ(bitsOf(converted.N[c][d]), bitsOf(general.N[c][d]))
                    << Unknowns << "x" << Size << " N " << c << d;
            ASSERT_EQ(bitsOf(converted.U[c]), bitsOf(general.U[c])) << Unknowns << "x" << Size << " U " << c;
        }
    }
    static constexpr int kMaxGroupForTest = tervala::kMaxGroup;
};

TEST(AdjustmentCore, FixedSizeAccumulationGivesTheGeneralCoresDoubles)
{
    std::mt19937_64 rng(20261207);
    FixedAgainstGeneral<4, 1>::run(rng, 400);   // 2D Helmert
    FixedAgainstGeneral<3, 1>::run(rng, 400);   // height plane
    FixedAgainstGeneral<1, 1>::run(rng, 100);   // height shift alone
    FixedAgainstGeneral<7, 3>::run(rng, 400);   // seven parameters, held unknowns
    FixedAgainstGeneral<14, 3>::run(rng, 200);  // the largest model the core takes
    FixedAgainstGeneral<4, 2>::run(rng, 100);

    // Seven-parameter groups with their structure: unit columns for tx, ty,
    // tz, a zero in the last row of rz; points at the rotation origin give
    // zero rows for the rotations, a zero weight off the diagonal is common.
    auto u = [&rng] { return static_cast<double>(rng() >> 11) * 0x1p-53; };
    tervala::FixedNormalEquations<7> skipping;
    tervala::NormalEquations general(7);
    double x[7];
    for (double& xi : x)
        xi = (u() - 0.5) * std::pow(10.0, -4 + 6 * u());
    x[1] = -0.0;
    double omegaSkipping = 0, omegaGeneral = 0;
    for (int n = 0; n < 600; ++n) {
        tervala::FixedGroup<7, 3> g;
        const bool atOrigin = n % 10 == 0;
        for (int r = 0; r < 3; ++r) {
            for (int j = 0; j < 3; ++j)
                g.a[r][j] = r == j ? 1 : 0;
            for (int j = 3; j < 7; ++j)
                g.a[r][j] = atOrigin ? (u() < 0.5 ? 0.0 : -0.0) : (u() - 0.5) * 30;
            g.l[r] = n % 7 == 0 ? 0.0 : (u() - 0.5) * 0.1;
        }
        g.a[2][6] = 0;
        for (int r = 0; r < 3; ++r)
            for (int j = 0; j <= r; ++j)
                g.P[r][j] = g.P[j][r] = r == j ? 0.5 + u() : (n % 2 ? 0.0 : -0.0) + (n % 3 ? 0.0 : 0.1 * u());
        tervala::addSevenParameterGroup(g.a, g.l, g.P, skipping);
        general.add(g.general());
        double vSkipping[3], vGeneral[3];
        tervala::sevenParameterGroupResiduals(g.a, g.l, g.P, x, vSkipping, omegaSkipping);
        tervala::groupResiduals(g.general(), 7, x, vGeneral, omegaGeneral);
        for (int r = 0; r < 3; ++r)
            ASSERT_EQ(bitsOf(vSkipping[r]), bitsOf(vGeneral[r])) << "point " << n << " residual " << r;
    }
    EXPECT_EQ(bitsOf(omegaSkipping), bitsOf(omegaGeneral));
    for (int c = 0; c < 7; ++c) {
        for (int d = 0; d < 7; ++d)
            EXPECT_EQ(bitsOf(skipping.N[c][d]), bitsOf(general.N[c][d])) << "N " << c << d;
        EXPECT_EQ(bitsOf(skipping.U[c]), bitsOf(general.U[c])) << "U " << c;
    }
}

// The small inverses and the condition verdict, against hand-derived values:
// inverses by the adjugate over the determinant; the scaled normal matrix
// [[1, r], [r, 1]] has eigenvalues 1 - r and 1 + r, so its condition
// reciprocal is (1 - r) / (1 + r), and a matrix whose scaling makes it so
// gives the same; every unknown held leaves nothing to judge.
TEST(AdjustmentCore, SmallInversesAndConditionVerdict)
{
    struct Inverse {
        int size;
        double in[3][3], expected[3][3];
        bool invertible;
    };
    const Inverse inverses[] = {
        {1, {{4}}, {{0.25}}, true},
        {2, {{4, 2}, {2, 3}}, {{3.0 / 8, -2.0 / 8}, {-2.0 / 8, 4.0 / 8}}, true},
        {3, {{2, -1, 0}, {-1, 2, -1}, {0, -1, 2}}, {{0.75, 0.5, 0.25}, {0.5, 1, 0.5}, {0.25, 0.5, 0.75}}, true},
        {3, {{1e-4, 0, 0}, {0, 4e-4, 0}, {0, 0, 1e-6}}, {{1e4, 0, 0}, {0, 2.5e3, 0}, {0, 0, 1e6}}, true},
        {2, {{1, 2}, {2, 4}}, {}, false},
        {3, {{1, 0, 0}, {0, std::nan(""), 0}, {0, 0, 1}}, {}, false},
    };
    for (const Inverse& c : inverses) {
        double out[3][3] = {};
        EXPECT_EQ(tervala::invertSmall(c.size, c.in, out), c.invertible) << "order " << c.size;
        const double scale = std::fabs(c.expected[0][0]);
        if (c.invertible)
            for (int i = 0; i < c.size; ++i)
                for (int j = 0; j < c.size; ++j)
                    EXPECT_NEAR(out[i][j], c.expected[i][j], 1e-14 * (std::fabs(c.expected[i][j]) + scale)) << i << j;
    }

    for (double r : {0.0, 0.5, -0.9, 0.999999, 1 - 1e-11, 1 - 1e-13}) {
        tervala::NormalEquations ne(3);
        // Unknown 0 alone, unknowns 1 and 2 correlated by r at scales 1e6 and 1e-4.
        const double scale[3] = {7, 1e6, 1e-4};
        const double unit[3][3] = {{1, 0, 0}, {0, 1, r}, {0, r, 1}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                ne.N[i][j] = unit[i][j] * scale[i] * scale[j];
        const tervala::Solution sol = tervala::solveNormalEquations(ne, tervala::HeldUnknowns{}, true);
        const double expected = (1 - std::fabs(r)) / (1 + std::fabs(r));
        EXPECT_NEAR(sol.conditionReciprocal, expected, 1e-15 + 1e-9 * expected) << r;
        const bool sound = expected >= tervala::kSingularConditionReciprocal;
        EXPECT_EQ(sol.geometry, sound ? Geometry::Sound : Geometry::Singular) << r;
    }
    tervala::NormalEquations ne(2);
    ne.N[0][0] = ne.N[1][1] = 1;
    tervala::HeldUnknowns all;
    all.held[0] = all.held[1] = true;
    all.value[0] = 3;
    const tervala::Solution held = tervala::solveNormalEquations(ne, all, true);
    EXPECT_EQ(held.geometry, Geometry::Sound);
    EXPECT_EQ(held.conditionReciprocal, 1.0);
    EXPECT_EQ(held.x[0], 3.0);
}

// Chi-square and normal quantiles against SciPy (tables/quantiles.txt).
TEST(AdjustmentCore, QuantilesAgreeWithSciPy)
{
    testsupport::checkValueTable("quantiles.txt",
                                 {{"chi2", [](const auto& x) { return tervala::chiSquareQuantile(x[0], x[1]); }},
                                  {"normal", [](const auto& x) { return tervala::normalQuantile(x[0]); }},
                                  {"lambda0", [](const auto& x) {
                                       const double s = tervala::noncentralitySqrt(x[0], x[1]);
                                       return s * s;
                                   }}});
    // No power at or below the false-alarm rate.
    EXPECT_TRUE(std::isnan(tervala::noncentralitySqrt(0.05, 0.05)));
    EXPECT_TRUE(std::isnan(tervala::noncentralitySqrt(0.05, 1.0)));
}

// ---- The four fits on one footing ---------------------------------------------

enum class Model { Helmert2D, Height, BursaWolf, MolodenskyBadekas };
const char* modelName(Model m)
{
    return m == Model::Helmert2D ? "2D Helmert" : m == Model::Height ? "height plane" :
           m == Model::BursaWolf ? "Bursa-Wolf" : "Molodensky-Badekas";
}

// Uniform and Gaussian numbers from the raw output of mt19937_64 (fixed by
// the standard), Box-Muller, so the data do not depend on the standard
// library's distributions.
struct Random {
    std::mt19937_64 rng;
    explicit Random(unsigned seed) : rng(seed) {}
    double uniform() { return (static_cast<double>(rng() >> 11) + 0.5) * 0x1p-53; }
    double gauss() { return std::sqrt(-2 * std::log(uniform())) * std::cos(2 * testsupport::kPi * uniform()); }
};

// A network with true coordinates, a priori standard deviations that differ
// from point to point, and the observations drawn from them. Observation i
// of the fit is coordinate i % perPoint of point i / perPoint; a blunder on
// it goes into the target coordinate (the height for the plane).
struct Network {
    Model model;
    int points = 12, perPoint;
    std::vector<double> src, trueTarget, sigma, sigmaSource;  // sigmaSource: seven-parameter fits only
    std::vector<double> obsSrc, obsTarget;

    Network(Model m, unsigned seed) : model(m), perPoint(m == Model::Helmert2D ? 2 : m == Model::Height ? 1 : 3)
    {
        Random r(seed);
        CTervala t;  // the datum members give the true targets
        if (m == Model::BursaWolf)
            t.SetParameters_Bursa_WolfModel(-446.448, 125.157, -542.060, 7.5, 1.5, -2.0, 3.0);
        else
            t.SetParameters_Molodensky_BadekasModel(-3.03e6, 4.07e6, 3.87e6, -0.8, 1.2, 0.5, 7.5, 1.5, -2.0, 3.0);
        for (int k = 0; k < points; ++k) {
            if (m == Model::Helmert2D || m == Model::Height) {
                const double x = 412000 + 2000 * r.uniform(), y = 6543000 + 2000 * r.uniform();
                src.insert(src.end(), {x, y});
                if (m == Model::Helmert2D) {
                    const double c = 1.00002 * std::cos(1e-2), s = 1.00002 * std::sin(1e-2);
                    trueTarget.push_back(120.5 + c * (x - 413000) - s * (y - 6544000) + 413000);
                    trueTarget.push_back(-80.25 + s * (x - 413000) + c * (y - 6544000) + 6544000);
                } else {
                    src.push_back(100 + 50 * r.uniform());  // xy then hs: three values per point
                    trueTarget.push_back(src.back() + 30.2 + 1e-5 * (x - 413000) - 2e-5 * (y - 6544000));
                }
            } else {
                const double x[3] = {-3.05e6 + 5e4 * r.uniform(), 4.05e6 + 5e4 * r.uniform(),
                                     3.86e6 + 5e4 * r.uniform()};
                src.insert(src.end(), x, x + 3);
                if (m == Model::BursaWolf)
                    t.Bursa_WolfModel(x[0], x[1], x[2]);
                else
                    t.Molodensky_BadekasModel(x[0], x[1], x[2]);
                for (int i = 0; i < 3; ++i)
                    trueTarget.push_back(t.GetGeocentric(i));
            }
        }
        for (int i = 0; i < points * perPoint; ++i) {
            sigma.push_back(0.005 + 0.015 * r.uniform());
            if (perPoint == 3)
                sigmaSource.push_back(0.003 + 0.007 * r.uniform());
        }
        draw(nullptr);
    }

    int observations() const { return points * perPoint; }
    int srcStride() const { return model == Model::Height ? 3 : perPoint; }

    // New noise at the a priori standard deviations (none with rng null).
    void draw(Random* r)
    {
        obsSrc = src;
        obsTarget = trueTarget;
        for (int i = 0; i < observations(); ++i) {
            if (!r)
                continue;
            obsTarget[i] += sigma[i] * r->gauss();
            if (perPoint == 3)
                obsSrc[i] += sigmaSource[i] * r->gauss();
        }
    }

    // The a priori standard deviation of observation i as the fit tests it:
    // the misclosure sqrt(sigma_s^2 + sigma_t^2) in the seven-parameter fits.
    double testedSigma(int i) const
    {
        return perPoint == 3 ? std::hypot(sigma[i], sigmaSource[i]) : sigma[i];
    }

    // The height fit's positions and source heights (stored x, y, hs per point).
    void heightInputs(std::vector<double>& xy, std::vector<double>& hs) const
    {
        for (int k = 0; k < points; ++k) {
            xy.insert(xy.end(), {obsSrc[3 * k], obsSrc[3 * k + 1]});
            hs.push_back(obsSrc[3 * k + 2]);
        }
    }

    Adjustment fit(const AdjustmentSettings& s) const
    {
        switch (model) {
        case Model::Helmert2D:
            return tervala::adjustHelmert2D(points, obsSrc.data(), obsTarget.data(), sigma.data(), s);
        case Model::Height: {
            std::vector<double> xy, hs;
            heightInputs(xy, hs);
            return tervala::adjustHeightPlane(points, 413000, 6544000, xy.data(), hs.data(), obsTarget.data(),
                                              sigma.data(), s);
        }
        default:
            return tervala::adjustSevenParameters(points, obsSrc.data(), obsTarget.data(), sigmaSource.data(),
                                                  sigma.data(), model == Model::MolodenskyBadekas, s);
        }
    }
};

const Model kModels[] = {Model::Helmert2D, Model::Height, Model::BursaWolf, Model::MolodenskyBadekas};

const tervala::ObservationTest& observation(const Adjustment& a, int point, int coordinate)
{
    for (const tervala::ObservationTest& t : a.observations)
        if (t.point == point && t.coordinate == coordinate)
            return t;
    throw std::runtime_error("observation not in the report");
}

// Monte Carlo over each of the four fits, 1000 trials of noise at the a
// priori standard deviations on a fixed network (12 points, sigmas differing
// per observation): the global test at alpha = 5 % rejects 5 +- 2 % of clean
// trials; the w-test at alpha0 = 0.1 % rejects about 0.1 % of clean
// observations; a bias of the reported MDB on one observation (cycling
// through all of them) is detected by that observation's w-test in 80 +- 6 %
// of trials; a blunder of 10 sigma (of the tested observation) on a random
// observation is found by data snooping, which removes its point first, in at
// least 99 % of trials. Along the way: the redundancy numbers add up to the
// redundancy, and the reported parameter sigmas match the spread of the
// estimates (within 10 %; 1000 trials give them to about 2 %).
TEST(AdjustmentStatistics, MonteCarloRatesInEachFit)
{
    constexpr int kTrials = 1000;
    for (Model m : kModels) {
        SCOPED_TRACE(modelName(m));
        Network net(m, 11);
        Random r(12);
        AdjustmentSettings plain, snoop;
        snoop.snoop = true;
        const int nObs = net.observations();
        int globalRejected = 0, wRejected = 0, detected = 0, snooped = 0;
        std::vector<double> sum, sumSquares, sigma;
        for (int trial = 0; trial < kTrials; ++trial) {
            net.draw(&r);
            const Adjustment clean = net.fit(plain);
            ASSERT_EQ(clean.geometry, Geometry::Sound);
            ASSERT_EQ(static_cast<int>(clean.observations.size()), nObs);
            globalRejected += clean.global.passed ? 0 : 1;
            double redundancy = 0;
            for (const tervala::ObservationTest& t : clean.observations) {
                wRejected += t.rejected ? 1 : 0;
                redundancy += t.redundancy;
            }
            EXPECT_NEAR(redundancy, clean.redundancy, 1e-6);
            sum.resize(clean.parameters.size());
            sumSquares.resize(clean.parameters.size());
            sigma.resize(clean.parameters.size());
            for (std::size_t i = 0; i < clean.parameters.size(); ++i) {
                sum[i] += clean.parameters[i].value;
                sumSquares[i] += clean.parameters[i].value * clean.parameters[i].value;
                sigma[i] = clean.parameters[i].sigma;
            }

            // A bias of the MDB on observation i.
            const int i = trial % nObs, point = i / net.perPoint, coordinate = i % net.perPoint;
            const double mdb = observation(clean, point, coordinate).mdb;
            const double kept = net.obsTarget[i];
            net.obsTarget[i] += mdb;
            detected += observation(net.fit(plain), point, coordinate).rejected ? 1 : 0;
            net.obsTarget[i] = kept;

            // A 10 sigma blunder on a random observation, with its sign.
            const int j = static_cast<int>(r.uniform() * nObs);
            net.obsTarget[j] += (r.uniform() < 0.5 ? -10 : 10) * net.testedSigma(j);
            const Adjustment s = net.fit(snoop);
            snooped += !s.removed.empty() && s.removed[0].point == j / net.perPoint ? 1 : 0;
        }
        const double globalRate = 100.0 * globalRejected / kTrials;
        const double wRate = 100.0 * wRejected / (kTrials * nObs);
        const double detectionRate = 100.0 * detected / kTrials;
        const double snoopRate = 100.0 * snooped / kTrials;
        std::printf("%-20s global %.1f %%, w %.3f %%, MDB detected %.1f %%, snooped %.1f %%\n", modelName(m),
                    globalRate, wRate, detectionRate, snoopRate);
        EXPECT_NEAR(globalRate, 5, 2);
        EXPECT_NEAR(wRate, 0.1, 0.06);
        EXPECT_NEAR(detectionRate, 80, 6);
        EXPECT_GE(snoopRate, 99);
        for (std::size_t i = 0; i < sum.size(); ++i) {
            const double mean = sum[i] / kTrials;
            const double spread = std::sqrt((sumSquares[i] - kTrials * mean * mean) / (kTrials - 1));
            EXPECT_NEAR(spread, sigma[i], 0.1 * sigma[i]) << "parameter " << i;
        }
    }
}

// Geometry the points cannot fix, and input the fits cannot take, are
// refused with a verdict rather than NaN parameters; holding parameters
// changes what the points must fix (collinear points fix translations and
// scale).
TEST(AdjustmentCore, DegenerateGeometryAndBadInputAreRefused)
{
    auto settings = [](std::vector<std::string> fixed) {
        AdjustmentSettings s;
        s.fixed = std::move(fixed);
        return s;
    };
    const std::vector<double> sigma(12, 0.01), zeroSigma(12, 0.0);
    // Four points on one line (2D and geocentric), and three coincident.
    const std::vector<double> line2 = {0, 0, 10, 20, 20, 40, 30, 60};
    const std::vector<double> same2 = {5, 5, 5, 5, 5, 5};
    const std::vector<double> line3 = {-3.05e6, 4.05e6, 3.86e6, -3.04e6, 4.03e6, 3.87e6,
                                       -3.03e6, 4.01e6, 3.88e6, -3.02e6, 3.99e6, 3.89e6};
    const std::vector<double> same3 = {-3.05e6, 4.05e6, 3.86e6, -3.05e6, 4.05e6, 3.86e6, -3.05e6, 4.05e6, 3.86e6};
    std::vector<double> shifted = line3, nan2 = line2;
    for (std::size_t i = 0; i < shifted.size(); ++i)
        shifted[i] += i % 3 == 0 ? 1.0 : 0.5;
    nan2[3] = std::nan("");
    const double heights[4] = {10, 11, 12, 13};
    struct Case {
        const char* what;
        Adjustment result;
        Geometry expected;
    };
    const Case cases[] = {
        {"2D coincident", tervala::adjustHelmert2D(3, same2.data(), same2.data(), sigma.data(), {}),
         Geometry::Singular},
        {"2D one point", tervala::adjustHelmert2D(1, line2.data(), line2.data(), sigma.data(), {}),
         Geometry::TooFewObservations},
        {"2D collinear (a similarity is fixed)",
         tervala::adjustHelmert2D(4, line2.data(), line2.data(), sigma.data(), {}), Geometry::Sound},
        {"2D NaN", tervala::adjustHelmert2D(4, nan2.data(), line2.data(), sigma.data(), {}), Geometry::NonFinite},
        {"2D zero sigma", tervala::adjustHelmert2D(4, line2.data(), line2.data(), zeroSigma.data(), {}),
         Geometry::InvalidInput},
        {"2D scale held alone",
         tervala::adjustHelmert2D(4, line2.data(), line2.data(), sigma.data(), settings({"scale"})),
         Geometry::InvalidInput},
        {"2D unknown name", tervala::adjustHelmert2D(4, line2.data(), line2.data(), sigma.data(), settings({"tz"})),
         Geometry::InvalidInput},
        {"height collinear",
         tervala::adjustHeightPlane(4, 0, 0, line2.data(), heights, heights, sigma.data(), {}), Geometry::Singular},
        {"height collinear, slope across the line held",
         tervala::adjustHeightPlane(4, 0, 0, line2.data(), heights, heights, sigma.data(), settings({"slope2"})),
         Geometry::Sound},
        {"Bursa-Wolf collinear", tervala::adjustSevenParameters(4, line3.data(), shifted.data(), sigma.data(),
                                                                sigma.data(), false, {}),
         Geometry::Singular},
        {"Molodensky-Badekas collinear", tervala::adjustSevenParameters(4, line3.data(), shifted.data(),
                                                                        sigma.data(), sigma.data(), true, {}),
         Geometry::Singular},
        {"Molodensky-Badekas coincident", tervala::adjustSevenParameters(3, same3.data(), same3.data(), nullptr,
                                                                         sigma.data(), true, {}),
         Geometry::Singular},
        {"Bursa-Wolf collinear, rotations held",
         tervala::adjustSevenParameters(4, line3.data(), shifted.data(), sigma.data(), sigma.data(), false,
                                        settings({"rx", "ry", "rz"})),
         Geometry::Sound},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.result.geometry, c.expected) << c.what << ": " << c.result.message;
        if (c.expected != Geometry::Sound) {
            EXPECT_TRUE(c.result.parameters.empty() && !c.result.message.empty()) << c.what;
        }
    }
    // The translation-only fit of the shifted line: (1, 0.5, 0.5) exactly
    // the shift, rotations held at 0 with sigma 0, scale 0.
    const Adjustment t = cases[12].result;
    const double expected[7] = {1, 0.5, 0.5, 0, 0, 0, 0};
    for (int i = 0; i < 7; ++i)
        EXPECT_NEAR(t.parameters[i].value, expected[i], 1e-6) << t.parameters[i].name;
    EXPECT_EQ(t.parameters[4].sigma, 0.0);
    EXPECT_EQ(t.redundancy, 12 - 4);
}

// Held parameters: 2D scale and rotation held leave the translations, which
// are then the weighted mean of the coordinate differences, computed here
// directly; the redundancy counts only the free parameters.
TEST(AdjustmentCore, HeldParametersGiveTheReducedModel)
{
    Network net(Model::Helmert2D, 21);
    Random r(22);
    net.draw(&r);
    AdjustmentSettings s;
    s.fixed = {"scale", "rotation"};
    const Adjustment a = net.fit(s);
    ASSERT_EQ(a.geometry, Geometry::Sound) << a.message;
    double num[2] = {}, den[2] = {};
    for (int i = 0; i < net.observations(); ++i) {
        const double w = 1 / (net.sigma[i] * net.sigma[i]);
        num[i % 2] += w * (net.obsTarget[i] - net.obsSrc[i]);
        den[i % 2] += w;
    }
    // Reported t1 (first coordinate) first, as the parameter file and every front end order them.
    EXPECT_EQ(a.parameters[0].name, "t1");
    EXPECT_NEAR(a.parameters[0].value, num[0] / den[0], 1e-9);
    EXPECT_NEAR(a.parameters[1].value, num[1] / den[1], 1e-9);
    EXPECT_NEAR(a.parameters[0].sigma, 1 / std::sqrt(den[0]), 1e-12);
    EXPECT_EQ(a.parameters[2].value, 0.0);
    EXPECT_EQ(a.parameters[3].value, 0.0);
    EXPECT_EQ(a.redundancy, net.observations() - 2);
}

// Data snooping never removes the last redundancy: three 2D points (r = 2)
// with a 10 sigma blunder keep all points, the failing observation marked
// and the report saying why snooping stopped.
TEST(AdjustmentStatistics, SnoopingKeepsARedundancy)
{
    const double src[6] = {0, 0, 1000, 0, 0, 1000};
    double dst[6] = {10, 20, 1010, 20, 10, 1020};
    dst[2] += 0.1;
    const std::vector<double> sigma(6, 0.01);
    AdjustmentSettings s;
    s.snoop = true;
    const Adjustment a = tervala::adjustHelmert2D(3, src, dst, sigma.data(), s);
    ASSERT_EQ(a.geometry, Geometry::Sound);
    EXPECT_EQ(a.redundancy, 2);
    EXPECT_TRUE(a.removed.empty());
    EXPECT_TRUE(observation(a, 1, 0).rejected);
    EXPECT_NE(a.message.find("no redundancy"), std::string::npos) << a.message;
}

} // namespace

namespace {

// A point held out of the fit gets, from the fit without it, the w-test,
// redundancy number and MDB it has in the fit with it (the leave-out
// identity P Qvv P = Inv(Qll + A Qxx A') on the point's block), in each
// model, with and without held parameters; its residual is the transformed
// point less its observation.
TEST(AdjustmentStatistics, HeldOutPointsCarryTheirTestsFromTheFitWithThem)
{
    const std::vector<std::string> held[4] = {{"rotation", "scale"}, {"slope2"}, {"rz"}, {"rz"}};
    for (Model m : kModels) {
        Network net(m, 21);
        Random r(3);
        net.draw(&r);
        net.obsTarget[4 * net.perPoint] += 12 * net.sigma[4 * net.perPoint];  // a blunder: large |w| too
        for (int variant = 0; variant < 2; ++variant) {
            AdjustmentSettings s;
            if (variant == 1)
                s.fixed = held[static_cast<int>(m)];
            const Adjustment full = net.fit(s);
            ASSERT_EQ(full.geometry, Geometry::Sound) << modelName(m);
            const double tolerance = net.perPoint == 3 ? 1e-5 : 1e-9;  // seven parameters: another linearisation
            for (int k : {4, 9}) {
                s.heldOut = {k};
                const Adjustment without = net.fit(s);
                ASSERT_EQ(without.geometry, Geometry::Sound) << modelName(m);
                ASSERT_EQ(static_cast<int>(without.outside.size()), net.perPoint);
                EXPECT_EQ(without.redundancy, full.redundancy - net.perPoint);
                for (const tervala::ObservationTest& t : without.outside) {
                    const tervala::ObservationTest& in = observation(full, k, t.coordinate);
                    SCOPED_TRACE(std::string(modelName(m)) + " point " + std::to_string(k) + " variant " +
                                 std::to_string(variant) + " coordinate " + std::to_string(t.coordinate));
                    EXPECT_EQ(t.point, k);
                    EXPECT_NEAR(t.w, in.w, tolerance * std::max(1.0, std::fabs(in.w)));
                    EXPECT_NEAR(t.redundancy, in.redundancy, tolerance);
                    EXPECT_NEAR(t.mdb, in.mdb, tolerance * in.mdb);
                    EXPECT_EQ(t.rejected, in.rejected);
                }
                if (m != Model::Helmert2D)
                    continue;
                // The 2D Helmert parameters applied by hand: t1, t2 about the origin, scale in ppm, rotation in ".
                const double t1 = without.parameters[0].value, t2 = without.parameters[1].value;
                const double mu = 1 + without.parameters[2].value * 1e-6;
                const double th = without.parameters[3].value / 3600 * testsupport::kPi / 180;
                const double x = net.obsSrc[2 * k] - without.origin[0], y = net.obsSrc[2 * k + 1] - without.origin[1];
                const double fitted[2] = {without.origin[0] + t1 + mu * (std::cos(th) * x - std::sin(th) * y),
                                          without.origin[1] + t2 + mu * (std::sin(th) * x + std::cos(th) * y)};
                for (const tervala::ObservationTest& t : without.outside)
                    EXPECT_NEAR(t.residual, fitted[t.coordinate] - net.obsTarget[2 * k + t.coordinate], 1e-8);
            }
        }
    }
}

} // namespace

namespace {

// Precision where the points are, on networks small enough to derive by
// hand. 2D Helmert about the centroid with one sigma for every coordinate:
// the unknowns t1, t2, c, d are uncorrelated with cofactors 1/n, 1/n,
// 1/S, 1/S (S the sum of squared distances from the centroid), so the
// transformed position at distance d has the circle of radius
// sigma sqrt(1/n + d^2/S). For a square of four points that is sigma/sqrt(2),
// r_i = 1/2, and an MDB error in x' of a corner moves that corner by r = 1/2
// of it (the opposite corner not at all, the neighbours by sqrt(2)/4 of it):
// external reliability sigma sqrt(lambda0 / 2), largest at the point itself.
TEST(PointPrecision, SquareNetworkHasCircularEllipsesAndKnownExternalReliability)
{
    const double src[8] = {500, 1500, 1500, 1500, 1500, 2500, 500, 2500};
    double dst[8];
    for (int i = 0; i < 8; ++i)
        dst[i] = src[i] + (i % 2 ? 30.0 : -20.0) + 1e-3 * ((i * 7) % 5);
    const double sigma = 0.01;
    const std::vector<double> sigmas(8, sigma);
    AdjustmentSettings s;
    Adjustment a = tervala::adjustHelmert2D(4, src, dst, sigmas.data(), s);
    ASSERT_EQ(a.geometry, Geometry::Sound);
    ASSERT_EQ(a.ellipses.size(), 4u);
    for (const tervala::PointEllipse& e : a.ellipses) {
        EXPECT_NEAR(e.semiMajor, sigma / std::sqrt(2.0), 1e-15);
        EXPECT_NEAR(e.semiMinor, sigma / std::sqrt(2.0), 1e-15);
        EXPECT_EQ(e.azimuth, 0.0);  // a circle
    }
    const double lambda0 = a.noncentralitySqrt * a.noncentralitySqrt;
    for (const tervala::ObservationTest& t : a.observations) {
        EXPECT_NEAR(t.redundancy, 0.5, 1e-12);
        EXPECT_NEAR(t.external, sigma * std::sqrt(lambda0 / 2), 1e-12);
        EXPECT_EQ(t.externalPoint, t.point);
    }
    // The box of a square is the square: corners (min, min), (min, max), (max, max), (max, min).
    ASSERT_EQ(a.corners.size(), 4u);
    EXPECT_EQ(a.corners[1][0], 500.0);
    EXPECT_EQ(a.corners[1][1], 2500.0);

    // At 95 % the axes grow by sqrt(chi^2(0.95, 2)) = sqrt(-2 ln 0.05).
    s.confidence = 0.95;
    a = tervala::adjustHelmert2D(4, src, dst, sigmas.data(), s);
    EXPECT_NEAR(a.ellipseScale, 2.4477468306808162, 1e-15);
    EXPECT_NEAR(a.ellipses[2].semiMajor, 2.4477468306808162 * sigma / std::sqrt(2.0), 1e-15);
    for (double bad : {0.0, 1.0, -0.5, std::nan("")}) {
        s.confidence = bad;
        EXPECT_EQ(tervala::adjustHelmert2D(4, src, dst, sigmas.data(), s).geometry, Geometry::InvalidInput) << bad;
    }
}

// Seven parameters with only the translations free, error-free source
// points and one target sigma: the translations have cofactor I / n, every
// transformed position the covariance sigma^2 / n I in any frame (a circle
// of radius sigma / sqrt(n), up sigma / sqrt(n)); each misclosure has
// r = 1 - 1/n, and an error of one MDB moves every transformed position by
// MDB / n. In the local frame the misclosure's components are those of the
// residual vector along east, north, up, with w = v / (sigma sqrt(r)).
TEST(PointPrecision, TranslationOnlySevenParameterFitInTheLocalFrame)
{
    const int n = 5;
    // Points near 60 N 25 E, a few kilometres apart, geocentric (GRS80 heights 0).
    const double lat0 = 60.0 * testsupport::kPi / 180, lon0 = 25.0 * testsupport::kPi / 180;
    const double a = 6378137.0, f = 1 / 298.257222101, e2 = f * (2 - f);
    std::vector<double> src(3 * n), dst(3 * n), sigmaTarget(3 * n, 0.02), sigmaSource(3 * n, 0.0);
    const double noise[15] = {0.011, -0.004, 0.020, -0.013, 0.007, 0.002, 0.005, 0.016, -0.019, -0.008,
                              0.001, 0.012, -0.017, -0.006, 0.009};
    for (int k = 0; k < n; ++k) {
        const double lat = lat0 + 0.01 * std::sin(k), lon = lon0 + 0.02 * std::cos(1.3 * k);
        const double nu = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
        src[3 * k] = nu * std::cos(lat) * std::cos(lon);
        src[3 * k + 1] = nu * std::cos(lat) * std::sin(lon);
        src[3 * k + 2] = nu * (1 - e2) * std::sin(lat);
        for (int i = 0; i < 3; ++i)
            dst[3 * k + i] = src[3 * k + i] + (i == 0 ? -90.0 : i == 1 ? -80.0 : -120.0) + noise[3 * k + i];
    }
    AdjustmentSettings s;
    s.fixed = {"s", "rx", "ry", "rz"};
    s.frameA = a;
    s.frameInverseFlattening = 1 / f;
    const Adjustment fit =
        tervala::adjustSevenParameters(n, src.data(), dst.data(), sigmaSource.data(), sigmaTarget.data(), false, s);
    ASSERT_EQ(fit.geometry, Geometry::Sound);
    const double radius = 0.02 / std::sqrt(double(n)), r = 1 - 1.0 / n;
    for (const tervala::PointEllipse& e : fit.ellipses) {
        EXPECT_NEAR(e.semiMajor, radius, 1e-12);
        EXPECT_NEAR(e.semiMinor, radius, 1e-12);
        EXPECT_NEAR(e.sigmaUp, radius, 1e-12);
    }
    for (const tervala::ObservationTest& t : fit.observations) {
        EXPECT_NEAR(t.redundancy, r, 1e-12);
        EXPECT_NEAR(t.external, t.mdb / n, 1e-12 * t.mdb);
    }
    // The local frame at each target point, east = (-sin lon, cos lon, 0),
    // north = (-sin lat cos lon, -sin lat sin lon, cos lat), up the normal;
    // the latitude from the target position by fixed-point iteration.
    ASSERT_EQ(fit.local.size(), 3u * n);
    for (int k = 0; k < n; ++k) {
        const double X = dst[3 * k], Y = dst[3 * k + 1], Z = dst[3 * k + 2], p = std::hypot(X, Y);
        double lat = std::atan2(Z, p * (1 - e2));
        for (int it = 0; it < 10; ++it) {
            const double nu = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
            const double h = p / std::cos(lat) - nu;
            lat = std::atan2(Z, p * (1 - e2 * nu / (nu + h)));
        }
        const double lon = std::atan2(Y, X);
        const double axes[3][3] = {{-std::sin(lon), std::cos(lon), 0},
                                   {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)},
                                   {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)}};
        for (int c = 0; c < 3; ++c) {
            const tervala::ObservationTest& local = fit.local[static_cast<std::size_t>(3 * k + c)];
            double v = 0;
            for (int i = 0; i < 3; ++i)
                v += axes[c][i] * observation(fit, k, i).residual;
            SCOPED_TRACE("point " + std::to_string(k) + " axis " + std::to_string(c));
            EXPECT_EQ(local.point, k);
            EXPECT_NEAR(local.residual, v, 1e-12);
            EXPECT_NEAR(local.redundancy, r, 1e-12);
            EXPECT_NEAR(local.w, v / (0.02 * std::sqrt(r)), 1e-9);
            EXPECT_NEAR(local.mdb, observation(fit, k, c).mdb, 1e-12);
        }
    }
}

} // namespace
