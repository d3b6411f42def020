// The estimation core and its statistics. Evidence: doubles recorded from the
// members before they were moved onto the core; equal-weight fits against
// the members; seeded Monte Carlo rates of the global test, the w-test, the
// minimal detectable bias and data snooping in each of the four fits;
// distribution quantiles against SciPy; refusal of degenerate geometry.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "estimation/Adjustment.h"
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

// Chi-square and normal quantiles against SciPy 1.10.1 (Debian python3-scipy):
//   /usr/bin/python3 -c "from scipy.stats import chi2, norm; print(chi2.ppf(p, dof).hex(), norm.ppf(p).hex())"
TEST(AdjustmentCore, QuantilesAgreeWithSciPy)
{
    struct Chi2 { double p, dof, scipy; };
    const Chi2 chi2[] = {{0.025, 1, 0x1.01718af674a36p-10}, {0.975, 1, 0x1.418759ee55fd2p+2},
                         {0.025, 5, 0x1.a994918ff6124p-1},  {0.975, 5, 0x1.9aa3db38c6d71p+3},
                         {0.025, 23, 0x1.76089e0a90ff3p+3}, {0.975, 23, 0x1.309ae275b7b77p+5},
                         {0.05, 100, 0x1.37b7c5b75a14ep+6}, {0.95, 100, 0x1.f15e52f9e6e20p+6},
                         {0.005, 2, 0x1.48807f33b350ep-7},  {0.995, 2, 0x1.5317a1b949c53p+3}};
    for (const Chi2& c : chi2)
        EXPECT_NEAR(tervala::chiSquareQuantile(c.p, c.dof), c.scipy, 1e-10 * c.scipy) << c.p << " " << c.dof;
    struct Normal { double p, scipy; };
    const Normal normal[] = {{0.9995, 0x1.a52ffadd2f906p+1}, {0.8, 0x1.aee8fa73a1334p-1},
                             {0.975, 0x1.f5c0331eeff84p+0},  {0.999, 0x1.8b8cbb7204470p+1},
                             {0.01, -0x1.29c5c4630ff0ep+1}};
    for (const Normal& c : normal)
        EXPECT_NEAR(tervala::normalQuantile(c.p), c.scipy, 1e-10 * std::fabs(c.scipy)) << c.p;
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
    double gauss() { return std::sqrt(-2 * std::log(uniform())) * std::cos(2 * M_PI * uniform()); }
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

    Adjustment fit(const AdjustmentSettings& s) const
    {
        switch (model) {
        case Model::Helmert2D:
            return tervala::adjustHelmert2D(points, obsSrc.data(), obsTarget.data(), sigma.data(), s);
        case Model::Height: {
            std::vector<double> xy, hs;
            for (int k = 0; k < points; ++k) {
                xy.insert(xy.end(), {obsSrc[3 * k], obsSrc[3 * k + 1]});
                hs.push_back(obsSrc[3 * k + 2]);
            }
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

// With one a priori sigma for all, the weighted fits give the members'
// parameters (the members use unit weights, so equal only within rounding).
TEST(AdjustmentCore, EqualWeightsGiveTheMembersParameters)
{
    for (Model m : kModels) {
        Network net(m, 7);
        Random r(8);
        net.draw(&r);
        net.sigma.assign(net.sigma.size(), 0.013);
        net.sigmaSource.assign(net.sigmaSource.size(), 0.013);
        const Adjustment a = net.fit(AdjustmentSettings{});
        ASSERT_EQ(a.geometry, Geometry::Sound) << modelName(m);
        CTervala t;
        std::vector<double> member;
        std::vector<double> src = net.obsSrc, tgt = net.obsTarget;
        const int n = net.observations();
        if (m == Model::Helmert2D) {
            t.Parameters_2DHelmert(n, src.data(), tgt.data());
            for (int i = 0; i < 4; ++i)
                member.push_back(t.Get2DHelmertParameters(i));
        } else if (m == Model::Height) {
            std::vector<double> xy, hs;
            for (int k = 0; k < net.points; ++k) {
                xy.insert(xy.end(), {src[3 * k], src[3 * k + 1]});
                hs.push_back(src[3 * k + 2]);
            }
            t.Parameters_HeightTrans(n, 6544000, 413000, xy.data(), hs.data(), tgt.data());
            for (int i = 0; i < 3; ++i)
                member.push_back(t.GetHeightParameters(i));
        } else {
            if (m == Model::BursaWolf)
                EXPECT_TRUE(t.SevenParameters_Bursa_WolfModel(n, src.data(), tgt.data()));
            else
                EXPECT_TRUE(t.SevenParameters_Molodensky_BadekasModel(n, src.data(), tgt.data()));
            for (int i = 0; i < 7; ++i)
                member.push_back(t.GetSevenParameters(i));
        }
        ASSERT_EQ(a.parameters.size(), member.size());
        for (std::size_t i = 0; i < member.size(); ++i)
            EXPECT_NEAR(a.parameters[i].value, member[i], 1e-9 * std::fabs(member[i]))
                << modelName(m) << " " << a.parameters[i].name;
    }
}

} // namespace
