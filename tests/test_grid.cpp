// Geoid grids: the loader and its border, the interpolation routines, grid
// geoid heights, the undulation correction and the GTX converter. (The tests
// that count the loader's allocations are in test_grid_memory.cpp, so that
// this program runs under valgrind.)
#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>


#include <gtest/gtest.h>

#include "GridTestSupport.h"
#include "TestSupport.h"
#include "core/Access.h"
#include "gridtools/GtxGrid.h"
#include "tervala/Tervala.h"


// ---- Loader ------------------------------------------------------------------------

// 2 x 3 and 2 x 4 grids: rows reversed into place. The border repeats the
// stored columns periodically (here more often than once, the grid being
// narrower than the border) and mirrors the rows across the pole, half a
// turn round (cols / 2 columns: exact only for the even width).
TEST_F(GridFiles, SmallGridRowsAndBorder)
{
    const std::vector<std::array<int, 3>> cells[] = {  // {row, column, value} of the padded grid
        {{7, 7, 4}, {7, 8, 5}, {7, 9, 6},  {8, 7, 1},  {8, 8, 2},  {8, 9, 3}, {8, 0, 3},
         {8, 5, 2}, {8, 6, 3}, {8, 10, 1}, {8, 16, 1}, {7, 0, 6},  {7, 10, 4}, {6, 7, 5},
         {6, 9, 4}, {6, 16, 5}, {5, 7, 2}, {0, 7, 5},  {9, 7, 2},  {10, 7, 5}, {15, 7, 2}},
        {{7, 7, 5}, {7, 8, 6}, {7, 10, 8}, {8, 7, 1}, {8, 10, 4}, {7, 0, 6}, {7, 6, 8}, {7, 11, 5}, {7, 17, 7},
         {8, 0, 2}, {6, 7, 7}, {6, 8, 8}, {6, 9, 5}, {6, 16, 8}, {5, 7, 3}, {0, 7, 7}, {9, 7, 3}, {10, 7, 7}, {15, 7, 3}}};
    for (int cols : {3, 4}) {
        GridFile f{50, 10, 1, 1, 2, cols, {}};
        for (int v = 1; v <= 2 * cols; ++v)
            f.words.push_back(bitsOf(float(v)));
        write("kgeoid14.dat", f);
        CTervala t;
        ASSERT_EQ(t.LoadKEGMData(14), 1);
        EXPECT_EQ(TervalaAccess::gridPaddedRows(t), 16);
        EXPECT_EQ(TervalaAccess::gridPaddedCols(t), cols + 14);
        for (const auto& k : cells[cols - 3])
            EXPECT_EQ(cell(t, k[0], k[1]), k[2]) << cols << " columns: row " << k[0] << " column " << k[1];
    }
}

// The selector chooses the file (kgeoid14.dat for anything unknown). Only
// regular files are grid files: a named pipe would block the loader in fopen
// until some writer came, and a folder has no data; both count as files that
// cannot be opened, and the grid loaded before stays.
TEST_F(GridFiles, FileSelectionAndNonRegularFiles)
{
    write("kgeoid13.dat", GridFile{0, 0, 1, 1, 1, 1, {bitsOf(13)}});
    write("kgeoid14.dat", GridFile{0, 0, 1, 1, 1, 1, {bitsOf(14)}});
    write("egm2008p.dat", GridFile{0, 0, 1, 1, 1, 1, {bitsOf(20.08f)}});
    const double selectors[][2] = {{13, 13}, {2008, 20.08f}, {14, 14}, {0, 14}, {1, 14}, {15, 14}, {-1, 14}, {2007, 14}};
    CTervala t;
    for (const auto& s : selectors) {
        ASSERT_EQ(t.LoadKEGMData(int(s[0])), 1) << s[0];
        EXPECT_EQ(cell(t, M, M), s[1]) << s[0];
    }
    write("kgeoid13.dat", randomGrid(rng, 4, 5));
    ASSERT_EQ(t.LoadKEGMData(13), 1);
    const std::vector<double> before = snapshot(t);
    tervala::platform::removeTree(folder + "/kgeoid14.dat");
    tervala::platform::removeTree(folder + "/egm2008p.dat");
    if (!tervala::platform::hasUnixSpecialFiles())
        GTEST_SKIP() << "a FIFO under a grid's name: FIFOs are POSIX-only";
    ASSERT_TRUE(tervala::platform::makeNamedPipe(folder + "/kgeoid14.dat"));
    ASSERT_TRUE(tervala::platform::makeDirectory(folder + "/egm2008p.dat"));
    EXPECT_EQ(t.LoadKEGMData(14), 0);
    EXPECT_EQ(t.LoadKEGMData(2008), 0);
    EXPECT_TRUE(snapshot(t) == before);
}

// Zero, subnormal, small-integer, infinite and the largest float words are
// skipped without shifting the values after them; NaN is a value, and so is
// anything within +-150 m (beyond it the file is refused: test_grid_memory).
TEST_F(GridFiles, SkippedWordsAndKeptValues)
{
    const std::uint32_t skipped[] = {0, 12, 8388607, bitsOf(-0.0f), bitsOf(1e-40f), bitsOf(1.1754944e-38f),
                                     bitsOf(1.1e-38f), bitsOf(INFINITY), bitsOf(-INFINITY), bitsOf(FLT_MAX),
                                     bitsOf(-3.4025e38f)};
    const float kept[] = {1.3e-38f, -150.0f, NAN, -2.5f, 150.0f};
    GridFile f{0, 0, 1, 1, 1, 0, {}};
    std::vector<double> expected;
    for (std::uint32_t w : skipped) {
        f.words.insert(f.words.end(), {bitsOf(float(expected.size() + 1)), w});
        expected.push_back(double(expected.size() + 1));
    }
    for (float v : kept) {
        f.words.push_back(bitsOf(v));
        expected.push_back(v);
    }
    f.cols = std::int32_t(expected.size());
    write("kgeoid14.dat", f);
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    for (std::size_t j = 0; j < expected.size(); ++j) {
        const double v = cell(t, M, M + int(j));
        EXPECT_TRUE(v == expected[j] || (std::isnan(v) && std::isnan(expected[j]))) << j << ": " << v;
    }
}

// ---- Interpolation routines -----------------------------------------------------

// initsp and spline against the textbook natural cubic spline, its second
// derivatives M solved by dense LU: nodes exact, values between them, and
// the linear continuation with the end slopes beyond the ends.
TEST(GridRoutines, SplineIsTheNaturalCubicSpline)
{
    CTervala t;
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> value(-30, 30);
    for (int n = 2; n <= 20; ++n) {
        std::vector<double> y(n), r(n), q(n), m(n, 0.0);
        for (double& v : y)
            v = value(rng);
        TervalaAccess::initsp(t, y.data(), n, r.data(), q.data());
        Numbra a = Zeros(std::max(n - 2, 1), std::max(n - 2, 1)), b = Zeros(std::max(n - 2, 1), 1);
        for (int k = 1; k <= n - 2; ++k) {  // (M[k-1] + 4 M[k] + M[k+1]) / 6 = second difference
            a(k, k) = 2.0 / 3.0;
            a(k, std::max(k - 1, 1)) += k > 1 ? 1.0 / 6.0 : 0.0;
            a(k, std::min(k + 1, n - 2)) += k < n - 2 ? 1.0 / 6.0 : 0.0;
            b(k, 1) = y[k + 1] - 2 * y[k] + y[k - 1];
        }
        for (int k = 1; k <= n - 2; ++k)
            m[k] = Slu(a, b)(k, 1);
        auto reference = [&](double x) {
            if (x < 0)
                return y[0] + x * ((y[1] - y[0]) - (2 * m[0] + m[1]) / 6);
            if (x >= n - 1)
                return y[n - 1] + (x - (n - 1)) * ((y[n - 1] - y[n - 2]) + (m[n - 2] + 2 * m[n - 1]) / 6);
            const int j = int(x);
            const double s = x - j, u = 1 - s;
            return u * y[j] + s * y[j + 1] + ((u * u * u - u) * m[j] + (s * s * s - s) * m[j + 1]) / 6;
        };
        for (int k = 0; k < n; ++k)
            EXPECT_EQ(TervalaAccess::spline(t, k, y.data(), n, r.data()), y[k]) << n << " node " << k;
        for (double x = -2.3; x < n + 1.5; x += 0.37)
            EXPECT_NEAR(TervalaAccess::spline(t, x, y.data(), n, r.data()), reference(x), 1e-11) << n << " " << x;
    }
}

// ifrac, bilin and the closed forms of the undulation correction follow
// tables/grid-values.txt.
TEST(GridRoutines, ScalarResultsFollowTheirTable)
{
    CTervala t = testsupport::grs80();
    Rows g(4, 5, [](int i, int j) { return 10.0 * i + j; }), line(1, 5, [](int, int j) { return 2.0 * j; });
    testsupport::checkValueTable(
        "grid-values.txt",
        {{"ifrac", [&](const auto& x) { return double(TervalaAccess::ifrac(t, x[0])); }},
         {"bilin", [&](const auto& x) {
              return TervalaAccess::bilin(t, x[0], x[1], x[2] == 1 ? line.get() : g.get(), int(x[2]), 5);
          }},
         {"corr-undulation",
          [&](const auto& x) { return t.CorrUndulation(x[0], x[1], x[2], x[3], x[4], x[5], x[6]); }}});
}

// interp tabulates the elimination factors and fits the window rows side by
// side; it must give the doubles of the plain evaluation, a fit by initsp
// and spline per window row and one across the row results, on a grid with
// unequal spacings (positions on 1/1024 of a cell, so that latitude and
// longitude hold them exactly). With the spline checked against the textbook
// above, this also says that nodes come back and planes stay planes.
TEST(GridRoutines, InterpIsBitIdenticalToThePlainEvaluation)
{
    CTervala t;
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> value(-80, 80), position(-1.0, 41.0);
    Rows g(40, 36, [&](int, int) { return value(rng); });
    const double south = -10, west = 100, dlat = 0.5, dlon = 0.25;
    int compared = 0;
    for (int k = 0; k < 20000; ++k) {
        const int w = k % 3 == 0 ? 6 : 3 + int(rng() % 18);
        const double ri = std::round(position(rng) * 1024) / 1024, rj = std::round(position(rng) * 1024) / 1024;
        const double fast = TervalaAccess::interp(t, w, 0.0, g.get(), south, west, dlat, dlon, 40, 36, south + ri * dlat,
                                                  west + rj * dlon);
        const int ilo = (w % 2 ? int(ri - 0.5) : int(ri)) - w / 2 + 1, jlo = (w % 2 ? int(rj - 0.5) : int(rj)) - w / 2 + 1;
        if (ilo < 0 || jlo < 0 || ilo + w > 40 || jlo + w > 36) {
            EXPECT_EQ(fast, -999999.0);
            continue;
        }
        double across[20], r[20], q[20];
        for (int i = 0; i < w; ++i) {
            TervalaAccess::initsp(t, &g.data[ilo + i][jlo], w, r, q);
            across[i] = TervalaAccess::spline(t, rj - jlo, &g.data[ilo + i][jlo], w, r);
        }
        TervalaAccess::initsp(t, across, w, r, q);
        ASSERT_EQ(fast, TervalaAccess::spline(t, ri - ilo, across, w, r)) << w << " " << ri << " " << rj;
        ++compared;
    }
    EXPECT_GT(compared, 10000);
}

// Window sizes outside 2 .. 20 are clamped (2 is bilinear), and the result
// codes: -999999 where the window does not fit in the grid, 999999 within
// dmin (km) of its edge.
TEST(GridRoutines, WindowSizeClampAndResultCodes)
{
    CTervala t;
    Rows g(30, 40, [](int i, int j) { return std::sin(0.3 * i) * std::cos(0.2 * j) * 20; });
    const double south = -10, west = 100, dlat = 0.5, dlon = 0.25;
    auto at = [&](int w, double dmin, double ri, double rj) {
        return TervalaAccess::interp(t, w, dmin, g.get(), south, west, dlat, dlon, 30, 40, south + ri * dlat,
                                     west + rj * dlon);
    };
    EXPECT_EQ(at(1, 0, 11.25, 17.5), at(2, 0, 11.25, 17.5));
    EXPECT_EQ(at(2, 0, 11.25, 17.5), TervalaAccess::bilin(t, 11.25, 17.5, g.get(), 30, 40));
    EXPECT_EQ(at(25, 0, 14.3, 19.6), at(20, 0, 14.3, 19.6));
    EXPECT_NE(at(25, 0, 14.3, 19.6), at(19, 0, 14.3, 19.6));
    auto code = [&](const std::vector<double>& x) {
        const double v = at(6, x[0], x[1], x[2]);
        return std::fabs(v) < 21.0 ? 0.0 : v;
    };
    testsupport::checkValueTable("grid-window.txt", {{"code", code}, {"regional", {}}, {"turn", {}}});
    EXPECT_EQ(TervalaAccess::interp(t, 6, 0, nullptr, south, west, dlat, dlon, 30, 40, -5, 103), -999999.0);
}

// ---- Grid geoid height --------------------------------------------------------------

TEST_F(GridFiles, GeoidHeightRangesAndRegionalEdges)
{
    CTervala t;
    EXPECT_EQ(t.KEGMGeoidHeight(10, 20), -999999.0) << "no grid loaded";
    EXPECT_EQ(t.LoadKEGMData(14), 0);
    EXPECT_EQ(t.KEGMGeoidHeight(10, 20), -999999.0) << "no grid after a failed load";

    write("kgeoid14.dat", randomGrid(rng, 20, 30, 40, 120, 0.5));  // rows 40 .. 30.5, columns 120 .. 134.5
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const auto regional = [&t](const std::vector<double>& x) {
        const double v = t.KEGMGeoidHeight(x[0], x[1]);
        return std::fabs(v) < 60.0 ? 1.0 : v == -999999.0 ? 0.0 : v;
    };
    testsupport::checkValueTable("grid-window.txt", {{"code", {}}, {"regional", regional}, {"turn", {}}});

    write("kgeoid14.dat", randomGrid(rng, 181, 360, 90, 0, 1));  // global, 1 degree, from 0 degrees
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    // (Out-of-range coordinates and their codes: test_extremes.)
    const auto turn = [&t](const std::vector<double>& x) {
        return t.KEGMGeoidHeight(12.3, x[0]) - t.KEGMGeoidHeight(12.3, x[1]);
    };
    testsupport::checkValueTable("grid-window.txt", {{"code", {}}, {"regional", {}}, {"turn", turn}});
}

// ---- Real data: EGM96 15' grid from proj-data, converted ---------------------------

namespace {

class Egm96Grid : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tervala::gtx::Conversion done;
        std::string error;
        folder = testsupport::scratchFolder("egm96grid");
        converted = gtx.read(testsupport::gtxPath()) &&
                    tervala::gtx::convertGtxToGrid(testsupport::gtxPath(), folder + "/egm2008p.dat", done, error);
        EXPECT_TRUE(converted || gtx.b.empty()) << error;
    }
    void SetUp() override
    {
        TERVALA_SKIP_WITHOUT(converted, testsupport::gtxPath() << " is absent (Debian package proj-data)");
        CTervala::SetDataFolder(folder.c_str());
        ASSERT_EQ(t.LoadKEGMData(2008), 1);
    }
    void TearDown() override { CTervala::SetDataFolder(nullptr); }
    static inline testsupport::Gtx gtx;
    static inline bool converted = false;
    static inline std::string folder;
    CTervala t;
};

} // namespace

// Every node of the GTX grid comes back exactly, at its longitude given in
// -180 .. 180 as the GTX has it.
TEST_F(Egm96Grid, EveryNodeReturnsItsStoredValue)
{
    EXPECT_EQ(TervalaAccess::gridWest(t), 0.0);
    EXPECT_EQ(TervalaAccess::gridNorth(t), 90.0);
    long long mismatches = 0;
    for (int i = 0; i < gtx.rows(); ++i)
        for (int j = 0; j < gtx.cols(); ++j)
            mismatches += t.KEGMGeoidHeight(gtx.header(0) + i * gtx.header(2), gtx.header(1) + j * gtx.header(3)) !=
                          gtx.at(i, j);
    EXPECT_EQ(mismatches, 0);
}

// Against the EGM96 synthesis on the real coefficients at random points off
// the nodes.
TEST_F(Egm96Grid, AgreesWithTheSphericalHarmonicSynthesis)
{
    TERVALA_SKIP_WITHOUT(testsupport::haveEgm96Files(), "EGM96.dat / CORRCOEF.dat absent in " << testsupport::egm96Folder());
    CTervala egm;
    TERVALA_SKIP_WITHOUT(testsupport::loadRealEgm96(egm), "LoadEGMData returned 0: the EGM96 synthesis is not built");
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> lat(-89.5, 89.5), lon(0, 360);
    const int count = 10000;
    double sum2 = 0, largest = 0;
    for (int k = 0; k < count; ++k) {
        const double p = lat(rng), l = lon(rng), d = t.KEGMGeoidHeight(p, l) - egm.EGM96GeoidHeight(p, l);
        sum2 += d * d;
        largest = std::max(largest, std::fabs(d));
    }
    const double rms = std::sqrt(sum2 / count);
    // Measured: 0.8 mm RMS and 10 mm at most; the spline on a 15' grid of a
    // degree-360 field cannot do much better. Twice that still catches a
    // wrong window, border or node placement, which cost centimetres.
    EXPECT_LT(rms, 0.002);
    EXPECT_LT(largest, 0.02);
}

// ---- Undulation correction ------------------------------------------------------------

// (Closed forms: tables/grid-values.txt.) On another ellipsoid the result
// changes.
TEST(CorrUndulation, EllipsoidAndGeometry)
{
    CTervala t = testsupport::grs80();
    CTervala bessel;
    bessel.Setup_Ellipsoid(6377397.155, 299.1528128);
    EXPECT_NE(bessel.CorrUndulation(45, 10, 0, 0, 0, 100, 1e-5), t.CorrUndulation(45, 10, 0, 0, 0, 100, 1e-5));
    // A shift of the origin moves the height by its component along the
    // normal: shift the geocentric point and convert back.
    std::mt19937_64 rng(4);
    std::uniform_real_distribution<double> lat(-85, 85), lon(-180, 180), shift(-6, 6);
    for (int k = 0; k < 200; ++k) {
        const double p = lat(rng), l = lon(rng), dX = shift(rng), dY = shift(rng), dZ = shift(rng);
        double la = p, lo = l, h = 0;
        t.Geodetic_to_Geocentric(la, lo, h);
        double X = t.GetGeocentric(0) + dX, Y = t.GetGeocentric(1) + dY, Z = t.GetGeocentric(2) + dZ;
        t.Geocentric_to_Geodetic(X, Y, Z);
        EXPECT_NEAR(t.CorrUndulation(p, l, dX, dY, dZ, 0, 0), t.GetGeodetic(2), 2e-5) << p << " " << l;
    }
}

// ---- GTX converter --------------------------------------------------------------

namespace {

// A GTX file with node values 1 + 100 i + j (south row i = 0); with
// wrapColumn the last column repeats the first.
std::vector<unsigned char> gtxBytes(double south, double west, double dlat, double dlon, int rows, int cols,
                                    bool wrapColumn = false, std::vector<std::pair<int, float>> changes = {})
{
    std::vector<unsigned char> out;
    auto put = [&](std::uint64_t bits, int n) {
        for (int k = n - 1; k >= 0; --k)
            out.push_back(static_cast<unsigned char>(bits >> (8 * k)));
    };
    for (double v : {south, west, dlat, dlon}) {
        std::uint64_t b;
        std::memcpy(&b, &v, 8);
        put(b, 8);
    }
    put(std::uint32_t(rows), 4);
    put(std::uint32_t(cols), 4);
    std::vector<float> values;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            values.push_back(float(1 + i * 10 + (wrapColumn && j == cols - 1 ? 0 : j) / 64.0));  // exact, within +-150
    for (const auto& c : changes)
        values[c.first] = c.second;
    for (float v : values)
        put(bitsOf(v), 4);
    return out;
}

} // namespace

// Converted grids give back the GTX node values at the GTX longitudes:
// global grids rotated to 0 degrees (with or without a repeated column, on or
// off a node at 0), regional ones moved into 0 .. 360.
TEST_F(GridFiles, ConvertedGtxKeepsEveryNodeInPlace)
{
    const struct {
        double south, west, step;
        int rows, cols;
        bool wrap;
        double outWest;
        int outCols, rotated;
        bool warning;
    } cases[] = {{-90, -180, 45, 5, 9, true, 0, 8, 4, false}, {-90, 0, 30, 7, 12, false, 0, 12, 0, false},
                 {-60, -179.9, 45, 3, 8, false, 0.1, 8, 4, false}, {30, -10, 0.5, 6, 41, false, 350, 41, 0, true},
                 {-45, 200, 2, 4, 5, false, 200, 5, 0, false},
                 // Turned by other than half a turn: the wrong way gives other nodes.
                 {-60, -90, 45, 3, 8, false, 0, 8, 2, false}, {-60, 100, 45, 3, 8, false, 10, 8, 6, false}};
    for (const auto& c : cases) {
        testsupport::writeBytes(folder + "/in.gtx", gtxBytes(c.south, c.west, c.step, c.step, c.rows, c.cols, c.wrap));
        tervala::gtx::Conversion done;
        std::string error;
        ASSERT_TRUE(tervala::gtx::convertGtxToGrid(folder + "/in.gtx", folder + "/kgeoid14.dat", done, error)) << error;
        EXPECT_NEAR(done.output.west, c.outWest, 1e-9);
        EXPECT_EQ(done.output.cols, c.outCols);
        EXPECT_EQ(done.rotatedColumns, c.rotated);
        EXPECT_EQ(tervala::gtx::describe(done, "in", "out").find("warning") != std::string::npos, c.warning);
        CTervala t;
        ASSERT_EQ(t.LoadKEGMData(14), 1);
        for (int i = 0; i < c.rows; ++i) {
            for (int j = 0; j < c.cols; ++j) {
                if (c.warning && c.west + j * c.step >= 0)
                    continue;  // past 360 after the move: out of reach
                EXPECT_NEAR(t.KEGMGeoidHeight(c.south + i * c.step, c.west + j * c.step),
                            1 + 10 * i + (c.wrap && j == c.cols - 1 ? 0 : j) / 64.0, 1e-9)
                    << c.west << ": node " << i << " " << j;
            }
        }
    }

    // Values the loader would skip: zero and subnormals become the smallest
    // kept magnitude, with their sign; NaN stays.
    testsupport::writeBytes(folder + "/in.gtx",
                            gtxBytes(0, 0, 1, 1, 12, 12, false, {{13, 0.0f}, {14, -1e-40f}, {130, NAN}}));
    tervala::gtx::Conversion done;
    std::string error;
    ASSERT_TRUE(tervala::gtx::convertGtxToGrid(folder + "/in.gtx", folder + "/kgeoid14.dat", done, error)) << error;
    EXPECT_EQ(done.replacedValues, 2);
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const float tiny = tervala::grid::smallestGridValue();
    EXPECT_TRUE(double(tiny) >= 1.2e-38 && double(std::nextafter(tiny, 0.0f)) < 1.2e-38);
    EXPECT_EQ(t.KEGMGeoidHeight(1, 1), double(tiny));
    EXPECT_EQ(t.KEGMGeoidHeight(1, 2), -double(tiny));
    EXPECT_EQ(t.KEGMGeoidHeight(1, 3), 11.046875);  // 1 + 10 + 3 / 64
    EXPECT_TRUE(std::isnan(t.KEGMGeoidHeight(10, 10)));
}

// A bad GTX is refused with a message naming the problem; the output file
// is left as it was and no temporary file stays behind.
TEST_F(GridFiles, ConverterRefusesBadInput)
{
    const std::vector<unsigned char> good = gtxBytes(-10, 20, 0.5, 0.5, 4, 6);
    std::vector<unsigned char> littleEndian, longer = good;
    for (double v : {-10.0, 20.0, 0.5, 0.5})
        testsupport::append(littleEndian, v);
    testsupport::append(littleEndian, std::int32_t(4));
    testsupport::append(littleEndian, std::int32_t(6));
    littleEndian.resize(good.size());
    longer.push_back(0);
    const std::pair<std::vector<unsigned char>, const char*> cases[] = {
        {{}, "shorter than the 40-byte GTX header"},
        {{good.begin(), good.begin() + 39}, "shorter than the 40-byte"},
        {{good.begin(), good.end() - 1}, "but the file holds 95 bytes after the header"},
        {longer, "holds 97 bytes after the header"},
        {gtxBytes(-10, 20, 0.5, 0.5, 0, 6), "must be at least 1"},
        {gtxBytes(-10, 20, 0, 0.5, 4, 6), "positive and finite"},
        {gtxBytes(kNaN, 20, 0.5, 0.5, 4, 6), "must be finite"},
        {gtxBytes(80, 20, 5, 0.5, 4, 6), "outside -90 .. 90"},
        {gtxBytes(0, 0, 1, 100, 2, 5), "span more than 360"},
        {littleEndian, "read as little-endian"},
        {gtxBytes(-10, 20, 0.5, 0.5, 4, 6, false, {{7, INFINITY}}), "no geoid height lies beyond +-150 m"},
        {gtxBytes(-10, 20, 0.5, 0.5, 4, 6, false, {{3, -150.5}}), "is -150.5; no geoid height"},
    };
    const std::string out = folder + "/kgeoid14.dat";
    testsupport::writeBytes(out, {'o', 'l', 'd'});
    tervala::gtx::Conversion done;
    std::string error;
    for (const auto& c : cases) {
        testsupport::writeBytes(folder + "/in.gtx", c.first);
        EXPECT_FALSE(tervala::gtx::convertGtxToGrid(folder + "/in.gtx", out, done, error)) << c.second;
        EXPECT_NE(error.find(c.second), std::string::npos) << c.second << " / " << error;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2) << c.second;
    }
    std::ifstream old(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
    EXPECT_FALSE(tervala::gtx::convertGtxToGrid(folder + "/missing.gtx", out, done, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    testsupport::writeBytes(folder + "/in.gtx", good);
    EXPECT_FALSE(tervala::gtx::convertGtxToGrid(folder + "/in.gtx", folder + "/no/such/dir/x.dat", done, error));
    EXPECT_NE(error.find("temporary file"), std::string::npos) << error;
}
