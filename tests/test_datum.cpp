// Datum and local transformations. Independent evidence: the plane
// similarity written with complex numbers, the small-angle rotation matrix,
// round trips, Numbra's literal inverse, and PROJ (helmert, molobadekas,
// molodensky) as an oracle. (NaN and infinite input: test_extremes.)
#include <cmath>
#include <complex>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DatumCases.h"
#include "TestSupport.h"
#include "datum/SevenParameter.h"
#include "tervala/Datum.hpp"
#include "tervala/Numbra.h"
#include "tervala/Tervala.h"

namespace {

using tervala::Vec3;


constexpr double kArcsecond = 4.84813681109536e-06;  // radians

using datumcases::Seven;
using datumcases::kParameterSets;

// Points on and above the Earth's surface, all octants.
std::vector<Vec3> geocentricSweep(int count, unsigned seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> lat(-89.0, 89.0), lon(-180.0, 180.0), h(-500.0, 9000.0);
    CTervala t = testsupport::grs80();
    std::vector<Vec3> out;
    for (int i = 0; i < count; ++i) {
        double la = lat(rng), lo = lon(rng), hh = h(rng);
        t.Geodetic_to_Geocentric(la, lo, hh);
        out.push_back(Vec3{t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)});
    }
    return out;
}

Vec3 result(CTervala& t) { return Vec3{t.GetGeocentric(0), t.GetGeocentric(1), t.GetGeocentric(2)}; }

double distance(const Vec3& a, const Vec3& b) { return std::hypot(a.x - b.x, a.y - b.y, a.z - b.z); }

} // namespace

// ---- 2D Helmert and heights ------------------------------------------------

// Translations are given (first, second) and stored (second, first); then a
// sweep against the similarity z' = m e^{i theta} (z - z0) + z0 + (t1 + i t2)
// written with complex numbers: rotation sign, scale about the origin z0.
TEST(Helmert2D, StorageOrderAndComplexSimilarity)
{
    CTervala t;
    t.Set2DHelmert(10, 20, 0, 0);
    EXPECT_TRUE(t.Get2DHelmertParameters(0) == 20.0 && t.Get2DHelmertParameters(1) == 10.0);
    const double cases[][4] = {{0, 0, 1000, 0}, {123.4, -56.7, 20, 2000}, {-1e4, 2e4, -350, -453600}, {5, 5, 1e5, 1e6}};
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-5e5, 5e5);
    for (const auto& c : cases) {
        t.Set2DHelmert(c[0], c[1], c[2], c[3]);
        const std::complex<double> turn = std::polar(1 + c[2] * 1e-6, c[3] * kArcsecond);
        for (int k = 0; k < 50; ++k) {
            const std::complex<double> z0(u(rng), u(rng)), z(u(rng), u(rng));
            const std::complex<double> expected = turn * (z - z0) + z0 + std::complex<double>(c[0], c[1]);
            t.Helmert2D(z0.real(), z0.imag(), z.real(), z.imag());
            EXPECT_NEAR(t.Get2DH(0), expected.real(), 1e-8) << c[3];
            EXPECT_NEAR(t.Get2DH(1), expected.imag(), 1e-8) << c[3];
        }
    }
}

// The height plane h + c + a (x - x0) + b (y - y0), and the shared result
// array: Helmert2D writes elements 0 and 1 only, HeightTrans element 2 only.
TEST(HeightTrans, PlaneAndSharedResult)
{
    CTervala t;
    t.HeightTrans(100, 200, 350, 260, 42.5);  // a new object holds zero parameters
    EXPECT_EQ(t.Get2DH(2), 42.5);
    t.SetHeightTrans(1e-5, -2e-5, 30);
    t.HeightTrans(100, 200, 1100, -800, 42.5);
    const double h = t.Get2DH(2);
    EXPECT_NEAR(h, 42.5 + 30 + 0.01 + 0.02, 1e-12);
    t.Set2DHelmert(10, 20, 0, 0);
    t.Helmert2D(0, 0, 1, 2);
    EXPECT_EQ(t.Get2DH(2), h);
    t.HeightTrans(0, 0, 1, 2, 200);
    EXPECT_NEAR(t.Get2DH(0), 11.0, 1e-12);
    EXPECT_NEAR(t.Get2DH(1), 22.0, 1e-12);
}

// ---- Seven parameters ----------------------------------------------------------

// Setter order (scale at 3, rx at 4), and the Bursa-Wolf setter keeps the
// rotation origin the other one stored (signs and the rotation itself: PROJ
// below); a scale of -1e6 ppm collapses the forward onto t and makes the
// inverses divide by zero; the inverses write the geocentric result only.
TEST(BursaWolf, SetterOrderAndDegenerateScale)
{
    CTervala t;
    t.SetParameters_Molodensky_BadekasModel(7, 8, 9, 11, 12, 13, 14, 15, 16, 17);
    t.SetParameters_Bursa_WolfModel(1, 2, 3, 4, 5, 6, 7);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(t.GetSevenParameters(i), i + 1.0);
    EXPECT_TRUE(t.GetRotOrigin(0) == 7.0 && t.GetRotOrigin(1) == 8.0 && t.GetRotOrigin(2) == 9.0);
    t.Set2DHelmert(1, 2, 3, 4);
    t.Helmert2D(0, 0, 1, 1);
    const double plane = t.Get2DH(0);
    double X = 4e6, Y = 3e6, Z = 3.5e6;
    t.SetParameters_Bursa_WolfModel(1, 2, 3, -1000000, 5, 6, 7);
    t.Bursa_WolfModel(X, Y, Z);
    EXPECT_TRUE(t.GetGeocentric(0) == 1.0 && t.GetGeocentric(1) == 2.0 && t.GetGeocentric(2) == 3.0);
    t.Inv_Bursa_WolfModel(X, Y, Z);
    EXPECT_TRUE(!std::isfinite(t.GetGeocentric(0)) && !std::isfinite(t.GetGeocentric(2)));
    t.Inv_Molodensky_BadekasModel(X, Y, Z);
    EXPECT_FALSE(std::isfinite(t.GetGeocentric(0)));
    EXPECT_TRUE(X == 4e6 && Y == 3e6 && Z == 3.5e6 && t.Get2DH(0) == plane);
}

// The inverse is Numbra's general inverse of R times (X - t) / m, written
// here literally with Numbra: the same doubles, also when two objects with
// different rotations alternate (the per-thread rotation cache must follow).
TEST(BursaWolf, InverseIsNumbraInverseTimesReducedPoint)
{
    CTervala objects[2];
    const Seven params[2] = {kParameterSets[2], kParameterSets[5]};
    for (int k = 0; k < 2; ++k) {
        const Seven& p = params[k];
        objects[k].SetParameters_Bursa_WolfModel(p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz);
    }
    for (const Vec3& x : geocentricSweep(50, 9)) {
        for (int k = 0; k < 2; ++k) {
            const Seven& p = params[k];
            const tervala::SevenParameterRotation R = tervala::sevenParameterRotation(p.rx, p.ry, p.rz);
            Numbra r(3, 3), v(3, 1);
            for (int i = 1; i <= 3; ++i)
                for (int j = 1; j <= 3; ++j)
                    r(i, j) = R.r[i - 1][j - 1];
            const double m = 1 + p.s * 1e-6;
            v(1) = (x.x - p.tx) / m;
            v(2) = (x.y - p.ty) / m;
            v(3) = (x.z - p.tz) / m;
            const Numbra u = Inv(r) * v;
            double X = x.x, Y = x.y, Z = x.z;
            objects[k].Inv_Bursa_WolfModel(X, Y, Z);
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(objects[k].GetGeocentric(i), u(i + 1)) << k << i;
        }
    }
}

// ---- PROJ as an oracle -----------------------------------------------------

#ifdef TERVALA_HAVE_PROJ
namespace {

struct Proj : testsupport::ProjOperation {
    using ProjOperation::ProjOperation;
    Vec3 trans(PJ_DIRECTION d, const Vec3& x, const Vec3& origin = Vec3{0, 0, 0}) const
    {
        const PJ_COORD c = ProjOperation::trans(d, x.x - origin.x, x.y - origin.y, x.z - origin.z);
        return Vec3{c.xyz.x + origin.x, c.xyz.y + origin.y, c.xyz.z + origin.z};
    }
};

std::string helmert(const Seven& p) { return datumcases::projHelmert(p); }

} // namespace
#endif

// Bursa-Wolf against PROJ's exact coordinate-frame Helmert; Molodensky-Badekas
// against that Helmert applied to the point reduced to the origin, with the
// origin added back (the origin itself goes to origin + t); both ways, so
// round trips hold too. The forward gives the same doubles in practice, the
// inverses differ by rounding only (PROJ transposes R).
TEST(ProjCrossCheck, SevenParameterModelsAgainstExactHelmert)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ (libproj-dev) not found at configure time";
#else
    CTervala t;
    const std::vector<Vec3> points = geocentricSweep(500, 21);
    const Vec3 origins[] = {{0, 0, 0}, {3790000.0, -130000.0, 5120000.0}, {-3050000.0, 4045000.0, 3862000.0}};
    for (const Seven& p : kParameterSets) {
        const Proj proj(helmert(p));
        ASSERT_NE(proj.pj, nullptr) << helmert(p);
        for (const Vec3& o : origins) {
            t.SetParameters_Molodensky_BadekasModel(o.x, o.y, o.z, p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz);
            double worst[4] = {};
            for (const Vec3& x : points) {
                double X = x.x, Y = x.y, Z = x.z;
                t.Molodensky_BadekasModel(X, Y, Z);
                worst[0] = std::max(worst[0], distance(result(t), proj.trans(PJ_FWD, x, o)));
                t.Inv_Molodensky_BadekasModel(X, Y, Z);
                worst[1] = std::max(worst[1], distance(result(t), proj.trans(PJ_INV, x, o)));
                if (o.x == 0) {
                    t.Bursa_WolfModel(X, Y, Z);
                    worst[2] = std::max(worst[2], distance(result(t), proj.trans(PJ_FWD, x)));
                    t.Inv_Bursa_WolfModel(X, Y, Z);
                    worst[3] = std::max(worst[3], distance(result(t), proj.trans(PJ_INV, x)));
                }
            }
            for (double w : worst)
                EXPECT_LT(w, 1e-8) << helmert(p) << " origin " << o.x;
        }
    }
#endif
}

// The value types in each rotation form against PROJ: small_angle is
// PROJ's helmert and molobadekas without +exact (EPSG 1032/1033) in both
// conventions, exact is PROJ's +exact in the coordinate frame convention.
// The two forms are millimetres apart at these rotations, so a form applied
// as the other shows; the table's last sets (degrees) are left out, where
// the small-angle matrix is no rotation at all. Inverses are compared in
// the exact form only: PROJ inverts the small-angle matrix by transposing
// it (0.1 mm off its own forward at 1 arc-second), ours is the algebraic
// inverse, checked by the round trip.
TEST(ProjCrossCheck, RotationFormsAgainstProj)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ (libproj-dev) not found at configure time";
#else
    using tervala::Convention;
    using tervala::RotationForm;
    struct Form {
        Convention convention;
        RotationForm rotations;
        const char* proj;  // PROJ's keys for the pair
    };
    const Form forms[] = {
        {Convention::CoordinateFrame, RotationForm::small_angle, "+convention=coordinate_frame"},
        {Convention::PositionVector, RotationForm::small_angle, "+convention=position_vector"},
        {Convention::CoordinateFrame, RotationForm::exact, "+convention=coordinate_frame +exact"},
    };
    const Vec3 origin{3790000.0, -130000.0, 5120000.0};
    const std::vector<Vec3> points = geocentricSweep(200, 31);
    for (const Seven& p : {kParameterSets[2], kParameterSets[3], kParameterSets[4]}) {
        for (const Form& f : forms) {
            char keys[300];
            std::snprintf(keys, sizeof keys, "+x=%.17g +y=%.17g +z=%.17g +s=%.17g +rx=%.17g +ry=%.17g +rz=%.17g %s",
                          p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz, f.proj);
            const Proj helmert(std::string("+proj=helmert ") + keys);
            char originKeys[120];
            std::snprintf(originKeys, sizeof originKeys, " +px=%.17g +py=%.17g +pz=%.17g", origin.x, origin.y,
                          origin.z);
            const Proj badekas(std::string("+proj=molobadekas ") + keys + originKeys);
            ASSERT_NE(helmert.pj, nullptr) << keys;
            ASSERT_NE(badekas.pj, nullptr) << keys;
            const tervala::Helmert7 h(p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz, f.convention, f.rotations);
            const tervala::MolodenskyBadekas m(p.tx, p.ty, p.tz, p.s, p.rx, p.ry, p.rz, f.convention,
                                               {origin.x, origin.y, origin.z}, f.rotations);
            const bool exact = f.rotations == RotationForm::exact;
            double worst[4] = {};
            for (const Vec3& x : points) {
                const tervala::Geocentric g{x.x, x.y, x.z};
                const auto vec = [](const tervala::Geocentric& q) { return Vec3{q.x, q.y, q.z}; };
                worst[0] = std::max(worst[0], distance(vec(h.forward(g)), helmert.trans(PJ_FWD, x)));
                worst[1] = std::max(worst[1], distance(vec(m.forward(g)), badekas.trans(PJ_FWD, x)));
                worst[2] = std::max(worst[2], exact ? distance(vec(h.inverse(g)), helmert.trans(PJ_INV, x))
                                                    : distance(vec(h.inverse(h.forward(g))), x));
                worst[3] = std::max(worst[3], exact ? distance(vec(m.inverse(g)), badekas.trans(PJ_INV, x))
                                                    : distance(vec(m.inverse(m.forward(g))), x));
            }
            for (double w : worst)
                EXPECT_LT(w, 1e-6) << keys;
        }
    }
#endif
}

// The abridged shifts against PROJ's abridged molodensky, which returns the
// shifted point: its output less its input, at height 0.
TEST(ProjCrossCheck, AbridgedMolodensky)
{
#ifndef TERVALA_HAVE_PROJ
    GTEST_SKIP() << "PROJ (libproj-dev) not found at configure time";
#else
    const double shifts[][7] = {
        {6378137.0, 298.257223563, 87, 98, 121, 251, 1.4192702e-5},
        {6378137.0, 298.257223563, -146.414, 507.337, 680.507, -739.845, -1.003748e-5},
        {6377397.155, 299.1528128, 0, 0, 0, 739.845, 1.003748e-5},
        {6378388.0, 297.0, -300, 200, -100, 0, 0},
    };
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> lat(-85, 85), lon(-180, 180);
    CTervala t;
    for (const auto& s : shifts) {
        char text[300];
        std::snprintf(text, sizeof text,
                      "+proj=molodensky +abridged +a=%.17g +rf=%.17g +dx=%.17g +dy=%.17g +dz=%.17g +da=%.17g "
                      "+df=%.17g",
                      s[0], s[1], s[2], s[3], s[4], s[5], s[6]);
        const Proj proj(text);
        ASSERT_NE(proj.pj, nullptr) << text;
        t.Setup_Ellipsoid(s[0], s[1]);
        double worstAngle = 0, worstHeight = 0;
        for (int k = 0; k < 500; ++k) {
            const double la = lat(rng), lo = lon(rng);
            const PJ_COORD c = proj.ProjOperation::trans(PJ_FWD, proj_torad(lo), proj_torad(la), 0);
            t.Abridged_Molodensky_Transform(la, lo, s[2], s[3], s[4], s[5], s[6]);
            worstAngle = std::max(worstAngle, std::fabs(t.GetdLLH(0) - (proj_todeg(c.lpz.phi) - la)));
            worstAngle = std::max(worstAngle, std::fabs(t.GetdLLH(1) - (proj_todeg(c.lpz.lam) - lo)));
            worstHeight = std::max(worstHeight, std::fabs(t.GetdLLH(2) - c.lpz.z));
        }
        EXPECT_LT(worstAngle, 1e-12) << text;  // observed below 1e-13 degrees
        EXPECT_LT(worstHeight, 1e-9) << text;  // observed below 1e-12 m
    }
#endif
}
