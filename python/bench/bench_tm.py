#!/usr/bin/python3
"""Geodetic -> Transverse Mercator on 10^7 points: one tervala array call
against pyproj's Transformer.transform on the same arrays in the same run, and
against a Python loop over the per-point member (timed on a subset).

Run from the project root after building:
    PYTHONPATH=build/python /usr/bin/python3 python/bench/bench_tm.py
"""

import argparse
import os
import statistics
import sys
import time

import numpy as np

import tervala

# GRS80 and the grid of the README's Transverse Mercator example.
GRS80 = (6378137.0, 298.257222101)
GRID = (38.0, 127.0, 600000.0, 200000.0, 1.0)  # latitude of origin, central meridian, FN, FE, scale
PIPELINE = "+proj=tmerc +lat_0=38 +lon_0=127 +k=1 +x_0=200000 +y_0=600000 +ellps=GRS80"


def median_seconds(run, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--points", type=int, default=10_000_000, help="points per array call (default 10^7)")
    parser.add_argument("--loop-points", type=int, default=100_000, help="points of the Python loop (default 10^5)")
    parser.add_argument("--repeat", type=int, default=3, help="timed runs per entry, median reported (default 3)")
    args = parser.parse_args()

    rng = np.random.default_rng(42)
    lat = rng.uniform(-80.0, 80.0, args.points)
    lon = GRID[1] + rng.uniform(-3.0, 3.0, args.points)
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)

    rows = []  # (entry, seconds per point)
    ours = median_seconds(lambda: t.geodetic_to_tm(*GRID, lat, lon), args.repeat)
    rows.append((f"tervala array call, all cores ({os.cpu_count()})", ours / args.points))
    ours_one = median_seconds(lambda: t.geodetic_to_tm(*GRID, lat, lon, threads=1), args.repeat)
    rows.append(("tervala array call, threads=1", ours_one / args.points))

    try:
        import pyproj
    except ImportError:
        pyproj = None
        print("pyproj is not installed (Debian python3-pyproj): no peer timing", file=sys.stderr)
    if pyproj is not None:
        transformer = pyproj.Transformer.from_pipeline(PIPELINE)
        peer = median_seconds(lambda: transformer.transform(lon, lat), args.repeat)
        rows.append((f"pyproj {pyproj.__version__} Transformer.transform (PROJ {pyproj.proj_version_str})",
                     peer / args.points))

    # The loop as a user would write it: a list of result tuples, one member
    # call per point with the grid written out.
    m = min(args.loop_points, args.points)
    lat_list, lon_list = lat[:m].tolist(), lon[:m].tolist()
    member = t.Geodetic_to_TM

    def loop():
        return [member(38.0, 127.0, 600000.0, 200000.0, 1.0, la, lo, 0.0) for la, lo in zip(lat_list, lon_list)]

    rows.append((f"Python loop over Geodetic_to_TM ({m} points)", median_seconds(loop, args.repeat) / m))

    # The timed results are checked, not just produced.
    north, east = t.geodetic_to_tm(*GRID, lat, lon)
    sample = rng.integers(0, args.points, 1000)
    for i in sample:
        n, e, _ = member(*GRID, float(lat[i]), float(lon[i]), 0.0)
        assert (n, e) == (north[i], east[i]), "array and per-point results differ"
    if pyproj is not None:
        pe, pn = transformer.transform(lon, lat)
        print(f"largest difference to pyproj: {np.max(np.hypot(north - pn, east - pe)) * 1000:.4f} mm")

    print(f"{args.points} points, geodetic -> TM on GRS80, median of {args.repeat} runs")
    print(f"{'entry':<64} {'ns/point':>10} {'vs tervala array':>18}")
    for name, seconds in rows:
        print(f"{name:<64} {seconds * 1e9:>10.1f} {seconds / rows[0][1]:>17.2f}x")


if __name__ == "__main__":
    main()
