// ThreadSanitizer stress of the threading promise in Tervala.h: one loaded
// object serves four threads calling EGM96GeoidHeight, KEGMGeoidHeight and
// CorrUndulation at once, while a fifth thread keeps changing the data
// folder and loading a grid into an object of its own. Not built by CMake;
// docs/reliability.md gives the commands (a library built with
// -fsanitize=thread, then this program against it).
// Usage: tsan_geoid_threads EGM96_DIR GRID_DIR   (GRID_DIR holds egm2008p.dat)
#include "tervala/Tervala.h"
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tsan_geoid_threads EGM96_DIR GRID_DIR\n");
        return 2;
    }
    const char* egmDir = argv[1];
    const char* gridDir = argv[2];
    CTervala t;
    t.Setup_Ellipsoid(6378137.0, 298.257223563);
    CTervala::SetDataFolder(egmDir);
    if (t.LoadEGMData(nullptr) != 1) {
        std::puts("EGM load failed");
        return 1;
    }
    CTervala::SetDataFolder(gridDir);
    if (t.LoadKEGMData(2008) != 1) {
        std::puts("grid load failed");
        return 1;
    }
    const CTervala& shared = t;
    std::vector<double> sums(4, 0.0);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int k = 0; k < 4; ++k)
        threads.emplace_back([&, k] {
            CTervala& o = const_cast<CTervala&>(shared);
            double s = 0;
            for (int i = 0; i < 400; ++i) {
                const double lat = -80 + (i * 7 + k * 13) % 160, lon = (i * 11 + k * 29) % 360;
                s += o.EGM96GeoidHeight(lat, lon);
                for (int j = 0; j < 50; ++j)
                    s += o.KEGMGeoidHeight(lat + j * 0.01, lon + j * 0.013) +
                         o.CorrUndulation(lat, lon, 1, 2, 3, 4, 1e-6);
            }
            sums[k] = s;
        });
    std::thread folder([&] {
        int n = 0, loads = 0;
        CTervala other;
        while (!stop.load()) {
            loads += other.LoadKEGMData(2008);
            CTervala::SetDataFolder(n++ % 2 ? gridDir : egmDir);
            if (CTervala::GetDataFolder().empty())
                std::puts("empty folder");
        }
        std::printf("folder thread: %d iterations, %d successful grid loads\n", n, loads);
    });
    for (auto& th : threads)
        th.join();
    stop = true;
    folder.join();
    std::printf("sums %.6f %.6f %.6f %.6f\n", sums[0], sums[1], sums[2], sums[3]);
    return 0;
}
