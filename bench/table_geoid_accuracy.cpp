// Prints the geoid accuracy figures of docs/accuracy.md:
//  - the EGM96 synthesis against the nodes of PROJ's EGM96 15' grid
//    (egm96_15.gtx): both pole rows and their neighbours, both sides of the
//    date line, and a 3.75 x 7.5 degree lattice over the globe;
//  - the 6 x 6 spline in that grid (converted to the grid layout) against the
//    synthesis at 10^4 random points off the nodes.
// Run by `scripts/tables geoid-accuracy`, which converts the grid first.
// Usage: table_geoid_accuracy EGM96_DIR GTX_FILE GRID_DIR
//   (EGM96_DIR holds EGM96.dat and CORRCOEF.dat, GRID_DIR egm2008p.dat)
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "tervala/Tervala.h"

namespace {

// A GTX grid: big-endian header of four doubles (south, west, row and column
// spacing in degrees) and two int32 (rows, columns), then float32 heights,
// rows from the south.
struct Gtx {
    double south = 0, west = 0, dlat = 0, dlon = 0;
    int rows = 0, cols = 0;
    std::vector<float> values;

    bool read(const char* path)
    {
        std::ifstream in(path, std::ios::binary);
        const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.size() < 40)
            return false;
        auto big = [&](std::size_t at, int n) {
            std::uint64_t v = 0;
            for (int i = 0; i < n; ++i)
                v = (v << 8) | bytes[at + i];
            return v;
        };
        auto asDouble = [&](std::size_t at) {
            const std::uint64_t v = big(at, 8);
            double d;
            std::memcpy(&d, &v, 8);
            return d;
        };
        south = asDouble(0);
        west = asDouble(8);
        dlat = asDouble(16);
        dlon = asDouble(24);
        rows = static_cast<int>(big(32, 4));
        cols = static_cast<int>(big(36, 4));
        if (rows <= 0 || cols <= 0 || bytes.size() != 40 + 4 * static_cast<std::size_t>(rows) * cols)
            return false;
        values.resize(static_cast<std::size_t>(rows) * cols);
        for (std::size_t k = 0; k < values.size(); ++k) {
            const auto v = static_cast<std::uint32_t>(big(40 + 4 * k, 4));
            std::memcpy(&values[k], &v, 4);
        }
        return true;
    }
    double at(int r, int c) const { return values[static_cast<std::size_t>(r) * cols + c]; }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: table_geoid_accuracy EGM96_DIR GTX_FILE GRID_DIR\n");
        return 2;
    }
    CTervala egm;
    CTervala::SetDataFolder(argv[1]);
    if (egm.LoadEGMData(nullptr) != 1) {
        std::fprintf(stderr, "table_geoid_accuracy: EGM96.dat and CORRCOEF.dat not loaded from %s\n", argv[1]);
        return 1;
    }
    Gtx gtx;
    if (!gtx.read(argv[2]) || gtx.rows != 721 || gtx.cols != 1440 || gtx.south != -90 || gtx.west != -180) {
        std::fprintf(stderr, "table_geoid_accuracy: %s is not the global 15' GTX grid\n", argv[2]);
        return 1;
    }
    std::vector<int> rows = {0, 1, 719, 720}, cols = {0, 1, 1438, 1439};
    for (int r = 15; r < 719; r += 15)
        rows.push_back(r);
    for (int c = 30; c < 1438; c += 30)
        cols.push_back(c);
    double nodeWorst = 0;
    for (int r : rows)
        for (int c : cols) {
            const double lat = gtx.south + r * gtx.dlat, lon = gtx.west + c * gtx.dlon;
            nodeWorst = std::max(nodeWorst, std::fabs(egm.EGM96GeoidHeight(lat, lon) - gtx.at(r, c)));
        }

    CTervala grid;
    CTervala::SetDataFolder(argv[3]);
    if (grid.LoadKEGMData(2008) != 1) {
        std::fprintf(stderr, "table_geoid_accuracy: no grid egm2008p.dat loaded from %s\n", argv[3]);
        return 1;
    }
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> lat(-89.5, 89.5), lon(0, 360);
    const int count = 10000;
    double sum2 = 0, splineWorst = 0;
    for (int k = 0; k < count; ++k) {
        const double p = lat(rng), l = lon(rng), d = grid.KEGMGeoidHeight(p, l) - egm.EGM96GeoidHeight(p, l);
        sum2 += d * d;
        splineWorst = std::max(splineWorst, std::fabs(d));
    }
    std::printf("| comparison | points | RMS | largest |\n|---|---|---|---|\n");
    std::printf("| `EGM96GeoidHeight` against the float32 nodes of `egm96_15.gtx` | %zu nodes | | %.2f mm |\n",
                rows.size() * cols.size(), nodeWorst * 1e3);
    std::printf(
        "| `KEGMGeoidHeight` on that grid against `EGM96GeoidHeight` | %d random points | %.2f mm | %.1f mm |\n", count,
        std::sqrt(sum2 / count) * 1e3, splineWorst * 1e3);
    return 0;
}
