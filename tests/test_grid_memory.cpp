// Geoid grid loading and memory: bad files and failed allocations keep the
// previous grid, and a lying header allocates next to nothing. These tests
// count the heap through a replacement operator new, so they live apart from
// the others (that replacement and valgrind's cannot both be in one program).
// Copies and assignments of objects holding grids: test_lifetime.
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CountingAllocator.h"
#include "GridTestSupport.h"

using tervala::TervalaAccess;

// A bad file returns 0, leaves the grid loaded before exactly as it was, and
// allocates next to nothing for a header promising more than the file holds.
TEST_F(GridFiles, BadFilesKeepThePreviousGrid)
{
    write("kgeoid14.dat", randomGrid(rng, 9, 11));
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const std::vector<double> before = snapshot(t);
    auto expectRejected = [&](const std::vector<unsigned char>& bytes, const std::string& what) {
        testsupport::writeBytes(folder + "/kgeoid13.dat", bytes);
        const long long live = counting::peak = counting::live;
        EXPECT_EQ(t.LoadKEGMData(13), 0) << what;
        EXPECT_LT(counting::peak - live, 1 << 20) << what;
        EXPECT_TRUE(snapshot(t) == before) << what;
    };
    EXPECT_EQ(t.LoadKEGMData(13), 0) << "missing file";

    GridFile small = randomGrid(rng, 3, 4);  // with two skipped words, cut at every offset
    small.words.insert(small.words.begin() + 5, 0u);
    small.words.insert(small.words.begin() + 10, 7u);
    const std::vector<unsigned char> whole = small.bytes();
    for (std::size_t n = 0; n < whole.size(); ++n)
        expectRejected(std::vector<unsigned char>(whole.begin(), whole.begin() + n), "cut at " + std::to_string(n));
    GridFile skipped = small;  // long enough, but too few of its words are values
    std::fill(skipped.words.begin() + 1, skipped.words.end(), 0u);
    expectRejected(skipped.bytes(), "skipped words only");

    const struct {
        const char* what;
        double north, west, dlat, dlon;
        std::int32_t rows, cols;
    } headers[] = {{"no rows", 40, 120, 0.5, 0.5, 0, 4},           {"no columns", 40, 120, 0.5, 0.5, 3, 0},
                   {"negative rows", 40, 120, 0.5, 0.5, -1, 4},    {"negative columns", 40, 120, 0.5, 0.5, 3, -5},
                   {"rows overflow", 40, 120, 0.5, 0.5, INT_MAX, 1}, {"over 2^31", 40, 120, 0.5, 0.5, 50000, 50000},
                   {"huge Nr", 40, 120, 0.5, 0.5, 100000000, 1},   {"zero dlat", 40, 120, 0.0, 0.5, 3, 4},
                   {"negative dlat", 40, 120, -0.5, 0.5, 3, 4},    {"NaN dlat", 40, 120, kNaN, 0.5, 3, 4},
                   {"infinite dlon", 40, 120, 0.5, INFINITY, 3, 4}, {"zero dlon", 40, 120, 0.5, 0.0, 3, 4},
                   {"NaN north", kNaN, 120, 0.5, 0.5, 3, 4},       {"infinite west", 40, -INFINITY, 0.5, 0.5, 3, 4}};
    for (const auto& h : headers) {
        GridFile f = randomGrid(rng, 3, 4);
        f.north = h.north, f.west = h.west, f.dlat = h.dlat, f.dlon = h.dlon, f.rows = h.rows, f.cols = h.cols;
        expectRejected(f.bytes(), h.what);
    }
    // Values no geoid has: beyond +-150 m anywhere in the grid (a flipped
    // exponent bit, 1,330,502 m from a damaged file). NaN stays a value.
    for (const float v : {150.01f, -151.0f, 1330502.0f, 3.3e38f, -2.0f * 0x1p126f}) {
        GridFile f = randomGrid(rng, 3, 4);
        f.words[7] = bitsOf(v);
        expectRejected(f.bytes(), "value " + std::to_string(v));
    }
    // A grid that does not match its check file (one value changed after
    // conversion, or the check file of another grid), or a check file that
    // is not one, is refused; the matching one loads.
    const std::vector<unsigned char> good = small.bytes();
    std::vector<unsigned char> changed = good;
    changed[45] ^= 0x01;  // the lowest bit of a value's mantissa: no bound catches it
    const std::string sum = folder + "/kgeoid13.dat.sum";
    testsupport::writeBytes(sum, testsupport::checkFile(std::string(good.begin(), good.end())));
    expectRejected(changed, "a bit changed since conversion");
    testsupport::writeBytes(sum, {'x', '\n'});
    expectRejected(good, "a check file that is not one");
    testsupport::writeBytes(sum, testsupport::checkFile(std::string(good.begin(), good.end()), "small.gtx"));
    write("kgeoid13.dat", small);
    EXPECT_EQ(t.LoadKEGMData(13), 1);
    EXPECT_EQ(TervalaAccess::gridRows(t), 3);
    ::unlink(sum.c_str());
}

// Running out of memory at any allocation of a load returns 0, throws
// nothing and keeps the previous grid; with memory the load succeeds.
TEST_F(GridFiles, OutOfMemoryKeepsThePreviousGrid)
{
    write("kgeoid14.dat", randomGrid(rng, 9, 11));
    write("kgeoid13.dat", randomGrid(rng, 5, 6));
    CTervala t;
    ASSERT_EQ(t.LoadKEGMData(14), 1);
    const std::vector<double> before = snapshot(t);
    int result = 0;
    long long n = 1;
    for (; n < 100 && result != 1; ++n) {
        counting::failCountdown = n;
        EXPECT_NO_THROW(result = t.LoadKEGMData(13));
        counting::failCountdown = -1;
        ASSERT_TRUE(result == 1 || snapshot(t) == before) << "allocation " << n;
    }
    EXPECT_GE(n, 5) << "at least 3 allocations failed before the load succeeded";
    EXPECT_EQ(TervalaAccess::gridRows(t), 5);
}
