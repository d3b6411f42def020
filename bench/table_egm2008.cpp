// Prints the EGM2008 rows of docs/accuracy.md and the load measurement of
// docs/performance.md: the 6 x 6 spline of KEGMGeoidHeight in NGA's 2.5'
// EGM2008 grid against bilinear interpolation in the same nodes (computed
// here from the grid file) and against the EGM96 model (EGM96GeoidHeight on
// the real coefficients), at points spread uniformly over the sphere.
//
// Usage: table_egm2008 GRID_DIR EGM96_DIR [POINTS]
//   GRID_DIR holds egm2008p.dat (tervala data import-grid from geotranz),
//   EGM96_DIR holds EGM96.dat and CORRCOEF.dat.
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "tervala/Tervala.h"

namespace {

// The grid file read independently of the library: little-endian header
// (north, west, dlat, dlon, rows, cols), then float rows north first.
struct GridFile {
    double north = 0, west = 0, dlat = 0, dlon = 0;
    int rows = 0, cols = 0;
    std::vector<float> v;
    bool read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (b.size() < 40)
            return false;
        std::memcpy(&north, &b[0], 8);
        std::memcpy(&west, &b[8], 8);
        std::memcpy(&dlat, &b[16], 8);
        std::memcpy(&dlon, &b[24], 8);
        std::int32_t r, c;
        std::memcpy(&r, &b[32], 4);
        std::memcpy(&c, &b[36], 4);
        rows = r;
        cols = c;
        if (rows < 2 || cols < 2 || b.size() != 40 + 4 * std::size_t(rows) * cols)
            return false;
        v.resize(std::size_t(rows) * cols);
        std::memcpy(v.data(), &b[40], 4 * v.size());
        return true;
    }
    double at(int i, int j) const { return v[std::size_t(i) * cols + (j % cols)]; }
    // Bilinear in the four nodes round the point; longitudes wrap (global grid).
    double bilinear(double lat, double lon) const
    {
        const double x = std::fmod(std::fmod(lon - west, 360.0) + 360.0, 360.0) / dlon;
        const double y = std::min((north - lat) / dlat, rows - 1.000000001);
        const int i = int(y), j = int(x);
        const double u = y - i, w = x - j;
        return (at(i, j) * (1 - w) + at(i, j + 1) * w) * (1 - u) + (at(i + 1, j) * (1 - w) + at(i + 1, j + 1) * w) * u;
    }
};

struct Stats {
    double sum2 = 0, worst = 0, worstLat = 0, worstLon = 0;
    long n = 0;
    void add(double d, double lat, double lon)
    {
        sum2 += d * d;
        ++n;
        if (std::fabs(d) > worst) {
            worst = std::fabs(d);
            worstLat = lat;
            worstLon = lon;
        }
    }
    double rms() const { return std::sqrt(sum2 / n); }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: table_egm2008 GRID_DIR EGM96_DIR [POINTS]\n");
        return 2;
    }
    const long points = argc > 3 ? std::atol(argv[3]) : 10000;
    rusage before;
    ::getrusage(RUSAGE_SELF, &before);
    CTervala::SetDataFolder(argv[1]);
    CTervala t;
    const auto start = std::chrono::steady_clock::now();
    const int loaded = t.LoadKEGMData(2008);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage after;
    ::getrusage(RUSAGE_SELF, &after);
    // Read after the load, so that the peak memory above is the load's.
    GridFile grid;
    if (!grid.read(std::string(argv[1]) + "/egm2008p.dat") || grid.rows != 4321 || grid.cols != 8640) {
        std::fprintf(stderr, "table_egm2008: %s/egm2008p.dat is not the 2.5' EGM2008 grid\n", argv[1]);
        return 2;
    }
    CTervala::SetDataFolder(argv[2]);
    CTervala egm96;
    if (loaded != 1 || egm96.LoadEGMData(nullptr) != 1) {
        std::fprintf(stderr, "table_egm2008: cannot load the grid or the EGM96 coefficients\n");
        return 2;
    }

    // Uniform on the sphere: latitude from the arcsine of a uniform number.
    std::mt19937_64 random(20081);
    std::uniform_real_distribution<double> unit(-1.0, 1.0), turn(-180.0, 180.0);
    Stats bilinear, model;
    for (long k = 0; k < points; ++k) {
        const double lat = std::asin(unit(random)) * 180 / M_PI, lon = turn(random);
        const double spline = t.KEGMGeoidHeight(lat, lon);
        bilinear.add(spline - grid.bilinear(lat, lon), lat, lon);
        model.add(spline - egm96.EGM96GeoidHeight(lat, lon), lat, lon);
    }
    std::printf("| EGM2008 2.5' grid, 6 x 6 spline against | points | RMS | maximum | where |\n|---|---|---|---|---|\n");
    std::printf("| bilinear in the same nodes | %ld | %.2f mm | %.1f mm | %.2f, %.2f |\n", bilinear.n, bilinear.rms() * 1e3,
                bilinear.worst * 1e3, bilinear.worstLat, bilinear.worstLon);
    std::printf("| the EGM96 model (`EGM96GeoidHeight`) | %ld | %.3f m | %.2f m | %.2f, %.2f |\n", model.n, model.rms(),
                model.worst, model.worstLat, model.worstLon);
    std::printf("\n`LoadKEGMData(2008)`: %.3f s, peak resident memory grew by %.1f MiB (bordered grid %.1f MiB)\n",
                seconds, (after.ru_maxrss - before.ru_maxrss) / 1024.0,
                (4321 + 14.0) * (8640 + 14.0) * 8 / 1048576.0);
    return 0;
}
