// Grid geoid heights per point: KEGMGeoidHeight (6 x 6 spline window) on the
// EGM96 15' grid converted from proj-data's egm96_15.gtx, against
// GeographicLib's Geoid (cubic and bilinear) on the same grid written in its
// PGM layout, and PROJ's vgridshift (bilinear) on the GTX itself; the same
// points for all. Then LoadKEGMData on a synthetic global 2.5' grid
// (4321 x 8640 values): time and peak heap while loading.
//
// The program writes its grids into a temporary folder at start-up and
// removes it at exit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

#include "../tests/CountingAllocator.h"  // heap peak of the load
#include "BenchSupport.h"
#include "gridtools/GtxGrid.h"
#include "platform/ByteOrder.h"
#include "tervala/Tervala.h"

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geoid.hpp>
#endif
#ifdef TERVALA_HAVE_PROJ
#include <proj.h>
#endif

namespace {

namespace fs = std::filesystem;

// The temporary folder and the grids in it, made once.
struct Workspace {
    fs::path folder;
    bool egm96 = false;     // egm2008p.dat and egm96-15.pgm written
    bool synthetic = false; // kgeoid14.dat written
    std::string problem;

    Workspace()
    {
        folder = fs::temp_directory_path() / ("tervala-bench-grid." + std::to_string(::getpid()));
        fs::create_directories(folder);
        CTervala::SetDataFolder(folder.string().c_str());
        tervala::gtx::Conversion done;
        if (!tervala::gtx::convertGtxToGrid(TERVALA_TEST_GTX, (folder / "egm2008p.dat").string(), done, problem))
            return;
        egm96 = writePgm();
    }
    ~Workspace()
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    // GeographicLib's geoid layout: binary PGM, 16-bit big-endian pixels,
    // height = offset + scale * pixel, rows from 90N to 90S, columns from 0E.
    bool writePgm()
    {
        std::ifstream in(TERVALA_TEST_GTX, std::ios::binary);
        const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const int rows = 721, cols = 1440;
        if (b.size() != 40 + 4u * rows * cols)
            return false;
        std::ofstream out(folder / "egm96-15.pgm", std::ios::binary);
        out << "P5\n# Description EGM96 15' grid from egm96_15.gtx, for benchmarking\n"
            << "# Offset -108\n# Scale 0.003\n# Origin 90N 0E\n"
            << cols << " " << rows << "\n65535\n";
        for (int i = rows - 1; i >= 0; --i) {      // GTX rows run south to north
            for (int j = 0; j < cols; ++j) {
                const std::size_t o = 40 + 4 * (std::size_t(i) * cols + (j + cols / 2) % cols);  // GTX starts at 180W
                const float v = tervala::platform::fromBits<float>(tervala::platform::bigEndian32(&b[o]));
                const long pixel = std::lround((v + 108.0) / 0.003);
                out.put(static_cast<char>(pixel >> 8)).put(static_cast<char>(pixel & 0xff));
            }
        }
        return bool(out);
    }

    // A global 2.5' grid, 4321 x 8640 float values of a smooth field.
    bool writeSynthetic()
    {
        if (synthetic)
            return true;
        const std::int32_t rows = 4321, cols = 8640;
        const double step = 2.5 / 60;
        std::FILE* f = std::fopen((folder / "kgeoid14.dat").string().c_str(), "wb");
        if (f == nullptr)
            return false;
        const double header[4] = {90.0, 0.0, step, step};
        std::fwrite(header, sizeof header, 1, f);
        std::fwrite(&rows, 4, 1, f);
        std::fwrite(&cols, 4, 1, f);
        std::vector<float> row(cols);
        for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < cols; ++j)
                row[j] = static_cast<float>(30 * std::sin(i * 0.002) * std::cos(j * 0.001) + 0.5);
            std::fwrite(row.data(), 4, row.size(), f);
        }
        synthetic = std::fclose(f) == 0;
        return synthetic;
    }
};

Workspace& workspace()
{
    static Workspace w;
    return w;
}

const std::vector<benchsupport::GeodeticPoint>& points()
{
    static const auto p = benchsupport::geodeticPoints(1 << 16);
    return p;
}

// Largest difference from our grid at 2000 nodes of the 15' grid: shows that
// a peer reads the same grid (GeographicLib's PGM rounds to 3 mm steps).
template <typename Height>
double largestNodeDifference(Height height)
{
    CTervala t;
    if (t.LoadKEGMData(2008) != 1)
        return NAN;
    double largest = 0;
    for (int k = 0; k < 2000; ++k) {
        const double lat = -89.75 + 0.25 * ((k * 7919) % 719), lon = -180 + 0.25 * ((k * 104729) % 1440);
        largest = std::max(largest, std::fabs(height(lat, lon) - t.KEGMGeoidHeight(lat, lon)));
    }
    return largest;
}

void Tervala_KEGMGeoidHeight(benchmark::State& state)
{
    if (!workspace().egm96) {
        state.SkipWithError(("no EGM96 grid: " + workspace().problem).c_str());
        return;
    }
    CTervala t;
    if (t.LoadKEGMData(2008) != 1) {
        state.SkipWithError("LoadKEGMData(2008) failed");
        return;
    }
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        benchmark::DoNotOptimize(t.KEGMGeoidHeight(p.lat, p.lon));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(Tervala_KEGMGeoidHeight);

#ifdef TERVALA_HAVE_GEOGRAPHICLIB
void geographicLibGeoid(benchmark::State& state, bool cubic)
{
    if (!workspace().egm96) {
        state.SkipWithError("no EGM96 grid");
        return;
    }
    // threadsafe = true reads the whole grid into memory, as ours is.
    const GeographicLib::Geoid geoid("egm96-15", workspace().folder.string(), cubic, true);
    state.counters["node_diff_m"] = largestNodeDifference([&](double lat, double lon) { return geoid(lat, lon); });
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        benchmark::DoNotOptimize(geoid(p.lat, p.lon));
    }
    state.SetItemsProcessed(state.iterations());
}
void GeographicLib_GeoidCubic(benchmark::State& state) { geographicLibGeoid(state, true); }
void GeographicLib_GeoidBilinear(benchmark::State& state) { geographicLibGeoid(state, false); }
BENCHMARK(GeographicLib_GeoidCubic);
BENCHMARK(GeographicLib_GeoidBilinear);
#endif

#ifdef TERVALA_HAVE_PROJ
void PROJ_VgridshiftGtx(benchmark::State& state)
{
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = proj_create(ctx, "+proj=vgridshift +grids=" TERVALA_TEST_GTX " +multiplier=1");
    if (pj == nullptr) {
        state.SkipWithError("PROJ cannot open the GTX grid");
        proj_context_destroy(ctx);
        return;
    }
    state.counters["node_diff_m"] = largestNodeDifference([&](double lat, double lon) {
        return proj_trans(pj, PJ_FWD, proj_coord(proj_torad(lon), proj_torad(lat), 0, 0)).xyz.z;
    });
    const auto& pts = points();
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& p = pts[i++ & (pts.size() - 1)];
        const PJ_COORD c = proj_trans(pj, PJ_FWD, proj_coord(proj_torad(p.lon), proj_torad(p.lat), 0, 0));
        benchmark::DoNotOptimize(c.xyz.z);
    }
    state.SetItemsProcessed(state.iterations());
    proj_destroy(pj);
    proj_context_destroy(ctx);
}
BENCHMARK(PROJ_VgridshiftGtx);
#endif

// Loading the 2.5' grid into a fresh object: the time of one load and the
// largest heap in use during it, beyond what was in use before.
void Tervala_LoadKEGMData_Global2p5Minute(benchmark::State& state)
{
    if (!workspace().writeSynthetic()) {
        state.SkipWithError("cannot write the synthetic grid");
        return;
    }
    double peakMiB = 0;
    for (auto _ : state) {
        CTervala t;
        const long long before = counting::live;
        counting::peak = counting::live;
        if (t.LoadKEGMData(14) != 1) {
            state.SkipWithError("LoadKEGMData(14) failed");
            return;
        }
        peakMiB = double(counting::peak - before) / (1024.0 * 1024.0);
        state.PauseTiming();  // freeing the grid is not part of the load
        t = CTervala();
        state.ResumeTiming();
    }
    state.counters["peak_heap_MiB"] = peakMiB;
    state.counters["grid_MiB"] = (4321.0 + 14) * (8640 + 14) * 8 / (1024.0 * 1024.0);
}
BENCHMARK(Tervala_LoadKEGMData_Global2p5Minute)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
