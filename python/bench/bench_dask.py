#!/usr/bin/python3
"""Geodetic -> Transverse Mercator with tervala.dask on a LocalCluster of two
worker processes (one thread each) against one process's array call on the
same points, for several block sizes.

The points are generated block by block from fixed seeds, so the single
process and the cluster see the same doubles. On the cluster the inputs are
made and kept on the workers first (persist), and the timed step computes the
results and keeps them there: the comparison is of computing, not of moving
arrays through the client. A sample of blocks is gathered and checked to be
bit for bit the single-process results.

Run from the project root after building:
    PYTHONPATH=build/python /usr/bin/python3 python/bench/bench_dask.py
"""

import argparse
import time

import numpy as np

import tervala
import tervala.dask

GRS80 = (6378137.0, 298.257222101)
GRID = (38.0, 127.0, 600000.0, 200000.0, 1.0)


SEEDED = 1 << 18  # points drawn from one seed; block sizes are multiples of it


def points_between(start, stop):
    """Latitude, longitude of points start..stop-1 over Korea, the same whatever the blocks."""
    parts = [np.random.default_rng(i // SEEDED) for i in range(start, stop, SEEDED)]
    sizes = [min(SEEDED, stop - i) for i in range(start, stop, SEEDED)]
    lat = np.concatenate([r.uniform(33.0, 39.0, n) for r, n in zip(parts, sizes)])
    lon = np.concatenate([r.uniform(124.0, 130.0, n) for r, n in zip(parts, sizes)])
    return lat, lon


def inputs(points, chunk):
    """The points as Dask arrays of `chunk` points per block, made on the workers."""
    import dask
    import dask.array as da

    starts = range(0, points, chunk)
    made = [dask.delayed(points_between)(s, min(s + chunk, points)) for s in starts]
    sizes = [min(chunk, points - s) for s in starts]
    lat = da.concatenate([da.from_delayed(m[0], (n,), np.float64) for m, n in zip(made, sizes)])
    lon = da.concatenate([da.from_delayed(m[1], (n,), np.float64) for m, n in zip(made, sizes)])
    return lat, lon


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--points", type=int, default=100_000_000, help="points (default 10^8)")
    parser.add_argument("--chunks", default="262144,1048576,4194304,16777216",
                        help="points per block to measure, comma separated, multiples of 262144")
    parser.add_argument("--repeat", type=int, default=2, help="timed runs per entry, best reported (default 2)")
    args = parser.parse_args()

    from distributed import Client, LocalCluster, wait

    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    chunks = [int(c) for c in args.chunks.split(",")]
    if any(c % SEEDED for c in chunks):
        parser.error(f"block sizes must be multiples of {SEEDED}")
    points = args.points

    print(f"points {points:,}")
    lat, lon = points_between(0, points)

    def single(threads):
        best, cpu = float("inf"), float("inf")
        for _ in range(args.repeat):
            start, start_cpu = time.perf_counter(), time.process_time()
            result = t.geodetic_to_tm(*GRID, lat, lon, threads=threads)
            best = min(best, time.perf_counter() - start)
            cpu = min(cpu, time.process_time() - start_cpu)
        return best, cpu, result

    t1, cpu1, reference = single(1)
    t2, _, result2 = single(2)
    assert all(np.array_equal(a.view(np.uint64), b.view(np.uint64)) for a, b in zip(reference, result2))
    del result2, lat, lon
    print(f"one process, 1 thread : {t1:8.2f} s  {points / t1 / 1e6:7.2f} M points/s  "
          f"CPU {cpu1 / points * 1e9:.1f} ns/point")
    print(f"one process, 2 threads: {t2:8.2f} s  {points / t2 / 1e6:7.2f} M points/s")

    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                      silence_logs=40) as cluster, Client(cluster) as client:
        print("| points per block | cluster, s | M points/s | parallel efficiency (1-thread time / 2 x cluster time)"
              " | cluster time vs 2-thread call | CPU ns/point, all processes | Dask overhead (CPU vs 1 thread) |")
        print("|---|---|---|---|---|---|---|")
        for chunk in chunks:
            lat, lon = inputs(points, chunk)
            lat, lon = client.persist([lat, lon])
            wait([lat, lon])
            best, cpu = float("inf"), float("inf")
            for _ in range(args.repeat):
                northing, easting = tervala.dask.geodetic_to_tm(t, *GRID, lat, lon)
                # CPU time of every process taking part (workers, and this one,
                # which runs the scheduler): robust to other load on the machine.
                start_cpu = sum(client.run(time.process_time).values()) + time.process_time()
                start = time.perf_counter()
                northing, easting = client.persist([northing, easting])
                wait([northing, easting])
                best = min(best, time.perf_counter() - start)
                cpu = min(cpu, sum(client.run(time.process_time).values()) + time.process_time() - start_cpu)
            # Bit for bit: the first, a middle and the last block.
            n_ref, e_ref = reference
            for b in sorted({0, northing.numblocks[0] // 2, northing.numblocks[0] - 1}):
                start = sum(northing.chunks[0][:b])
                stop = start + northing.chunks[0][b]
                got_n, got_e = client.compute([northing.blocks[b], easting.blocks[b]], sync=True)
                assert np.array_equal(got_n.view(np.uint64), n_ref[start:stop].view(np.uint64)), chunk
                assert np.array_equal(got_e.view(np.uint64), e_ref[start:stop].view(np.uint64)), chunk
            del northing, easting, lat, lon
            client.run(lambda: __import__("gc").collect())
            print(f"| {chunk:,} | {best:.2f} | {points / best / 1e6:.2f} | {t1 / (2 * best):.1%} | "
                  f"{best / t2 - 1:+.1%} | {cpu / points * 1e9:.1f} | {(cpu - cpu1) / cpu1:+.1%} |")


if __name__ == "__main__":
    main()
