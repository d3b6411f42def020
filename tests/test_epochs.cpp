// The time-dependent Helmert transformation and epoch changes against PROJ's
// helmert (the published ITRF2014 sets and plate-motion model as Debian's
// proj-data ships them), and the refusals of its constructor.
#include <cmath>
#include <stdexcept>
#include <string>

#include "TestSupport.h"
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

} // namespace
