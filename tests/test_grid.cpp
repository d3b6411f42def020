// Geoid grids: the loader and its border, the interpolation routines, grid
// geoid heights, the undulation correction and the GTX converter.
#include <algorithm>
#include <cfloat>
#include <climits>
#include <cstring>
#include <cmath>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/Access.h"
#include "geoid/GeoidGrid.h"
#include "geoid/GtxGrid.h"
#include "tervala/Numbra.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_PROJ
#include <proj.h>
#endif

// ---- Allocation accounting and fault injection --------------------------------
// Every operator new of this program goes through here: the tests count the
// bytes alive and can make the n-th allocation from now fail.
namespace {
long long g_liveBytes = 0;
long long g_peakBytes = 0;
long long g_failCountdown = -1;  // -1: never fail

// Out of line, so the compiler never sees new paired with free.
__attribute__((noinline)) void* countedAllocate(std::size_t size)
{
    if (g_failCountdown > 0 && --g_failCountdown == 0)
        throw std::bad_alloc();
    auto* block = static_cast<std::size_t*>(std::malloc(size + 16));
    if (block == nullptr)
        throw std::bad_alloc();
    block[0] = size;
    g_liveBytes += static_cast<long long>(size);
    g_peakBytes = std::max(g_peakBytes, g_liveBytes);
    return block + 2;
}
__attribute__((noinline)) void countedRelease(void* p) noexcept
{
    if (p == nullptr)
        return;
    auto* block = static_cast<std::size_t*>(p) - 2;
    g_liveBytes -= static_cast<long long>(block[0]);
    std::free(block);
}
} // namespace

void* operator new(std::size_t size) { return countedAllocate(size); }
void* operator new[](std::size_t size) { return countedAllocate(size); }
void operator delete(void* p) noexcept { countedRelease(p); }
void operator delete[](void* p) noexcept { countedRelease(p); }
void operator delete(void* p, std::size_t) noexcept { countedRelease(p); }
void operator delete[](void* p, std::size_t) noexcept { countedRelease(p); }
// The nothrow forms too, so that no block reaches the wrong release.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return countedAllocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p, const std::nothrow_t&) noexcept { countedRelease(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { countedRelease(p); }

namespace {

using tervala::TervalaAccess;
namespace grid = tervala::grid;
constexpr int M = 7;  // the object's grid border
const double kNaN = std::numeric_limits<double>::quiet_NaN();

std::uint32_t bitsOf(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A grid file as words after the header (values or words to be skipped).
struct GridFile {
    double north, west, dlat, dlon;
    std::int32_t rows, cols;
    std::vector<std::uint32_t> words;

    std::vector<unsigned char> bytes() const
    {
        std::vector<unsigned char> out;
        for (double v : {north, west, dlat, dlon})
            testsupport::append(out, v);
        testsupport::append(out, rows);
        testsupport::append(out, cols);
        for (std::uint32_t w : words)
            testsupport::append(out, w);
        return out;
    }
};

// A grid of rows x cols float values drawn from rng, north row first.
GridFile randomGrid(std::mt19937_64& rng, int rows, int cols, double north = 40, double west = 120,
                    double step = 0.5)
{
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    GridFile f{north, west, step, step, rows, cols, {}};
    for (int k = 0; k < rows * cols; ++k)
        f.words.push_back(bitsOf(value(rng)));
    return f;
}

double cell(const CTervala& t, int r, int c) { return TervalaAccess::grid(t)[r][c]; }

// Everything a load may change, to show that a failed load changed nothing.
std::vector<double> snapshot(const CTervala& t)
{
    std::vector<double> s = {TervalaAccess::gridNorth(t), TervalaAccess::gridWest(t), TervalaAccess::gridDLat(t),
                             TervalaAccess::gridDLon(t),  double(TervalaAccess::gridRows(t)),
                             double(TervalaAccess::gridCols(t)), double(TervalaAccess::gridPaddedRows(t)),
                             double(TervalaAccess::gridPaddedCols(t))};
    for (int r = 0; r < TervalaAccess::gridPaddedRows(t); ++r)
        for (int c = 0; c < TervalaAccess::gridPaddedCols(t); ++c)
            s.push_back(cell(t, r, c));
    return s;
}

// Tests that load grids read them from their own scratch data folder.
class GridFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = testsupport::scratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
        CTervala::SetDataFolder(folder.c_str());
    }
    void TearDown() override { CTervala::SetDataFolder(nullptr); }
    void write(const std::string& name, const GridFile& f) { testsupport::writeBytes(folder + "/" + name, f.bytes()); }

    std::string folder;
    std::mt19937_64 rng{7};
};

} // namespace

// ---- Loader --------------------------------------------------------------------

// The 2 x 3 example: rows reversed into place, and the border of a grid with
// fewer rows and columns than the border is wide repeats the stored nodes
// (columns periodically, rows mirrored across the pole half a turn round).
TEST_F(GridFiles, SmallGridRowsAndBorder)
{
    GridFile f{50, 10, 1, 1, 2, 3, {}};
    for (float v = 1; v <= 6; ++v)
        f.words.push_back(bitsOf(v));
    write("kgeoid14.dat", f);
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    EXPECT_EQ(TervalaAccess::gridPaddedRows(t), 16);
    EXPECT_EQ(TervalaAccess::gridPaddedCols(t), 17);
    const struct {
        int r, c;
        double v;
    } cells[] = {{7, 7, 4},  {7, 8, 5},  {7, 9, 6},  {8, 7, 1},  {8, 8, 2},  {8, 9, 3},  {8, 0, 3},
                 {8, 5, 2},  {8, 6, 3},  {8, 10, 1}, {8, 16, 1}, {7, 0, 6},  {7, 10, 4}, {6, 7, 5},
                 {6, 9, 4},  {6, 16, 5}, {5, 7, 2},  {0, 7, 5},  {9, 7, 2},  {10, 7, 5}, {15, 7, 2}};
    for (const auto& k : cells)
        EXPECT_EQ(cell(t, k.r, k.c), k.v) << "row " << k.r << " column " << k.c;
}

TEST_F(GridFiles, SelectorChoosesTheFile)
{
    const struct {
        const char* file;
        float value;
    } files[] = {{"kgeoid13.dat", 13}, {"kgeoid14.dat", 14}, {"egm2008p.dat", 2008}};
    for (const auto& f : files)
        write(f.file, GridFile{0, 0, 1, 1, 1, 1, {bitsOf(f.value)}});
    const int selectors[][2] = {{13, 13}, {2008, 2008}, {14, 14}, {0, 14}, {1, 14}, {15, 14}, {-1, 14}, {2007, 14}};
    CTervala t;
    for (const auto& s : selectors) {
        ASSERT_EQ(t.LoadKEGMData(s[0]), 1) << s[0];
        EXPECT_EQ(cell(t, M, M), s[1]) << s[0];
    }
}

// Zero, subnormal, small-integer, infinite and the largest float words are
// skipped without shifting the values after them; NaN is a value.
TEST_F(GridFiles, SkippedWordsAndKeptValues)
{
    const struct {
        std::uint32_t word;
        bool kept;
    } words[] = {{0, false},
                 {12, false},
                 {8388607, false},
                 {bitsOf(-0.0f), false},
                 {bitsOf(1e-40f), false},
                 {bitsOf(1.1754944e-38f), false},
                 {bitsOf(1.1e-38f), false},
                 {bitsOf(INFINITY), false},
                 {bitsOf(-INFINITY), false},
                 {bitsOf(FLT_MAX), false},
                 {bitsOf(-3.4025e38f), false},
                 {bitsOf(1.3e-38f), true},
                 {bitsOf(-3.3e38f), true},
                 {bitsOf(NAN), true},
                 {bitsOf(-2.5f), true}};
    GridFile f{0, 0, 1, 1, 1, 0, {}};
    std::vector<double> expected;
    for (const auto& w : words) {
        f.words.push_back(bitsOf(float(expected.size() + 1)));
        expected.push_back(double(expected.size() + 1));
        f.words.push_back(w.word);
        if (w.kept) {
            float v;
            std::memcpy(&v, &w.word, 4);
            expected.push_back(v);
        }
    }
    f.cols = static_cast<std::int32_t>(expected.size());
    write("kgeoid14.dat", f);
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    for (std::size_t j = 0; j < expected.size(); ++j) {
        const double v = cell(t, M, M + static_cast<int>(j));
        EXPECT_TRUE(v == expected[j] || (std::isnan(v) && std::isnan(expected[j]))) << j << ": " << v;
    }
}

// The border of a 20 x 30 grid, checked against the wrap and mirror rules
// written out index by index.
TEST_F(GridFiles, BorderIdentities)
{
    const int Nr = 20, Nc = 30, paddedCols = Nc + 2 * M;
    write("kgeoid14.dat", randomGrid(rng, Nr, Nc));
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    for (int r = M; r < M + Nr; ++r) {
        for (int c = 0; c < M; ++c)
            EXPECT_EQ(cell(t, r, c), cell(t, r, Nc + c)) << r << " " << c;
        for (int c = Nc + M; c < paddedCols; ++c)
            EXPECT_EQ(cell(t, r, c), cell(t, r, c - Nc)) << r << " " << c;
    }
    for (int c = 0; c < paddedCols; ++c) {
        const int s = c + Nc / 2 >= paddedCols ? c + Nc / 2 - Nc : c + Nc / 2;
        for (int b = 0; b < M; ++b)
            EXPECT_EQ(cell(t, b, c), cell(t, 2 * M - 1 - b, s)) << b << " " << c;
        for (int b = M + Nr; b < Nr + 2 * M; ++b)
            EXPECT_EQ(cell(t, b, c), cell(t, 2 * (M + Nr) - 1 - b, s)) << b << " " << c;
    }
}

// Grids narrower or shorter than the border: every padded node holds one of
// the stored values (no read outside them; the sanitizer build checks the
// memory side).
TEST_F(GridFiles, SmallGridsBorderHoldsOnlyStoredValues)
{
    const int shapes[][2] = {{1, 1}, {1, 2}, {2, 1}, {3, 5}, {6, 6}, {7, 7}, {13, 8}};
    for (const auto& shape : shapes) {
        const GridFile f = randomGrid(rng, shape[0], shape[1]);
        write("kgeoid14.dat", f);
        CTervala t;
        ASSERT_EQ(t.LoadKEGMData(14), 1);
        std::vector<double> stored;
        for (std::uint32_t w : f.words) {
            float v;
            std::memcpy(&v, &w, 4);
            stored.push_back(v);
        }
        for (int r = 0; r < shape[0] + 2 * M; ++r)
            for (int c = 0; c < shape[1] + 2 * M; ++c)
                EXPECT_NE(std::find(stored.begin(), stored.end(), cell(t, r, c)), stored.end())
                    << shape[0] << "x" << shape[1] << " at " << r << " " << c;
    }
}

// A bad file returns 0 and leaves the grid loaded before exactly as it was.
TEST_F(GridFiles, BadFilesKeepThePreviousGrid)
{
    write("kgeoid14.dat", randomGrid(rng, 9, 11));
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const std::vector<double> before = snapshot(t);
    const double height = t.KEGMGeoidHeight(37.3, 123.4);

    // ... and allocates next to nothing for a header that promises more
    // values than the file holds.
    auto expectRejected = [&](const std::vector<unsigned char>& bytes, const std::string& what) {
        testsupport::writeBytes(folder + "/kgeoid13.dat", bytes);
        g_peakBytes = g_liveBytes;
        const long long live = g_liveBytes;
        EXPECT_EQ(t.LoadKEGMData(13), 0) << what;
        EXPECT_LT(g_peakBytes - live, 1 << 20) << what;
        EXPECT_TRUE(snapshot(t) == before) << what;
    };
    EXPECT_EQ(t.LoadKEGMData(13), 0) << "missing file";

    // A 3 x 4 grid with two skipped words: cut at every offset.
    GridFile small = randomGrid(rng, 3, 4);
    small.words.insert(small.words.begin() + 5, 0u);
    small.words.insert(small.words.begin() + 10, 7u);
    const std::vector<unsigned char> whole = small.bytes();
    for (std::size_t n = 0; n < whole.size(); ++n)
        expectRejected(std::vector<unsigned char>(whole.begin(), whole.begin() + n), "cut at " + std::to_string(n));
    // Long enough, but too few of its words are values.
    GridFile skipped = small;
    skipped.words.assign(small.words.size(), 0u);
    skipped.words[0] = bitsOf(1.0f);
    expectRejected(skipped.bytes(), "skipped words only");

    const struct {
        const char* what;
        double north, west, dlat, dlon;
        std::int32_t rows, cols;
    } headers[] = {{"no rows", 40, 120, 0.5, 0.5, 0, 4},
                   {"no columns", 40, 120, 0.5, 0.5, 3, 0},
                   {"negative rows", 40, 120, 0.5, 0.5, -1, 4},
                   {"negative columns", 40, 120, 0.5, 0.5, 3, -5},
                   {"padded rows overflow", 40, 120, 0.5, 0.5, INT_MAX, 1},
                   {"over 2^31 values", 40, 120, 0.5, 0.5, 50000, 50000},
                   {"huge Nr, small file", 40, 120, 0.5, 0.5, 100000000, 1},
                   {"zero row spacing", 40, 120, 0.0, 0.5, 3, 4},
                   {"negative row spacing", 40, 120, -0.5, 0.5, 3, 4},
                   {"NaN row spacing", 40, 120, kNaN, 0.5, 3, 4},
                   {"infinite column spacing", 40, 120, 0.5, INFINITY, 3, 4},
                   {"zero column spacing", 40, 120, 0.5, 0.0, 3, 4},
                   {"NaN north", kNaN, 120, 0.5, 0.5, 3, 4},
                   {"infinite west", 40, -INFINITY, 0.5, 0.5, 3, 4}};
    for (const auto& h : headers) {
        GridFile f = randomGrid(rng, 3, 4);
        f.north = h.north, f.west = h.west, f.dlat = h.dlat, f.dlon = h.dlon, f.rows = h.rows, f.cols = h.cols;
        expectRejected(f.bytes(), h.what);
    }
    EXPECT_EQ(t.KEGMGeoidHeight(37.3, 123.4), height);

    write("kgeoid13.dat", small);
    EXPECT_EQ(t.LoadKEGMData(13), 1);
    EXPECT_EQ(TervalaAccess::gridRows(t), 3);
}

// Running out of memory at any allocation of a load returns 0, throws
// nothing and keeps the previous grid; the same load succeeds with memory.
TEST_F(GridFiles, OutOfMemoryKeepsThePreviousGrid)
{
    write("kgeoid14.dat", randomGrid(rng, 9, 11));
    write("kgeoid13.dat", randomGrid(rng, 5, 6));
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const std::vector<double> before = snapshot(t);
    int failures = 0;
    for (long long n = 1; n < 100; ++n) {
        int result = -1;
        g_failCountdown = n;
        EXPECT_NO_THROW(result = t.LoadKEGMData(13));
        g_failCountdown = -1;
        if (result == 1)
            break;
        ++failures;
        ASSERT_EQ(result, 0);
        ASSERT_TRUE(snapshot(t) == before) << "allocation " << n;
    }
    EXPECT_GE(failures, 3);
    EXPECT_EQ(TervalaAccess::gridRows(t), 5);
}

// Copies and assignments own their grids: each is freed once (the sanitizer
// build catches a double free), all memory comes back, and copies
// interpolate exactly as the original.
TEST_F(GridFiles, CopiesAndAssignmentsOwnTheirGrids)
{
    write("kgeoid14.dat", randomGrid(rng, 20, 30));
    write("kgeoid13.dat", randomGrid(rng, 4, 5));
    const double points[][2] = {{35.1, 127.3}, {38.77, 121.05}, {31.0, 133.9}};
    const long long live = g_liveBytes;
    {
        CTervala original;
        ASSERT_EQ(original.LoadKEGMData(14), 1);
        CTervala copy(original);
        CTervala assigned;
        ASSERT_EQ(assigned.LoadKEGMData(13), 1);
        assigned = original;
        CTervala& alias = assigned;
        assigned = alias;
        EXPECT_NE(TervalaAccess::grid(copy), TervalaAccess::grid(original));
        EXPECT_NE(TervalaAccess::grid(assigned), TervalaAccess::grid(original));
        for (const auto& p : points) {
            const double h = original.KEGMGeoidHeight(p[0], p[1]);
            EXPECT_GT(std::fabs(h), 0.0);
            EXPECT_LT(std::fabs(h), 100.0);
            EXPECT_EQ(copy.KEGMGeoidHeight(p[0], p[1]), h);
            EXPECT_EQ(assigned.KEGMGeoidHeight(p[0], p[1]), h);
        }
        ASSERT_EQ(copy.LoadKEGMData(13), 1);
        EXPECT_EQ(original.KEGMGeoidHeight(points[0][0], points[0][1]),
                  assigned.KEGMGeoidHeight(points[0][0], points[0][1]));
    }
    EXPECT_EQ(g_liveBytes, live);
}

// ---- Interpolation routines -----------------------------------------------------

namespace {

// A padded-style grid of rows x cols with value f(i, j), row 0 south.
struct Rows {
    std::vector<std::vector<double>> data;
    std::vector<double*> pointers;
    template <typename F>
    Rows(int rows, int cols, F f) : data(rows, std::vector<double>(cols))
    {
        for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < cols; ++j)
                data[i][j] = f(i, j);
            pointers.push_back(data[i].data());
        }
    }
    double** get() { return pointers.data(); }
};

} // namespace

TEST(GridRoutines, IfracIsTheFloor)
{
    CTervala t;
    const struct {
        double x;
        int floor;
    } cases[] = {{2.0, 2},   {2.5, 2},         {-2.0, -2},     {-2.5, -3},     {-0.0, 0},   {-1e-300, -1},
                 {0.999, 0}, {1e300, INT_MAX}, {-1e300, INT_MIN}, {-2147483648.0, INT_MIN}, {kNaN, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(TervalaAccess::ifrac(t, c.x), c.floor) << c.x;
}

// initsp and spline against the textbook natural cubic spline, with the
// second derivatives solved by dense LU: values, nodes and the linear
// continuation beyond the ends.
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
        if (n > 2) {
            Numbra a = Zeros(n - 2, n - 2), b = Zeros(n - 2, 1);
            for (int k = 1; k <= n - 2; ++k) {
                a(k, k) = 2.0 / 3.0;
                if (k > 1)
                    a(k, k - 1) = 1.0 / 6.0;
                if (k < n - 2)
                    a(k, k + 1) = 1.0 / 6.0;
                b(k, 1) = y[k + 1] - 2 * y[k] + y[k - 1];
            }
            const Numbra solved = Slu(a, b);
            for (int k = 1; k <= n - 2; ++k)
                m[k] = solved(k, 1);
        }
        auto reference = [&](double x) {
            if (x < 0)
                return y[0] + x * ((y[1] - y[0]) - (2 * m[0] + m[1]) / 6);
            if (x >= n - 1)
                return y[n - 1] + (x - (n - 1)) * ((y[n - 1] - y[n - 2]) + (m[n - 2] + 2 * m[n - 1]) / 6);
            const int j = static_cast<int>(x);
            const double s = x - j, u = 1 - s;
            return u * y[j] + s * y[j + 1] + ((u * u * u - u) * m[j] + (s * s * s - s) * m[j + 1]) / 6;
        };
        for (int k = 0; k < n; ++k)
            EXPECT_EQ(TervalaAccess::spline(t, k, y.data(), n, r.data()), y[k]) << n << " node " << k;
        for (double x = -2.3; x < n + 1.5; x += 0.37)
            EXPECT_NEAR(TervalaAccess::spline(t, x, y.data(), n, r.data()), reference(x), 1e-11) << n << " " << x;
    }
}

TEST(GridRoutines, BilinearClampsToTheEdges)
{
    CTervala t;
    Rows g(4, 5, [](int i, int j) { return 10.0 * i + j; });
    Rows line(1, 5, [](int, int j) { return 2.0 * j; });
    const struct {
        double ri, rj, expected;
        bool singleRow;
    } cases[] = {{1.5, 2.25, 17.25, false}, {0, 0, 0, false},    {3, 4, 34, false},  {-0.5, 2, 2, false},
                 {3.7, 2, 32, false},       {1, 4.5, 14, false}, {-3, -3, 0, false}, {10, 10, 34, false},
                 {0.5, 1.5, 3, true},       {-1, 9, 8, true}};
    for (const auto& c : cases)
        EXPECT_EQ(TervalaAccess::bilin(t, c.ri, c.rj, c.singleRow ? line.get() : g.get(), c.singleRow ? 1 : 4, 5),
                  c.expected)
            << c.ri << " " << c.rj;
}

// Nodes come back exactly, constant grids stay constant and linear ones
// linear, for every window size.
TEST(GridRoutines, InterpReproducesNodesConstantsAndPlanes)
{
    CTervala t;
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> value(-40, 40), frac(10.0, 19.0);
    Rows random(30, 30, [&](int, int) { return value(rng); });
    Rows constant(30, 30, [](int, int) { return 3.7; });
    Rows plane(30, 30, [](int i, int j) { return 5.0 + 0.75 * i - 1.25 * j; });
    const double south = -10, west = 100, dlat = 0.5, dlon = 0.25;
    for (int w : {2, 3, 4, 5, 6, 7, 12, 20}) {
        for (int i = 10; i < 20; i += 3)
            for (int j = 10; j < 20; j += 4)
                EXPECT_EQ(TervalaAccess::interp(t, w, 0.0, random.get(), south, west, dlat, dlon, 30, 30,
                                                south + i * dlat, west + j * dlon),
                          random.data[i][j])
                    << w << " " << i << " " << j;
        for (int k = 0; k < 50; ++k) {
            const double ri = frac(rng), rj = frac(rng);
            const double lat = south + ri * dlat, lon = west + rj * dlon;
            // Bilinear weights sum to 1 only to rounding; the splines are exact.
            EXPECT_NEAR(TervalaAccess::interp(t, w, 0.0, constant.get(), south, west, dlat, dlon, 30, 30, lat, lon), 3.7,
                        w == 2 ? 1e-14 : 0.0);
            EXPECT_NEAR(TervalaAccess::interp(t, w, 0.0, plane.get(), south, west, dlat, dlon, 30, 30, lat, lon),
                        5.0 + 0.75 * ri - 1.25 * rj, 1e-12);
        }
    }
}

// interp tabulates the elimination factors and fits the window rows side by
// side; it must give the doubles of the plain evaluation, a fit by initsp
// and spline per window row and one across the row results.
TEST(GridRoutines, InterpIsBitIdenticalToThePlainEvaluation)
{
    CTervala t;
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> value(-80, 80), position(-1.0, 41.0);
    Rows g(40, 40, [&](int, int) { return value(rng); });
    long long compared = 0;
    for (int k = 0; k < 20000; ++k) {
        const int w = k % 3 == 0 ? 6 : 3 + int(rng() % 18);
        const double ri = position(rng), rj = position(rng);
        const double fast = TervalaAccess::interp(t, w, 0.0, g.get(), 0, 0, 1, 1, 40, 40, ri, rj);
        const int i0 = w % 2 ? int(ri - 0.5) : int(ri), j0 = w % 2 ? int(rj - 0.5) : int(rj);
        const int ilo = i0 - w / 2 + 1, jlo = j0 - w / 2 + 1;
        if (ilo < 0 || jlo < 0 || ilo + w > 40 || jlo + w > 40) {
            EXPECT_EQ(fast, -999999.0);
            continue;
        }
        double row[20], across[20], r[20], q[20];
        for (int i = 0; i < w; ++i) {
            std::copy(g.data[ilo + i].begin() + jlo, g.data[ilo + i].begin() + jlo + w, row);
            TervalaAccess::initsp(t, row, w, r, q);
            across[i] = TervalaAccess::spline(t, rj - jlo, row, w, r);
        }
        TervalaAccess::initsp(t, across, w, r, q);
        ASSERT_EQ(fast, TervalaAccess::spline(t, ri - ilo, across, w, r)) << w << " " << ri << " " << rj;
        ++compared;
    }
    EXPECT_GT(compared, 10000);
}

// Which rows a window uses, found by poisoning rows with NaN: with w = 6 and
// ri = 10.25 exactly rows 8 .. 13; odd windows centre on ri - 0.5.
TEST(GridRoutines, WindowPlacement)
{
    CTervala t;
    const struct {
        int w;
        double ri;
        int first;
    } cases[] = {{6, 10.25, 8}, {5, 10.25, 8}, {5, 10.75, 9}, {3, 10.25, 9}, {4, 10.25, 9}, {20, 10.25, 1}};
    for (const auto& c : cases) {
        const int last = c.first + c.w - 1;
        for (int poisoned : {c.first - 1, c.first, last, last + 1}) {
            Rows g(30, 30, [&](int i, int j) { return i == poisoned ? kNaN : std::sin(i + 0.3 * j); });
            const double v = TervalaAccess::interp(t, c.w, 0.0, g.get(), 0, 0, 1, 1, 30, 30, c.ri, 14.5);
            EXPECT_EQ(std::isnan(v), poisoned == c.first || poisoned == last)
                << "w " << c.w << " ri " << c.ri << " poisoned row " << poisoned;
        }
    }
    // The columns are placed the same way: rj = 12.5 uses columns 10 .. 15.
    for (int poisoned : {9, 10, 15, 16}) {
        Rows g(30, 30, [&](int i, int j) { return j == poisoned ? kNaN : std::cos(0.2 * i + j); });
        EXPECT_EQ(std::isnan(TervalaAccess::interp(t, 6, 0.0, g.get(), 0, 0, 1, 1, 30, 30, 14.5, 12.5)),
                  poisoned == 10 || poisoned == 15)
            << poisoned;
    }
}

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
    const struct {
        double dmin, ri, rj, code;  // code 0: an interpolated value
    } cases[] = {{0, 2.0, 20, 0},   {0, 1.99, 20, -999999.0}, {0, 26.99, 20, 0}, {0, 27.0, 20, -999999.0},
                 {0, 15, 1.99, -999999.0}, {0, 15, 37.0, -999999.0}, {0, kNaN, 20, -999999.0},
                 {0, 1e12, 20, -999999.0}, {60, 15, 20, 0}, {60, 2.5, 20, 999999.0}, {60, 3.0, 20, 0},
                 {60, 15, 3.5, 999999.0}};
    for (const auto& c : cases) {
        const double v = at(6, c.dmin, c.ri, c.rj);
        if (c.code == 0)
            EXPECT_LT(std::fabs(v), 21.0) << c.dmin << " " << c.ri << " " << c.rj;
        else
            EXPECT_EQ(v, c.code) << c.dmin << " " << c.ri << " " << c.rj;
    }
    EXPECT_EQ(TervalaAccess::interp(t, 6, 0, nullptr, south, west, dlat, dlon, 30, 40, -5, 103), -999999.0);
}

// ---- Grid geoid height --------------------------------------------------------------

TEST_F(GridFiles, GeoidHeightRangesAndRegionalEdges)
{
    CTervala t;
    EXPECT_EQ(t.KEGMGeoidHeight(10, 20), -999999.0) << "no grid loaded";
    EXPECT_EQ(t.LoadKEGMData(14), 0);
    EXPECT_EQ(t.KEGMGeoidHeight(10, 20), -999999.0) << "no grid after a failed load";

    // Regional: rows 40 .. 30.5, columns 120 .. 134.5, 0.5 degree steps.
    write("kgeoid14.dat", randomGrid(rng, 20, 30, 40, 120, 0.5));
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const struct {
        double lat, lon;
        bool inside;
    } edges[] = {{28.0, 127, true}, {27.99, 127, false}, {42.49, 127, true}, {42.5, 127, false},
                 {35, 117.5, true}, {35, 117.49, false}, {35, 136.99, true}, {35, 137.0, false}};
    for (const auto& e : edges) {
        const double v = t.KEGMGeoidHeight(e.lat, e.lon);
        if (e.inside)
            EXPECT_LT(std::fabs(v), 100.0) << e.lat << " " << e.lon;
        else
            EXPECT_EQ(v, -999999.0) << e.lat << " " << e.lon;
    }

    // Global 1-degree grid from 0 degrees: longitudes are reduced once each way.
    write("kgeoid14.dat", randomGrid(rng, 181, 360, 90, 0, 1));
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const double same[][2] = {{370, 10}, {-10, 350}, {360, 0}, {-180, 180}, {540, 180}, {-0.0, 0}};
    for (const auto& s : same)
        EXPECT_EQ(t.KEGMGeoidHeight(12.3, s[0]), t.KEGMGeoidHeight(12.3, s[1])) << s[0];
    const double out[][2] = {{0, 730}, {0, -370}, {90.5, 10}, {-90.5, 10}, {kNaN, 10}, {10, kNaN}, {INFINITY, 0}};
    for (const auto& o : out)
        EXPECT_EQ(t.KEGMGeoidHeight(o[0], o[1]), 999999.0) << o[0] << " " << o[1];
}

// ---- Real data: EGM96 15' grid from proj-data, converted ---------------------------

namespace {

// The GTX grid read independently of the converter: big-endian, south first.
struct Gtx {
    double south, west, dlat, dlon;
    int rows, cols;
    std::vector<float> values;
    float at(int i, int j) const { return values[static_cast<std::size_t>(i) * cols + j]; }
};

bool readGtx(const std::string& path, Gtx& g)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 40)
        return false;
    auto word = [&](std::size_t o) {
        return (std::uint32_t(b[o]) << 24) | (std::uint32_t(b[o + 1]) << 16) | (std::uint32_t(b[o + 2]) << 8) | b[o + 3];
    };
    auto real = [&](std::size_t o) {
        const std::uint64_t bits = (std::uint64_t(word(o)) << 32) | word(o + 4);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    };
    g = Gtx{real(0), real(8), real(16), real(24), int(word(32)), int(word(36)), {}};
    for (std::size_t o = 40; o + 4 <= b.size(); o += 4) {
        const std::uint32_t w = word(o);
        float f;
        std::memcpy(&f, &w, 4);
        g.values.push_back(f);
    }
    return g.values.size() == std::size_t(g.rows) * g.cols;
}

class Egm96Grid : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        if (!testsupport::fileExists(testsupport::gtxPath()) || !readGtx(testsupport::gtxPath(), gtx))
            return;
        folder = testsupport::scratchFolder("egm96grid");
        tervala::gtx::Conversion done;
        std::string error;
        converted = tervala::gtx::convertGtxToGrid(testsupport::gtxPath(), folder + "/egm2008p.dat", done, error);
        EXPECT_TRUE(converted) << error;
    }
    void SetUp() override
    {
        TERVALA_SKIP_WITHOUT(converted, testsupport::gtxPath() << " is absent (Debian package proj-data)");
        CTervala::SetDataFolder(folder.c_str());
        ASSERT_EQ(t.LoadKEGMData(2008), 1);
    }
    void TearDown() override { CTervala::SetDataFolder(nullptr); }

    static Gtx gtx;
    static std::string folder;
    static bool converted;
    CTervala t;
};
Gtx Egm96Grid::gtx;
std::string Egm96Grid::folder;
bool Egm96Grid::converted = false;

} // namespace

// Every node of the GTX grid comes back exactly, at its longitude given in
// -180 .. 180 as the GTX has it.
TEST_F(Egm96Grid, EveryNodeReturnsItsStoredValue)
{
    EXPECT_EQ(TervalaAccess::gridWest(t), 0.0);
    EXPECT_EQ(TervalaAccess::gridNorth(t), 90.0);
    long long mismatches = 0;
    for (int i = 0; i < gtx.rows; ++i)
        for (int j = 0; j < gtx.cols; ++j)
            mismatches += t.KEGMGeoidHeight(gtx.south + i * gtx.dlat, gtx.west + j * gtx.dlon) != double(gtx.at(i, j));
    EXPECT_EQ(mismatches, 0);
#ifdef TERVALA_HAVE_PROJ
    // PROJ reads the same GTX with its own reader: same node values.
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = proj_create(ctx, ("+proj=vgridshift +grids=" + testsupport::gtxPath() + " +multiplier=1").c_str());
    ASSERT_NE(pj, nullptr);
    std::mt19937_64 rng(5);
    for (int k = 0; k < 500; ++k) {
        const int i = int(rng() % (gtx.rows - 2)) + 1, j = int(rng() % gtx.cols);
        const double lat = gtx.south + i * gtx.dlat, lon = gtx.west + j * gtx.dlon;
        const PJ_COORD c = proj_trans(pj, PJ_FWD, proj_coord(proj_torad(lon), proj_torad(lat), 0, 0));
        EXPECT_NEAR(c.xyz.z, t.KEGMGeoidHeight(lat, lon), 1e-5) << lat << " " << lon;
    }
    proj_destroy(pj);
    proj_context_destroy(ctx);
#endif
}

// Longitudes -180 .. 540 wrap onto one grid, the 0/360 seam is smooth, and
// at the poles the height does not depend on the longitude.
TEST_F(Egm96Grid, LongitudeWrapSeamAndPoles)
{
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> lat(-89.9, 89.9), lon(-180, 180);
    for (int k = 0; k < 2000; ++k) {
        const double p = lat(rng), l = lon(rng), shifted = l + 360.0;
        const double h = t.KEGMGeoidHeight(p, l);
        ASSERT_LT(std::fabs(h), 120.0) << p << " " << l;
        // Below 0 both reduce to l + 360; above 360 the shifted one to its - 360.
        EXPECT_EQ(t.KEGMGeoidHeight(p, shifted), l < 0 ? h : t.KEGMGeoidHeight(p, shifted - 360.0)) << l;
        EXPECT_NEAR(t.KEGMGeoidHeight(p, 1e-7), t.KEGMGeoidHeight(p, 360.0 - 1e-7), 1e-5) << p;
    }
    for (double pole : {90.0, -90.0}) {
        const double h = t.KEGMGeoidHeight(pole, 0);
        EXPECT_EQ(h, double(gtx.at(pole > 0 ? gtx.rows - 1 : 0, 0)));
        for (double l = -180; l <= 540; l += 7.3) {
            EXPECT_EQ(t.KEGMGeoidHeight(pole, l), h) << pole << " " << l;
            // 1.1 km from the pole, on a geoid sloping well under 50 microradians.
            EXPECT_NEAR(t.KEGMGeoidHeight(pole > 0 ? 89.99 : -89.99, l), h, 0.05) << pole << " " << l;
        }
    }
}

// Against the EGM96 synthesis on the real coefficients at random points off
// the nodes: prints the RMS and largest difference.
TEST_F(Egm96Grid, AgreesWithTheSphericalHarmonicSynthesis)
{
    TERVALA_SKIP_WITHOUT(testsupport::haveEgm96Files(), "EGM96.dat / CORRCOEF.dat absent in " << testsupport::egm96Folder());
    CTervala::SetDataFolder(testsupport::egm96Folder().c_str());
    CTervala egm;
    TERVALA_SKIP_WITHOUT(egm.LoadEGMData(nullptr) == 1, "LoadEGMData returned 0: the EGM96 synthesis is not built");
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> lat(-89.5, 89.5), lon(0, 360);
    const int count = 10000;
    double sum2 = 0, largest = 0;
    for (int k = 0; k < count; ++k) {
        const double p = lat(rng), l = lon(rng);
        const double d = t.KEGMGeoidHeight(p, l) - egm.EGM96GeoidHeight(p, l);
        sum2 += d * d;
        largest = std::max(largest, std::fabs(d));
    }
    const double rms = std::sqrt(sum2 / count);
    std::cout << "grid vs synthesis at " << count << " points: RMS " << rms << " m, max " << largest << " m\n";
    RecordProperty("rms_m", std::to_string(rms));
    RecordProperty("max_m", std::to_string(largest));
    // A 30' grid misses the 15' nodes by 4.8 cm RMS and 0.98 m at most, and
    // halving 1 degree to 30' divided those by 8 to 10: the 15' grid should
    // do well within these bounds.
    EXPECT_LT(rms, 0.02);
    EXPECT_LT(largest, 0.3);
}

// ---- Undulation correction ------------------------------------------------------------

TEST(CorrUndulation, ClosedFormCasesAndGeometry)
{
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257222101);
    const tervala::Ellipsoid e = TervalaAccess::ellipsoid(t);
    EXPECT_EQ(t.CorrUndulation(0, 0, 0, 0, 0, 0, 0), 0.0);
    EXPECT_EQ(t.CorrUndulation(0, 0, 12.5, -7, 3, 4.25, 1e-5), 12.5 - 4.25);
    // At a pole the prime-vertical radius is a^2/b: da costs (b/a) da and
    // df gives a df.
    EXPECT_NEAR(t.CorrUndulation(90, 33, 0, 0, 0, 100, 0), -(e.b / e.a) * 100, 1e-9);
    EXPECT_NEAR(t.CorrUndulation(-90, 0, 0, 0, 0, 0, 1e-5), e.a * 1e-5, 1e-9);
    EXPECT_NEAR(t.CorrUndulation(0, 90, 0, 10, 0, 0, 0), 10.0, 1e-12);
    EXPECT_NEAR(t.CorrUndulation(90, 0, 0, 0, -20, 0, 0), -20.0, 1e-12);

    // A translation moves the height by its component along the normal:
    // shift the geocentric point and convert back.
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
    CTervala bessel;
    bessel.Setup_Ellipsoid(6377397.155, 299.1528128);
    EXPECT_NE(bessel.CorrUndulation(45, 10, 0, 0, 0, 100, 1e-5), t.CorrUndulation(45, 10, 0, 0, 0, 100, 1e-5));
}

// Where the abridged Molodensky height shift is the same formula (shifts of
// the origin anywhere; da and df on the equator) the two agree.
TEST(CorrUndulation, AgreesWithAbridgedMolodensky)
{
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257223563);
    t.Abridged_Molodensky_Transform(10, 20, 1, 2, 3, 0, 0);
    TERVALA_SKIP_WITHOUT(!std::isnan(t.GetdLLH(2)), "Abridged_Molodensky_Transform gives NaN: the datum code is not built");
    const double cases[][7] = {{37.5, 127, -146.4, 507.3, 680.5, 0, 0}, {-33.9, 18.4, -136, -108, -292, 0, 0},
                               {61, -150, 5, 12, -3, 0, 0},              {0, 45, 100, -50, 25, -251, 0},
                               {0, -75, 0, 0, 0, 69.4, 1.4e-5}};
    for (const auto& c : cases) {
        t.Abridged_Molodensky_Transform(c[0], c[1], c[2], c[3], c[4], c[5], c[6]);
        EXPECT_NEAR(t.CorrUndulation(c[0], c[1], c[2], c[3], c[4], c[5], c[6]), t.GetdLLH(2), 1e-9) << c[0];
    }
}

// ---- GTX converter --------------------------------------------------------------

namespace {

struct GtxFile {
    double south, west, dlat, dlon;
    std::int32_t rows, cols;
    std::vector<float> values;  // south row first
    std::vector<unsigned char> bytes() const
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
        for (float v : values)
            put(bitsOf(v), 4);
        return out;
    }
};

// Node values 1 + 100 i + j; with wrapColumn the last column repeats the first.
GtxFile gtxGrid(double south, double west, double dlat, double dlon, int rows, int cols, bool wrapColumn = false)
{
    GtxFile g{south, west, dlat, dlon, rows, cols, {}};
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < cols; ++j)
            g.values.push_back(float(1 + i * 100 + (wrapColumn && j == cols - 1 ? 0 : j)));
    return g;
}

std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                names.push_back(e->d_name);
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

// Converted grids give back the GTX node values at the GTX longitudes:
// global grids rotated to 0 degrees (with or without a repeated column, on or
// off a node at 0), regional ones moved into 0 .. 360.
TEST_F(GridFiles, ConvertedGtxKeepsEveryNodeInPlace)
{
    const struct {
        GtxFile gtx;
        double west;
        int cols, rotated;
        bool warning;
    } cases[] = {{gtxGrid(-90, -180, 45, 45, 5, 9, true), 0, 8, 4, false},
                 {gtxGrid(-90, 0, 30, 30, 7, 12), 0, 12, 0, false},
                 {gtxGrid(-60, -179.9, 45, 45, 3, 8), 0.1, 8, 4, false},
                 {gtxGrid(30, -10, 0.5, 0.5, 6, 41), 350, 41, 0, true},
                 {gtxGrid(-45, 200, 1, 2, 4, 5), 200, 5, 0, false}};
    for (const auto& c : cases) {
        testsupport::writeBytes(folder + "/in.gtx", c.gtx.bytes());
        tervala::gtx::Conversion done;
        std::string error;
        ASSERT_TRUE(tervala::gtx::convertGtxToGrid(folder + "/in.gtx", folder + "/kgeoid14.dat", done, error)) << error;
        EXPECT_NEAR(done.output.west, c.west, 1e-9);
        EXPECT_EQ(done.output.cols, c.cols);
        EXPECT_EQ(done.rotatedColumns, c.rotated);
        const bool warned = tervala::gtx::describe(done, "in", "out").find("warning") != std::string::npos;
        EXPECT_EQ(warned, c.warning);
        CTervala t;
        ASSERT_EQ(t.LoadKEGMData(14), 1);
        for (int i = 0; i < c.gtx.rows; ++i)
            for (int j = 0; j < c.gtx.cols; ++j) {
                const double lon = c.gtx.west + j * c.gtx.dlon;
                if (c.warning && lon >= 0)
                    continue;  // past 360 after the move: out of the grid's reach
                EXPECT_NEAR(t.KEGMGeoidHeight(c.gtx.south + i * c.gtx.dlat, lon), c.gtx.values[i * c.gtx.cols + j],
                            1e-9)
                    << c.gtx.west << ": node " << i << " " << j;
            }
    }
}

// Values a grid file cannot hold: zero and subnormals become the smallest
// kept magnitude, NaN stays; an infinity is an error.
TEST_F(GridFiles, ConverterValuesTheLoaderWouldSkip)
{
    GtxFile g = gtxGrid(0, 0, 1, 1, 12, 12);
    g.values[13] = 0.0f;
    g.values[14] = -1e-40f;
    g.values[130] = NAN;
    testsupport::writeBytes(folder + "/in.gtx", g.bytes());
    tervala::gtx::Conversion done;
    std::string error;
    ASSERT_TRUE(tervala::gtx::convertGtxToGrid(folder + "/in.gtx", folder + "/kgeoid14.dat", done, error)) << error;
    EXPECT_EQ(done.replacedValues, 2);
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const float tiny = tervala::gtx::smallestKeptMagnitude();
    EXPECT_GE(double(tiny), 1.2e-38);
    EXPECT_LT(double(std::nextafter(tiny, 0.0f)), 1.2e-38);
    EXPECT_EQ(t.KEGMGeoidHeight(1, 1), double(tiny));
    EXPECT_EQ(t.KEGMGeoidHeight(1, 2), -double(tiny));
    EXPECT_EQ(t.KEGMGeoidHeight(1, 3), 104.0);
    EXPECT_TRUE(std::isnan(t.KEGMGeoidHeight(10, 10)));
}

// A bad GTX is refused with a message naming the problem; the output file
// is left as it was and no temporary file stays behind.
TEST_F(GridFiles, ConverterRefusesBadInput)
{
    const std::vector<unsigned char> good = gtxGrid(-10, 20, 0.5, 0.5, 4, 6).bytes();
    auto withHeader = [](GtxFile g) { return g.bytes(); };
    GtxFile infinite = gtxGrid(-10, 20, 0.5, 0.5, 4, 6);
    infinite.values[7] = INFINITY;
    std::vector<unsigned char> littleEndian;
    for (double v : {-10.0, 20.0, 0.5, 0.5})
        testsupport::append(littleEndian, v);
    testsupport::append(littleEndian, std::int32_t(4));
    testsupport::append(littleEndian, std::int32_t(6));
    littleEndian.resize(good.size());
    const struct {
        const char* what;
        std::vector<unsigned char> bytes;
        const char* message;
    } cases[] = {
        {"empty", {}, "shorter than the 40-byte GTX header"},
        {"header only, cut", std::vector<unsigned char>(good.begin(), good.begin() + 39), "shorter than the 40-byte"},
        {"one byte short", std::vector<unsigned char>(good.begin(), good.end() - 1), "bytes after the header"},
        {"one byte long", [&] { auto b = good; b.push_back(0); return b; }(), "holds 97 bytes after the header"},
        {"no rows", withHeader(gtxGrid(-10, 20, 0.5, 0.5, 0, 6)), "must be at least 1"},
        {"zero step", withHeader(gtxGrid(-10, 20, 0, 0.5, 4, 6)), "positive and finite"},
        {"NaN origin", withHeader(gtxGrid(kNaN, 20, 0.5, 0.5, 4, 6)), "must be finite"},
        {"past the pole", withHeader(gtxGrid(80, 20, 5, 0.5, 4, 6)), "outside -90 .. 90"},
        {"over 360 degrees", withHeader(gtxGrid(0, 0, 1, 100, 2, 5)), "span more than 360"},
        {"little-endian", littleEndian, "read as little-endian"},
        {"infinite value", infinite.bytes(), "cannot hold infinities"},
    };
    const std::string out = folder + "/kgeoid14.dat";
    testsupport::writeBytes(out, {'o', 'l', 'd'});
    for (const auto& c : cases) {
        testsupport::writeBytes(folder + "/in.gtx", c.bytes);
        tervala::gtx::Conversion done;
        std::string error;
        EXPECT_FALSE(tervala::gtx::convertGtxToGrid(folder + "/in.gtx", out, done, error)) << c.what;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.what << ": " << error;
        EXPECT_EQ(folderEntries(folder), (std::vector<std::string>{"in.gtx", "kgeoid14.dat"})) << c.what;
    }
    std::ifstream old(out);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), "old");
    tervala::gtx::Conversion done;
    std::string error;
    EXPECT_FALSE(tervala::gtx::convertGtxToGrid(folder + "/missing.gtx", out, done, error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    testsupport::writeBytes(folder + "/in.gtx", good);
    EXPECT_FALSE(tervala::gtx::convertGtxToGrid(folder + "/in.gtx", folder + "/no/such/dir/x.dat", done, error));
    EXPECT_NE(error.find("temporary file"), std::string::npos) << error;
}
