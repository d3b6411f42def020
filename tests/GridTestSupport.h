// Shared by the geoid grid test programs: grid files built in memory, the
// object's grid as a list of numbers, and a fixture with its own data folder.
#ifndef TERVALA_TESTS_GRIDTESTSUPPORT_H
#define TERVALA_TESTS_GRIDTESTSUPPORT_H

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/Access.h"
#include "tervala/Tervala.h"

namespace gridtest {

using tervala::TervalaAccess;
using testsupport::kNaN;
constexpr int M = 7;  // the object's grid border

std::uint32_t bitsOf(float f)
{
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A grid file: header, then words (values, or words to be skipped).
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

GridFile randomGrid(std::mt19937_64& rng, int rows, int cols, double north = 40, double west = 120, double step = 0.5)
{
    std::uniform_real_distribution<float> value(-50.0f, 50.0f);
    GridFile f{north, west, step, step, rows, cols, {}};
    for (int k = 0; k < rows * cols; ++k)
        f.words.push_back(bitsOf(value(rng)));
    return f;
}

double cell(const CTervala& t, int r, int c) { return TervalaAccess::grid(t)[r][c]; }

// Everything a load may change.
std::vector<double> snapshot(const CTervala& t)
{
    std::vector<double> s = {TervalaAccess::gridNorth(t), TervalaAccess::gridWest(t), TervalaAccess::gridDLat(t),
                             TervalaAccess::gridDLon(t), double(TervalaAccess::gridRows(t)),
                             double(TervalaAccess::gridCols(t))};
    for (int r = 0; r < TervalaAccess::gridPaddedRows(t); ++r)
        s.insert(s.end(), TervalaAccess::grid(t)[r], TervalaAccess::grid(t)[r] + TervalaAccess::gridPaddedCols(t));
    return s;
}

// Tests that load grids read them from a scratch data folder of their own.
class GridFiles : public ::testing::Test {
protected:
    void write(const std::string& name, const GridFile& f) { data.write(name, f.bytes()); }
    testsupport::DataDir data{::testing::UnitTest::GetInstance()->current_test_info()->name()};
    const std::string folder = data.path;
    std::mt19937_64 rng{7};
};

// Rows of doubles for the interpolation routines, row 0 south.
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

} // namespace gridtest

using namespace gridtest;

#endif
