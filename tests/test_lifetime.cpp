// Object lifetime with the heap the object owns: a loaded grid and the
// coefficient matrices. Copies, assignments, self-assignment and destruction
// in every combination, and failed loads after successful ones. Small files
// keep it quick enough to run under valgrind's memcheck (scripts/test does),
// which must report no error and no leak.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "TestSupport.h"
#include "core/Access.h"
#include "tervala/Tervala.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A grid file of rows x cols values base, base + 1, ... at 40 N, 120 E, with
// unequal spacings so that a swap shows.
Bytes gridFile(int rows, int cols, float base)
{
    GridFile f{40, 120, 0.5, 0.25, rows, cols, {}};
    for (int k = 0; k < rows * cols; ++k)
        f.words.push_back(bitsOf(base + static_cast<float>(k)));
    return f.bytes();
}

// Coefficient files with a handful of records, (360, 360) last.
Bytes coefficientRecords(int recordSize, double scale)
{
    std::vector<testsupport::Coefficient> model;
    for (const auto& r : {std::pair{0, 0}, {2, 0}, {3, 1}, {10, 5}, {360, 360}})
        model.push_back({r.first, r.second, scale * (r.first + 1) / ((r.first + 1.0) * (r.first + 1.0)),
                         -scale * (r.second + 1) / ((r.first + 1.0) * (r.first + 1.0))});  // within real models' bounds
    return testsupport::coefficientFile(model, recordSize);
}

class Lifetime : public ::testing::Test {
protected:
    void SetUp() override
    {
        data.write("kgeoid13.dat", gridFile(3, 4, 10.0f));
        data.write("kgeoid14.dat", gridFile(5, 6, 50.0f));
        data.write("CORRCOEF.dat", coefficientRecords(24, 0.5));
        data.write("EGM96.dat", coefficientRecords(40, 1e-7));
    }

    // An object with an ellipsoid, a grid, coefficients and fit results.
    CTervala full()
    {
        CTervala t = testsupport::grs80();
        EXPECT_EQ(t.LoadKEGMData(13), 1);
        EXPECT_EQ(t.LoadEGMData(nullptr), 1);
        double src[] = {0, 0, 100, 0, 0, 100}, dst[] = {10, 20, 110, 20, 10, 120};
        t.Parameters_2DHelmert(6, src, dst);
        double xy[] = {0, 0, 100, 0, 0, 100, 100, 100}, hs[] = {1, 2, 3, 4}, ht[] = {11, 12.5, 13, 14.2};
        t.Parameters_HeightTrans(4, 50, 40, xy, hs, ht);
        double s7[] = {4e6, 1e6, 4.8e6, 4.1e6, 1.1e6, 4.8e6, 4e6, 1.2e6, 4.9e6, 4.2e6, 1e6, 4.7e6};
        double t7[] = {4e6 + 10, 1e6 - 5, 4.8e6 + 3, 4.1e6 + 10.2, 1.1e6 - 5, 4.8e6 + 3.1,
                       4e6 + 9.9, 1.2e6 - 5.1, 4.9e6 + 3, 4.2e6 + 10, 1e6 - 4.9, 4.7e6 + 2.9};
        t.SevenParameters_Molodensky_BadekasModel(12, s7, t7);
        double lat = 37.5, lon = 127.0, h = 10.0, lat0 = 38, lon0 = 127, n = 544546.4, e = 226527.7;
        t.Geodetic_to_Geocentric(lat, lon, h);
        lat = 37.5, lon = 127.3;
        t.Geodetic_to_TM(lat0, lon0, 600000, 200000, 1.0, lat, lon, h);
        lon0 = 129, lat = 37.5, lon = 127.3;
        t.Geodetic_to_UTM(0, lon0, lat, lon, h);
        lon0 = 127;
        t.TM_to_Geodetic(lat0, lon0, 600000, 200000, 1.0, n, e, h);
        t.Helmert2D(50, 50, 10, 20);
        t.HeightTrans(40, 50, 10, 20, 5);
        t.Abridged_Molodensky_Transform(37.5, 127, -146, 507, 687, -739.845, 1.003748e-5);
        return t;
    }

    // Every accessor's value, as bits, so a field the copy leaves behind shows.
    static std::vector<std::uint64_t> accessors(CTervala& t)
    {
        std::vector<double> v{t.GetSigma(), t.GetHeightMeanaccuracy()};
        for (int i = 0; i < 3; ++i)
            for (double x : {t.GetGeocentric(i), t.GetGeodetic(i), t.GetTM(i), t.GetUTM(i), t.Get2DH(i),
                             t.GetdLLH(i), t.GetHeightParameters(i), t.GetRotOrigin(i)})
                v.push_back(x);
        for (int i = 0; i < 4; ++i) {
            v.push_back(t.Get2DHelmertParameters(i));
            for (int j = 0; j < 4; ++j)
                v.push_back(t.Get2DHelmertCovariance(i, j));
        }
        for (int i = 0; i < 7; ++i) {
            v.push_back(t.GetSevenParameters(i));
            for (int j = 0; j < 7; ++j)
                v.push_back(t.GetSevenCovariance(i, j));
        }
        for (int i = 1; i <= 12; ++i)
            for (double x : {t.GetResidual2D(i), t.GetResidualH(i), t.GetResidual(i)})
                v.push_back(x);
        // The ellipsoid has no accessor: conversions that read all of it.
        double lat = 10, lon = 20, h = 30, lat0 = 5, lon0 = 21, n = 600000, e = 400000;
        t.Geodetic_to_Geocentric(lat, lon, h);
        t.Geocentric_to_Geodetic(v[2], v[3], v[4]);
        lat = 10, lon = 20;
        t.Geodetic_to_TM(lat0, lon0, 0, 0, 1, lat, lon, h);
        lon0 = 21;
        t.TM_to_Geodetic(lat0, lon0, 0, 0, 1, n, e, h);
        for (double x : {t.GetGeocentric(0), t.GetGeocentric(2), t.GetGeodetic(2), t.GetTM(0), t.GetTM(1),
                         t.GetGeodetic(0), t.GetGeodetic(1), t.CorrUndulation(45, 10, 1, 2, 3, 4, 5e-6)})
            v.push_back(x);
        std::vector<std::uint64_t> bits(v.size());
        std::memcpy(bits.data(), v.data(), v.size() * sizeof(double));
        return bits;
    }

    testsupport::DataDir data{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    const std::string folder = data.path;
};

// What a grid query and a geoid height give, to compare objects.
std::pair<double, double> heights(CTervala& t)
{
    return {t.KEGMGeoidHeight(39.6, 120.7), t.EGM96GeoidHeight(12.5, 45.5)};
}

} // namespace

// Copies own their grid and matrices; assignment in every combination of
// empty and loaded objects, self-assignment, chains and containers.
TEST_F(Lifetime, CopiesAndAssignmentsOwnTheirGridAndMatrices)
{
    CTervala original = full();  // not a copy: the expected values come from a loaded object
    const CTervala& withGrid = original;
    const auto expected = heights(original);
    ASSERT_NE(expected.first, -999999.0);
    CTervala copy(original);
    EXPECT_NE(TervalaAccess::grid(copy), TervalaAccess::grid(original));
    EXPECT_NE(TervalaAccess::egmCoef(copy).Data(), TervalaAccess::egmCoef(original).Data());
    EXPECT_EQ(heights(copy), expected);
    EXPECT_EQ(accessors(copy), accessors(original));
    ASSERT_EQ(copy.LoadKEGMData(14), 1);  // reloading the copy leaves the original alone
    EXPECT_NE(copy.KEGMGeoidHeight(39.6, 120.7), expected.first);
    EXPECT_EQ(heights(original), expected);

    const CTervala empty;
    CTervala a, b = full(), c = full(), d;
    a = withGrid;  // empty <- loaded
    b = empty;     // loaded <- empty: the old grid is freed, none kept
    ASSERT_EQ(c.LoadKEGMData(14), 1);
    c = withGrid;  // loaded <- another loaded
    d = empty;
    EXPECT_EQ(heights(a), expected);
    EXPECT_EQ(heights(c), expected);
    EXPECT_EQ(accessors(a), accessors(original));
    EXPECT_EQ(accessors(c), accessors(original));
    EXPECT_TRUE(TervalaAccess::grid(b) == nullptr && TervalaAccess::grid(d) == nullptr);
    EXPECT_EQ(b.KEGMGeoidHeight(39.6, 120.7), -999999.0);
    CTervala& self = c;  // self-assignment changes nothing
    double** rows = TervalaAccess::grid(c);
    c = self;
    EXPECT_EQ(TervalaAccess::grid(c), rows);
    EXPECT_EQ(heights(c), expected);
    CTervala e, f;
    e = f = withGrid;
    EXPECT_EQ(heights(e), expected);
    std::vector<CTervala> many;
    for (int k = 0; k < 5; ++k)
        many.push_back(k % 2 == 0 ? withGrid : empty);  // growth copies them again
    EXPECT_EQ(heights(many[4]), expected);
    EXPECT_EQ(TervalaAccess::grid(many[3]), nullptr);
}

// A failed grid load keeps the grid loaded before it; a failed coefficient
// load starts from zeros, as the loader always does; repeated loads free what
// they replace (valgrind's memcheck sees the leak otherwise).
TEST_F(Lifetime, FailedAndRepeatedLoads)
{
    CTervala t = full();
    const auto expected = heights(t);
    testsupport::writeBytes(folder + "/kgeoid14.dat", Bytes{1, 2, 3});  // every bad grid file: test_grid_memory
    EXPECT_EQ(t.LoadKEGMData(14), 0);
    testsupport::writeBytes(folder + "/EGM96.dat", Bytes(40 * 3, 0));  // ends before (360, 360)
    EXPECT_EQ(t.LoadEGMData(nullptr), 0);
    CTervala::SetDataFolder((folder + "/nowhere").c_str());
    EXPECT_EQ(t.LoadEGMData(nullptr), 0);
    EXPECT_EQ(t.EGM96GeoidHeight(12.5, 45.5), -0.53);  // all members zero
    EXPECT_EQ(t.LoadKEGMData(13), 0);
    EXPECT_EQ(t.KEGMGeoidHeight(39.6, 120.7), expected.first);

    CTervala::SetDataFolder(folder.c_str());
    testsupport::writeBytes(folder + "/kgeoid14.dat", gridFile(5, 6, 50.0f));
    testsupport::writeBytes(folder + "/EGM96.dat", coefficientRecords(40, 1e-7));
    CTervala r;
    for (int k = 0; k < 6; ++k) {
        ASSERT_EQ(r.LoadKEGMData(k % 2 == 0 ? 13 : 14), 1);
        ASSERT_EQ(r.LoadEGMData("ignored"), 1);
    }
    EXPECT_EQ(TervalaAccess::gridRows(r), 5);
    CTervala copy(r);
    EXPECT_EQ(heights(copy), heights(r));
}
