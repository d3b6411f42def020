// The time-dependent Helmert transformation and epoch changes against PROJ's
// helmert (the published ITRF2014 sets and plate-motion model as Debian's
// proj-data ships them), and the refusals of its constructor; the fit of
// its parameters from points made by PROJ at several epochs.
#include <cmath>
#include <stdexcept>
#include <string>

#include <algorithm>
#include <random>
#include <vector>

#include "TestSupport.h"
#include "tervala/Fit.hpp"
#include "tervala/Helmert15.hpp"

namespace {

using tervala::Convention;
using tervala::Geocentric;
using tervala::Helmert15;
using tervala::HelmertValues;
using tervala::Rotations;

// Stations spread over the globe (metres).
const Geocentric kStations[] = {
    {4027894.006, 307045.600, 4919474.910},    // western Europe
    {-3049086.2377, 4046274.1025, 3861624.9748},  // Korea
    {-4052051.767, 4212836.015, -2545106.027},  // Australia
    {1130773.0, -4830828.0, 3994704.0},        // North America
    {6378137.0, 0.0, 0.0},
    {0.0, 0.0, 6356752.314},
};

const double kEpochs[] = {1988.0, 2000.0, 2005.5, 2010.0, 2015.25, 2026.9, 2040.0};

#ifdef TERVALA_HAVE_PROJ
// PROJ's result at the epoch, in the direction asked.
Geocentric projAt(const testsupport::ProjOperation& op, PJ_DIRECTION d, const Geocentric& p, double epoch)
{
    const PJ_COORD c = proj_trans(op.pj, d, proj_coord(p.x, p.y, p.z, epoch));
    return Geocentric{c.xyz.x, c.xyz.y, c.xyz.z};
}
#endif

// The three ITRF2014 sets of /usr/share/proj/ITRF2014, typed here as
// published (mm and mas turned to m and arc-seconds as in that file).
struct ItrfCase {
    const char* name;
    HelmertValues values, rates;
};
const ItrfCase kItrf[] = {
    {"ITRF2008", {0.0016, 0.0019, 0.0024, -0.00002, 0, 0, 0}, {0, 0, -0.0001, 0.00003, 0, 0, 0}},
    {"ITRF2005", {0.0026, 0.001, -0.0023, 0.00092, 0, 0, 0}, {0.0003, 0, -0.0001, 0.00003, 0, 0, 0}},
    {"ITRF2000", {0.0007, 0.0012, -0.0261, 0.00212, 0, 0, 0}, {0.0001, 0.0001, -0.0019, 0.00011, 0, 0, 0}},
};

TEST(Helmert15, ItrfSetsAgreeWithProjAtManyEpochs)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ is not available to compare with";
#else
    if (!testsupport::fileExists("/usr/share/proj/ITRF2014"))
        GTEST_SKIP() << "/usr/share/proj/ITRF2014 is not installed (Debian package proj-data)";
    for (const ItrfCase& c : kItrf) {
        SCOPED_TRACE(c.name);
        const testsupport::ProjOperation op(std::string("+init=ITRF2014:") + c.name);
        ASSERT_NE(op.pj, nullptr);
        for (const Rotations form : {Rotations::SmallAngle, Rotations::Exact}) {
            const Helmert15 h(c.values, c.rates, 2010.0, Convention::PositionVector, form);
            for (const Geocentric& x : kStations)
                for (const double t : kEpochs) {
                    const Geocentric ours = h.forward(x, t), theirs = projAt(op, PJ_FWD, x, t);
                    EXPECT_NEAR(ours.x, theirs.x, 1e-7) << t;
                    EXPECT_NEAR(ours.y, theirs.y, 1e-7) << t;
                    EXPECT_NEAR(ours.z, theirs.z, 1e-7) << t;
                    const Geocentric back = h.inverse(ours, t), projBack = projAt(op, PJ_INV, ours, t);
                    EXPECT_NEAR(back.x, projBack.x, 1e-7);
                    EXPECT_NEAR(back.y, projBack.y, 1e-7);
                    EXPECT_NEAR(back.z, projBack.z, 1e-7);
                    EXPECT_NEAR(back.x, x.x, 1e-7);
                }
        }
    }
#endif
}

// Rotations of a few arc-seconds with rates, in each convention and form,
// against PROJ's helmert read the same way (small angles without +exact,
// the exact matrix with +exact in coordinate_frame, where PROJ and this
// library build the same matrix).
TEST(Helmert15, ConventionsAndRotationFormsAgreeWithProj)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ is not available to compare with";
#else
    const HelmertValues v{-1.25, 2.5, 0.75, 1.5, 2.0, -3.0, 4.0}, d{0.01, -0.02, 0.03, 0.05, 0.1, 0.2, -0.15};
    const std::string proj = "+proj=helmert +x=-1.25 +y=2.5 +z=0.75 +s=1.5 +rx=2 +ry=-3 +rz=4 +dx=0.01 +dy=-0.02 "
                             "+dz=0.03 +ds=0.05 +drx=0.1 +dry=0.2 +drz=-0.15 +t_epoch=2000";
    struct Case {
        Convention convention;
        Rotations rotations;
        const char* tail;
    } cases[] = {
        {Convention::PositionVector, Rotations::SmallAngle, " +convention=position_vector"},
        {Convention::CoordinateFrame, Rotations::SmallAngle, " +convention=coordinate_frame"},
        {Convention::CoordinateFrame, Rotations::Exact, " +convention=coordinate_frame +exact"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tail);
        const testsupport::ProjOperation op(proj + c.tail);
        ASSERT_NE(op.pj, nullptr);
        const Helmert15 h(v, d, 2000.0, c.convention, c.rotations);
        for (const Geocentric& x : kStations)
            for (const double t : kEpochs) {
                const Geocentric ours = h.forward(x, t), theirs = projAt(op, PJ_FWD, x, t);
                EXPECT_NEAR(ours.x, theirs.x, 1e-6);
                EXPECT_NEAR(ours.y, theirs.y, 1e-6);
                EXPECT_NEAR(ours.z, theirs.z, 1e-6);
                // PROJ inverts the small-angle matrix by transposing it, which
                // is off by the squared angles times the radius (mm for these
                // arc-seconds); ours is the exact inverse of forward, as the
                // round trip shows. The exact matrix is inverted alike.
                const Geocentric back = h.inverse(ours, t), projBack = projAt(op, PJ_INV, ours, t);
                const double rotation = 4.8e-6 * (std::fabs(t - 2000.0) * 0.2 + 4.0);  // radians, a bound
                const double gap = c.rotations == Rotations::Exact ? 1e-6 : 3 * rotation * rotation * 6.4e6;
                EXPECT_NEAR(back.x, projBack.x, gap);
                EXPECT_NEAR(back.y, projBack.y, gap);
                EXPECT_NEAR(back.z, projBack.z, gap);
                EXPECT_NEAR(back.x, x.x, 1e-8);
                EXPECT_NEAR(back.y, x.y, 1e-8);
                EXPECT_NEAR(back.z, x.z, 1e-8);
            }
    }
#endif
}

// The ITRF2014 plate-motion model: a point moved from one epoch to another
// equals PROJ's helmert of the plate's rates with +t_epoch at the start,
// applied at the end epoch.
TEST(Helmert15, PlateMotionAgreesWithProj)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ is not available to compare with";
#else
    struct Plate {
        const char* name;
        double drx, dry, drz;
    } plates[] = {{"EURA", -0.000085, -0.000531, 0.000770}, {"NOAM", 0.000024, -0.000694, -0.000063},
                  {"AUST", 0.001510, 0.001182, 0.001215}, {"PCFC", -0.000409, 0.001047, -0.002169}};
    const double spans[][2] = {{2026.9, 2010.0}, {2010.0, 2026.9}, {1995.0, 2020.0}, {2015.0, 2015.0}};
    for (const Plate& p : plates) {
        SCOPED_TRACE(p.name);
        const Helmert15 plate({0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, p.drx, p.dry, p.drz}, 0.0,
                              Convention::PositionVector, Rotations::SmallAngle);
        for (const auto& span : spans) {
            char rates[200];
            std::snprintf(rates, sizeof rates,
                          "+proj=helmert +drx=%.6f +dry=%.6f +drz=%.6f +convention=position_vector +t_epoch=%.2f",
                          p.drx, p.dry, p.drz, span[0]);
            const testsupport::ProjOperation op(rates);
            ASSERT_NE(op.pj, nullptr) << rates;
            for (const Geocentric& x : kStations) {
                const Geocentric ours = tervala::moveOnPlate(plate, x, span[0], span[1]);
                const Geocentric theirs = projAt(op, PJ_FWD, x, span[1]);
                EXPECT_NEAR(ours.x, theirs.x, 1e-7);
                EXPECT_NEAR(ours.y, theirs.y, 1e-7);
                EXPECT_NEAR(ours.z, theirs.z, 1e-7);
            }
        }
    }
    // Eurasia moves a point in western Europe by 2 to 3 cm a year.
    const Helmert15 eura({0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, -0.000085, -0.000531, 0.000770}, 0.0,
                         Convention::PositionVector);
    const Geocentric a = kStations[0], b = tervala::moveOnPlate(eura, a, 2010.0, 2011.0);
    const double speed = std::sqrt((b.x - a.x) * (b.x - a.x) + (b.y - a.y) * (b.y - a.y) + (b.z - a.z) * (b.z - a.z));
    EXPECT_GT(speed, 0.02);
    EXPECT_LT(speed, 0.03);
#endif
}

TEST(Helmert15, VelocityAndRefusals)
{
    // X + v (to - from), by hand.
    const Geocentric v = tervala::moveByVelocity({1000.0, 2000.0, 3000.0}, {0.01, -0.02, 0.004}, 2026.5, 2010.0);
    EXPECT_DOUBLE_EQ(v.x, 1000.0 - 0.165);
    EXPECT_DOUBLE_EQ(v.y, 2000.0 + 0.33);
    EXPECT_DOUBLE_EQ(v.z, 3000.0 - 0.066);
    EXPECT_TRUE(std::isnan(tervala::moveByVelocity({1, 2, 3}, {0, 0, 0}, 2000.0, testsupport::kNaN).x));

    const HelmertValues zero{0, 0, 0, 0, 0, 0, 0};
    struct Case {
        HelmertValues values, rates;
        double tRef;
        const char* named;
    } cases[] = {
        {{testsupport::kNaN, 0, 0, 0, 0, 0, 0}, zero, 2010, "tx = nan"},
        {{0, 0, 0, -2e6, 0, 0, 0}, zero, 2010, "scale s"},
        {{0, 0, 0, 0, 0, 700000, 0}, zero, 2010, "ry = 700000"},
        {zero, {0, 0, 0, 0, 0, 0, HUGE_VAL}, 2010, "drz = inf"},
        {zero, zero, testsupport::kNaN, "t_ref = nan"},
    };
    for (const Case& c : cases) {
        try {
            Helmert15 h(c.values, c.rates, c.tRef, Convention::PositionVector);
            ADD_FAILURE() << c.named;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
    }
    // A scale rate that drives the factor to zero by the epoch gives NaN there.
    const Helmert15 h(zero, {0, 0, 0, 1e5, 0, 0, 0}, 2000.0, Convention::CoordinateFrame);
    EXPECT_TRUE(std::isfinite(h.forward({1, 2, 3}, 2005.0).x));
    EXPECT_TRUE(std::isnan(h.forward({1, 2, 3}, 1985.0).x));
    EXPECT_TRUE(std::isnan(h.inverse({1, 2, 3}, testsupport::kNaN).z));
}

// ---- The fit of the fourteen parameters ----------------------------------------

// A set with rotations and rates well above ITRF sizes, so that each
// parameter's effect stands far above the noise, written for PROJ.
const HelmertValues kFitValues{0.05, -0.03, 0.12, 0.8, 0.002, -0.004, 0.01};
const HelmertValues kFitRates{0.002, -0.001, 0.0015, 0.03, 0.0002, 0.0005, -0.0007};
const char* const kFitProj = "+proj=helmert +x=0.05 +y=-0.03 +z=0.12 +s=0.8 +rx=0.002 +ry=-0.004 +rz=0.01 "
                             "+dx=0.002 +dy=-0.001 +dz=0.0015 +ds=0.03 +drx=0.0002 +dry=0.0005 +drz=-0.0007 "
                             "+t_epoch=2015";

// Twelve stations over the globe (latitude, longitude in degrees on a
// sphere of 6378 km: the fit needs no ellipsoid), each observed at three of
// the epochs 2004 to 2026.
struct FitData {
    std::vector<Geocentric> source, target;
    std::vector<double> epochs;
};

#ifdef TERVALA_HAVE_PROJ
FitData projData(const std::string& convention, double noise, unsigned seed)
{
    const double stations[12][2] = {{48, 11}, {-33, 151}, {40, -105}, {-23, -47}, {35, 139}, {64, -21},
                                    {-1, 37}, {19, 73},   {-77, 166}, {61, -150}, {5, -52}, {-34, 18}};
    const double epochs[4] = {2004.5, 2011.0, 2019.25, 2026.0};
    const testsupport::ProjOperation op(std::string(kFitProj) + " +convention=" + convention);
    FitData d;
    if (op.pj == nullptr)
        return d;
    std::mt19937 rng(seed);
    std::normal_distribution<double> error(0.0, noise);
    const double r = 6378000.0, deg = 3.14159265358979323846 / 180;
    for (int k = 0; k < 12; ++k)
        for (int e = 0; e < 3; ++e) {
            const double lat = stations[k][0] * deg, lon = stations[k][1] * deg, t = epochs[(k + e) % 4];
            const Geocentric x{r * std::cos(lat) * std::cos(lon), r * std::cos(lat) * std::sin(lon), r * std::sin(lat)};
            Geocentric y = projAt(op, PJ_FWD, x, t);
            if (noise > 0) {
                y.x += error(rng);
                y.y += error(rng);
                y.z += error(rng);
            }
            d.source.push_back(x);
            d.target.push_back(y);
            d.epochs.push_back(t);
        }
    return d;
}
#endif

// The set as PROJ read it, in the convention its string names.
std::array<double, 14> fitTruth()
{
    const HelmertValues& v = kFitValues;
    const HelmertValues& d = kFitRates;
    return {v.tx, v.ty, v.tz, v.s, v.rx, v.ry, v.rz, d.tx, d.ty, d.tz, d.s, d.rx, d.ry, d.rz};
}

std::array<double, 14> fitted(const tervala::Helmert15FitResult& r)
{
    const HelmertValues v = r.transformation->values(), d = r.transformation->rates();
    return {v.tx, v.ty, v.tz, v.s, v.rx, v.ry, v.rz, d.tx, d.ty, d.tz, d.s, d.rx, d.ry, d.rz};
}

// Points made by PROJ without noise are fitted to rounding in both
// conventions, at the reference epoch asked for (2015, PROJ's) and at the
// default one (the mean epoch 2015.2 rounded to a tenth: the values move by
// their rates times 0.2 years, which the check derives by hand).
TEST(Helmert15Fit, RecoversExactParametersAndRatesInBothConventions)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ is not available to make the points";
#else
    for (const auto& c : {std::make_pair(Convention::PositionVector, "position_vector"),
                          std::make_pair(Convention::CoordinateFrame, "coordinate_frame")}) {
        SCOPED_TRACE(c.second);
        const FitData d = projData(c.second, 0.0, 0);
        ASSERT_EQ(d.source.size(), 36u);
        const std::array<double, 14> truth = fitTruth();
        for (const bool given : {true, false}) {
            const tervala::Helmert15FitResult r =
                given ? tervala::fitHelmert15(d.source, d.target, d.epochs, c.first, {}, 2015.0)
                      : tervala::fitHelmert15(d.source, d.target, d.epochs, c.first);
            ASSERT_TRUE(r.transformation.has_value()) << r.statistics->message;
            const double shift = given ? 0.0 : 0.2;
            EXPECT_DOUBLE_EQ(r.referenceEpoch, given ? 2015.0 : 2015.2);
            EXPECT_EQ(r.transformation->rotations(), Rotations::SmallAngle);
            EXPECT_EQ(r.transformation->convention(), c.first);
            const std::array<double, 14> p = fitted(r);
            // metres, ppm, arc-seconds; 1e-9 arc-seconds is 3e-8 m at the surface.
            const double tolerance[7] = {2e-8, 2e-8, 2e-8, 5e-9, 1e-9, 1e-9, 1e-9};
            for (int j = 0; j < 7; ++j) {
                EXPECT_NEAR(p[j], truth[j] + truth[7 + j] * shift, tolerance[j]) << j;
                EXPECT_NEAR(p[7 + j], truth[7 + j], tolerance[j] / 5) << 7 + j;
            }
            EXPECT_TRUE(r.summary.converged);
            EXPECT_EQ(r.summary.unknowns, 14);
            EXPECT_EQ(r.summary.redundancy, 36 * 3 - 14);
            for (const Geocentric& v : r.residuals)
                EXPECT_LT(std::fabs(v.x) + std::fabs(v.y) + std::fabs(v.z), 1e-7);
        }
    }
#endif
}

// Seeded noise of 3 mm on the targets: every parameter and rate within four
// of its reported standard deviations, sigma0 near 1, and the reported
// standard deviations of the right size (a 3 mm point sigma over 36 points
// spread over the globe and 21 years).
TEST(Helmert15Fit, RecoversParametersWithinTheirSigmas)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ is not available to make the points";
#else
    const double noise = 0.003;
    for (const unsigned seed : {7u, 2026u}) {
        SCOPED_TRACE(seed);
        const FitData d = projData("position_vector", noise, seed);
        ASSERT_EQ(d.source.size(), 36u);
        tervala::FitSettings s;
        s.sigma = {noise};
        s.sourceSigma = {0.0};
        const tervala::Helmert15FitResult r =
            tervala::fitHelmert15(d.source, d.target, d.epochs, Convention::PositionVector, s, 2015.0);
        ASSERT_TRUE(r.transformation.has_value()) << r.statistics->message;
        const std::array<double, 14> truth = fitTruth(), p = fitted(r);
        for (int j = 0; j < 14; ++j) {
            EXPECT_GT(r.standardDeviations[j], 0) << j;
            EXPECT_LT(std::fabs(p[j] - truth[j]), 4 * r.standardDeviations[j]) << j;
        }
        // The translation at the reference epoch: about noise / sqrt(36 / 3) per axis.
        EXPECT_GT(r.standardDeviations[0], 0.0005);
        EXPECT_LT(r.standardDeviations[0], 0.003);
        EXPECT_GT(r.statistics->sigma0, 0.7);
        EXPECT_LT(r.statistics->sigma0, 1.3);
        EXPECT_EQ(r.statistics->parameters.size(), 14u);
        EXPECT_EQ(r.statistics->parameters[13].name, "drz");
    }
#endif
}

// A blunder of 10 cm in one point is found by the w-test and removed by data
// snooping; the fit without it holds the parameters.
TEST(Helmert15Fit, SnoopingRemovesABlunder)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ is not available to make the points";
#else
    FitData d = projData("coordinate_frame", 0.002, 11);
    ASSERT_EQ(d.source.size(), 36u);
    d.target[17].y += 0.10;
    tervala::FitSettings s;
    s.sigma = {0.002};
    s.sourceSigma = {0.0};
    s.snoop = true;
    const tervala::Helmert15FitResult r =
        tervala::fitHelmert15(d.source, d.target, d.epochs, Convention::CoordinateFrame, s, 2015.0);
    ASSERT_TRUE(r.transformation.has_value()) << r.statistics->message;
    ASSERT_EQ(r.statistics->removed.size(), 1u);
    EXPECT_EQ(r.statistics->removed[0].point, 17);
    EXPECT_EQ(r.statistics->removed[0].coordinate, 1);
    EXPECT_TRUE(std::isnan(r.residuals[17].y));
    EXPECT_EQ(r.summary.points, 35);
    const std::array<double, 14> truth = fitTruth(), p = fitted(r);
    for (int j = 0; j < 14; ++j)
        EXPECT_LT(std::fabs(p[j] - truth[j]), 4 * r.standardDeviations[j]) << j;
#endif
}

// What the points cannot determine is refused with what the user must do;
// holding the rates fits the seven parameters at the one epoch.
TEST(Helmert15Fit, RefusesWhatThePointsCannotDetermine)
{
    const Helmert15 h(kFitValues, kFitRates, 2015.0, Convention::PositionVector, Rotations::SmallAngle);
    std::vector<Geocentric> source, target;
    for (const Geocentric& x : kStations) {
        source.push_back(x);
        target.push_back(h.forward(x, 2020.0));
    }
    const std::vector<double> sameEpoch(source.size(), 2020.0);
    const tervala::Helmert15FitResult one = tervala::fitHelmert15(source, target, sameEpoch, Convention::PositionVector);
    EXPECT_FALSE(one.transformation.has_value());
    EXPECT_TRUE(one.summary.degenerate);
    EXPECT_NE(one.statistics->message.find("same epoch"), std::string::npos) << one.statistics->message;
    EXPECT_NE(one.statistics->message.find("hold the rates"), std::string::npos) << one.statistics->message;

    tervala::FitSettings rigid;
    rigid.fixed = {"dtx", "dty", "dtz", "ds", "drx", "dry", "drz"};
    const tervala::Helmert15FitResult seven =
        tervala::fitHelmert15(source, target, sameEpoch, Convention::PositionVector, rigid, 2020.0);
    ASSERT_TRUE(seven.transformation.has_value()) << seven.statistics->message;
    const HelmertValues at = h.at(2020.0), got = seven.transformation->values();
    EXPECT_NEAR(got.tx, at.tx, 1e-7);
    EXPECT_NEAR(got.s, at.s, 1e-8);
    EXPECT_NEAR(got.rz, at.rz, 1e-9);
    EXPECT_EQ(seven.transformation->rates(), (HelmertValues{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(seven.standardDeviations[13], 0.0);

    // Four points: 12 observations for 14 parameters.
    const std::vector<Geocentric> four(source.begin(), source.begin() + 4), fourT(target.begin(), target.begin() + 4);
    const tervala::Helmert15FitResult few =
        tervala::fitHelmert15(four, fourT, {2010.0, 2010.0, 2020.0, 2020.0}, Convention::PositionVector);
    EXPECT_FALSE(few.transformation.has_value());
    EXPECT_NE(few.statistics->message.find("at least 5 points"), std::string::npos) << few.statistics->message;

    // Two points at one epoch and four at another: the first epoch cannot
    // fix its seven parameters.
    const tervala::Helmert15FitResult thin = tervala::fitHelmert15(
        source, target, {2010.0, 2010.0, 2020.0, 2020.0, 2020.0, 2020.0}, Convention::PositionVector);
    EXPECT_FALSE(thin.transformation.has_value());
    EXPECT_NE(thin.statistics->message.find("singular"), std::string::npos) << thin.statistics->message;

    struct Throws {
        std::vector<double> epochs;
        std::vector<std::string> fixed;
        double tRef;
        const char* says;
    } throwing[] = {
        {{2010.0, 2020.0}, {}, 2015.0, "2 epochs for 6 points"},
        {{2010.0, 2020.0, 2010.0, 2020.0, testsupport::kNaN, 2020.0}, {}, 2015.0, "epoch of point 4"},
        {{2010.0, 2020.0, 2010.0, 2020.0, 2010.0, 2020.0}, {"dq"}, 2015.0, "unknown parameter 'dq'"},
        {{2010.0, 2020.0, 2010.0, 2020.0, 2010.0, 2020.0}, {}, HUGE_VAL, "reference epoch"},
    };
    for (const Throws& c : throwing) {
        tervala::FitSettings s;
        s.fixed = c.fixed;
        try {
            tervala::fitHelmert15(source, target, c.epochs, Convention::PositionVector, s, c.tRef);
            ADD_FAILURE() << c.says;
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
        }
    }
}

} // namespace
