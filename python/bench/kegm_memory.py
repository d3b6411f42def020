#!/usr/bin/python3
"""Peak memory of the legacy array function kegm_geoid_height over a loaded
grid, by thread count.

Each measurement runs in a fresh process: it loads the grid (LoadKEGMData
2008, egm2008p.dat of the folder given), makes the input arrays, notes the
process's resident memory (VmRSS), calls kegm_geoid_height once with the
thread count, and reports how far the call raised the peak resident memory
(VmHWM) above that: the memory the call itself took (its result array, and
any copy of the grid it made). The grid's own size (its padded rows of
doubles) is printed beside it.

Make the grid first, from the EGM96 15' GTX grid of proj-data:
    build/tools/tervala data gtx-to-grid /usr/share/proj/egm96_15.gtx /tmp/grid/egm2008p.dat
Run from the project root after building:
    PYTHONPATH=build/python /usr/bin/python3 python/bench/kegm_memory.py /tmp/grid
"""

import argparse
import subprocess
import sys


def status_kib(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    raise RuntimeError(f"no {field} in /proc/self/status")


def measure(folder, threads, points):
    import numpy as np

    import tervala

    tervala.Tervala.SetDataFolder(folder)
    t = tervala.Tervala()
    t.LoadKEGMData(2008)
    rng = np.random.default_rng(1)
    lat = rng.uniform(-80.0, 80.0, points)
    lon = rng.uniform(-180.0, 180.0, points)
    before = status_kib("VmRSS")
    # The peak so far (loading) may lie above the resident memory now; the
    # call's own peak is what it adds above the larger of the two.
    floor = max(before, status_kib("VmHWM"))
    h = t.kegm_geoid_height(lat, lon, threads=threads)
    peak = status_kib("VmHWM")
    assert h.shape == (points,)
    print(f"{threads} {max(peak - floor, 0)} {before}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("folder", help="folder holding egm2008p.dat")
    parser.add_argument("--points", type=int, default=100000)
    parser.add_argument("--child", type=int, help=argparse.SUPPRESS)
    a = parser.parse_args()
    if a.child is not None:
        measure(a.folder, a.child, a.points)
        return
    import os
    size = os.path.getsize(os.path.join(a.folder, "egm2008p.dat"))
    print(f"grid file {size / 2**20:.1f} MiB ({(size - 40) // 4} float32 nodes; held as doubles: "
          f"{(size - 40) // 4 * 8 / 2**20:.1f} MiB and a border)")
    print(f"{'threads':>7s} {'call raised the peak by':>24s} {'RSS before the call':>20s}   ({a.points} points)")
    for threads in (1, 2, 4):
        out = subprocess.run([sys.executable, __file__, a.folder, "--points", str(a.points), "--child", str(threads)],
                             check=True, capture_output=True, text=True).stdout.split()
        print(f"{out[0]:>7s} {int(out[1]) / 1024:21.1f} MiB {int(out[2]) / 1024:17.1f} MiB")


if __name__ == "__main__":
    main()
